// The cash-drawer unit: command slots over the link, the unit's status replies, the online
// states of its three logical devices, and the holders of drawer 1 and of drawer 2 with
// the alarm.
#include "CDP.h"

#include <cstring>

#include "ADAPTER.h"
#include "ObjectSupport.h"
#include "VDEV.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)cdp.cpp 1.1";

// Log ids of this module.
enum : uint32_t {
    LOG_NOT_RELEASED = 7001,
    LOG_COMMAND_REJECT = 7002,
    LOG_DIAGS_FAILED = 7003,
    LOG_BAD_TELL_PHYS_REQUEST = 7004,
    LOG_BAD_REPLY = 7005,
};

// Reply bytes of the unit.
enum : unsigned char {
    REPLY_DIAG_FAILED = 0x02,      // byte 0
    REPLY_REJECTED = 0x80,         // byte 0
    REPLY_ACCEPTED = 0x08,         // byte 1: the last command was accepted
    REPLY_EC_LEVEL = 0x10,         // byte 1: byte 2 holds the EC level
};

constexpr int32_t kRejectLogPauseMs = 1800 * 1000; // a reject is logged once per 30 minutes

const unsigned char kStatusRequest[] = {0x00, 0x80};
const unsigned char kOpenDrawer1[] = {0x01};
const unsigned char kOpenDrawer2[] = {0x02};
const unsigned char kSoundAlarm[] = {0x06};
const unsigned char kSilenceAlarm[] = {0x08};

uint16_t clip16(int n) { return static_cast<uint16_t>(n <= 0 ? 0 : (n > 0xFFFF ? 0xFFFF : n)); }

constexpr uint32_t bit(int slot) { return 1u << slot; }

} // namespace

CDP::CDP(const DeviceID& id) : SIODEVICE(id, "CDP") {
    deviceType_ = TILL_CLASS_CASH_DRAWER;
    vdevType_ = -1; // GetVdevInfo decides per device number
    addressWaitTime_ = 192;
    byteWaitTime_ = 144;
    ackWaitTime_ = 1000;

    slots_[CDP_SLOT_STATUS] = {kStatusRequest, sizeof kStatusRequest};
    slots_[CDP_SLOT_PULSE_TIMES] = {pulseCommand_, sizeof pulseCommand_};
    slots_[CDP_SLOT_OPEN_DRAWER1] = {kOpenDrawer1, sizeof kOpenDrawer1};
    slots_[CDP_SLOT_OPEN_DRAWER2] = {kOpenDrawer2, sizeof kOpenDrawer2};
    slots_[CDP_SLOT_SOUND_ALARM] = {kSoundAlarm, sizeof kSoundAlarm};
    slots_[CDP_SLOT_SILENCE_ALARM] = {kSilenceAlarm, sizeof kSilenceAlarm};
    pulseCommand_[0] = 0x80;
    std::memcpy(pulseCommand_ + 1, pulseTimes_, sizeof pulseTimes_);
}

CDP::~CDP() {
    if (drawer1Holder_ || sharedHolder_) clErrorLog(LOG_NOT_RELEASED, 321, 0, kTag, this, sizeof(CDP));
}

// ---------------------------------------------------------------------------------------
// Logical devices.

bool CDP::Confirmed(unsigned char address) const {
    switch (address) {
    case TILL_DRAWER1_ADDRESS: return (unitStatus_ & CDP_DRAWER1_ONLINE) != 0;
    case TILL_DRAWER2_ADDRESS:
    case TILL_ALARM_ADDRESS: return (unitStatus_ & CDP_DRAWER2_ONLINE) != 0;
    default: return PDEV::Confirmed(address);
    }
}

int CDP::GetVdevInfo(unsigned char address, unsigned char& deviceType, long& vdevType) const {
    switch (address) {
    case TILL_DRAWER1_ADDRESS:
    case TILL_DRAWER2_ADDRESS:
        deviceType = TILL_CLASS_CASH_DRAWER;
        vdevType = TILL_TYPE_ID;
        return 0;
    case TILL_ALARM_ADDRESS:
        deviceType = TILL_CLASS_ALARM;
        vdevType = ALARM_TYPE_ID;
        return 0;
    default:
        deviceType = 0;
        vdevType = 0;
        return 317;
    }
}

void CDP::Announce(bool online, unsigned char address, unsigned char deviceClass) {
    aprintf(online ? "--> %s (%x.%x.%x) online\n" : "--> %s (%x.%x.%x) offline\n", nameTag_,
            id_.slot, id_.port, address);
    if (online)
        PostOnlineMsg(nullptr, address, deviceClass, deviceSubtype_);
    else
        PostOfflineMsg(nullptr, address, deviceClass, deviceSubtype_);
}

