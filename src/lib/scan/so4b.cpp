// The hand-held scanner identifier: the two probes, the answers' state table, and the class
// they select; registration.
#include "Oracle_4B.h"

#include "ObjectSupport.h"
#include "ovkhost.h"
#include "scandefs.h"

namespace {

const char kTag[] = "@(#)so4b.cpp 1.1";

enum : uint32_t { LOG_HW_ERROR = 12601 };

constexpr int32_t kResetSettleMs = 2000;
constexpr unsigned char B1_REJECTED = 0xD0;
constexpr unsigned char B0_NOT_MODEL_20 = 0x40;

uint16_t clip16(int n) { return static_cast<uint16_t>(n <= 0 ? 0 : (n > 0xFFFF ? 0xFFFF : n)); }

} // namespace

const unsigned char Oracle_4B::kModel20Probe[2] = {0x31, 0x80};
const unsigned char Oracle_4B::kModel2Probe[6] = {0x20, 0x00, 0x70, 0x00, 0x00, 0x00};

Oracle_4B::Oracle_4B(const DeviceID& id, const char* name) : Oracle(id, name) {}

Oracle_4B::~Oracle_4B() = default;

void Oracle_4B::Pend(const unsigned char* probe, int32_t length) {
    pending_ = probe;
    pendingLength_ = length;
}

bool Oracle_4B::ScannerResetComplete() {
    return resetTimeSet_ && chTimeDiff(chTime(), resetTime_) >= kResetSettleMs;
}

int Oracle_4B::PowerOnResetInProgress() {
    Oracle::PowerOnResetInProgress();
    Pend(nullptr, 0);
    sendTime_ = resetTime_ = chTime();
    sendTimeSet_ = resetTimeSet_ = true;
    SetStatusBits(SCP_RESET_WAIT);
    return 0;
}

int Oracle_4B::ResetComplete() {
    if (pendingLength_ <= 0) {
        state_ = PROBING;
        Pend(kModel20Probe, sizeof kModel20Probe);
    }
    Oracle::ResetComplete();
    sendTimeSet_ = false;
    return 0;
}

int Oracle_4B::SendAnyPendingMessage() {
    const bool outstanding = TestStatusBits(SIODEV_AWAITING_REPLY);
    if (!outstanding && TestStatusBits(SCP_RESET_WAIT) && ScannerResetComplete()) {
        resetTimeSet_ = false;
        ClearStatusBits(SCP_RESET_WAIT);
    }
    if (outstanding || TestStatusBits(SCP_RESET_WAIT)) return -1;
    // The first probe, for an identifier that took over a link already up.
    if (state_ == NEW && pendingLength_ <= 0) {
        state_ = PROBING;
        Pend(kModel20Probe, sizeof kModel20Probe);
    }
    const int rc = Oracle::SendAnyPendingMessage();
    if (rc == 0) {
        sendTime_ = chTime();
        sendTimeSet_ = true;
    }
    return rc;
}

int Oracle_4B::LastMsgLost(const unsigned char* data, int n) {
    Oracle::LastMsgLost(data, n);
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    return 0;
}

void Oracle_4B::Judge(const unsigned char* data, int n) {
    const bool rejected = (data[1] & B1_REJECTED) != 0;
    const bool notModel20 = n > 3 && (data[0] & B0_NOT_MODEL_20);
    if (lastSent_ == kModel20Probe) {
        if (state_ == PROBING) {
            if (rejected) {
                state_ = RETRYING;
                Pend(kModel20Probe, sizeof kModel20Probe);
            } else if (n == 2 || notModel20) {
                Pend(kModel2Probe, sizeof kModel2Probe);
            } else {
                state_ = MODEL_20;
            }
        } else if (rejected || notModel20) {
            state_ = PROBING;
            Pend(kModel2Probe, sizeof kModel2Probe);
        } else {
            state_ = MODEL_20;
        }
    } else if (lastSent_ == kModel2Probe) {
        if (!rejected) {
            state_ = MODEL_2;
        } else if (state_ == PROBING) {
            state_ = RETRYING;
            Pend(kModel2Probe, sizeof kModel2Probe);
        } else {
            state_ = MODEL_1;
        }
    }
    // An answer with no probe out (the scanner's own message) changes nothing.
}

int Oracle_4B::NewMsgRcvd(const unsigned char* data, int n) {
    if (TestStatusBits(SCP_RESET_WAIT)) {
        ClearStatusBits(SCP_RESET_WAIT);
        resetTimeSet_ = false;
    }
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    sendTimeSet_ = false;
    if (state_ == PROBING || state_ == RETRYING) {
        if (!data || n < 2)
            clErrorLog(LOG_HW_ERROR, 306, static_cast<uint32_t>(n), kTag, this, sizeof(Oracle_4B),
                       data, data ? clip16(n) : 0);
        else
            Judge(data, n);
    }
    if (state_ == MODEL_1 || state_ == MODEL_2 || state_ == MODEL_20) {
        // The new device takes over the link and acknowledges this answer itself.
        const long type = state_ == MODEL_1 ? 12200 : state_ == MODEL_2 ? 12400 : 34400;
        const int rc = CreateNewDevice(type);
        if (rc != 0) SendAck();
        return rc;
    }
    if (SendAnyPendingMessage() == -1) return SendAck();
    return 0;
}

PDEV* _CreateOracle_4B(const DeviceID& id) { return new Oracle_4B(id); }

namespace {
const unsigned char addressesOracle_4B[] = {0x4B};
}
ObjectSupport objectOracle_4B(ORACLE_4B_TYPE_ID, _CreateOracle_4B, addressesOracle_4B, 1);
