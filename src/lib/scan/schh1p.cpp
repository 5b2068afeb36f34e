// Hand-held scanner model 1 on the link: replies, block reads, empty scans, the reject
// counter and the power-on mark; registration.
#include "SCHH1P.h"

#include <cstring>
#include <new>

#include "ObjectSupport.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)schh1p.cpp 1.1";

enum : uint32_t {
    LOG_MSG_LENGTH_ERROR = 12201,
    LOG_HW_ERROR = 12202,
    LOG_DIAGS_FAILED = 12203,
};

constexpr unsigned char S0_EC_LEVEL = 0x01; // bytes 2 and 3 follow, byte 3 the EC level
constexpr unsigned char S0_DIAG_FAILED = 0x02;
constexpr unsigned char S1_ENABLED = 0x01;
constexpr unsigned char S1_BEEP = 0x02;
constexpr unsigned char S1_ERRORS = 0x44;
constexpr unsigned char S1_REJECTED = 0x80;
constexpr unsigned char S1_NO_LABEL = 0x18;
constexpr unsigned char S1_MORE_BLOCKS = 0x20;

// Rejections that are logged and reset; one more restores the default configuration.
constexpr int32_t kRejectsLogged = 2;

uint16_t clip16(int n) { return static_cast<uint16_t>(n <= 0 ? 0 : (n > 0xFFFF ? 0xFFFF : n)); }

} // namespace

const unsigned char SCHH1P::kDefaultConfigure[kConfigureLength] = {0x20, 0x00, 0x24, 0x00, 0x00, 0x00};

SCHH1P::SCHH1P(const DeviceID& id, const char* name) : SCP(id, name) {
    vdevType_ = SCHH1V_TYPE_ID;
    deviceSubtype_ = 1;
    std::memcpy(configure_, kDefaultConfigure, sizeof configure_);
    slots_[SCP_SLOT_CONFIGURE] = {configure_, kConfigureLength};
}

SCHH1P::~SCHH1P() = default;

// The base's requests serve as they are: an enable with beep off also asks for beep off.
int SCHH1P::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    return SCP::TellPhys(sender, request, data, length);
}

int SCHH1P::PowerOnResetInProgress() {
    SetStatusBits(SCP_POWER_ON_SEEN);
    return SCP::PowerOnResetInProgress();
}

int SCHH1P::NewMsgRcvd(const unsigned char* data, int n) {
    sendTimeSet_ = false;
    ClearStatusBits(SIODEV_AWAITING_REPLY | SCP_RESET_WAIT);
    auto log = [&](uint32_t id, uint32_t rc, uint32_t extra) {
        clErrorLog(id, rc, extra, kTag, this, sizeof(SCHH1P), data, clip16(n));
    };
    if (!data || n < 2) {
        log(LOG_MSG_LENGTH_ERROR, POSERR_SCAN_MSG_LENGTH_ERROR, static_cast<uint32_t>(n));
    } else {
        const unsigned char s0 = data[0], s1 = data[1];
        if (!(s1 & (S1_ERRORS | S1_REJECTED))) {
            ClearStatusBits(SCP_POWER_ON_SEEN);
            if (CleanAnswerEndsRejects()) {
                rejects_ = 0;
                CommandAccepted();
            }
        } else if (s1 == S1_REJECTED && PowerOnSeen()) {
            ClearStatusBits(SCP_POWER_ON_SEEN); // the scanner's first answer after power-on
        } else {
            QueuePartialLabels();
            pending_ |= Bit(SCP_SLOT_RESET);
            if (rejects_ <= kRejectsLogged) log(LOG_HW_ERROR, 306, s1);
            if (s1 & S1_REJECTED) {
                // The reset and the commands after it go paced while the scanner keeps
                // rejecting.
                CommandRejected();
                ++rejects_;
                if (rejects_ > kRejectsLogged)
                    std::memcpy(configure_, kDefaultConfigure, kConfigureLength);
            }
        }
        if (s0 & S0_DIAG_FAILED) log(LOG_DIAGS_FAILED, 324, s0);

        bool confirmed = false;
        switch (lastSent_) {
        case SCP_SLOT_CONFIGURE: confirmed = (s1 & S1_REJECTED) == 0; break;
        case SCP_SLOT_ENABLE: confirmed = (s1 & S1_ENABLED) != 0; break;
        case SCP_SLOT_DISABLE: confirmed = (s1 & S1_ENABLED) == 0; break;
        case SCP_SLOT_BEEP_ON: confirmed = (s1 & S1_BEEP) != 0; break;
        case SCP_SLOT_BEEP_OFF: confirmed = (s1 & S1_BEEP) == 0; break;
        default: break;
        }
        if (confirmed) {
            const int slot = lastSent_;
            pending_ &= ~Bit(slot);
            lastSent_ = -1;
            if (slot == SCP_SLOT_CONFIGURE) NowConfirmed();
        }

        int at = 2;
        bool whole = true;
        if (s0 & S0_EC_LEVEL) {
            if (n < 4) {
                // The EC level is announced but not there: nothing of the message is read.
                log(LOG_MSG_LENGTH_ERROR, POSERR_SCAN_MSG_LENGTH_ERROR, static_cast<uint32_t>(n));
                whole = false;
            } else {
                SetECLevel(data[3]);
                pending_ &= ~Bit(SCP_SLOT_EC_LEVEL);
                at = 4;
            }
        }
        if (whole && (enabled_ || queueAll_)) {
            if (s1 & S1_NO_LABEL) {
                DiscardPartialLabel();
                previousComplete_ = 1;
                ScannerLabel* empty = new (std::nothrow) ScannerLabel;
                if (empty) {
                    empty->flags = LABEL_FLAG_EMPTY;
                    QueueLabel(empty);
                }
            } else if (at < n) {
                if (autoDisable_) {
                    enabled_ = 0;
                    pending_ |= Bit(SCP_SLOT_DISABLE);
                    chSleep(kAutoDisablePauseMs);
                }
                LabelDataRcvd(data + at, n - at, (s1 & S1_MORE_BLOCKS) ? 0 : 1);
            }
        }
    }
    if (SendAnyPendingMessage() == -1) return SendAck();
    return 0;
}

PDEV* _CreateSCHH1P(const DeviceID& id) { return new SCHH1P(id); }

namespace {
const unsigned char addressesSCHH1P[] = {0x4A, 0x4B};
}
ObjectSupport objectSCHH1P(SCHH1P_TYPE_ID, _CreateSCHH1P, addressesSCHH1P, 2);
