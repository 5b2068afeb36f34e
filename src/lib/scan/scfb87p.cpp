// Table-top scanner model 87: replies, readiness after power-on; registration.
#include "SCFB87.h"

#include "ObjectSupport.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)scfb87p.cpp 1.1";

enum : uint32_t {
    LOG_MSG_LENGTH_ERROR = 12701,
    LOG_HW_ERROR = 12702,
    LOG_DIAGS_FAILED = 12703,
};

constexpr int32_t kResetSettleMs = 3000;

constexpr unsigned char S0_EC_LEVEL = 0x01;
constexpr unsigned char S0_DIAG_FAILED = 0x02;
constexpr unsigned char S0_BEEP = 0x10;
constexpr unsigned char S1_READY = 0x01;
constexpr unsigned char S1_ENABLED = 0x02;

uint16_t clip16(int n) { return static_cast<uint16_t>(n <= 0 ? 0 : (n > 0xFFFF ? 0xFFFF : n)); }

} // namespace

SCFB87P::SCFB87P(const DeviceID& id, const char* name) : SCP(id, name) {
    vdevType_ = SCFB87V_TYPE_ID;
    deviceSubtype_ = 1;
    pending_ &= ~Bit(SCP_SLOT_CONFIGURE);
}

SCFB87P::~SCFB87P() = default;

bool SCFB87P::ScannerResetComplete() {
    return resetTimeSet_ && Since(resetTime_) > kResetSettleMs;
}

int SCFB87P::PowerOnResetInProgress() {
    SCP::PowerOnResetInProgress();
    SetStatusBits(SCP_POWER_ON_SEEN);
    pending_ &= ~Bit(SCP_SLOT_CONFIGURE);
    return 0;
}

int SCFB87P::NewMsgRcvd(const unsigned char* data, int n) {
    StopClocks();
    ClearStatusBits(SIODEV_AWAITING_REPLY | SCP_RESET_WAIT);
    auto log = [&](uint32_t id, uint32_t rc, uint32_t extra) {
        clErrorLog(id, rc, extra, kTag, this, sizeof(SCFB87P), data, clip16(n));
    };

    if (!data || n < 3) {
        log(LOG_MSG_LENGTH_ERROR, POSERR_SCAN_MSG_LENGTH_ERROR, static_cast<uint32_t>(n));
    } else {
        const unsigned char s0 = data[0], s1 = data[1];
        if (!(s1 & S1_READY) || s1 > 15) {
            if (PowerOnSeen()) {
                // Still warming up after the power-on: nothing is sent until it is ready.
                pending_ = 0;
            } else {
                QueuePartialLabels();
                log(LOG_HW_ERROR, 306, s1);
                pending_ |= Bit(SCP_SLOT_RESET);
            }
        } else if (PowerOnSeen()) {
            ClearStatusBits(SCP_POWER_ON_SEEN);
            const uint32_t startUp = Bit(SCP_SLOT_EC_LEVEL) | Bit(SCP_SLOT_DISABLE) |
                                     Bit(SCP_SLOT_ENABLE) | Bit(SCP_SLOT_BEEP_OFF) | Bit(SCP_SLOT_BEEP_ON);
            if (!(pending_ & startUp))
                pending_ |= Bit(SCP_SLOT_EC_LEVEL) |
                            (enabled_ ? Bit(SCP_SLOT_ENABLE) : Bit(SCP_SLOT_DISABLE)) |
                            (beep_ ? Bit(SCP_SLOT_BEEP_ON) : Bit(SCP_SLOT_BEEP_OFF));
        }
        if (s0 & S0_DIAG_FAILED) log(LOG_DIAGS_FAILED, 324, s0);

        bool confirmed = false;
        switch (lastSent_) {
        case SCP_SLOT_ENABLE: confirmed = (s1 & S1_ENABLED) != 0; break;
        case SCP_SLOT_DISABLE: confirmed = (s1 & S1_ENABLED) == 0; break;
        case SCP_SLOT_BEEP_ON: confirmed = (s0 & S0_BEEP) != 0; break;
        case SCP_SLOT_BEEP_OFF: confirmed = (s0 & S0_BEEP) == 0; break;
        default: break;
        }
        if (confirmed) {
            pending_ &= ~Bit(lastSent_);
            lastSent_ = -1;
        }

        int at = 3;
        bool whole = true;
        if (s0 & S0_EC_LEVEL) {
            if (n < 4) {
                log(LOG_MSG_LENGTH_ERROR, POSERR_SCAN_MSG_LENGTH_ERROR, static_cast<uint32_t>(n));
                whole = false;
            } else {
                SetECLevel(data[at++]);
                pending_ &= ~Bit(SCP_SLOT_EC_LEVEL);
                NowConfirmed();
            }
        }
        if (whole && at < n && (enabled_ || queueAll_)) {
            if (autoDisable_) {
                enabled_ = 0;
                pending_ |= Bit(SCP_SLOT_DISABLE);
            }
            LabelDataRcvd(data + at, n - at, 1);
        }
    }

    const int rc = SendAnyPendingMessage();
    return rc == 0 ? 0 : SendAck();
}

PDEV* _CreateSCFB87P(const DeviceID& id) { return new SCFB87P(id); }

namespace {
const unsigned char addressesSCFB87P[] = {0x4A, 0x4B};
}
ObjectSupport objectSCFB87P(SCFB87P_TYPE_ID, _CreateSCFB87P, addressesSCFB87P, 2);