// Called by the link (the unit is gone: everything goes offline) and, with reevaluate_ set,
// after each reply (a logical device whose part of the unit is no longer connected goes
// offline; drawer 2 and the alarm stay while the alarm sounds).
// An open or a sound still queued for a device that goes offline is dropped: its client is
// told by the offline event, and the drawer must not open (nor the alarm start) by itself
// once the unit is back. A silence stays: it only ever ends an alarm.
void CDP::NowNotConfirmed() {
    if (!reevaluate_) {
        ClearStatusBits(PDEV_ONLINE);
        DropQueued(bit(CDP_SLOT_OPEN_DRAWER1) | bit(CDP_SLOT_OPEN_DRAWER2) | bit(CDP_SLOT_SOUND_ALARM));
    }
    if ((unitStatus_ & CDP_DRAWER1_ONLINE) &&
        (!reevaluate_ || (unitStatus_ & CDP_DRAWER1_NOT_CONNECTED))) {
        unitStatus_ &= ~CDP_DRAWER1_ONLINE;
        DropQueued(bit(CDP_SLOT_OPEN_DRAWER1));
        Announce(false, TILL_DRAWER1_ADDRESS, TILL_CLASS_CASH_DRAWER);
    }
    if ((unitStatus_ & CDP_DRAWER2_ONLINE) &&
        (!reevaluate_ ||
         ((unitStatus_ & CDP_DRAWER2_NOT_CONNECTED) && !(unitStatus_ & CDP_ALARM_SOUNDING)))) {
        unitStatus_ &= ~CDP_DRAWER2_ONLINE;
        DropQueued(bit(CDP_SLOT_OPEN_DRAWER2) | bit(CDP_SLOT_SOUND_ALARM));
        Announce(false, TILL_DRAWER2_ADDRESS, TILL_CLASS_CASH_DRAWER);
        Announce(false, TILL_ALARM_ADDRESS, TILL_CLASS_ALARM);
    }
}

void CDP::DropQueued(uint32_t slots) {
    pending_ &= ~slots;
    askedOnTheWay_ &= ~slots;
}

void CDP::NowConfirmed() {
    if (!reevaluate_) SetStatusBits(PDEV_ONLINE);
    if (!(unitStatus_ & CDP_DRAWER1_ONLINE) &&
        (!reevaluate_ || !(unitStatus_ & CDP_DRAWER1_NOT_CONNECTED))) {
        unitStatus_ |= CDP_DRAWER1_ONLINE;
        Announce(true, TILL_DRAWER1_ADDRESS, TILL_CLASS_CASH_DRAWER);
    }
    if (!(unitStatus_ & CDP_DRAWER2_ONLINE) &&
        !(reevaluate_ && (unitStatus_ & CDP_DRAWER2_NOT_CONNECTED) &&
          !(unitStatus_ & CDP_ALARM_SOUNDING))) {
        unitStatus_ |= CDP_DRAWER2_ONLINE;
        Announce(true, TILL_DRAWER2_ADDRESS, TILL_CLASS_CASH_DRAWER);
        Announce(true, TILL_ALARM_ADDRESS, TILL_CLASS_ALARM);
    }
}

void CDP::TellQueueWhosOnline(const MsgQueueInfo* queue) {
    if (unitStatus_ & CDP_DRAWER1_ONLINE)
        PostOnlineMsg(queue, TILL_DRAWER1_ADDRESS, TILL_CLASS_CASH_DRAWER, deviceSubtype_);
    if (unitStatus_ & CDP_DRAWER2_ONLINE) {
        PostOnlineMsg(queue, TILL_DRAWER2_ADDRESS, TILL_CLASS_CASH_DRAWER, deviceSubtype_);
        PostOnlineMsg(queue, TILL_ALARM_ADDRESS, TILL_CLASS_ALARM, deviceSubtype_);
    }
}

// ---------------------------------------------------------------------------------------
// Holders.

VDEV*& CDP::HolderFor(unsigned char address) {
    return address == TILL_DRAWER1_ADDRESS ? drawer1Holder_ : sharedHolder_;
}

int CDP::Acquire(VDEV* vdev) {
    if (!vdev) return 321;
    VDEV*& holder = HolderFor(vdev->GetDeviceID().device);
    if (holder) return holder == vdev ? 314 : 313;
    holder = vdev;
    // The core's own holder is whichever acquired first; Release hands it on.
    PDEV::Acquire(vdev);
    return 0;
}

