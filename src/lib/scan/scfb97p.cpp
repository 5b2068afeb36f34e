// Table-top scanner model 97: the two-label flag configuration and its echo; registration.
#include "SCFB97P.h"

#include <cstring>

#include "ObjectSupport.h"

namespace {
const unsigned char kReadFlags[] = {0x34};
} // namespace

const unsigned char SCFB97P::kDefaultFlagConfigure[kFlagConfigureLength] = {
    0x23, 0x21, 0x22, 0x21, 0x28, 0x21, 0x29, 0x21, 0x22};

SCFB97P::SCFB97P(const DeviceID& id, const char* name) : SCFB96P(id, name) {
    vdevType_ = SCFB97V_TYPE_ID;
    deviceSubtype_ = 5;
    std::memcpy(flagConfigure_, kDefaultFlagConfigure, sizeof flagConfigure_);
    slots_[SCP_SLOT_FLAG_CONFIG] = {flagConfigure_, kFlagConfigureLength};
    slots_[SCP_SLOT_READ_FLAGS] = {kReadFlags, sizeof kReadFlags};
    pending_ |= Bit(SCP_SLOT_FLAG_CONFIG) | Bit(SCP_SLOT_READ_FLAGS);
}

SCFB97P::~SCFB97P() = default;

int SCFB97P::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    if (request != SCP_REQ_FLAG_CONFIGURE) return SCFB96P::TellPhys(sender, request, data, length);
    if (!sender || sender != owner_) return 315;
    if (!data || length != kFlagConfigureLength) return 321;
    if (std::memcmp(flagConfigure_, data, kFlagConfigureLength) == 0) return 0;
    std::memcpy(flagConfigure_, data, kFlagConfigureLength);
    pending_ |= Bit(SCP_SLOT_FLAG_CONFIG);
    return SendTurn();
}

int SCFB97P::PowerOnResetInProgress() {
    SCFB96P::PowerOnResetInProgress();
    pending_ |= Bit(SCP_SLOT_FLAG_CONFIG) | Bit(SCP_SLOT_READ_FLAGS);
    return 0;
}

int SCFB97P::NewMsgRcvd(const unsigned char* data, int n) {
    static const ReplyLogs logs{34001, 34007, 34003, 34002, 34005, 34004, 34006};
    const FlagConfig flags{flagConfigure_, flagEcho_};
    return HandleReply(data, n, logs, &flags);
}

// ---------------------------------------------------------------------------------------
// Registration.

PDEV* _CreateSCFB97P(const DeviceID& id) { return new SCFB97P(id); }

namespace {
const unsigned char addressesSCFB97P[] = {0x4A, 0x4B};
}
ObjectSupport objectSCFB97P(SCFB97P_TYPE_ID, _CreateSCFB97P, addressesSCFB97P, 2);
