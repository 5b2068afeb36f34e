// Physical base of the NVRAM devices on the bus: command slots, the wait for the device's
// answer, and the link notifications.
#include "NVSIOP.h"

#include <cstring>

#include "ADAPTER.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)nvsiop.cpp 1.1";

enum : uint32_t {
    LOG_BAD_WAIT_KIND = 8201,
    LOG_RESET_FAILED = 8202,
    LOG_WAIT_FAILED = 8203,
    LOG_CLOSE_FAILED = 8204,
    LOG_OPEN_FAILED = 8207,
};

} // namespace

NVSIOP::NVSIOP(const DeviceID& id, const char* name) : SIODEVICE(id, name) {
    deviceType_ = NVRAM_DEVICE_CLASS;
    vdevType_ = NVV_TYPE_ID;
    SetSlot(kSlotStatus, statusRequest_, sizeof statusRequest_);
    SetPending(kSlotStatus);
}

NVSIOP::~NVSIOP() {
    if (semOpen_) answered_.Close();
}

void NVSIOP::SetPending(int slot) {
    if (slot >= 0 && slot < kMaxSlots) pending_ |= 1u << slot;
}

void NVSIOP::ClearPending(int slot) {
    if (slot >= 0 && slot < kMaxSlots) pending_ &= ~(1u << slot);
}

void NVSIOP::SetSlot(int slot, const unsigned char* bytes, int length) {
    if (slot >= 0 && slot < kMaxSlots) slots_[slot] = CommandSlot{bytes, length};
}

int NVSIOP::RequestSendTurn() {
    if (!Ready() || !adapter_) return 0;
    return adapter_->RequestBuffer();
}

void NVSIOP::LogWith(uint32_t logId, uint32_t rc, uint32_t extra, const char* tag, const void* data,
                     int n) const {
    clErrorLog(logId, rc, extra, tag, this, NvramBlock(static_cast<long>(sizeof *this)), data,
               data ? NvramBlock(n) : 0);
}

// ---------------------------------------------------------------------------------------
// Open and close.

int NVSIOP::Open(const VDEV* vdev) {
    int rc = PDEV::Open(vdev);
    if (rc == 0 && !semOpen_) {
        if (answered_.Open() != 0) {
            clErrorLog(LOG_OPEN_FAILED, 301, 0, kTag, this, NvramBlock(sizeof *this));
            rc = 301;
        } else {
            semOpen_ = 1;
        }
    }
    if (rc != 0) {
        int remaining = 0;
        PDEV::Close(vdev, remaining);
        return rc;
    }
    ++clients_;
    return 0;
}

int NVSIOP::Close(const VDEV* vdev, int& remaining) {
    // The semaphore stays while other clients remain: one of them may be waiting on it.
    if (clients_ > 0) --clients_;
    if (semOpen_ && clients_ == 0) {
        if (answered_.Close() != 0) clErrorLog(LOG_CLOSE_FAILED, 301, 0, kTag, this, NvramBlock(sizeof *this));
        semOpen_ = 0;
    }
    return PDEV::Close(vdev, remaining);
}

int NVSIOP::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    return PDEV::TellPhys(sender, request, data, length);
}

void NVSIOP::NowNotConfirmed() {
    PDEV::NowNotConfirmed();
    // A device that restarts by itself gets the command again once its link is up. Taken
    // offline any other way (it stopped answering, left after acknowledging, its driver node
    // was lost), it will not answer the waiting client: the client is told at once and the
    // request's commands are dropped (by the model, as for any failed wait).
    if (Restarting() || awaitedSlot_ < 0 || done_ || abandoned_) return;
    abandoned_ = 1;
    NvramPost();
}

// ---------------------------------------------------------------------------------------
// Waiting for the device.

