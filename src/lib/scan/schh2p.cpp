// Hand-held scanner model 2 on the link: model 1 with 2-byte disable, enable and beep
// commands and its own client class; registration.
#include "ObjectSupport.h"
#include "SCHH1P.h"

namespace {
const unsigned char kDisable[] = {0x12, 0x00};
const unsigned char kEnable[] = {0x11, 0x00};
const unsigned char kBeepOff[] = {0x18, 0x00};
const unsigned char kBeepOn[] = {0x14, 0x00};
} // namespace

SCHH2P::SCHH2P(const DeviceID& id, const char* name) : SCHH1P(id, name) {
    vdevType_ = SCHH2V_TYPE_ID;
    deviceSubtype_ = 2;
    slots_[SCP_SLOT_DISABLE] = {kDisable, sizeof kDisable};
    slots_[SCP_SLOT_ENABLE] = {kEnable, sizeof kEnable};
    slots_[SCP_SLOT_BEEP_OFF] = {kBeepOff, sizeof kBeepOff};
    slots_[SCP_SLOT_BEEP_ON] = {kBeepOn, sizeof kBeepOn};
}

SCHH2P::~SCHH2P() = default;

PDEV* _CreateSCHH2P(const DeviceID& id) { return new SCHH2P(id); }

namespace {
const unsigned char addressesSCHH2P[] = {0x4A, 0x4B};
}
ObjectSupport objectSCHH2P(SCHH2P_TYPE_ID, _CreateSCHH2P, addressesSCHH2P, 2);
