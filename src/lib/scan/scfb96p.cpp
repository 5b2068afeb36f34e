// Table-top scanner model 96: configure command, configuration echo, replies, and the
// registration of the model's classes.
#include "SCFB96P.h"

#include <cstring>

#include "ADAPTER.h"
#include "ObjectSupport.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)scfb96p.cpp 1.1";

const unsigned char kReadConfig[] = {0x21};

constexpr int32_t kResetSettleMs = 3000;

uint16_t clip16(int n) { return static_cast<uint16_t>(n <= 0 ? 0 : (n > 0xFFFF ? 0xFFFF : n)); }

// Status bits of a reply.
constexpr unsigned char S0_EC_LEVEL = 0x01;
constexpr unsigned char S0_ECHO = 0x02;
constexpr unsigned char S0_FLAG_ECHO = 0x04;
constexpr unsigned char S0_BEEP = 0x10;
constexpr unsigned char S0_HARDWARE = 0x20;
constexpr unsigned char S1_ENABLED = 0x02;
constexpr unsigned char S1_NO_TWO_LABEL = 0x80;
constexpr unsigned char S2_CONFIGURED = 0x01;
constexpr unsigned char S2_FLAGS_CONFIGURED = 0x04;

} // namespace

const unsigned char SCFB96P::kDefaultConfigure[kConfigureLength] = {
    0x20, 0x02, 0x00, 0x00, 0xD9, 0x00, 0x51, 0x04, 0x03, 0xA2, 0x00, 0x00};

SCFB96P::SCFB96P(const DeviceID& id, const char* name) : SCP(id, name) {
    vdevType_ = SCFB96V_TYPE_ID;
    deviceSubtype_ = 4;
    std::memcpy(configure_, kDefaultConfigure, sizeof configure_);
    slots_[SCP_SLOT_CONFIGURE] = {configure_, kConfigureLength};
    slots_[SCP_SLOT_READ_CONFIG] = {kReadConfig, sizeof kReadConfig};
    pending_ |= Bit(SCP_SLOT_READ_CONFIG);
}

SCFB96P::~SCFB96P() = default;

int SCFB96P::SendTurn() { return adapter_ ? adapter_->RequestBuffer() : 0; }

int SCFB96P::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    if (request != SCP_REQ_CONFIGURE) return SCP::TellPhys(sender, request, data, length);
    return TellConfigure(sender, data, length);
}

bool SCFB96P::ScannerResetComplete() {
    return resetTimeSet_ && Since(resetTime_) > kResetSettleMs;
}

int SCFB96P::PowerOnResetInProgress() {
    SCP::PowerOnResetInProgress();
    pending_ |= Bit(SCP_SLOT_READ_CONFIG);
    return 0;
}

int SCFB96P::NewMsgRcvd(const unsigned char* data, int n) {
    static const ReplyLogs logs{13401, 13402, 13403, 13404, 13405, 0, 0};
    return HandleReply(data, n, logs, nullptr);
}

