// Reader physical base: command slots and their send discipline, the link notifications,
// the stop flag and the extraction of track blocks.
#include "MSP.h"

#include <cstring>

#include "MSV.h"
#include "VDEV.h"

namespace {

const char kTag[] = "@(#)msp.cpp 1.1";

uint16_t blockLength(int n) { return static_cast<uint16_t>(n <= 0 ? 0 : (n > 0xFFFF ? 0xFFFF : n)); }

} // namespace

MSP::MSP(const DeviceID& id, const unsigned char* name) : SIODEVICE(id, name) {
    addressWaitTime_ = 32;
    byteWaitTime_ = 16;
    deviceType_ = MSR_DEVICE_TYPE;
    vdevType_ = MSV_TYPE_ID;
    slots_[MSP_SLOT_EC_LEVEL] = {ecRequest_, sizeof ecRequest_};
    slots_[MSP_SLOT_2] = {slot2Bytes_, 1};
    slots_[MSP_SLOT_3] = {slot3Bytes_, 1};
    slots_[MSP_SLOT_ENCODE_TIMEOUT] = {encodeTimeout_, sizeof encodeTimeout_};
    slots_[MSP_SLOT_ENCODE_DATA] = {encodeData_, 3};
    SetPending(MSP_SLOT_EC_LEVEL);
    SetPending(MSP_SLOT_2);
}

MSP::~MSP() = default;

// ---------------------------------------------------------------------------------------
// Slots.

void MSP::SetPending(int slot) {
    if (slot >= 0 && slot < MSP_SLOTS) pending_ |= 1u << slot;
}

void MSP::ClearPending(int slot) {
    if (slot >= 0 && slot < MSP_SLOTS) pending_ &= ~(1u << slot);
}

bool MSP::IsPending(int slot) const {
    return slot >= 0 && slot < MSP_SLOTS && (pending_ & (1u << slot)) != 0;
}

bool MSP::LinkUpAndConfirmed() const {
    return TestStatusBits(PDEV_PRESENT) && TestStatusBits(PDEV_ONLINE);
}

void MSP::Log(uint32_t logId, uint32_t rc, uint32_t extra, const void* data, int n,
              const char* tag) const {
    clErrorLog(logId, rc, extra, tag ? tag : kTag, this,
               blockLength(static_cast<int>(sizeof *this)), data, data ? blockLength(n) : 0);
}

int MSP::SendAnyPendingMessage() {
    int result = -1;
    // The reader confirms each command; its pending bit is cleared by the model then.
    for (int slot = 0; result == -1 && slot < MSP_SLOTS && !TestStatusBits(SIODEV_AWAITING_REPLY);
         ++slot) {
        if (!IsPending(slot) || !slots_[slot].bytes || slots_[slot].length <= 0) continue;
        result = SendMsg(slots_[slot].bytes, slots_[slot].length);
        if (result == 0) {
            outstanding_ = slot;
            SetStatusBits(SIODEV_AWAITING_REPLY);
        }
    }
    return result;
}

void MSP::ReportAnswer(bool error) {
    if (!TestStatusBits(SIODEV_AWAITING_REPLY)) return;
    if (!IsPending(outstanding_))
        CommandAccepted();
    else if (error)
        CommandRejected();
}

int MSP::SendNextOrAck() {
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    const int rc = SendAnyPendingMessage();
    if (rc != -1) return rc + 1;
    return SendAck();
}

// ---------------------------------------------------------------------------------------
// Link notifications.

int MSP::CommandResetInProgress() {
    SetStatusBits(SIODEV_AWAITING_REPLY);
    return 0;
}

int MSP::SequenceResetInProgress(const unsigned char*, int) {
    SetStatusBits(SIODEV_AWAITING_REPLY);
    return 0;
}

int MSP::ResetComplete() {
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    return 0;
}

int MSP::LastMsgLost(const unsigned char*, int) {
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    SetPending(outstanding_);
    return 0;
}

int MSP::PowerOnResetInProgress() {
    SetStatusBits(SIODEV_AWAITING_REPLY);
    SetPending(MSP_SLOT_EC_LEVEL);
    return 0;
}

int MSP::LastAckLost(const unsigned char*, int) { return SendAck(); }

void MSP::NowNotConfirmed() {
    PDEV::NowNotConfirmed();
    ClearPending(MSP_SLOT_ENCODE_TIMEOUT);
    ClearPending(MSP_SLOT_ENCODE_DATA);
}

int MSP::LastMsgAcked() { return 0; }

// ---------------------------------------------------------------------------------------
// Requests of the virtual reader.

int MSP::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    if (request >= TELLPHYS_SET_ACK_WAIT && request <= TELLPHYS_GET_ADDRESS_WAIT)
        return PDEV::TellPhys(sender, request, data, length);
    if (request == MSR_REQ_UNLOCK) stop_ = 0;
    if (request == MSR_REQ_LOCK) stop_ = 1;
    return 0;
}

// ---------------------------------------------------------------------------------------
// Swipes.

MSV* MSP::SwipeTaker() const {
    MSV* v = dynamic_cast<MSV*>(owner_);
    if (!v || stop_ != 0 || v->IsLocked()) return nullptr;
    return v;
}

void MSP::BeginExtract(const unsigned char* msg, int length) {
    extractEnd_ = msg && length > 0 ? msg + length : msg;
}

MsrTrackSlot* MSP::TrackSlot(int slot) const {
    MSV* v = dynamic_cast<MSV*>(owner_);
    if (!v || slot < 0 || slot >= MSR_TRACKS) return nullptr;
    return &v->Slot(slot);
}

void MSP::TellSwipe() {
    if (owner_) owner_->TellVirt(this, MSR_MSG_SWIPE, nullptr, 0);
}

int MSP::Extract(const unsigned char*& cursor, int slot) {
    MsrTrackSlot* s = TrackSlot(slot);
    if (!s || !cursor || !extractEnd_ || cursor >= extractEnd_) return 0;
    const int L = *cursor++;
    if (L > extractEnd_ - cursor) {
        // The block runs past the message: the track is unreadable and nothing follows.
        s->length = 0;
        s->error = 1;
        cursor = extractEnd_;
        return POSERR_SYS_INVALID_LENGTH;
    }
    if (L == 0) {
        s->length = 0;
    } else if (L <= maxTrack_[slot] && L <= MSR_TRACK_DATA) {
        s->length = static_cast<int16_t>(L);
        std::memcpy(s->data, cursor, static_cast<size_t>(L));
    } else {
        s->length = 0;
        s->error = 1;
    }
    cursor += L;
    return 0;
}
