// Scanner model 8634 on the link: model 8612 with its own client class; registration.
#include "ObjectSupport.h"
#include "SCF8612P.h"

SCF8634P::SCF8634P(const DeviceID& id, const char* name) : SCF8612P(id, name) {
    vdevType_ = SCF8634V_TYPE_ID;
    deviceSubtype_ = 3;
}

SCF8634P::~SCF8634P() = default;

PDEV* _CreateSCF8634P(const DeviceID& id) { return new SCF8634P(id); }

namespace {
const unsigned char addressesSCF8634P[] = {0x4A, 0x4B};
}
ObjectSupport objectSCF8634P(SCF8634P_TYPE_ID, _CreateSCF8634P, addressesSCF8634P, 2);
