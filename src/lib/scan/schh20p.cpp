// Hand-held scanner model 20 on the link: replies, head beep, empty scans and the reject
// counter; registration.
#include "SCHH20P.h"

#include <cstring>
#include <new>

#include "ObjectSupport.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)schh20p.cpp 1.1";

enum : uint32_t {
    LOG_MSG_LENGTH_ERROR = 34401,
    LOG_HW_ERROR = 34402,
    LOG_DIAGS_FAILED = 34403,
};

constexpr int32_t kResetSettleMs = 1000;

constexpr unsigned char S0_EC_LEVEL = 0x01;
constexpr unsigned char S0_DIAG_FAILED = 0x02;
constexpr unsigned char S0_BEEP = 0x10;
constexpr unsigned char S0_HEAD_BEEP_OFF = 0x20;
constexpr unsigned char S1_ENABLED = 0x02;
constexpr unsigned char S1_ERRORS = 0x50;
constexpr unsigned char S1_REJECTED = 0x80;
constexpr unsigned char S1_NO_LABEL = 0x20;

constexpr int32_t kRejectsLogged = 2;

const unsigned char kHeadBeepOff[] = {0x21};
const unsigned char kHeadBeepOn[] = {0x20};

uint16_t clip16(int n) { return static_cast<uint16_t>(n <= 0 ? 0 : (n > 0xFFFF ? 0xFFFF : n)); }

} // namespace

const unsigned char SCHH20P::kDefaultConfigure[kConfigureLength] = {0x31, 0x80};

SCHH20P::SCHH20P(const DeviceID& id, const char* name) : SCP(id, name) {
    vdevType_ = SCHH20V_TYPE_ID;
    deviceSubtype_ = 3;
    std::memcpy(configure_, kDefaultConfigure, sizeof configure_);
    slots_[SCP_SLOT_CONFIGURE] = {configure_, kConfigureLength};
    slots_[SCHH20_SLOT_HEAD_BEEP_OFF] = {kHeadBeepOff, sizeof kHeadBeepOff};
    slots_[SCHH20_SLOT_HEAD_BEEP_ON] = {kHeadBeepOn, sizeof kHeadBeepOn};
    pending_ |= Bit(SCHH20_SLOT_HEAD_BEEP_ON);
}

SCHH20P::~SCHH20P() = default;

// The beep requests also switch the head beep, when the beep state changes.
int SCHH20P::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    if (sender && sender == owner_ &&
        ((request == SCP_REQ_BEEP_OFF && beep_) || (request == SCP_REQ_BEEP_ON && !beep_))) {
        pending_ &= ~(Bit(SCHH20_SLOT_HEAD_BEEP_OFF) | Bit(SCHH20_SLOT_HEAD_BEEP_ON));
        pending_ |= Bit(request == SCP_REQ_BEEP_OFF ? SCHH20_SLOT_HEAD_BEEP_OFF : SCHH20_SLOT_HEAD_BEEP_ON);
    }
    return SCP::TellPhys(sender, request, data, length);
}

int SCHH20P::SequenceResetInProgress(const unsigned char* data, int n) {
    if (beep_) pending_ |= Bit(SCHH20_SLOT_HEAD_BEEP_ON);
    return SCP::SequenceResetInProgress(data, n);
}

bool SCHH20P::ScannerResetComplete() {
    return resetTimeSet_ && Since(resetTime_) > kResetSettleMs;
}

int SCHH20P::NewMsgRcvd(const unsigned char* data, int n) {
    // The reset wait stays until the scanner's reset has settled.
    sendTimeSet_ = false;
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    auto log = [&](uint32_t id, uint32_t rc, uint32_t extra) {
        clErrorLog(id, rc, extra, kTag, this, sizeof(SCHH20P), data, clip16(n));
    };
    if (!data || n < 3) {
        log(LOG_MSG_LENGTH_ERROR, POSERR_SCAN_MSG_LENGTH_ERROR, static_cast<uint32_t>(n));
    } else {
        const unsigned char s0 = data[0], s1 = data[1];
        if (s1 & (S1_ERRORS | S1_REJECTED)) {
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
        } else if (CleanAnswerEndsRejects()) {
            rejects_ = 0;
            CommandAccepted();
        }
        if (s0 & S0_DIAG_FAILED) log(LOG_DIAGS_FAILED, 324, s0);

        bool confirmed = false;
        switch (lastSent_) {
        case SCP_SLOT_CONFIGURE: confirmed = (s1 & S1_REJECTED) == 0; break;
        case SCP_SLOT_ENABLE: confirmed = (s1 & S1_ENABLED) != 0; break;
        case SCP_SLOT_DISABLE: confirmed = (s1 & S1_ENABLED) == 0; break;
        case SCP_SLOT_BEEP_ON: confirmed = (s0 & S0_BEEP) != 0; break;
        case SCP_SLOT_BEEP_OFF: confirmed = (s0 & S0_BEEP) == 0; break;
        case SCHH20_SLOT_HEAD_BEEP_ON: confirmed = (s0 & S0_HEAD_BEEP_OFF) == 0; break;
        case SCHH20_SLOT_HEAD_BEEP_OFF: confirmed = (s0 & S0_HEAD_BEEP_OFF) != 0; break;
        default: break;
        }
        if (confirmed) {
            const int slot = lastSent_;
            pending_ &= ~Bit(slot);
            lastSent_ = -1;
            if (slot == SCP_SLOT_CONFIGURE) NowConfirmed();
        }

        int at = 3;
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
            if (at >= n && (s1 & S1_NO_LABEL)) {
                ScannerLabel* empty = new (std::nothrow) ScannerLabel;
                if (empty) {
                    empty->flags = LABEL_FLAG_EMPTY;
                    QueueLabel(empty);
                }
            } else if (at < n) {
                if (autoDisable_) {
                    enabled_ = 0;
                    pending_ |= Bit(SCP_SLOT_DISABLE);
                }
                LabelDataRcvd(data + at, n - at, 1);
            }
        }
    }
    if (SendAnyPendingMessage() == -1) return SendAck();
    return 0;
}

PDEV* _CreateSCHH20P(const DeviceID& id) { return new SCHH20P(id); }

namespace {
const unsigned char addressesSCHH20P[] = {0x4A, 0x4B};
}
ObjectSupport objectSCHH20P(SCHH20P_TYPE_ID, _CreateSCHH20P, addressesSCHH20P, 2);
