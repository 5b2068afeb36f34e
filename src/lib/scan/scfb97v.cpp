// The client's table-top scanner model 97: the added properties, the changed configure
// rules and the flag configuration; registration of the virtual class.
#include "SCFB97V.h"

#include <cstring>

#include "ObjectSupport.h"
#include "SCFB97P.h"
#include "sclookup.h"

namespace {

const char kTag[] = "@(#)scfb97v.cpp 1.1";

bool decimalByte(int b) { return (b >> 4) <= 9 && (b & 15) <= 9; }

} // namespace

#define FIELD(f) static_cast<int32_t SCFB96V::*>(&SCFB97V::f)
#define CHECK(f) static_cast<int (SCFB96V::*)(intptr_t)>(&SCFB97V::f)

const SCFB96V::PropertySet& SCFB97V::OwnProperties() {
    static const Property rows[] = {
        {"barCodes2", "BarCodes2", FIELD(barCodes2_), LGROUP_NONE, posLgroupLookupTbl,
         &posLgroupLookupRows, CHECK(ValidateBarCodes2)},
        {"iTFLength1", "ITFLength1", FIELD(iTFLength1_), 0, nullptr, nullptr, CHECK(AcceptAny)},
        {"iTFLength2", "ITFLength2", FIELD(iTFLength2_), 0, nullptr, nullptr, CHECK(AcceptAny)},
        {"jANTwoLabelDecode", "JANTwoLabelDecode", FIELD(jANTwoLabelDecode_), 0,
         posEnableLookupTbl, &posEnableLookupRows, CHECK(ValidateJANTwoLabelDecode)},
        {"twoLabelFlagPair1", "TwoLabelFlagPair1", FIELD(twoLabelFlagPair1_), 0x2122, nullptr,
         nullptr, CHECK(AcceptAny)},
        {"twoLabelFlagPair2", "TwoLabelFlagPair2", FIELD(twoLabelFlagPair2_), 0x2128, nullptr,
         nullptr, CHECK(AcceptAny)},
        {"twoLabelFlagPair3", "TwoLabelFlagPair3", FIELD(twoLabelFlagPair3_), 0x2129, nullptr,
         nullptr, CHECK(AcceptAny)},
        {"twoLabelFlagPair4", "TwoLabelFlagPair4", FIELD(twoLabelFlagPair4_), 0x2122, nullptr,
         nullptr, CHECK(AcceptAny)},
        {"scansPerRead", "ScansPerRead", FIELD(scansPerRead_), 2, nullptr, nullptr,
         CHECK(ValidateScansPerRead)},
    };
    static const PropertySet set{rows, static_cast<int>(sizeof rows / sizeof rows[0])};
    return set;
}
#undef FIELD
#undef CHECK

SCFB97V::SCFB97V(const DeviceID& id, int handle, const char* name) : SCFB96V(id, handle, name) {}

SCFB97V::~SCFB97V() = default;

int32_t& SCFB97V::Pair(int pair) {
    switch (pair) {
    case 1: return twoLabelFlagPair1_;
    case 2: return twoLabelFlagPair2_;
    case 3: return twoLabelFlagPair3_;
    default: return twoLabelFlagPair4_;
    }
}

int SCFB97V::Open(const unsigned char* resourceName, const unsigned char* className,
                  PosArg* args, int count) {
    int rc = LoadProperties(OwnProperties(), resourceName, className);
    if (rc != 0) return rc;
    rc = SCFB96V::Open(resourceName, className, args, count);
    if (rc != 0) return rc;
    rc = ValidateProperties(OwnProperties());
    if (rc == 0) rc = ValidateDependent();
    if (rc != 0) CloseAgain();
    return rc;
}

int SCFB97V::SetValuesCreation(PosArg* args, int count) {
    int rc = ApplyArguments(OwnProperties(), args, count, false);
    if (rc != 0) return rc;
    rc = SCFB96V::SetValuesCreation(args, count);
    if (rc != 0) return rc;
    // The dependent checks run on the new values; a failure keeps the old ones of this
    // model (the parent's new values stay).
    const int32_t saved[] = {barCodes2_, iTFLength1_, iTFLength2_, jANTwoLabelDecode_,
                             Pair(1), Pair(2), Pair(3), Pair(4), scansPerRead_};
    ApplyArguments(OwnProperties(), args, count, true);
    rc = ValidateDependent();
    if (rc != 0) {
        barCodes2_ = saved[0];
        iTFLength1_ = saved[1];
        iTFLength2_ = saved[2];
        jANTwoLabelDecode_ = saved[3];
        for (int i = 0; i < 4; ++i) Pair(i + 1) = saved[4 + i];
        scansPerRead_ = saved[8];
    }
    return rc;
}

int SCFB97V::GetValues(PosArg* args, int count) {
    AnswerProperties(OwnProperties(), args, count);
    return SCFB96V::GetValues(args, count);
}

// ---------------------------------------------------------------------------------------
// Checks.

