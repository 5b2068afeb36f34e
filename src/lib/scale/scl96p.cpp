// Scale model 96 on the link: configure command and echo, extended status, zero and clear
// display, replies and readings; registration.
#include "SCL96.h"

#include <cstring>

#include "ObjectSupport.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)scl96p.cpp 1.1";

enum : uint32_t {
    LOG_MSG_LENGTH_ERROR = 31401,
    LOG_MSG_STATUS_ERROR = 31402,
    LOG_CONFIGURATION_ERROR = 31403,
    LOG_RESET_SEM_ERROR = 31406,
    LOG_WAIT_SEM_ERROR = 31407,
};

const unsigned char kExtendedStatus[] = {0x04};
const unsigned char kZero[] = {0x03};
const unsigned char kClearDisplay[] = {0x06};
const unsigned char kReadConfig[] = {0x21};

uint16_t clip16(int n) { return static_cast<uint16_t>(n <= 0 ? 0 : (n > 0xFFFF ? 0xFFFF : n)); }

} // namespace

const unsigned char SCL96P::kDefaultConfigure[kConfigureLength] = {0x20, 0x48, 0x00, 0x00};

SCL96P::SCL96P(const DeviceID& id, const char* name) : SCLP(id, name) {
    vdevType_ = SCL96V_TYPE_ID;
    deviceSubtype_ = 2;
    std::memcpy(configure_, kDefaultConfigure, sizeof configure_);
    slots_[SCLP_SLOT_EXTENDED_STATUS] = {kExtendedStatus, sizeof kExtendedStatus};
    slots_[SCLP_SLOT_ZERO] = {kZero, sizeof kZero};
    slots_[SCLP_SLOT_CLEAR_DISPLAY] = {kClearDisplay, sizeof kClearDisplay};
    slots_[SCLP_SLOT_CONFIGURE] = {configure_, kConfigureLength};
    slots_[SCLP_SLOT_READ_CONFIG] = {kReadConfig, sizeof kReadConfig};
    pending_ |= Bit(SCLP_SLOT_EXTENDED_STATUS) | Bit(SCLP_SLOT_READ_CONFIG);
}

SCL96P::~SCL96P() = default;

int SCL96P::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    if (!sender || sender != owner_) return 315;
    if (!LinkUpAndConfirmed()) return 317;
    if (request != SCLP_REQ_ZERO && request != SCLP_REQ_CLEAR_DISPLAY)
        return SCLP::TellPhys(sender, request, data, length);
    int rc = ScaleWait(request, SCALE_WAIT_MS);
    if (rc != 0) return rc;
    if (request == SCLP_REQ_ZERO && !(pending_ & Bit(SCLP_SLOT_ZERO)) &&
        (reading_.status & SCALE_STATUS_ZERO_FAILED))
        return POSERR_SCALE_ZERO_SCALE_FAILED;
    if (request == SCLP_REQ_CLEAR_DISPLAY && !(pending_ & Bit(SCLP_SLOT_CLEAR_DISPLAY)) &&
        (reading_.status & SCALE_STATUS_NO_DISPLAY))
        return POSERR_SCALE_INVALID_CLEAR_SCREEN_REQUEST;
    return 0;
}

int SCL96P::ScaleWait(int request, int timeoutMs) {
    if (request != SCLP_REQ_ZERO && request != SCLP_REQ_CLEAR_DISPLAY)
        return SCLP::ScaleWait(request, timeoutMs);
    const int slot = request == SCLP_REQ_ZERO ? SCLP_SLOT_ZERO : SCLP_SLOT_CLEAR_DISPLAY;
    pending_ |= Bit(slot);
    RequestSendTurn();
    readingError_ = 0;
    return WaitForReply(slot, timeoutMs, LOG_RESET_SEM_ERROR, LOG_WAIT_SEM_ERROR);
}

