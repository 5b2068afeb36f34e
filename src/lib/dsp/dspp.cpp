// Physical display base: command slots and the link notifications every display model
// shares, with the status answer that brings a display online.
#include "DSP.h"

#include "ADAPTER.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)dspp.cpp 1.1";

// Log ids of the status answer.
enum : uint32_t { kLogCommandReject = 4401, kLogWrapFailed = 4402, kLogDiagFailed = 4403 };

uint16_t blockLength(int n) { return static_cast<uint16_t>(n <= 0 ? 0 : (n > 0xFFFF ? 0xFFFF : n)); }

} // namespace

DSP::DSP(const DeviceID& id, const unsigned char* name) : SIODEVICE(id, name) {
    deviceType_ = DSP_DEVICE_TYPE;
    pending_ = 0;
    slotCount_ = 1;
    SetSlot(0, statusRequest_, sizeof statusRequest_, true);
}

DSP::~DSP() = default;

// ---------------------------------------------------------------------------------------
// Slots.

void DSP::SetPending(int slot) {
    if (slot >= 0 && slot < kMaxSlots) pending_ |= 1u << slot;
}

void DSP::ClearPending(int slot) {
    if (slot >= 0 && slot < kMaxSlots) pending_ &= ~(1u << slot);
}

void DSP::SetSlot(int slot, const unsigned char* bytes, int length, bool keep) {
    if (slot < 0 || slot >= kMaxSlots) return;
    slots_[slot] = CommandSlot{bytes, length, keep ? 1 : 0};
}

void DSP::SetRowSlots(int first, int second) {
    rowSlots_[0] = first;
    rowSlots_[1] = second;
}

int DSP::CheckHolder(const VDEV* sender) const {
    return sender && sender == owner_ ? 0 : 315;
}

int DSP::RequestSendTurn() {
    NewRequest();
    if (!Ready()) return 317;
    return adapter_ ? adapter_->RequestBuffer() : 327;
}

void DSP::LogWith(uint32_t logId, uint32_t rc, uint32_t extra, const char* tag, const void* data,
                  int n) const {
    clErrorLog(logId, rc, extra, tag, this, blockLength(static_cast<int>(sizeof *this)),
               data, data ? blockLength(n) : 0);
}

int DSP::SendSlot(int slot) {
    const CommandSlot& s = slots_[slot];
    int rc = SendMsg(s.bytes, s.length);
    if (rc != 0) return rc;
    if (s.keep)
        SetStatusBits(SIODEV_AWAITING_REPLY);
    else
        ClearPending(slot);
    lastSent_ = slot;
    answerDue_ = true;
    acked_ = false;
    if (slot == rowSlots_[0] || slot == rowSlots_[1]) toggle_ = slot;
    return 0;
}

void DSP::SettleAcked() {
    if (!answerDue_ || !acked_ || AwaitingReply()) return;
    answerDue_ = false;
    CommandAccepted();
}

int DSP::SendAnyPendingMessage() {
    SettleAcked();
    if (slotCount_ <= 0 || AwaitingReply()) return -1;
    const int count = slotCount_ < kMaxSlots ? slotCount_ : kMaxSlots;
    for (int i = 0; i < count && !AwaitingReply(); ++i) {
        if (!IsPending(i)) continue;
        int slot = i;
        // Both rows waiting: the one not sent last goes first.
        if ((i == rowSlots_[0] || i == rowSlots_[1]) && IsPending(rowSlots_[0]) &&
            IsPending(rowSlots_[1]) && toggle_ == i)
            slot = i == rowSlots_[0] ? rowSlots_[1] : rowSlots_[0];
        return SendSlot(slot);
    }
    return -1;
}

int DSP::SendKeepingRowInFlight(DspRowInFlight& inFlight) {
    SettleAcked();
    if (AwaitingReply()) return -1;
    if (inFlight.resend) {
        int rc = SendMsg(inFlight.copy, inFlight.length);
        if (rc == 0) {
            inFlight.Resent();
            lastSent_ = inFlight.slot;
            answerDue_ = true;
            acked_ = false;
        }
        return rc;
    }
    int rc = DSP::SendAnyPendingMessage();
    if (rc == 0) {
        if (lastSent_ == rowSlots_[0] || lastSent_ == rowSlots_[1])
            inFlight.Sent(lastSent_, slots_[lastSent_].bytes, slots_[lastSent_].length);
        else
            inFlight.Reset();
    }
    return rc;
}

bool DSP::RetryRejected() {
    if (!answerDue_) return false;
    answerDue_ = false;
    CommandRejected();
    const int slot = lastSent_;
    if (slot >= 0 && slot < kMaxSlots && !slots_[slot].keep) pending_ |= 1u << slot;
    return true;
}

void DSP::AnswerAccepted() {
    if (!answerDue_) return;
    answerDue_ = false;
    CommandAccepted();
}

int DSP::LostKeepingRowInFlight(DspRowInFlight& inFlight) {
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    if (!inFlight.Lost()) SetPending(lastSent_);
    return 0;
}

// ---------------------------------------------------------------------------------------
// Link notifications.

int DSP::NewMsgRcvd(const unsigned char* data, int n) {
    const unsigned char status = data && n > 0 ? data[0] : 0;
    for (int bit = 0; bit < 8; ++bit) {
        if (!(status & (1u << bit))) continue;
        switch (bit) {
        case 4:
            LogWith(kLogWrapFailed, 323, 0, kTag, data, n);
            break;
        case 5:
            // The status answer: EC level, and the display is there. An answer too short
            // to carry the EC level still answers the request.
            if (n >= 2) SetECLevel(data[1]);
            ClearPending(0);
            NowConfirmed();
            break;
        case 6:
            LogWith(kLogDiagFailed, 324, 0, kTag, data, n);
            break;
        case 7:
            // Otherwise the display would go on showing what it showed before.
            LogWith(kLogCommandReject, 322, 0, kTag, data, n);
            RetryRejected();
            break;
        default:
            break;
        }
    }
    if (!(status & 0x80)) AnswerAccepted();
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    int rc = SendAnyPendingMessage();
    if (rc == -1) return SendAck();
    return rc + 1;
}

int DSP::PowerOnResetInProgress() {
    SetStatusBits(SIODEV_AWAITING_REPLY);
    answerDue_ = acked_ = false;
    SetPending(0);
    return 0;
}

int DSP::CommandResetInProgress() {
    SetStatusBits(SIODEV_AWAITING_REPLY);
    return 0;
}

int DSP::SequenceResetInProgress(const unsigned char* /*data*/, int /*n*/) {
    SetStatusBits(SIODEV_AWAITING_REPLY);
    return 0;
}

int DSP::ResetComplete() {
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    return 0;
}

int DSP::LastMsgLost(const unsigned char* /*data*/, int /*n*/) {
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    SetPending(lastSent_);
    return 0;
}

int DSP::LastMsgAcked() {
    NoteAcked();
    return 0;
}

int DSP::LastAckLost(const unsigned char* /*data*/, int /*n*/) { return SendAck(); }