int SCFB97V::ValidateBarCodes2(intptr_t v) {
    return v == LGROUP_NONE || v == LGROUP_INT_2_OF_5 || v == LGROUP_CODE_128 ||
                   v == LGROUP_CODE_93 || v == LGROUP_CODE_39 || v == LGROUP_CODABAR
               ? 0
               : POSERR_SCAN_INVALID_BARCODES2;
}
int SCFB97V::ValidateITFLength1(intptr_t v) {
    return v >= 4 && v <= 32 && v % 2 == 0 ? 0 : POSERR_SCAN_INVALID_ITF_LENGTH1;
}
int SCFB97V::ValidateITFLength2(intptr_t v) {
    return v == 0 || (v >= 4 && v <= 32 && v % 2 == 0) ? 0 : POSERR_SCAN_INVALID_ITF_LENGTH2;
}
int SCFB97V::ValidateJANTwoLabelDecode(intptr_t v) {
    return v == 0 || v == 1 ? 0 : POSERR_SCAN_INVALID_JAN_TWO_LABEL;
}
int SCFB97V::ValidateTwoLabelFlagPair(int pair, intptr_t v) {
    const bool ok = v >= 0 && v <= 0xFFFF && decimalByte(static_cast<int>(v >> 8)) &&
                    decimalByte(static_cast<int>(v & 0xFF));
    return ok ? 0 : POSERR_SCAN_INVALID_FLAG_PAIR1 + (pair - 1);
}
int SCFB97V::ValidateScansPerRead(intptr_t v) {
    return v >= 1 && v <= 4 ? 0 : POSERR_SCAN_INVALID_SCANS_PER_READ;
}

bool SCFB97V::ItfApplies() const { return barCodes2_ == LGROUP_INT_2_OF_5; }

int SCFB97V::ValidateDependent() {
    if (ItfApplies()) {
        int rc = ValidateITFLength1(iTFLength1_);
        if (rc == 0) rc = ValidateITFLength2(iTFLength2_);
        if (rc != 0) return rc;
    }
    if (jANTwoLabelDecode_ == 1) {
        for (int i = 0; i < 4; ++i) {
            int rc = ValidateTwoLabelFlagPair(i + 1, Pair(i + 1));
            if (rc != 0) return rc;
        }
        // Each pair begins with another flag than the one the pair before it ends with.
        for (int i = 1; i < 4; ++i)
            if ((Pair(i + 1) >> 8) == (Pair(i) & 0xFF))
                return POSERR_SCAN_INVALID_FLAG_PAIR_SEQUENCE;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// Commands.

int SCFB97V::ScansCode(int32_t n, int rule) {
    if (n != 0) return SCFB96V::ScansCode(n, rule);
    const int32_t u = scansPerRead_;
    if (rule == 1) return u - 1;
    return u == 1 || u == 2 ? 0 : u - 1;
}

#define OR_INTO(byte, bits) configure_[byte] = static_cast<unsigned char>(configure_[byte] | (bits))

void SCFB97V::CnfgUpdateDecodeAlgorithm() {
    OR_INTO(7, barCodes2_ != LGROUP_NONE || decodeAlgorithm_ == 0 ? 0x40 : 0);
}
void SCFB97V::CnfgUpdateBarCodes2() {
    switch (barCodes2_) {
    case LGROUP_INT_2_OF_5: OR_INTO(1, 2 << 5); break;
    case LGROUP_CODE_39: OR_INTO(1, 1 << 5); break;
    case LGROUP_CODABAR: OR_INTO(1, 4 << 5); break;
    case LGROUP_CODE_128: OR_INTO(2, 2); break;
    case LGROUP_CODE_93: OR_INTO(2, 1); break;
    default: break;
    }
}
void SCFB97V::CnfgUpdateITFLength1() {
    if (ItfApplies()) OR_INTO(3, iTFLength1_ & 0x3F);
}
void SCFB97V::CnfgUpdateITFLength2() {
    if (ItfApplies() && iTFLength2_ != 0) {
        OR_INTO(5, iTFLength2_ & 0x3F);
        OR_INTO(3, 0x80);
    }
}
void SCFB97V::CnfgUpdateJANTwoLabelDecode() { OR_INTO(8, (jANTwoLabelDecode_ & 1) << 7); }
#undef OR_INTO

void SCFB97V::CnfgUpdateTwoLabelFlagPairs() {
    flagConfigure_[0] = 0x23;
    for (int i = 0; i < 4; ++i) {
        flagConfigure_[1 + 2 * i] = static_cast<unsigned char>(Pair(i + 1) >> 8);
        flagConfigure_[2 + 2 * i] = static_cast<unsigned char>(Pair(i + 1));
    }
}

void SCFB97V::UpdateConfigData() {
    SCFB96V::UpdateConfigData();
    configure_[9] = static_cast<unsigned char>(configure_[9] & ~0x0C);
    CnfgUpdateBarCodes2();
    CnfgUpdateITFLength1();
    CnfgUpdateITFLength2();
    CnfgUpdateJANTwoLabelDecode();
}

int SCFB97V::UpdatePDEVState() {
    int rc = SCFB96V::UpdatePDEVState();
    if (rc != 0) return rc;
    std::memset(flagConfigure_, 0, sizeof flagConfigure_);
    CnfgUpdateTwoLabelFlagPairs();
    rc = Tell(SCP_REQ_FLAG_CONFIGURE, flagConfigure_, kFlagConfigureLength);
    if (rc != 0)
        clErrorLog(34101, 321, static_cast<uint32_t>(rc), kTag, this, sizeof(SCFB97V));
    return rc;
}

// ---------------------------------------------------------------------------------------
// Registration.

VDEV* _CreateSCFB97V(const DeviceID& id, int handle) { return new SCFB97V(id, handle); }
ObjectSupport objectSCFB97V(SCFB97V_TYPE_ID, _CreateSCFB97V);
