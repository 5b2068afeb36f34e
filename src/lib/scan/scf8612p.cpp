// Scanner model 8612 on the link: configure command and replies; registration.
#include "SCF8612P.h"

#include <cstring>

#include "ObjectSupport.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)scf8612p.cpp 1.1";

enum : uint32_t {
    LOG_MSG_LENGTH_ERROR = 12901,
    LOG_HW_ERROR_S2 = 12902,
    LOG_DIAG_FAILED = 12903,
    LOG_CONFIGURATION_FAILURE = 12904,
};

constexpr int32_t kResetSettleMs = 3000;

constexpr unsigned char S0_EC_LEVEL = 0x01;
constexpr unsigned char S0_DIAG_FAILED = 0x02;
constexpr unsigned char S0_BEEP = 0x10;
constexpr unsigned char S1_ENABLED = 0x02;
constexpr unsigned char S1_ERROR_FROM = 0x20;
constexpr unsigned char S2_CONFIGURED = 0x01;

uint16_t clip16(int n) { return static_cast<uint16_t>(n <= 0 ? 0 : (n > 0xFFFF ? 0xFFFF : n)); }

} // namespace

const unsigned char SCF8612P::kDefaultConfigure[kConfigureLength] = {0x20, 0x02, 0x00, 0x00, 0xDD,
                                                                    0x00, 0x00, 0x00, 0x1B, 0x46};

SCF8612P::SCF8612P(const DeviceID& id, const char* name) : SCP(id, name) {
    vdevType_ = SCF8612V_TYPE_ID;
    deviceSubtype_ = 2;
    std::memcpy(configure_, kDefaultConfigure, sizeof configure_);
    slots_[SCP_SLOT_CONFIGURE] = {configure_, kConfigureLength};
}

SCF8612P::~SCF8612P() = default;

int SCF8612P::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    if (request != SCP_REQ_CONFIGURE) return SCP::TellPhys(sender, request, data, length);
    return TellConfigure(sender, data, length);
}

bool SCF8612P::ScannerResetComplete() {
    return resetTimeSet_ && Since(resetTime_) > kResetSettleMs;
}

int SCF8612P::NewMsgRcvd(const unsigned char* data, int n) {
    // The reset wait stays until the scanner's reset has settled.
    sendTimeSet_ = false;
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    auto log = [&](uint32_t id, uint32_t rc, uint32_t extra) {
        clErrorLog(id, rc, extra, kTag, this, sizeof(SCF8612P), data, clip16(n));
    };
    if (!data || n < 3) {
        log(LOG_MSG_LENGTH_ERROR, POSERR_SCAN_MSG_LENGTH_ERROR, static_cast<uint32_t>(n));
        return SendAck();
    }
    const unsigned char s0 = data[0], s1 = data[1], s2 = data[2];
    if (s1 >= S1_ERROR_FROM) {
        QueuePartialLabels();
        log(LOG_HW_ERROR_S2, 306, s1);
        pending_ |= Bit(SCP_SLOT_RESET);
    }
    if (!(s2 & S2_CONFIGURED) && lastSent_ == SCP_SLOT_CONFIGURE) {
        if (std::memcmp(configure_, kDefaultConfigure, kConfigureLength) != 0) {
            std::memcpy(configure_, kDefaultConfigure, kConfigureLength); // sent again
        } else {
            log(LOG_CONFIGURATION_FAILURE, 306, s2);
            pending_ = 0;
            lastSent_ = -1;
        }
    }
    if (s0 & S0_DIAG_FAILED) log(LOG_DIAG_FAILED, 324, s0);

    bool confirmed = false;
    switch (lastSent_) {
    case SCP_SLOT_CONFIGURE: confirmed = (s2 & S2_CONFIGURED) != 0; break;
    case SCP_SLOT_ENABLE: confirmed = (s1 & S1_ENABLED) != 0; break;
    case SCP_SLOT_DISABLE: confirmed = (s1 & S1_ENABLED) == 0; break;
    case SCP_SLOT_BEEP_ON: confirmed = (s0 & S0_BEEP) != 0; break;
    case SCP_SLOT_BEEP_OFF: confirmed = (s0 & S0_BEEP) == 0; break;
    default: break;
    }
    if (confirmed) {
        const int slot = lastSent_;
        pending_ &= ~Bit(slot);
        lastSent_ = -1;
        if (slot == SCP_SLOT_CONFIGURE) NowConfirmed();
    }

    int at = 3;
    if (s0 & S0_EC_LEVEL) {
        if (n < 4) return SendAck(); // announced, but not there
        SetECLevel(data[at++]);
        pending_ &= ~Bit(SCP_SLOT_EC_LEVEL);
    }
    if (at < n && (enabled_ || queueAll_)) {
        if (autoDisable_) {
            enabled_ = 0;
            pending_ |= Bit(SCP_SLOT_DISABLE);
        }
        LabelDataRcvd(data + at, n - at, 1);
    }
    // Pending commands go out at the device's next turn.
    return SendAck();
}

PDEV* _CreateSCF8612P(const DeviceID& id) { return new SCF8612P(id); }

namespace {
const unsigned char addressesSCF8612P[] = {0x4A, 0x4B};
}
ObjectSupport objectSCF8612P(SCF8612P_TYPE_ID, _CreateSCF8612P, addressesSCF8612P, 2);
