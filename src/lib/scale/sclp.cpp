// Scale physical base: command slots, resets and time-outs, and the weight wait.
#include "SCLP.h"

#include <algorithm>

#include "ADAPTER.h"
#include "VDEV.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)sclp.cpp 1.1";

enum : uint32_t {
    LOG_BUSY_TOO_LONG = 31001,
    LOG_INVALID_LAST_CMD_SENT = 31002,
    LOG_CLOSE_SEM_ERROR = 31003,
    LOG_INVALID_SCALE_WAIT_REQUEST = 31005,
    LOG_RESET_SEM_ERROR = 31006,
    LOG_WAIT_SEM_ERROR = 31007,
    LOG_OPEN_SEM_ERROR = 31009,
};

constexpr int32_t kCommandWaitMs = 2000;
constexpr int32_t kResetWaitMs = 30000;

const unsigned char kReset[] = {0x00, 0x40};
const unsigned char kEcLevel[] = {0x00, 0x80};
const unsigned char kWeightEnglish[] = {0x01};
const unsigned char kWeightMetric[] = {0x02};

uint16_t clip16(int n) { return static_cast<uint16_t>(n <= 0 ? 0 : (n > 0xFFFF ? 0xFFFF : n)); }

} // namespace

SCLP::SCLP(const DeviceID& id, const char* name)
    : SIODEVICE(id, name), pending_(Bit(SCLP_SLOT_EC_LEVEL) | Bit(SCLP_SLOT_CONFIGURE)) {
    deviceType_ = SCALE_DEVICE_TYPE;
    addressWaitTime_ = 48;
    slots_[SCLP_SLOT_RESET] = {kReset, sizeof kReset};
    slots_[SCLP_SLOT_EC_LEVEL] = {kEcLevel, sizeof kEcLevel};
    slots_[SCLP_SLOT_WEIGHT_ENGLISH] = {kWeightEnglish, sizeof kWeightEnglish};
    slots_[SCLP_SLOT_WEIGHT_METRIC] = {kWeightMetric, sizeof kWeightMetric};
}

SCLP::~SCLP() = default;

void SCLP::Log(uint32_t id, uint32_t rc, uint32_t extra, const unsigned char* data, int n) const {
    if (data && n > 0)
        clErrorLog(id, rc, extra, kTag, this, sizeof(SCLP), data, clip16(n));
    else
        clErrorLog(id, rc, extra, kTag, this, sizeof(SCLP));
}

int SCLP::RequestSendTurn() { return adapter_ ? adapter_->RequestBuffer() : 0; }

// ---------------------------------------------------------------------------------------
// Users.

int SCLP::Open(const VDEV* vdev) {
    int rc = PDEV::Open(vdev);
    if (rc == 0 && weightSem_.Open() != 0) {
        Log(LOG_OPEN_SEM_ERROR, 301, 0);
        rc = 301;
        int remaining = 0;
        PDEV::Close(vdev, remaining);
    }
    if (rc == 0) ++users_;
    return rc;
}

int SCLP::Close(const VDEV* vdev, int& remaining) {
    // Another user's reader may still wait on the semaphore: it is closed (which interrupts
    // a wait) only when the last user goes.
    if (users_ > 0) --users_;
    if (users_ == 0 && weightSem_.Close() != 0) Log(LOG_CLOSE_SEM_ERROR, 301, 0);
    return PDEV::Close(vdev, remaining);
}

// ---------------------------------------------------------------------------------------
// Requests of the owner.

int SCLP::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    if (!sender || sender != owner_) return 315;
    switch (request) {
    case SCLP_REQ_CONFIGURE: {
        CommandSlot& slot = slots_[SCLP_SLOT_CONFIGURE];
        if (!slot.bytes || !data || length != slot.length) return 321;
        unsigned char* bytes = const_cast<unsigned char*>(slot.bytes);
        if (std::equal(data, data + length, bytes)) return 0;
        std::copy(data, data + length, bytes);
        pending_ |= Bit(SCLP_SLOT_CONFIGURE);
        return RequestSendTurn();
    }
    case SCLP_REQ_WEIGHT_ENGLISH:
    case SCLP_REQ_WEIGHT_METRIC: {
        if (!data || length < static_cast<int>(sizeof(ScaleReading))) return 321;
        int rc = ScaleWait(request, SCALE_WAIT_MS);
        if (rc != 0) return rc;
        if (readingError_ != 0) return readingError_;
        std::copy(reinterpret_cast<const unsigned char*>(&reading_),
                  reinterpret_cast<const unsigned char*>(&reading_) + sizeof reading_, data);
        return 0;
    }
    default:
        return 321;
    }
}

int SCLP::WaitForReply(int slot, int timeoutMs, uint32_t resetLogId, uint32_t waitLogId) {
    if (weightSem_.Reset() != 0) {
        Log(resetLogId, 301, 0);
        return 301;
    }
    waiting_ = true;
    awaitedSlot_ = slot;
    abandoned_ = false;
    replied_ = false;
    Unlock();
    int rc = weightSem_.Wait(timeoutMs);
    Lock();
    waiting_ = false;
    if (rc == 0 && abandoned_) return 317;
    if (rc == 0 || rc == 329 || rc == 332) return rc;
    Log(waitLogId, 301, static_cast<uint32_t>(rc));
    return 301;
}

