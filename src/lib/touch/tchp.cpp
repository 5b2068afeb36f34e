// Command slots, the outstanding command, the busy watchdog and the link's resets of every
// touch controller.
#include "TCHP.h"

#include "TouchMouse.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)tchp.cpp 1.1";

enum : uint32_t { LOG_BUSY_TOO_LONG = 29001 };

constexpr uint32_t bit(int slot) { return 1u << slot; }

bool validSlot(int slot) { return slot >= 0 && slot < TCHP_SLOTS; }

} // namespace

TCHP::TCHP(const DeviceID& id, const unsigned char* name) : SIODEVICE(id, name) {
    deviceType_ = TCH_DEVICE_CLASS;
    slots_[TCHP_SLOT_RESET] = {resetCommand_, sizeof resetCommand_};
    slots_[TCHP_SLOT_DEVICE_INFO] = {infoCommand_, sizeof infoCommand_};
    emulateAllowed_ = static_cast<int16_t>(tchEmulateMouseAllowed());
}

TCHP::~TCHP() = default;

void TCHP::Schedule(int slot) {
    if (!validSlot(slot)) return;
    pending_ |= bit(slot);
    rearm_ |= bit(slot);
}

void TCHP::Unschedule(int slot) {
    if (!validSlot(slot)) return;
    pending_ &= ~bit(slot);
    rearm_ &= ~bit(slot);
}

// ---------------------------------------------------------------------------------------
// Sending.

int TCHP::SendAnyPendingMessage() { return SendPendingSlot(); }

int TCHP::SendPendingSlot() {
    if (Busy()) {
        const int32_t limit =
            InResetSequence() ? TCHP_RESET_BUSY_LIMIT_MS : TCHP_BUSY_LIMIT_MS;
        if (chTimeDiff(chTime(), busyStart_) > limit) {
            clErrorLog(LOG_BUSY_TOO_LONG, 306, 0, kTag, this, sizeof(TCHP));
            tchScheduleCmdMsg(TCHP_CMD_RESET, nullptr);
        }
        if (Busy()) return -1;
    }
    int rc = -1;
    bool paused = false;
    for (int slot = 0; slot < TCHP_SLOTS && !Busy(); ++slot) {
        if (!(pending_ & bit(slot)) || !slots_[slot].bytes) continue;
        if (tchSkipThisCmdMsg(slot) != 0) continue;
        if (sendPauseMs_ > 0 && !paused) {
            // The controller needs a pause between commands; it is taken only when one goes.
            chSleep(sendPauseMs_);
            paused = true;
        }
        rc = SendMsg(slots_[slot].bytes, slots_[slot].length);
        if (rc != 0) continue; // stays pending; the next slot may go
        outstanding_ = slot;
        commandState_ = TCHP_CMD_SENT;
        rearm_ &= ~bit(slot);
        SetStatusBits(TCHP_BUSY);
        busyStart_ = chTime();
        break;
    }
    return rc;
}

int TCHP::tchCompleteCmd(int slot) {
    if (commandState_ != TCHP_CMD_ACKED || slot != outstanding_ || !validSlot(slot)) return -1;
    commandState_ = TCHP_CMD_IDLE;
    ClearStatusBits(TCHP_BUSY);
    if (!(rearm_ & bit(slot))) pending_ &= ~bit(slot);
    // The reset and device information start every restart that follows a reject: they do
    // not end the rejects.
    if (slot != TCHP_SLOT_RESET && slot != TCHP_SLOT_DEVICE_INFO &&
        (refusedSlot_ < 0 || slot == refusedSlot_ || !(pending_ & bit(refusedSlot_)))) {
        refusedSlot_ = -1;
        CommandAccepted();
    }
    return 0;
}

void TCHP::CommandRefused() {
    if (commandState_ == TCHP_CMD_IDLE || !validSlot(outstanding_)) return;
    refusedSlot_ = outstanding_;
    CommandRejected();
}

// ---------------------------------------------------------------------------------------
// Scheduling and skipping in the base.

void TCHP::tchScheduleCmdMsg(int command, TCHRES* /*settings*/) {
    switch (command) {
    case TCHP_CMD_RESET:
        commandState_ = TCHP_CMD_IDLE;
        ClearStatusBits(TCHP_BUSY);
        Schedule(TCHP_SLOT_RESET);
        break;
    case TCHP_CMD_DEVICE_INFO:
        Schedule(TCHP_SLOT_DEVICE_INFO);
        break;
    default:
        break;
    }
}

int TCHP::tchSkipThisCmdMsg(int slot) {
    if (slot == TCHP_SLOT_RESET) {
        // The controller goes away with the reset: offline, and the pointer lets go.
        NowNotConfirmed();
        tchEmulateOffline();
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// The link's handlers.

int TCHP::LastMsgAcked() {
    if (commandState_ == TCHP_CMD_SENT) commandState_ = TCHP_CMD_ACKED;
    return 0;
}

int TCHP::LastMsgLost(const unsigned char* /*data*/, int /*n*/) {
    if (commandState_ == TCHP_CMD_SENT) {
        // The slot is still pending: it goes again.
        commandState_ = TCHP_CMD_IDLE;
        ClearStatusBits(TCHP_BUSY);
    }
    return 0;
}

int TCHP::LastAckLost(const unsigned char* /*data*/, int /*n*/) { return SendAck(); }

void TCHP::tchResetSeqInit() {
    if (InResetSequence()) return;
    commandState_ = TCHP_CMD_IDLE;
    SetStatusBits(TCHP_BUSY | TCHP_RESET_SEQUENCE);
    busyStart_ = chTime();
}

int TCHP::CommandResetInProgress() {
    tchResetSeqInit();
    return 0;
}

int TCHP::PowerOnResetInProgress() {
    tchResetSeqInit();
    return 0;
}

int TCHP::SequenceResetInProgress(const unsigned char* /*data*/, int /*n*/) {
    tchResetSeqInit();
    return 0;
}

int TCHP::ResetComplete() {
    ClearStatusBits(TCHP_RESET_SEQUENCE | TCHP_BUSY);
    commandState_ = TCHP_CMD_IDLE;
    Unschedule(TCHP_SLOT_RESET);
    return 0;
}

// ---------------------------------------------------------------------------------------
// Mouse emulation hooks.

int TCHP::tchEmulateMouseAllowed() { return 1; }

void TCHP::tchEmulateOnline() {
    if (emulateAllowed_) TouchMouseOnline(deviceSubtype_);
}

void TCHP::tchEmulateOffline() { TouchMouseOffline(); }

void TCHP::tchEmulateData(unsigned long status, unsigned long point) {
    if (emulateAllowed_) TouchMouseData(status, point);
}
