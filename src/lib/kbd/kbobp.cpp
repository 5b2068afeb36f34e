// Extended keyboard: construction, the settings requests and the configure command, and the
// messages of the keyboard.
#include "KBOBP.h"

#include <cstring>

#include "VDEV.h"

int32_t fProcessingFatFinger = 0; // C linkage from the declaration

namespace {

const char kTag[] = "@(#)kbobp.cpp 1.1";

enum : uint32_t { kLogShortMessage = 15705 };

// Status bits of byte 1 of a message.
enum : unsigned char {
    kInformation = 0x04,
    kEcLevel = 0x08,
    kCompleted = 0x20,
    kRejected = 0x80,
};

// Byte 0: bit 7 a keyboard error.
constexpr unsigned char kKeyboardError = 0x80;

// Message sizes: status and key lock, plus the information (4 bytes and the EC level) or
// the EC level alone.
constexpr int kHeader = 4;
constexpr int kWithInformation = 9;
constexpr int kWithEcLevel = 5;

} // namespace

KBOBP::KBOBP(const DeviceID& id, const unsigned char* name) : KBP(id, name) {
    addressWaitTime_ = 32;
    byteWaitTime_ = 16;
    vdevType_ = KBANPV_TYPE_ID;
    slots_[KBP_SLOT_INFORMATION] = {informationRequest_, sizeof informationRequest_};
    slots_[KBP_SLOT_MICROCODE] = {block_, 257};
    slots_[KBP_SLOT_CONFIGURE] = {configure_, sizeof configure_};
    SetPending(KBP_SLOT_INFORMATION);
    SetPending(KBP_SLOT_LIGHTS);
}

KBOBP::~KBOBP() { delete[] microcode_; }

void KBOBP::Post(uint32_t msg, uint32_t p1, uint32_t p2) {
    if (owner_) owner_->PostQueueMsg(msg, p1, p2);
}

int KBOBP::CheckKeyLockState(unsigned char bits) { return bits & 0x10 ? 1 : 2; }

int KBOBP::PowerOnResetInProgress() {
    if (microcode_) microcodePosition_ = 0;
    SetStatusBits(SIODEV_AWAITING_REPLY);
    SetPending(KBP_SLOT_INFORMATION);
    SetPending(KBP_SLOT_LIGHTS);
    SetPending(KBP_SLOT_CONFIGURE);
    return 0;
}

// ---------------------------------------------------------------------------------------
// Requests.

int KBOBP::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    const bool settingsRequest = request == KBD_REQ_SETTINGS || request == KBD_REQ_CLICK;
    if (settingsRequest && (!data || length < static_cast<int>(sizeof(KbdSettingsRecord))))
        return 318;
    const KbdSettingsRecord* record = reinterpret_cast<const KbdSettingsRecord*>(data);

    switch (request) {
    case KBD_REQ_SETTINGS: {
        // Both switches of a pair report the first key's scan code.
        std::memset(doubleKeyMap_, 0xFF, sizeof doubleKeyMap_);
        for (int i = 0; i < KBD_DOUBLE_KEYS; ++i) {
            const unsigned char s1 = keyNumberMap_[record->doubleKeys[i][0]];
            const unsigned char s2 = keyNumberMap_[record->doubleKeys[i][1]];
            doubleKeyMap_[s1] = s1;
            doubleKeyMap_[s2] = s1;
        }
        if (record->numpadZero == 2) {
            doubleKeyMap_[numpadZeroPair_[0]] = numpadZeroPair_[0];
            doubleKeyMap_[numpadZeroPair_[1]] = numpadZeroPair_[0];
        }
        configure_[1] = record->typematicOn ? 0x03 : 0x01;
        unsigned char typematic = static_cast<unsigned char>(record->typematicFreq & 0x1F);
        if (record->typematicDelay == 500) typematic += 0x20;
        if (record->typematicDelay == 750) typematic += 0x40;
        if (record->typematicDelay == 1000) typematic += 0x60;
        configure_[2] = typematic & 0x7F;
        configure_[3] = static_cast<unsigned char>(record->fatFingerTimeOut);
        int rc = TellPhys(sender, KBD_REQ_CLICK, data, length);
        SetPending(KBP_SLOT_CONFIGURE);
        if (rc != 0) return rc;
        return KBP::TellPhys(sender, request, data, length);
    }
    case KBD_REQ_TYPEMATIC_ON:
        configure_[1] |= 0x02;
        SetPending(KBP_SLOT_CONFIGURE);
        NewRequest();
        return 0;
    case KBD_REQ_TYPEMATIC_OFF:
        configure_[1] &= static_cast<unsigned char>(~0x02);
        SetPending(KBP_SLOT_CONFIGURE);
        NewRequest();
        return 0;
    case KBD_REQ_CLICK:
        configure_[1] &= static_cast<unsigned char>(~0x0C);
        if (record->click == 1) configure_[1] |= 0x04;
        if (record->click == 2) configure_[1] |= 0x08;
        SetPending(KBP_SLOT_CONFIGURE);
        NewRequest();
        return 0;
    case 2:
    case 3:
        return 0;
    default:
        if (request >= 13 && request <= 23) return 0;
        return KBP::TellPhys(sender, request, data, length);
    }
}

// ---------------------------------------------------------------------------------------
// Messages.

int KBOBP::NewMsgRcvd(const unsigned char* msg, int length) {
    if (!msg || length < 0) length = 0;
    int count = length - kHeader;
    bool shortMessage = length < kHeader;

    if (length >= 1 && (msg[0] & kKeyboardError))
        Log(logKeyboardError_, 321, 0, msg, length, kTag);
    const unsigned char status = length >= 2 ? msg[1] : 0;
    for (int bit = 0; bit < 8; ++bit) {
        if (!(status & (1u << bit))) continue;
        switch (1u << bit) {
        case kInformation:
            if (length < kWithInformation) {
                shortMessage = true;
                break;
            }
            std::memcpy(information_, msg + 4, sizeof information_);
            SetECLevel(msg[8]);
            microcodeDone_ = 0;
            ClearPending(KBP_SLOT_INFORMATION);
            UpdateMicrocode();
            count = length - kWithInformation;
            break;
        case kEcLevel:
            if (length < kWithEcLevel) {
                shortMessage = true;
                break;
            }
            SetECLevel(msg[4]);
            ClearPending(KBP_SLOT_EC_LEVEL);
            count = length - kWithEcLevel;
            break;
        case kCompleted:
            if (microcodeDone_)
                NowConfirmed();
            else
                UpdateMicrocode();
            break;
        case kRejected:
            // Otherwise the tone, lights or setting asked for would never take effect.
            Log(logCommandRejected_, 322, 0, msg, length, kTag);
            RetryRejected();
            break;
        default:
            break;
        }
    }
    if (!(status & kRejected)) AnswerAccepted();
    // A message too short for what it announces carries no codes that can be trusted.
    if (shortMessage) {
        Log(kLogShortMessage, 318, static_cast<uint32_t>(length), msg, length, kTag);
        count = 0;
    }

    if (length >= 3) {
        const int old = keyLock_;
        keyLock_ = CheckKeyLockState(msg[2]);
        if (keyLock_ != old && !Locked() && owner_)
            Post(KBD_WM_STATUS_CHANGE, 0x10000, static_cast<uint32_t>(keyLock_));
    }
    if (!Locked() && owner_ && count > 0) InterpretScanCode(msg, length, count);

    ClearStatusBits(SIODEV_AWAITING_REPLY);
    if (SendAnyPendingMessage() == 0) return 1;
    return SendAck();
}