int SCLP::ScaleWait(int request, int timeoutMs) {
    int slot = -1;
    if (request == SCLP_REQ_WEIGHT_ENGLISH || request == SCLP_REQ_WEIGHT_METRIC) {
        // Only one weight command is ever pending.
        pending_ &= ~(Bit(SCLP_SLOT_WEIGHT_ENGLISH) | Bit(SCLP_SLOT_WEIGHT_METRIC));
        slot = request == SCLP_REQ_WEIGHT_ENGLISH ? SCLP_SLOT_WEIGHT_ENGLISH : SCLP_SLOT_WEIGHT_METRIC;
        pending_ |= Bit(slot);
        RequestSendTurn();
    } else {
        Log(LOG_INVALID_SCALE_WAIT_REQUEST, 321, static_cast<uint32_t>(request));
    }
    readingError_ = 0;
    return WaitForReply(slot, timeoutMs, LOG_RESET_SEM_ERROR, LOG_WAIT_SEM_ERROR);
}

void SCLP::NowNotConfirmed() {
    PDEV::NowNotConfirmed();
    // Every road offline but the scale's own restart (on the reset after a command that took
    // too long, say: it is on the bus and answering, and the reader keeps its full time): it
    // stopped answering, left after acknowledging the command, its driver node was lost.
    if (Restarting() || !waiting_ || abandoned_) return;
    const bool known = awaitedSlot_ >= 0 && awaitedSlot_ < SCLP_SLOTS;
    // Answered already: the reader has it. Only a reply counts: a reset in between clears
    // the command from the pending ones without answering it.
    if (replied_) return;
    abandoned_ = true;
    // Sent once the scale is back, the command would answer nobody (or zero the scale after
    // the client was told it failed).
    if (known) pending_ &= ~Bit(awaitedSlot_);
    weightSem_.Post();
}

void SCLP::ScalePost() {
    replied_ = true;
    weightSem_.Post();
}

int SCLP::TakeWeight(const unsigned char* data, int n, int at, int digits, int32_t& weight) {
    weight = 0;
    if (!data || at < 0 || n - at < digits) return POSERR_SCALE_MSG_LENGTH_ERROR;
    int32_t w = 0;
    for (int i = 0; i < digits; ++i) {
        if (data[at + i] > 9) return POSERR_SCALE_MSG_LENGTH_ERROR;
        w = w * 10 + data[at + i];
    }
    weight = w;
    return 0;
}

// ---------------------------------------------------------------------------------------
// Sending, resets and time-outs.

bool SCLP::TimeToResetScale() {
    if (!sendTimeSet_) return false;
    const int32_t waited = chTimeDiff(chTime(), sendTime_);
    return waited > (TestStatusBits(SCLP_RESET_WAIT) ? kResetWaitMs : kCommandWaitMs);
}

int SCLP::SendAnyPendingMessage() {
    if (Outstanding() && TimeToResetScale()) {
        Log(LOG_BUSY_TOO_LONG, 306, static_cast<uint32_t>(lastSent_));
        ClearStatusBits(SIODEV_AWAITING_REPLY | SCLP_RESET_WAIT);
        pending_ |= Bit(SCLP_SLOT_RESET);
    }
    if (!Outstanding()) ClearStatusBits(SCLP_RESET_WAIT);
    if (Outstanding()) return -1;
    int rc = -1;
    for (int i = 0; i < SCLP_SLOTS; ++i) {
        if (!(pending_ & Bit(i)) || !slots_[i].bytes || slots_[i].length <= 0) continue;
        rc = SendMsg(slots_[i].bytes, slots_[i].length);
        if (rc == 0) {
            lastSent_ = i;
            SetStatusBits(SIODEV_AWAITING_REPLY);
            sendTime_ = chTime();
            sendTimeSet_ = true;
            break;
        }
    }
    return rc;
}

int SCLP::SequenceResetInProgress(const unsigned char* /*data*/, int /*n*/) {
    SetStatusBits(SIODEV_AWAITING_REPLY | SCLP_RESET_WAIT);
    sendTime_ = chTime();
    sendTimeSet_ = true;
    return 0;
}

int SCLP::CommandResetInProgress() { return SequenceResetInProgress(nullptr, 0); }

int SCLP::PowerOnResetInProgress() {
    SequenceResetInProgress(nullptr, 0);
    lastSent_ = -1;
    pending_ = Bit(SCLP_SLOT_EC_LEVEL) | Bit(SCLP_SLOT_CONFIGURE);
    return 0;
}

int SCLP::ResetComplete() {
    ClearStatusBits(SIODEV_AWAITING_REPLY | SCLP_RESET_WAIT);
    sendTimeSet_ = false;
    return 0;
}

int SCLP::LastMsgLost(const unsigned char* /*data*/, int /*n*/) {
    switch (lastSent_) {
    case SCLP_SLOT_EC_LEVEL:
    case SCLP_SLOT_CONFIGURE:
    case SCLP_SLOT_WEIGHT_ENGLISH:
    case SCLP_SLOT_WEIGHT_METRIC:
        pending_ |= Bit(lastSent_);
        break;
    default:
        Log(LOG_INVALID_LAST_CMD_SENT, 321, static_cast<uint32_t>(lastSent_));
        break;
    }
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    return 0;
}

int SCLP::LastAckLost(const unsigned char* /*data*/, int /*n*/) { return SendAck(); }

int SCLP::LastMsgAcked() { return 0; }