bool CDP::AlarmSoundingOrOnItsWay() const {
    // The sound command's slot stays pending from its queueing until the unit accepts it.
    return (unitStatus_ & CDP_ALARM_SOUNDING) || (pending_ & bit(CDP_SLOT_SOUND_ALARM));
}

int CDP::Release(VDEV* vdev) {
    if (!vdev) return 315;
    VDEV*& holder = HolderFor(vdev->GetDeviceID().device);
    if (holder != vdev) return 315;
    holder = nullptr;
    const bool shared = &holder == &sharedHolder_;
    bool silence = false;
    if (shared && AlarmSoundingOrOnItsWay()) {
        // Nobody may be left with an alarm sounding that no one can silence: the silence
        // goes after a sound command that is still queued or on its way.
        pending_ |= bit(CDP_SLOT_SILENCE_ALARM);
        silence = true;
    }
    VDEV* other = shared ? drawer1Holder_ : sharedHolder_;
    if (PDEV::Release(vdev) == 0 && other) PDEV::Acquire(other);
    if (silence) {
        NewRequest();
        RequestSendTurn();
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// Requests of the virtual devices.

int32_t CDP::PulseTime(int drawer) const {
    const unsigned char* p = pulseTimes_ + (drawer == 2 ? 3 : 0);
    return static_cast<int32_t>(p[0]) << 16 | static_cast<int32_t>(p[1]) << 8 | p[2];
}

void CDP::SetPulseTime(int drawer, int32_t microseconds) {
    unsigned char* p = pulseTimes_ + (drawer == 2 ? 3 : 0);
    p[0] = static_cast<unsigned char>(microseconds >> 16);
    p[1] = static_cast<unsigned char>(microseconds >> 8);
    p[2] = static_cast<unsigned char>(microseconds);
    std::memcpy(pulseCommand_ + 1, pulseTimes_, sizeof pulseTimes_);
}

int CDP::RequestSendTurn() {
    if (!LinkUp() || !UnitConfirmed() || !adapter_) return 0;
    return adapter_->RequestBuffer();
}

int CDP::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    if (request >= TELLPHYS_SET_ACK_WAIT && request <= TELLPHYS_GET_ADDRESS_WAIT)
        return SIODEVICE::TellPhys(sender, request, data, length);
    if (request < CDP_REQ_ALARM_STATUS || request > CDP_REQ_OPEN_TILL2 || !data ||
        length < static_cast<int>(sizeof(TillRequest))) {
        clErrorLog(LOG_BAD_TELL_PHYS_REQUEST, 321, static_cast<uint32_t>(request), kTag, this,
                   sizeof(CDP), data, data ? clip16(length) : 0);
        return 321;
    }
    TillRequest rec;
    std::memcpy(&rec, data, sizeof rec);

    // The requesting thread and the link's thread meet here.
    const bool locked = Lock() == 0;
    const uint32_t status = unitStatus_;
    const bool online = UnitConfirmed();
    bool sendTurn = false;
    int rc = 0;
    switch (request) {
    case CDP_REQ_ALARM_STATUS:
        rec.result = 0;
        if (online && !(status & CDP_DRAWER2_NOT_CONNECTED)) rec.result = 1;
        if (status & CDP_ALARM_SOUNDING) rec.result |= 3;
        break;
    case CDP_REQ_TILL1_STATUS:
    case CDP_REQ_TILL2_STATUS: {
        const bool one = request == CDP_REQ_TILL1_STATUS;
        rec.result = 0;
        if (online) {
            if (!(status & (one ? CDP_DRAWER1_NOT_CONNECTED : CDP_DRAWER2_NOT_CONNECTED)))
                rec.result = 1;
            if (status & (one ? CDP_DRAWER1_OPEN : CDP_DRAWER2_OPEN)) rec.result += 4;
        }
        break;
    }
    case CDP_REQ_SOUND_ALARM:
        if (online && (!(status & CDP_DRAWER2_NOT_CONNECTED) || (status & CDP_ALARM_SOUNDING))) {
            pending_ |= bit(CDP_SLOT_SOUND_ALARM);
            sendTurn = true;
        } else {
            rc = 317;
        }
        break;
    case CDP_REQ_SILENCE_ALARM:
        if ((status & CDP_ALARM_SOUNDING) || AlarmSoundingOrOnItsWay()) {
            pending_ |= bit(CDP_SLOT_SILENCE_ALARM);
            sendTurn = true;
        }
        break;
    case CDP_REQ_OPEN_TILL1:
    case CDP_REQ_OPEN_TILL2: {
        const int drawer = request == CDP_REQ_OPEN_TILL1 ? 1 : 2;
        const uint32_t notConnected =
            drawer == 1 ? CDP_DRAWER1_NOT_CONNECTED : CDP_DRAWER2_NOT_CONNECTED;
        if (rec.value < 0 || rec.value > 0xFFFFFF) {
            // The unit takes 24 bits: a longer pulse cannot be sent as asked.
            clErrorLog(LOG_BAD_TELL_PHYS_REQUEST, 321, static_cast<uint32_t>(request), kTag,
                       this, sizeof(CDP), data, clip16(length));
            rc = 321;
        } else if (!LinkUp() || !online || (status & notConnected)) {
            rc = 317;
        } else {
            if (rec.value != PulseTime(drawer)) {
                SetPulseTime(drawer, rec.value);
                pending_ |= bit(CDP_SLOT_PULSE_TIMES);
            }
            const int slot = drawer == 1 ? CDP_SLOT_OPEN_DRAWER1 : CDP_SLOT_OPEN_DRAWER2;
            pending_ |= bit(slot);
            if (TestStatusBits(SIODEV_AWAITING_REPLY)) askedOnTheWay_ |= bit(slot);
            sendTurn = true;
        }
        break;
    }
    }
    if (sendTurn) NewRequest();
    std::memcpy(data, &rec, sizeof rec);
    if (locked) Unlock();
    if (sendTurn) rc = RequestSendTurn();
    return rc;
}

// ---------------------------------------------------------------------------------------
// The link.

int CDP::SendAnyPendingMessage() {
    for (int i = 0; i < CDP_SLOTS && !TestStatusBits(SIODEV_AWAITING_REPLY); ++i) {
        if (!(pending_ & bit(i)) || !slots_[i].bytes) continue;
        bool go;
        switch (i) {
        case CDP_SLOT_STATUS:
            go = LinkUp();
            break;
        case CDP_SLOT_OPEN_DRAWER1:
        case CDP_SLOT_OPEN_DRAWER2: {
            const uint32_t notConnected = i == CDP_SLOT_OPEN_DRAWER1 ? CDP_DRAWER1_NOT_CONNECTED
                                                                      : CDP_DRAWER2_NOT_CONNECTED;
            go = LinkUp() && UnitConfirmed() && !(unitStatus_ & notConnected);
            // Not now: ask for the unit's status first; the open waits for it.
            if (!go) pending_ |= bit(CDP_SLOT_STATUS);
            break;
        }
        default:
            go = LinkUp() && UnitConfirmed();
            break;
        }
        if (!go) continue;
        int rc = SendMsg(slots_[i].bytes, slots_[i].length);
        if (rc != 0) return rc;
        // The slot stays pending until the unit accepts it.
        SetStatusBits(SIODEV_AWAITING_REPLY);
        if (i == CDP_SLOT_PULSE_TIMES) std::memcpy(pulseSent_, pulseCommand_, sizeof pulseSent_);
        lastSent_ = i;
        return 0;
    }
    return -1;
}

int CDP::NewMsgRcvd(const unsigned char* data, int n) {
    const int32_t now = chTime();
    if (rejectLogged_) {
        const int32_t since = chTimeDiff(now, rejectTime_);
        // A negative difference means the count wrapped: far more than 30 minutes passed.
        if (since < 0 || since > kRejectLogPauseMs) rejectLogged_ = 0;
    }

    // This is the answer to the command on its way: an open asked meanwhile goes all the same.
    const uint32_t askedMeanwhile = askedOnTheWay_;
    askedOnTheWay_ = 0;
    const bool awaited = TestStatusBits(SIODEV_AWAITING_REPLY);

    if (!data || n < 2 || ((data[1] & REPLY_EC_LEVEL) && n < 3)) {
        // Too short to hold what it claims: nothing in it is used; the command goes again.
        clErrorLog(LOG_BAD_REPLY, 306, static_cast<uint32_t>(n), kTag, this, sizeof(CDP), data,
                   data ? clip16(n) : 0);
    } else {
        const unsigned char state = data[0];
        const unsigned char command = data[1];
        const uint32_t before = unitStatus_;

        unitStatus_ = (unitStatus_ & ~CDP_UNIT_BITS) | (state & CDP_UNIT_BITS);
        if (state & REPLY_DIAG_FAILED)
            clErrorLog(LOG_DIAGS_FAILED, 324, 0, kTag, this, sizeof(CDP), data, clip16(n));
        if (state & CDP_DRAWER2_OPEN) pending_ &= ~(bit(CDP_SLOT_OPEN_DRAWER2) & ~askedMeanwhile);
        if (state & CDP_DRAWER1_OPEN) pending_ &= ~(bit(CDP_SLOT_OPEN_DRAWER1) & ~askedMeanwhile);
        if (state & REPLY_REJECTED) {
            ++rejects_;
            // The slot goes again; the link paces the resends of a unit that keeps rejecting.
            if (awaited) CommandRejected();
            if (!rejectLogged_) {
                rejectLogged_ = 1;
                rejectTime_ = now;
                clErrorLog(LOG_COMMAND_REJECT, 322, 0, kTag, this, sizeof(CDP), data, clip16(n));
            }
        } else if (awaited) {
            CommandAccepted();
        }

        // Pulse times changed while the command was on its way are still to be sent.
        if ((command & REPLY_ACCEPTED) && lastSent_ >= CDP_SLOT_PULSE_TIMES &&
            lastSent_ <= CDP_SLOT_SILENCE_ALARM &&
            (lastSent_ != CDP_SLOT_PULSE_TIMES ||
             std::memcmp(pulseSent_, pulseCommand_, sizeof pulseSent_) == 0))
            pending_ &= ~(bit(lastSent_) & ~askedMeanwhile);
        if (command & REPLY_EC_LEVEL) {
            SetECLevel(data[2]);
            SetStatusBits(PDEV_ONLINE);
            pending_ &= ~bit(CDP_SLOT_STATUS);
        }

        reevaluate_ = 1;
        NowNotConfirmed();
        NowConfirmed();
        reevaluate_ = 0;

        // Drawer events to the holder, for a connected drawer whose open state changed.
        if (!(unitStatus_ & CDP_DRAWER1_NOT_CONNECTED) &&
            ((before ^ unitStatus_) & CDP_DRAWER1_OPEN) && drawer1Holder_)
            drawer1Holder_->PostQueueMsg(
                (unitStatus_ & CDP_DRAWER1_OPEN) ? POSM_TILL_OPENED : POSM_TILL_CLOSED, 0, 0);
        if (!(unitStatus_ & CDP_DRAWER2_NOT_CONNECTED) &&
            ((before ^ unitStatus_) & CDP_DRAWER2_OPEN) && sharedHolder_)
            sharedHolder_->PostQueueMsg(
                (unitStatus_ & CDP_DRAWER2_OPEN) ? POSM_TILL_OPENED : POSM_TILL_CLOSED, 0, 0);
    }

    ClearStatusBits(SIODEV_AWAITING_REPLY);
    const int rc = SendAnyPendingMessage();
    return rc == -1 ? SendAck() : rc + 1;
}

int CDP::PowerOnResetInProgress() {
    SetStatusBits(SIODEV_AWAITING_REPLY);
    // The unit starts again: what was asked of the unit before is not carried out.
    DropQueued(bit(CDP_SLOT_OPEN_DRAWER1) | bit(CDP_SLOT_OPEN_DRAWER2) | bit(CDP_SLOT_SOUND_ALARM));
    pending_ |= bit(CDP_SLOT_STATUS) | bit(CDP_SLOT_PULSE_TIMES);
    unitStatus_ &= ~(CDP_UNIT_BITS | CDP_DRAWER1_ONLINE | CDP_DRAWER2_ONLINE);
    unitStatus_ |= CDP_DRAWER1_NOT_CONNECTED | CDP_DRAWER2_NOT_CONNECTED;
    return 0;
}

int CDP::SequenceResetInProgress(const unsigned char* /*data*/, int /*n*/) {
    SetStatusBits(SIODEV_AWAITING_REPLY);
    pending_ |= bit(CDP_SLOT_STATUS);
    return 0;
}

int CDP::CommandResetInProgress() {
    SetStatusBits(SIODEV_AWAITING_REPLY);
    return 0;
}

int CDP::ResetComplete() {
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    return 0;
}

int CDP::LastMsgLost(const unsigned char* /*data*/, int /*n*/) {
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    if (lastSent_ >= 0 && lastSent_ < CDP_SLOTS) pending_ |= bit(lastSent_);
    return 0;
}

int CDP::LastAckLost(const unsigned char* /*data*/, int /*n*/) { return SendAck(); }

int CDP::LastMsgAcked() { return 0; }

// ---------------------------------------------------------------------------------------
// Registration.

PDEV* _CreateCDP(const DeviceID& id) { return new CDP(id); }

namespace {
const unsigned char addressesCDP[] = {TILL_DRAWER1_ADDRESS};
}
ObjectSupport objectCDP(CDP_TYPE_ID, _CreateCDP, addressesCDP, 1);