int SCL96P::NewMsgRcvd(const unsigned char* data, int n) {
    sendTimeSet_ = false;
    ClearStatusBits(SIODEV_AWAITING_REPLY | SCLP_RESET_WAIT);
    auto log = [&](uint32_t id, uint32_t rc, uint32_t extra) {
        clErrorLog(id, rc, extra, kTag, this, sizeof(SCL96P), data, clip16(n));
    };

    if (!data || n < 2) {
        log(LOG_MSG_LENGTH_ERROR, POSERR_SCALE_MSG_LENGTH_ERROR, static_cast<uint32_t>(n));
    } else {
        const unsigned char s0 = data[0], s1 = data[1];
        unsigned char s2 = 0x08;
        int at = 2;
        if (n > 2 && (s0 & 0x04)) {
            s2 = data[2];
            at = 3;
            pending_ &= ~Bit(SCLP_SLOT_EXTENDED_STATUS);
        } else {
            // No status 2: the extended status is asked for next.
            pending_ |= Bit(SCLP_SLOT_EXTENDED_STATUS);
        }

        const bool refused = lastSent_ == SCLP_SLOT_CONFIGURE && !(s2 & 0x01);
        if (refused || (s1 & 0xF8)) {
            const bool displayAnswer = (s1 & 0x80) && lastSent_ == SCLP_SLOT_CLEAR_DISPLAY && !refused &&
                                       !(s1 & 0x78);
            if (!displayAnswer) {
                log(LOG_MSG_STATUS_ERROR, 306, s1);
                if (!(s1 & 0x20)) pending_ |= Bit(SCLP_SLOT_RESET);
                if (refused || (s1 & 0x80)) {
                    // After three refusals the default command is sent again.
                    if (++rejects_ > 2) std::memcpy(configure_, kDefaultConfigure, kConfigureLength);
                    // The reset and the configure after it go again; the link paces them
                    // while the scale keeps refusing.
                    CommandRejected();
                }
            }
        } else if (lastSent_ != SCLP_SLOT_RESET && lastSent_ != SCLP_SLOT_EC_LEVEL) {
            // The scale restarts from the reset and gives its EC level whatever it refuses:
            // only an answer to another command ends the refusals.
            rejects_ = 0;
            CommandAccepted();
        }

        if (lastSent_ == SCLP_SLOT_CONFIGURE && (s2 & 0x01)) {
            pending_ &= ~Bit(SCLP_SLOT_CONFIGURE);
            lastSent_ = -1;
            NowConfirmed();
        }

        bool whole = true;
        if ((s0 & 0x01) && at < n) {
            SetECLevel(data[at++]);
            pending_ &= ~Bit(SCLP_SLOT_EC_LEVEL);
        }
        if ((s0 & 0x02) && at < n) {
            if (n - at < kEchoLength) {
                log(LOG_MSG_LENGTH_ERROR, POSERR_SCALE_MSG_LENGTH_ERROR, static_cast<uint32_t>(n));
                whole = false;
            } else {
                std::memcpy(echo_, data + at, kEchoLength);
                at += kEchoLength;
                pending_ &= ~Bit(SCLP_SLOT_READ_CONFIG);
                if (std::memcmp(echo_, configure_ + 1, kEchoLength) != 0)
                    log(LOG_CONFIGURATION_ERROR, POSERR_SCALE_CONFIGURATION_ERROR, 0);
            }
        }

        const int slot = lastSent_;
        if (slot == SCLP_SLOT_WEIGHT_ENGLISH || slot == SCLP_SLOT_WEIGHT_METRIC ||
            slot == SCLP_SLOT_ZERO || slot == SCLP_SLOT_CLEAR_DISPLAY) {
            int16_t status = 0;
            if (s1 & 0x04) status |= 0x0001;
            if (s2 & 0x02) status |= 0x0002;
            if (s2 & 0x04) status |= 0x0004;
            if (s2 & 0x10) status |= 0x0008;
            if ((s0 & 0x80) || (s2 & 0x20)) status |= 0x0010;
            if (s2 & 0x40) status |= 0x0020;
            if (s1 & 0x40) status |= 0x0040;
            if (slot == SCLP_SLOT_CLEAR_DISPLAY && (s1 & 0x80)) status |= SCALE_STATUS_NO_DISPLAY;
            if (slot == SCLP_SLOT_ZERO && !(s2 & 0x08)) status = static_cast<int16_t>(status | SCALE_STATUS_ZERO_FAILED);
            reading_.weight = 0;
            reading_.status = status;
            readingError_ = 0;
            if (whole && at < n) {
                if (TakeWeight(data, n, at, (s1 & 0x01) ? 5 : 4, reading_.weight) != 0) {
                    // Cut short or no digits: the reader is told, nothing is read past.
                    log(LOG_MSG_LENGTH_ERROR, POSERR_SCALE_MSG_LENGTH_ERROR, static_cast<uint32_t>(n));
                    readingError_ = POSERR_SCALE_MSG_LENGTH_ERROR;
                }
            } else if (!whole) {
                readingError_ = POSERR_SCALE_MSG_LENGTH_ERROR;
            }
            pending_ &= ~Bit(slot);
            lastSent_ = -1;
            ScalePost();
        }
    }

    const int rc = SendAnyPendingMessage();
    return rc == 0 ? 0 : SendAck();
}

PDEV* _CreateSCL96P(const DeviceID& id) { return new SCL96P(id); }

namespace {
const unsigned char addressesSCL96P[] = {0x6E, 0x6A};
}
ObjectSupport objectSCL96P(SCL96P_TYPE_ID, _CreateSCL96P, addressesSCL96P, 2);