int SCFB96P::HandleReply(const unsigned char* data, int n, const ReplyLogs& logs,
                         const FlagConfig* flags) {
    StopClocks();
    ClearStatusBits(SIODEV_AWAITING_REPLY | SCP_RESET_WAIT);
    auto log = [&](uint32_t id, uint32_t rc, uint32_t extra) {
        clErrorLog(id, rc, extra, kTag, this, sizeof(SCFB96P), data, clip16(n));
    };

    if (!data || n < 3) {
        log(logs.length, POSERR_SCAN_MSG_LENGTH_ERROR, static_cast<uint32_t>(n));
    } else {
        const unsigned char s0 = data[0], s1 = data[1], s2 = data[2];
        const uint32_t flagBits = Bit(SCP_SLOT_FLAG_CONFIG) | Bit(SCP_SLOT_READ_FLAGS);
        const bool flagsOut = flags && lastSent_ == SCP_SLOT_FLAG_CONFIG;

        // Errors.
        if (s0 & S0_HARDWARE) {
            QueuePartialLabels();
            log(logs.hardware, 306, s0);
            pending_ |= Bit(SCP_SLOT_RESET);
        }
        bool noTwoLabel = false;
        if (s1 > 15) {
            if (flagsOut && (s1 & S1_NO_TWO_LABEL)) {
                // The scanner has no two-label feature: its flag commands are dropped.
                pending_ &= ~flagBits;
                noTwoLabel = true;
            } else {
                QueuePartialLabels();
                log(logs.status1, 306, s1);
                pending_ |= Bit(SCP_SLOT_RESET);
            }
        }
        if (!(s2 & S2_CONFIGURED) && lastSent_ == SCP_SLOT_CONFIGURE) {
            // The scanner refused its configure: it stays pending, so that the scanner is
            // confirmed once it takes one; the link paces a scanner that keeps refusing.
            CommandRejected();
            const unsigned char* fallback = DefaultConfigure();
            if (std::memcmp(configure_, fallback, kConfigureLength) != 0) {
                std::memcpy(configure_, fallback, kConfigureLength); // sent again
            } else {
                log(logs.failure, 306, s2);
                lastSent_ = -1;
            }
        }
        if (flagsOut && !noTwoLabel && !(s2 & S2_FLAGS_CONFIGURED)) {
            log(logs.flagFailure, 306, s2);
            pending_ &= ~flagBits;
        }

        // Confirmation of the outstanding command.
        bool confirmed = false;
        switch (lastSent_) {
        case SCP_SLOT_CONFIGURE: confirmed = (s2 & S2_CONFIGURED) != 0; break;
        case SCP_SLOT_ENABLE: confirmed = (s1 & S1_ENABLED) != 0; break;
        case SCP_SLOT_DISABLE: confirmed = (s1 & S1_ENABLED) == 0; break;
        case SCP_SLOT_BEEP_ON: confirmed = (s0 & S0_BEEP) != 0; break;
        case SCP_SLOT_BEEP_OFF: confirmed = (s0 & S0_BEEP) == 0; break;
        case SCP_SLOT_FLAG_CONFIG: confirmed = flags && (s2 & S2_FLAGS_CONFIGURED) != 0; break;
        default: break;
        }
        if (confirmed) {
            CommandAccepted();
            const int slot = lastSent_;
            pending_ &= ~Bit(slot);
            lastSent_ = -1;
            if (slot == SCP_SLOT_CONFIGURE) NowConfirmed();
        }

        // What the reply carries, each part read only within the reply.
        int at = 3;
        bool whole = true;
        if ((s0 & S0_EC_LEVEL) && n >= 4) {
            SetECLevel(data[at++]);
            pending_ &= ~Bit(SCP_SLOT_EC_LEVEL);
        }
        if (at < n && (s0 & S0_ECHO)) {
            if (n - at < kEchoLength) {
                log(logs.length, POSERR_SCAN_MSG_LENGTH_ERROR, static_cast<uint32_t>(n));
                whole = false;
            } else {
                std::memcpy(echo_, data + at, kEchoLength);
                at += kEchoLength;
                pending_ &= ~Bit(SCP_SLOT_READ_CONFIG);
                if (std::memcmp(echo_, configure_ + 1, kEchoLength) != 0)
                    log(logs.echo, POSERR_SCAN_CONFIGURATION_ERROR, 0);
            }
        }
        if (whole && flags && at < n && (s0 & S0_FLAG_ECHO)) {
            if (n - at < 8) {
                log(logs.length, POSERR_SCAN_MSG_LENGTH_ERROR, static_cast<uint32_t>(n));
                whole = false;
            } else {
                std::memcpy(flags->echo, data + at, 8);
                at += 8;
                pending_ &= ~Bit(SCP_SLOT_READ_FLAGS);
                if (std::memcmp(flags->echo, flags->command + 1, 8) != 0)
                    log(logs.flagEcho, POSERR_SCAN_2_LABEL_FLAG_CONFIG_ERROR, 0);
            }
        }

        // Label data.
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

// ---------------------------------------------------------------------------------------
// Registration.

PDEV* _CreateSCFB96P(const DeviceID& id) { return new SCFB96P(id); }

namespace {
const unsigned char addressesSCFB96P[] = {0x4A, 0x4B};
}
ObjectSupport objectSCFB96P(SCFB96P_TYPE_ID, _CreateSCFB96P, addressesSCFB96P, 2);