int NVSIOP::NvramWait(int kind, int slot, int timeoutMs) {
    if (kind != 1 && kind != 2) {
        clErrorLog(LOG_BAD_WAIT_KIND, 321, static_cast<uint32_t>(kind), kTag, this, NvramBlock(sizeof *this));
        return 321;
    }
    SetPending(slot);
    RequestSendTurn();
    if (!semOpen_ || answered_.Reset() != 0) {
        clErrorLog(LOG_RESET_FAILED, 301, 0, kTag, this, NvramBlock(sizeof *this));
        return 301;
    }
    // The polling thread needs the device lock to send the command and take the answer:
    // release every hold this thread has on it, and take them all again afterwards.
    int held = 0;
    while (lock_.HeldByCaller() && lock_.Release() == 0) ++held;
    const int rc = answered_.Wait(timeoutMs);
    for (int i = 0; i < held; ++i) lock_.Acquire(15);
    if (rc == 0 || rc == 329 || rc == 332) return rc;
    clErrorLog(LOG_WAIT_FAILED, 301, static_cast<uint32_t>(rc), kTag, this, NvramBlock(sizeof *this));
    return 301;
}

int NVSIOP::Await(int kind, int slot, int timeoutMs) {
    done_ = 0;
    failed_ = 0;
    abandoned_ = 0;
    readLength_ = 0;
    awaitedSlot_ = slot;
    int rc = NvramWait(kind, slot, timeoutMs);
    awaitedSlot_ = -1;
    if (rc == 0 && !done_) rc = abandoned_ ? 317 : 329;
    if (rc == 0 && failed_) rc = 322;
    return rc;
}

void NVSIOP::Complete(int slot, bool failed) {
    if (slot != awaitedSlot_ || done_) return;
    done_ = 1;
    failed_ = failed ? 1 : 0;
    NvramPost();
}

void NVSIOP::KeepReadData(const unsigned char* data, int n) {
    if (n < 0) n = 0;
    if (n > wanted_) n = wanted_;
    if (n > static_cast<int>(sizeof readData_)) n = static_cast<int>(sizeof readData_);
    if (n > 0) std::memcpy(readData_, data, static_cast<size_t>(n));
    readLength_ = n;
}

void NVSIOP::NvramPost() {
    if (semOpen_) answered_.Post();
}

// ---------------------------------------------------------------------------------------
// The link.

int NVSIOP::SendAnyPendingMessage() {
    if (AwaitingReply() || !TestStatusBits(PDEV_PRESENT)) return -1;
    for (int i = 0; i < kMaxSlots; ++i) {
        if (!IsPending(i) || !slots_[i].bytes || slots_[i].length <= 0) continue;
        // Only the status request goes before the device is confirmed.
        if (i != kSlotStatus && !TestStatusBits(PDEV_ONLINE)) continue;
        const int rc = SendMsg(slots_[i].bytes, slots_[i].length);
        if (rc != 0) return rc;
        SetStatusBits(SIODEV_AWAITING_REPLY);
        lastSent_ = i;
        return 0;
    }
    return -1;
}

int NVSIOP::FinishReply() {
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    const int rc = SendAnyPendingMessage();
    return rc == -1 ? SendAck() : rc + 1;
}

int NVSIOP::NewMsgRcvd(const unsigned char* /*data*/, int /*n*/) { return FinishReply(); }

int NVSIOP::PowerOnResetInProgress() {
    SetStatusBits(SIODEV_AWAITING_REPLY);
    SetPending(kSlotStatus);
    return 0;
}

int NVSIOP::CommandResetInProgress() {
    SetStatusBits(SIODEV_AWAITING_REPLY);
    return 0;
}

int NVSIOP::SequenceResetInProgress(const unsigned char* /*data*/, int /*n*/) {
    SetStatusBits(SIODEV_AWAITING_REPLY);
    return 0;
}

int NVSIOP::ResetComplete() {
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    return 0;
}

int NVSIOP::LastMsgLost(const unsigned char* /*data*/, int /*n*/) {
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    SetPending(lastSent_);
    return 0;
}

int NVSIOP::LastMsgAcked() { return 0; }

int NVSIOP::LastAckLost(const unsigned char* /*data*/, int /*n*/) { return SendAck(); }
