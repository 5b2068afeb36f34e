// The client's scanner model 8634: the second interleaved 2 of 5 length and the narrower
// first group; registration of the virtual class.
#include "ObjectSupport.h"
#include "SCF8612P.h"
#include "SCF8612V.h"

namespace {
bool itfLength(intptr_t v) { return v == 0 || (v >= 4 && v <= 32 && v % 2 == 0); }
} // namespace

const SCF8612V::PropertySet& SCF8634V::OwnProperties() {
    static const Property rows[] = {
        {"iTFLength2", "ITFLength2", static_cast<int32_t SCF8612V::*>(&SCF8634V::iTFLength2_), 0,
         nullptr, nullptr, static_cast<int (SCF8612V::*)(intptr_t)>(&SCF8634V::AcceptAny)},
    };
    static const PropertySet set{rows, 1};
    return set;
}

SCF8634V::SCF8634V(const DeviceID& id, int handle, const char* name) : SCF8612V(id, handle, name) {}

SCF8634V::~SCF8634V() = default;

int SCF8634V::Open(const unsigned char* resourceName, const unsigned char* className,
                   PosArg* args, int count) {
    int rc = LoadScanProperties<SCF8612V>(*this, OwnProperties(), resourceName, className);
    if (rc != 0) return rc;
    return SCF8612V::Open(resourceName, className, args, count);
}

int SCF8634V::SetValuesCreation(PosArg* args, int count) {
    const int32_t length = iTFLength2_;
    int rc = SCF8612V::SetValuesCreation(args, count);
    if (rc != 0) return rc;
    ApplyScanArguments<SCF8612V>(*this, OwnProperties(), args, count, true);
    if (barCodes2_ == LGROUP_INT_2_OF_5 && !itfLength(iTFLength2_)) {
        iTFLength2_ = length;
        return POSERR_SCAN_INVALID_ITF_LENGTH2;
    }
    return 0;
}

int SCF8634V::GetValues(PosArg* args, int count) {
    AnswerScanProperties<SCF8612V>(*this, OwnProperties(), args, count);
    return SCF8612V::GetValues(args, count);
}

int SCF8634V::SettleItfLengths() {
    int rc = SCF8612V::SettleItfLengths();
    if (rc != 0) return rc;
    if (barCodes2_ != LGROUP_INT_2_OF_5) {
        iTFLength2_ = 0;
        return 0;
    }
    return ValidateITFLength2(iTFLength2_);
}

int SCF8634V::ValidateBarCodes1(intptr_t v) {
    return v == LGROUP_UPC_EAN || v == LGROUP_UPC_EAN_D1_TO_D5 ? 0 : POSERR_SCAN_INVALID_BARCODES1;
}

int SCF8634V::ValidateITFLength2(intptr_t v) { return itfLength(v) ? 0 : POSERR_SCAN_INVALID_ITF_LENGTH2; }

void SCF8634V::UpdateConfigData() {
    SCF8612V::UpdateConfigData();
    CnfgUpdateITFLength2();
}

void SCF8634V::CnfgUpdateITFLength2() {
    if (iTFLength2_ == 0) return;
    configure_[5] = static_cast<unsigned char>(configure_[5] | (iTFLength2_ & 0x3F));
    configure_[8] = static_cast<unsigned char>(configure_[8] | 0x80);
}

VDEV* _CreateSCF8634V(const DeviceID& id, int handle) { return new SCF8634V(id, handle); }
ObjectSupport objectSCF8634V(SCF8634V_TYPE_ID, _CreateSCF8634V);
