// The client's table-top scanner model 98: the added properties and the changed rules;
// registration of the virtual class.
#include "SCFB98V.h"

#include "ObjectSupport.h"
#include "SCFB98P.h"
#include "sclookup.h"

namespace {

bool threeGroups(intptr_t v) {
    return v == LGROUP_NONE || v == LGROUP_INT_2_OF_5 || v == LGROUP_CODE_128 || v == LGROUP_CODE_39;
}

} // namespace

#define FIELD(f) static_cast<int32_t SCFB96V::*>(&SCFB98V::f)
#define CHECK(f) static_cast<int (SCFB96V::*)(intptr_t)>(&SCFB98V::f)

const SCFB96V::PropertySet& SCFB98V::OwnProperties() {
    static const Property rows[] = {
        {"code39ScansPerRead", "Code39ScansPerRead", FIELD(code39ScansPerRead_), 2, nullptr,
         nullptr, CHECK(ValidateCode39ScansPerRead)},
        {"iTFScansPerRead", "ITFScansPerRead", FIELD(iTFScansPerRead_), 2, nullptr, nullptr,
         CHECK(ValidateITFScansPerRead)},
        {"code128ScansPerRead", "Code128ScansPerRead", FIELD(code128ScansPerRead_), 2, nullptr,
         nullptr, CHECK(ValidateCode128ScansPerRead)},
        {"barCodes3", "BarCodes3", FIELD(barCodes3_), LGROUP_NONE, posLgroupLookupTbl,
         &posLgroupLookupRows, CHECK(ValidateBarCodes3)},
        {"barCodes4", "BarCodes4", FIELD(barCodes4_), LGROUP_NONE, posLgroupLookupTbl,
         &posLgroupLookupRows, CHECK(ValidateBarCodes4)},
    };
    static const PropertySet set{rows, static_cast<int>(sizeof rows / sizeof rows[0])};
    return set;
}
#undef FIELD
#undef CHECK

SCFB98V::SCFB98V(const DeviceID& id, int handle, const char* name) : SCFB97V(id, handle, name) {}

SCFB98V::~SCFB98V() = default;

int SCFB98V::Open(const unsigned char* resourceName, const unsigned char* className,
                  PosArg* args, int count) {
    int rc = LoadProperties(OwnProperties(), resourceName, className);
    if (rc != 0) return rc;
    rc = SCFB97V::Open(resourceName, className, args, count);
    if (rc != 0) return rc;
    rc = ValidateProperties(OwnProperties());
    if (rc == 0) rc = ValidateDependent();
    if (rc != 0) CloseAgain();
    return rc;
}

int SCFB98V::SetValuesCreation(PosArg* args, int count) {
    int rc = ApplyArguments(OwnProperties(), args, count, false);
    if (rc != 0) return rc;
    rc = SCFB97V::SetValuesCreation(args, count);
    if (rc != 0) return rc;
    const int32_t saved3 = barCodes3_, saved4 = barCodes4_;
    const int32_t c39 = code39ScansPerRead_, itf = iTFScansPerRead_, c128 = code128ScansPerRead_;
    ApplyArguments(OwnProperties(), args, count, true);
    // Groups 3 and 4 decide too whether the interleaved 2 of 5 lengths apply.
    rc = ValidateDependent();
    if (rc != 0) {
        barCodes3_ = saved3;
        barCodes4_ = saved4;
        code39ScansPerRead_ = c39;
        iTFScansPerRead_ = itf;
        code128ScansPerRead_ = c128;
    }
    return rc;
}

int SCFB98V::GetValues(PosArg* args, int count) {
    AnswerProperties(OwnProperties(), args, count);
    return SCFB97V::GetValues(args, count);
}

// ---------------------------------------------------------------------------------------
// Checks.

