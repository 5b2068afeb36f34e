// The scale identifier: extended-status and EC-level probes, and the class they select;
// registration.
#include "Oracle_6E.h"

#include "ObjectSupport.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)so6e.cpp 1.1";

const unsigned char kExtendedStatus[] = {0x04};
const unsigned char kEcLevel[] = {0x00, 0x80};

constexpr int32_t kProbeWaitMs = 2000;

uint16_t clip16(int n) { return static_cast<uint16_t>(n <= 0 ? 0 : (n > 0xFFFF ? 0xFFFF : n)); }

} // namespace

Oracle_6E::Oracle_6E(const DeviceID& id, const char* name) : Oracle(id, name) {}

Oracle_6E::~Oracle_6E() = default;

void Oracle_6E::ChooseNextProbe() {
    if (state_ == EXTENDED_SENT) {
        state_ = PROBING;
        pending_ = kExtendedStatus;
        pendingLength_ = sizeof kExtendedStatus;
    } else if (state_ == PROBING) {
        pending_ = kEcLevel;
        pendingLength_ = sizeof kEcLevel;
    } else {
        state_ = EXTENDED_SENT;
        pending_ = kExtendedStatus;
        pendingLength_ = sizeof kExtendedStatus;
    }
}

bool Oracle_6E::TimeToResetScale() {
    return sendTimeSet_ && chTimeDiff(chTime(), sendTime_) > kProbeWaitMs;
}

int Oracle_6E::ResetComplete() {
    if (!pending_) ChooseNextProbe();
    Oracle::ResetComplete();
    sendTimeSet_ = false;
    return 0;
}

int Oracle_6E::SendAnyPendingMessage() {
    if (TestStatusBits(SIODEV_AWAITING_REPLY) && TimeToResetScale()) {
        sendTimeSet_ = false;
        ClearStatusBits(SIODEV_AWAITING_REPLY);
        ChooseNextProbe();
    }
    // The first probe, for an identifier that took over a link already up.
    if (state_ == NEW && !pending_ && !TestStatusBits(SIODEV_AWAITING_REPLY)) ChooseNextProbe();
    const int rc = Oracle::SendAnyPendingMessage();
    if (rc == 0) {
        sendTime_ = chTime();
        sendTimeSet_ = true;
    }
    return rc;
}

int Oracle_6E::LastMsgLost(const unsigned char* /*data*/, int /*n*/) {
    if (state_ == EXTENDED_SENT && lastSent_) {
        pending_ = lastSent_;
        pendingLength_ = lastSentLength_;
    } else {
        pending_ = kEcLevel;
        pendingLength_ = sizeof kEcLevel;
    }
    state_ = PROBING;
    sendTimeSet_ = false;
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    return 0;
}

int Oracle_6E::NewMsgRcvd(const unsigned char* data, int n) {
    sendTimeSet_ = false;
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    if (state_ == EXTENDED_SENT || state_ == PROBING) {
        if (!data || n < 2) {
            clErrorLog(31601, 306, static_cast<uint32_t>(n), kTag, this, sizeof(Oracle_6E), data,
                       clip16(n));
        } else if (n > 2 && (data[0] & 0x04)) {
            state_ = MODEL_96; // the extended status was understood
        } else if (data[1] < 0x40) {
            if (lastSent_ == kEcLevel) {
                state_ = MODEL_87;
            } else {
                state_ = PROBING;
                pending_ = kEcLevel;
                pendingLength_ = sizeof kEcLevel;
            }
        } else if (state_ == PROBING) {
            state_ = MODEL_87;
        } else {
            state_ = PROBING;
            pending_ = lastSent_;
            pendingLength_ = lastSentLength_;
        }
    }
    if (state_ == MODEL_87 || state_ == MODEL_96) return CreateNewDevice(state_ == MODEL_87 ? 31200 : 31400);
    const int rc = SendAnyPendingMessage();
    return rc == 0 ? 0 : SendAck();
}

PDEV* _CreateOracle_6E(const DeviceID& id) { return new Oracle_6E(id); }

namespace {
const unsigned char addressesOracle_6E[] = {0x6E};
}
ObjectSupport objectOracle_6E(ORACLE_6E_TYPE_ID, _CreateOracle_6E, addressesOracle_6E, 1);
