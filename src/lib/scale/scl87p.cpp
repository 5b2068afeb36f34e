// Scale model 87 on the link: replies and readings, online on its EC level; registration.
#include "SCL87.h"

#include "ObjectSupport.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)scl87p.cpp 1.1";

uint16_t clip16(int n) { return static_cast<uint16_t>(n <= 0 ? 0 : (n > 0xFFFF ? 0xFFFF : n)); }

} // namespace

SCL87P::SCL87P(const DeviceID& id, const char* name) : SCLP(id, name) {
    vdevType_ = SCL87V_TYPE_ID;
    deviceSubtype_ = 1;
    pending_ &= ~Bit(SCLP_SLOT_CONFIGURE);
}

SCL87P::~SCL87P() = default;

int SCL87P::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    if (request == SCLP_REQ_CONFIGURE) return 0; // no configure command
    return SCLP::TellPhys(sender, request, data, length);
}

int SCL87P::PowerOnResetInProgress() {
    SCLP::PowerOnResetInProgress();
    pending_ &= ~Bit(SCLP_SLOT_CONFIGURE);
    return 0;
}

int SCL87P::NewMsgRcvd(const unsigned char* data, int n) {
    sendTimeSet_ = false;
    ClearStatusBits(SIODEV_AWAITING_REPLY | SCLP_RESET_WAIT);
    auto log = [&](uint32_t id, uint32_t rc, uint32_t extra) {
        clErrorLog(id, rc, extra, kTag, this, sizeof(SCL87P), data, clip16(n));
    };
    if (!data || n < 2) {
        log(31201, POSERR_SCALE_MSG_LENGTH_ERROR, static_cast<uint32_t>(n));
    } else {
        const unsigned char s0 = data[0], s1 = data[1];
        if (s1 & 0x40) {
            pending_ |= Bit(SCLP_SLOT_RESET);
            log(31202, 306, s1);
        }
        int at = 2;
        if ((s0 & 0x01) && n >= 3) {
            SetECLevel(data[at++]);
            pending_ &= ~Bit(SCLP_SLOT_EC_LEVEL);
            NowConfirmed();
        }
        const int slot = lastSent_;
        if (slot == SCLP_SLOT_WEIGHT_ENGLISH || slot == SCLP_SLOT_WEIGHT_METRIC) {
            int16_t status = 0;
            if (s1 & 0x04) status |= 0x0001;
            if (s1 & 0x40) status |= 0x0040;
            reading_.weight = 0;
            reading_.status = status;
            readingError_ = 0;
            if (at < n && TakeWeight(data, n, at, (s1 & 0x01) ? 5 : 4, reading_.weight) != 0) {
                log(31201, POSERR_SCALE_MSG_LENGTH_ERROR, static_cast<uint32_t>(n));
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

PDEV* _CreateSCL87P(const DeviceID& id) { return new SCL87P(id); }

namespace {
const unsigned char addressesSCL87P[] = {0x6E, 0x6A};
}
ObjectSupport objectSCL87P(SCL87P_TYPE_ID, _CreateSCL87P, addressesSCL87P, 2);