int SCFB98V::ValidateBarCodes1(intptr_t v) {
    return v == LGROUP_UPC_EAN || v == LGROUP_UPC_EAN_D1_TO_D5 || v == LGROUP_UPC_EAN_PLUS_5 ||
                   v == LGROUP_UPC_EAN_PLUS_2 || v == LGROUP_UPC_EAN_PLUS_2_5
               ? 0
               : POSERR_SCAN_INVALID_BARCODES1;
}
int SCFB98V::ValidateBeepFreq(intptr_t) { return 0; }
int SCFB98V::ValidateScansPerRead(intptr_t) { return 0; }
int SCFB98V::ValidateBarCodes2(intptr_t v) {
    return threeGroups(v) ? 0 : POSERR_SCAN_INVALID_BARCODES2;
}
int SCFB98V::ValidateBarCodes3(intptr_t v) {
    return threeGroups(v) ? 0 : POSERR_SCAN_INVALID_BARCODES3;
}
int SCFB98V::ValidateBarCodes4(intptr_t v) {
    return threeGroups(v) ? 0 : POSERR_SCAN_INVALID_BARCODES4;
}
int SCFB98V::ValidateCode39ScansPerRead(intptr_t v) {
    return v >= 0 && v <= 4 ? 0 : POSERR_SCAN_INVALID_CODE39_SCANS;
}
int SCFB98V::ValidateITFScansPerRead(intptr_t v) {
    return v >= 0 && v <= 4 ? 0 : POSERR_SCAN_INVALID_ITF_SCANS;
}
int SCFB98V::ValidateCode128ScansPerRead(intptr_t v) {
    return v >= 0 && v <= 4 ? 0 : POSERR_SCAN_INVALID_CODE128_SCANS;
}

bool SCFB98V::ItfApplies() const {
    return barCodes2_ == LGROUP_INT_2_OF_5 || barCodes3_ == LGROUP_INT_2_OF_5 ||
           barCodes4_ == LGROUP_INT_2_OF_5;
}

// ---------------------------------------------------------------------------------------
// Commands.

int SCFB98V::ScansCode(int32_t n, int rule) { return SCFB96V::ScansCode(n, rule); }

#define OR_INTO(byte, bits) configure_[byte] = static_cast<unsigned char>(configure_[byte] | (bits))

void SCFB98V::CnfgUpdateBarCodes1() {
    int code = 0;
    switch (barCodes1_) {
    case LGROUP_UPC_EAN: code = 0x01; break;
    case LGROUP_UPC_EAN_PLUS_2: code = 0x05; break;
    case LGROUP_UPC_EAN_PLUS_5: code = 0x09; break;
    case LGROUP_UPC_EAN_PLUS_2_5: code = 0x11; break;
    case LGROUP_UPC_EAN_D1_TO_D5: code = 0x02; break;
    default: break;
    }
    OR_INTO(1, code);
}
void SCFB98V::CnfgUpdateBeepFreq() {} // the frequency bits stay 0
void SCFB98V::CnfgUpdateDecodeAlgorithm() { SCFB96V::CnfgUpdateDecodeAlgorithm(); }

void SCFB98V::AddGroup(int32_t group) {
    if (group == LGROUP_CODE_128) {
        OR_INTO(2, 0x02);
        return;
    }
    const int add = group == LGROUP_CODE_39 ? 1 : group == LGROUP_INT_2_OF_5 ? 2 : 0;
    const int field = ((configure_[1] >> 5) + add) & 7;
    configure_[1] = static_cast<unsigned char>((configure_[1] & 0x1F) | field << 5);
}
void SCFB98V::CnfgUpdateBarCodes3() { AddGroup(barCodes3_); }
void SCFB98V::CnfgUpdateBarCodes4() { AddGroup(barCodes4_); }
void SCFB98V::CnfgUpdateCode39ScansPerRead() { OR_INTO(10, ScansCode(code39ScansPerRead_, 1) & 3); }
void SCFB98V::CnfgUpdateITFScansPerRead() { OR_INTO(10, (ScansCode(iTFScansPerRead_, 1) & 3) << 2); }
void SCFB98V::CnfgUpdateCode128ScansPerRead() {
    OR_INTO(10, (ScansCode(code128ScansPerRead_, 1) & 3) << 4);
}

void SCFB98V::UpdateConfigData() {
    SCFB97V::UpdateConfigData();
    // Set in every configure command of this model, as in its start-up command.
    OR_INTO(2, 0x40);
    CnfgUpdateCode39ScansPerRead();
    CnfgUpdateITFScansPerRead();
    CnfgUpdateCode128ScansPerRead();
    CnfgUpdateBarCodes3();
    CnfgUpdateBarCodes4();
}
#undef OR_INTO

// ---------------------------------------------------------------------------------------
// Registration.

VDEV* _CreateSCFB98V(const DeviceID& id, int handle) { return new SCFB98V(id, handle); }
ObjectSupport objectSCFB98V(SCFB98V_TYPE_ID, _CreateSCFB98V);
