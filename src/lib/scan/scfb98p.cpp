// Table-top scanner model 98: its start-up configure command; registration.
#include "SCFB98P.h"

#include <cstring>

#include "ObjectSupport.h"

const unsigned char SCFB98P::kStartConfigure[kConfigureLength] = {
    0x20, 0x02, 0x40, 0x00, 0x19, 0x00, 0x51, 0x04, 0x03, 0xA2, 0x00, 0x00};

SCFB98P::SCFB98P(const DeviceID& id, const char* name) : SCFB97P(id, name) {
    vdevType_ = SCFB98V_TYPE_ID;
    deviceSubtype_ = 6;
    std::memcpy(configure_, kStartConfigure, sizeof configure_);
}

SCFB98P::~SCFB98P() = default;

PDEV* _CreateSCFB98P(const DeviceID& id) { return new SCFB98P(id); }

namespace {
const unsigned char addressesSCFB98P[] = {0x4A, 0x4B};
}
ObjectSupport objectSCFB98P(SCFB98P_TYPE_ID, _CreateSCFB98P, addressesSCFB98P, 2);
