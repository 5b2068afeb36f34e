// The client's hand-held scanner model 20: properties, checks and the configure command;
// registration of the virtual class.
#include "SCHH20V.h"

#include "ObjectSupport.h"
#include "SCHH20P.h"
#include "sclookup.h"

namespace {

bool groupTaken(intptr_t v) {
    return v == LGROUP_NONE || v == LGROUP_INT_2_OF_5 || v == LGROUP_UPC_D1_TO_D5 ||
           v == LGROUP_UPC_EAN || v == LGROUP_CODE_39;
}

} // namespace

#define PROP(name, cls, field, def, table, rows, check) \
    {name, cls, &SCHH20V::field, def, table, rows, &SCHH20V::check}

const SCHH20V::PropertySet& SCHH20V::OwnProperties() {
    static const Property rows[] = {
        PROP("barCodes1", "BarCodes1", barCodes1_, LGROUP_UPC_EAN, posLgroupLookupTbl,
             &posLgroupLookupRows, ValidateBarCodes1),
        PROP("barCodes2", "BarCodes2", barCodes2_, LGROUP_UPC_D1_TO_D5, posLgroupLookupTbl,
             &posLgroupLookupRows, ValidateBarCodes2),
        PROP("barCodes3", "BarCodes3", barCodes3_, LGROUP_NONE, posLgroupLookupTbl,
             &posLgroupLookupRows, ValidateBarCodes3),
        PROP("barCodes4", "BarCodes4", barCodes4_, LGROUP_NONE, posLgroupLookupTbl,
             &posLgroupLookupRows, ValidateBarCodes4),
        PROP("iTFLength1", "ITFLength1", iTFLength1_, 0, nullptr, nullptr, ValidateITFLength1),
    };
    static const PropertySet set{rows, static_cast<int>(sizeof rows / sizeof rows[0])};
    return set;
}
#undef PROP

SCHH20V::SCHH20V(const DeviceID& id, int handle, const char* name)
    : SCV(id, handle, name), barCodes1_(LGROUP_UPC_EAN), barCodes2_(LGROUP_UPC_D1_TO_D5) {
    configureLength_ = SCHH20P::kConfigureLength;
}

SCHH20V::~SCHH20V() = default;

void SCHH20V::CloseAgain() {
    int remaining = 0;
    SCV::Close(remaining);
}

int SCHH20V::Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
                  int count) {
    int rc = LoadScanProperties(*this, OwnProperties(), resourceName, className);
    if (rc != 0) return rc;
    rc = SCV::Open(resourceName, className, args, count);
    if (rc != 0) return rc;
    rc = ValidateAll();
    if (rc != 0) CloseAgain();
    return rc;
}

// The length is checked against the groups given with it, so the arguments are taken in
// first and put back when a check fails.
int SCHH20V::SetValuesCreation(PosArg* args, int count) {
    ScanPropertySnapshot<SCHH20V> before(*this, OwnProperties());
    ApplyScanArguments(*this, OwnProperties(), args, count, true);
    int rc = ValidateAll();
    if (rc == 0) rc = SCV::SetValuesCreation(args, count);
    if (rc != 0) before.Restore();
    return rc;
}

int SCHH20V::GetValues(PosArg* args, int count) {
    AnswerScanProperties(*this, OwnProperties(), args, count);
    return SCV::GetValues(args, count);
}

int SCHH20V::ValidateAll() { return ValidateScanProperties(*this, OwnProperties()); }

bool SCHH20V::AnyInterleaved() const {
    return barCodes1_ == LGROUP_INT_2_OF_5 || barCodes2_ == LGROUP_INT_2_OF_5 ||
           barCodes3_ == LGROUP_INT_2_OF_5 || barCodes4_ == LGROUP_INT_2_OF_5;
}

int SCHH20V::ValidateBarCodes1(intptr_t v) {
    return v != LGROUP_NONE && groupTaken(v) ? 0 : POSERR_SCAN_INVALID_BARCODES1;
}
int SCHH20V::ValidateBarCodes2(intptr_t v) { return groupTaken(v) ? 0 : POSERR_SCAN_INVALID_BARCODES2; }
int SCHH20V::ValidateBarCodes3(intptr_t v) { return groupTaken(v) ? 0 : POSERR_SCAN_INVALID_BARCODES3; }
int SCHH20V::ValidateBarCodes4(intptr_t v) { return groupTaken(v) ? 0 : POSERR_SCAN_INVALID_BARCODES4; }
int SCHH20V::ValidateITFLength1(intptr_t v) {
    if (!AnyInterleaved()) return 0;
    return v >= 4 && v <= 30 && v % 2 == 0 ? 0 : POSERR_SCAN_INVALID_ITF_LENGTH1;
}

int SCHH20V::SetCnfgValueBarCodesX(int32_t group) {
    switch (group) {
    case LGROUP_INT_2_OF_5: return 1;
    case LGROUP_CODE_39: return 2;
    case LGROUP_UPC_D1_TO_D5: return 4;
    case LGROUP_UPC_EAN: return 8;
    default: return 0;
    }
}

void SCHH20V::UpdateConfigData() {
    configure_[0] = 0x31;
    CnfgUpdateBarCodes();
    CnfgUpdateITFLength1();
}

void SCHH20V::CnfgUpdateBarCodes() {
    const int codes = SetCnfgValueBarCodesX(barCodes1_) | SetCnfgValueBarCodesX(barCodes2_) |
                      SetCnfgValueBarCodesX(barCodes3_) | SetCnfgValueBarCodesX(barCodes4_);
    configure_[1] = static_cast<unsigned char>(configure_[1] | (codes << 4));
}

// An unchecked length (no group is interleaved 2 of 5) could spill into the group bits:
// only the four length bits are written.
void SCHH20V::CnfgUpdateITFLength1() {
    configure_[1] = static_cast<unsigned char>(configure_[1] | ((iTFLength1_ / 2) & 0x0F));
}

VDEV* _CreateSCHH20V(const DeviceID& id, int handle) { return new SCHH20V(id, handle); }
ObjectSupport objectSCHH20V(SCHH20V_TYPE_ID, _CreateSCHH20V);
