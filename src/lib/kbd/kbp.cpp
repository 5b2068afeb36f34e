// Keyboard physical base: command slots and their send discipline, the link notifications,
// the requests of the virtual keyboards, and the keyboard driver node.
#include "KBP.h"

#include <cstring>

#include "ADAPTER.h"
#include "VDEV.h"
#include "sydevnode.h"

namespace {

const char kTag[] = "@(#)kbp.cpp 1.1";

enum : uint32_t { kLogUnknownRequest = 15202 };

// The keyboard driver node and its information request (16-byte record: byte 0 the
// driver's status, byte 10 the keyboard's EC level).
const char kNodePath[] = "/dev/ovkikbps";
constexpr unsigned long kKeyboardInformation = 0xC0106B0CUL;

// One descriptor for the process, closed when its last user goes.
int gNodeHandle = -1;
int gNodeUsers = 0;

uint16_t blockLength(int n) { return static_cast<uint16_t>(n <= 0 ? 0 : (n > 0xFFFF ? 0xFFFF : n)); }

} // namespace

int KBP::NodeHandle() { return gNodeHandle; }
int KBP::NodeUsers() { return gNodeUsers; }

KBP::KBP(const DeviceID& id, const unsigned char* name) : SIODEVICE(id, name) {
    deviceType_ = KBD_DEVICE_TYPE;
    std::memset(doubleKeyMap_, 0xFF, sizeof doubleKeyMap_);
    std::memset(keyNumberMap_, 0xFF, sizeof keyNumberMap_);
    slots_[KBP_SLOT_EC_LEVEL] = {ecRequest_, sizeof ecRequest_};
    slots_[KBP_SLOT_1D] = {byte1D_, sizeof byte1D_};
    slots_[KBP_SLOT_LIGHTS] = {lights_, 2};
}

KBP::~KBP() {
    // A keyboard deleted with opens outstanding gives its uses of the node back.
    while (nodeUses_ > 0) {
        --nodeUses_;
        if (--gNodeUsers == 0 && gNodeHandle >= 0) {
            chDevClose(gNodeHandle);
            gNodeHandle = -1;
        }
    }
}

// ---------------------------------------------------------------------------------------
// Slots.

void KBP::SetPending(int slot) {
    if (slot >= 0 && slot < KBP_SLOTS) pending_ |= 1u << slot;
}

bool KBP::RetryRejected() {
    if (!TestStatusBits(SIODEV_AWAITING_REPLY)) return false;
    CommandRejected();
    const int slot = outstanding_;
    if (slot > KBP_SLOT_EC_LEVEL && slot < KBP_SLOTS && slots_[slot].bytes) pending_ |= 1u << slot;
    return true;
}

void KBP::AnswerAccepted() {
    if (TestStatusBits(SIODEV_AWAITING_REPLY)) CommandAccepted();
}

void KBP::ClearPending(int slot) {
    if (slot >= 0 && slot < KBP_SLOTS) pending_ &= ~(1u << slot);
}

bool KBP::IsPending(int slot) const {
    return slot >= 0 && slot < KBP_SLOTS && (pending_ & (1u << slot)) != 0;
}

bool KBP::LinkUpAndConfirmed() const {
    return TestStatusBits(PDEV_PRESENT) && TestStatusBits(PDEV_ONLINE);
}

int KBP::RequestSendTurn() {
    NewRequest();
    if (!LinkUpAndConfirmed()) return 317;
    return adapter_ ? adapter_->RequestBuffer() : 327;
}

void KBP::Log(uint32_t logId, uint32_t rc, uint32_t extra, const void* data, int n,
              const char* tag) const {
    clErrorLog(logId, rc, extra, tag ? tag : kTag, this,
               blockLength(static_cast<int>(sizeof *this)), data, data ? blockLength(n) : 0);
}

void KBP::SetKeyNumberMap(const unsigned char* table, int count) {
    std::memset(keyNumberMap_, 0xFF, sizeof keyNumberMap_);
    if (count > 256) count = 256;
    for (int i = 0; table && i < count; ++i) keyNumberMap_[i] = table[i];
}

int KBP::SendAnyPendingMessage() {
    int result = -1;
    for (int slot = 0; result == -1 && slot < KBP_SLOTS && !TestStatusBits(SIODEV_AWAITING_REPLY);
         ++slot) {
        if (!IsPending(slot) || !slots_[slot].bytes) continue;
        result = SendMsg(slots_[slot].bytes, slots_[slot].length);
        if (result == 0) {
            outstanding_ = slot;
            SetStatusBits(SIODEV_AWAITING_REPLY);
            // The EC-level request stays pending until the keyboard answers it.
            if (slot != KBP_SLOT_EC_LEVEL) ClearPending(slot);
        } else if (result == -1) {
            continue;
        }
    }
    return result;
}

// ---------------------------------------------------------------------------------------
// Link notifications.

int KBP::CommandResetInProgress() {
    SetStatusBits(SIODEV_AWAITING_REPLY);
    return 0;
}

int KBP::SequenceResetInProgress(const unsigned char*, int) {
    SetStatusBits(SIODEV_AWAITING_REPLY);
    return 0;
}

int KBP::ResetComplete() {
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    return 0;
}

int KBP::LastMsgLost(const unsigned char*, int) {
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    SetPending(outstanding_);
    return 0;
}

int KBP::PowerOnResetInProgress() {
    SetStatusBits(SIODEV_AWAITING_REPLY);
    SetPending(KBP_SLOT_EC_LEVEL);
    SetPending(KBP_SLOT_LIGHTS);
    return 0;
}

int KBP::LastAckLost(const unsigned char*, int) { return SendAck(); }

int KBP::LastMsgAcked() { return 0; }

// ---------------------------------------------------------------------------------------
// Open and close: the keyboard driver node.

int KBP::Open(const VDEV* vdev) {
    if (gNodeHandle < 0) {
        int fd = -1;
        if (chDevOpen(kNodePath, fd) == 0 && fd >= 0) {
            gNodeHandle = fd;
            unsigned char info[16] = {};
            if (chDevIoctl(gNodeHandle, kKeyboardInformation, info, sizeof info, 0) == 0)
                SetECLevel(info[10]);
        }
    }
    if (gNodeHandle >= 0) {
        ++gNodeUsers;
        ++nodeUses_;
    }
    return PDEV::Open(vdev);
}

int KBP::Close(const VDEV* vdev, int& remaining) {
    int rc = PDEV::Close(vdev, remaining);
    if (nodeUses_ > 0) {
        --nodeUses_;
        if (--gNodeUsers == 0 && gNodeHandle >= 0) {
            chDevClose(gNodeHandle);
            gNodeHandle = -1;
        }
    }
    return rc;
}

// ---------------------------------------------------------------------------------------
// Requests of the virtual keyboards.

void KBP::SetLEDBits(unsigned char* lightsByte, unsigned char lights) {
    *lightsByte = static_cast<unsigned char>((*lightsByte & 0xF0) | (lights & 0x0F));
}

int KBP::ValidateDoubleKey(unsigned char first, unsigned char second) {
    return keyNumberMap_[first] == 0xFF || keyNumberMap_[second] == 0xFF
               ? POSERR_KBD_INVALID_DOUBLE_KEY
               : 0;
}

int KBP::ValidateNumpadLocation(int) { return 0; }

int KBP::ValidateNumpadStyle(int style) {
    return style >= 0 && style <= 3 ? 0 : POSERR_KBD_INVALID_NUMPAD_STYLE;
}

int KBP::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    // The link timing requests of every physical device.
    if (request >= TELLPHYS_SET_ACK_WAIT && request <= TELLPHYS_GET_ADDRESS_WAIT)
        return PDEV::TellPhys(sender, request, data, length);

    const bool needsRecord = request == KBD_REQ_SETTINGS || request == KBD_REQ_LIGHTS ||
                             request == KBD_REQ_SOUND_TONE || request == KBD_REQ_READ_KEY_LOCK;
    if (needsRecord && (!data || length < static_cast<int>(sizeof(KbdSettingsRecord)))) return 318;
    KbdSettingsRecord* record = reinterpret_cast<KbdSettingsRecord*>(data);

    switch (request) {
    case KBD_REQ_SETTINGS:
        numpadStyle_ = record->numpadStyle;
        SetLEDBits(&lights_[lightsAt_], static_cast<unsigned char>(record->lights));
        SetPending(KBP_SLOT_LIGHTS);
        if (record->locked)
            SetStatusBits(KBP_LOCKED);
        else
            ClearStatusBits(KBP_LOCKED);
        break;
    case KBD_REQ_LIGHTS:
        SetLEDBits(&lights_[lightsAt_], static_cast<unsigned char>(record->lights));
        SetPending(KBP_SLOT_LIGHTS);
        break;
    case KBD_REQ_TONE_OFF:
        slots_[KBP_SLOT_TONE] = {toneOff_, sizeof toneOff_};
        SetPending(KBP_SLOT_TONE);
        ClearStatusBits(KBP_TONE_ON);
        break;
    case KBD_REQ_SOUND_TONE: {
        unsigned char flags = static_cast<unsigned char>(tone_[toneFlagsAt_] & 0x03);
        if (record->toneVolume == 1) flags |= 0x04;
        if (record->toneFreq == 2) flags |= 0x08;
        if (record->toneFreq == 3) flags |= 0x10;
        tone_[2] = 0;
        int toneLength = 3;
        if (record->toneDuration == 1) {
            flags |= 0x20;
            toneLength = 2;
            SetStatusBits(KBP_TONE_ON);
        } else {
            tone_[2] = static_cast<unsigned char>(record->toneDuration);
            ClearStatusBits(KBP_TONE_ON);
        }
        tone_[toneFlagsAt_] = flags;
        slots_[KBP_SLOT_TONE] = {tone_, toneLength};
        SetPending(KBP_SLOT_TONE);
        break;
    }
    case KBD_REQ_LOCK:
        SetStatusBits(KBP_LOCKED);
        return 0;
    case KBD_REQ_UNLOCK:
        ClearStatusBits(KBP_LOCKED);
        return 0;
    case KBD_REQ_READ_KEY_LOCK:
        record->keyLock = LinkUpAndConfirmed() ? keyLock_ : 0;
        return 0;
    default: {
        int32_t number = request;
        Log(kLogUnknownRequest, 321, 0, &number, sizeof number);
        return 0;
    }
    }
    // Settings, lights and tone go out at the next send turn while the keyboard is online;
    // otherwise they stay pending until it is back.
    return RequestSendTurn();
}
