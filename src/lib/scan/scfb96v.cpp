// The client's table-top scanner model 96: properties, their checks and the configure
// command; registration of the virtual class.
#include "SCFB96V.h"

#include <cstring>

#include "ObjectSupport.h"
#include "SCFB96P.h"
#include "sclookup.h"

namespace {

bool inRange(intptr_t v, intptr_t lo, intptr_t hi) { return v >= lo && v <= hi; }

} // namespace

#define PROP(name, cls, field, def, table, rows, check) \
    {name, cls, &SCFB96V::field, def, table, rows, &SCFB96V::check}

const SCFB96V::PropertySet& SCFB96V::OwnProperties() {
    static const Property rows[] = {
    PROP("barCodes1", "BarCodes1", barCodes1_, LGROUP_UPC_EAN_D1_TO_D5, posLgroupLookupTbl,
         &posLgroupLookupRows, ValidateBarCodes1),
    PROP("beepFreq", "BeepFreq", beepFreq_, 3, posRangeSetLookupTbl, &posRangeSetLookupRows,
         ValidateBeepFreq),
    PROP("beepVolume", "BeepVolume", beepVolume_, 3, posRangeSetLookupTbl,
         &posRangeSetLookupRows, ValidateBeepVolume),
    PROP("bVolSwitchState", "BVolSwitchState", bVolSwitchState_, 1, posEnableLookupTbl,
         &posEnableLookupRows, ValidateBVolSwitchState),
    PROP("decodeAlgorithm", "DecodeAlgorithm", decodeAlgorithm_, 1, posEnableLookupTbl,
         &posEnableLookupRows, ValidateDecodeAlgorithm),
    PROP("dReadTimeout", "DReadTimeout", dReadTimeout_, 0, posTimeRangeLookupTbl,
         &posTimeRangeLookupRows, ValidateDReadTimeout),
    PROP("laserTimeout", "LaserTimeout", laserTimeout_, 15, nullptr, nullptr, ValidateLaserTimeout),
    PROP("blinkLength", "BlinkLength", blinkLength_, 2, posTimeRangeLookupTbl,
         &posTimeRangeLookupRows, ValidateBlinkLength),
    PROP("motorTimeout", "MotorTimeout", motorTimeout_, 15, nullptr, nullptr, ValidateMotorTimeout),
    PROP("eAN13ScansPerRead", "EAN13ScansPerRead", eAN13ScansPerRead_, 2, nullptr, nullptr,
         ValidateEAN13ScansPerRead),
    PROP("eAN8ScansPerRead", "EAN8ScansPerRead", eAN8ScansPerRead_, 2, nullptr, nullptr,
         ValidateEAN8ScansPerRead),
    PROP("storeScansPerRead", "StoreScansPerRead", storeScansPerRead_, 2, nullptr, nullptr,
         ValidateStoreScansPerRead),
    PROP("uPCAScansPerRead", "UPCAScansPerRead", uPCAScansPerRead_, 2, nullptr, nullptr,
         ValidateUPCAScansPerRead),
    PROP("uPCDScansPerRead", "UPCDScansPerRead", uPCDScansPerRead_, 2, nullptr, nullptr,
         ValidateUPCDScansPerRead),
    PROP("uPCEScansPerRead", "UPCEScansPerRead", uPCEScansPerRead_, 2, nullptr, nullptr,
         ValidateUPCEScansPerRead),
    PROP("uPCExpansion", "UPCExpansion", uPCExpansion_, 0, posExpansionLookupTbl,
         &posExpansionLookupRows, ValidateUPCExpansion),
    PROP("verifyPriceChk", "VerifyPriceChk", verifyPriceChk_, 0, posVerifyLookupTbl,
         &posVerifyLookupRows, ValidateVerifyPriceChk),
    };
    static const PropertySet set{rows, static_cast<int>(sizeof rows / sizeof rows[0])};
    return set;
}
#undef PROP

SCFB96V::SCFB96V(const DeviceID& id, int handle, const char* name)
    : SCV(id, handle, name), barCodes1_(LGROUP_UPC_EAN_D1_TO_D5) {
    configureLength_ = SCFB96P::kConfigureLength;
}

SCFB96V::~SCFB96V() = default;

// ---------------------------------------------------------------------------------------
// Property sets.

void SCFB96V::CloseAgain() {
    int remaining = 0;
    SCV::Close(remaining);
}

// ---------------------------------------------------------------------------------------
// Open and values.

int SCFB96V::Open(const unsigned char* resourceName, const unsigned char* className,
                  PosArg* args, int count) {
    // The resources first, so that the arguments of the open take their place.
    int rc = LoadProperties(OwnProperties(), resourceName, className);
    if (rc != 0) return rc;
    rc = SCV::Open(resourceName, className, args, count);
    if (rc != 0) return rc;
    rc = ValidateProperties(OwnProperties());
    if (rc != 0) CloseAgain();
    return rc;
}

int SCFB96V::SetValuesCreation(PosArg* args, int count) {
    int rc = ApplyArguments(OwnProperties(), args, count, false);
    if (rc != 0) return rc;
    rc = SCV::SetValuesCreation(args, count);
    if (rc != 0) return rc;
    ApplyArguments(OwnProperties(), args, count, true);
    return 0;
}

int SCFB96V::GetValues(PosArg* args, int count) {
    AnswerProperties(OwnProperties(), args, count);
    return SCV::GetValues(args, count);
}

// ---------------------------------------------------------------------------------------
// Checks.

int SCFB96V::ValidateBarCodes1(intptr_t v) {
    return v == LGROUP_UPC_EAN || v == LGROUP_UPC_EAN_D1_TO_D5 ? 0 : POSERR_SCAN_INVALID_BARCODES1;
}
int SCFB96V::ValidateBeepFreq(intptr_t v) {
    return inRange(v, 0, 3) ? 0 : POSERR_SCAN_INVALID_BEEP_FREQ;
}
int SCFB96V::ValidateBeepVolume(intptr_t v) {
    return inRange(v, 0, 3) ? 0 : POSERR_SCAN_INVALID_BEEP_VOLUME;
}
int SCFB96V::ValidateBVolSwitchState(intptr_t v) {
    return inRange(v, 0, 1) ? 0 : POSERR_SCAN_INVALID_BVOL_SWITCH;
}
int SCFB96V::ValidateDecodeAlgorithm(intptr_t v) {
    return inRange(v, 0, 1) ? 0 : POSERR_SCAN_INVALID_DECODE_ALGORITHM;
}
int SCFB96V::ValidateDReadTimeout(intptr_t v) {
    return inRange(v, 0, 2) ? 0 : POSERR_SCAN_INVALID_DREAD_TIMEOUT;
}
int SCFB96V::ValidateLaserTimeout(intptr_t v) {
    return v == 0 || v == 5 || v == 10 || v == 15 ? 0 : POSERR_SCAN_INVALID_LASER_TIMEOUT;
}
int SCFB96V::ValidateBlinkLength(intptr_t v) {
    return inRange(v, 0, 2) ? 0 : POSERR_SCAN_INVALID_BLINK_LENGTH;
}
int SCFB96V::ValidateMotorTimeout(intptr_t v) {
    return v == 0 || v == 5 || v == 10 || v == 15 || v == 30 || v == 60
               ? 0
               : POSERR_SCAN_INVALID_MOTOR_TIMEOUT;
}
int SCFB96V::ValidateEAN13ScansPerRead(intptr_t v) {
    return inRange(v, 0, 4) ? 0 : POSERR_SCAN_INVALID_EAN13_SCANS;
}
int SCFB96V::ValidateEAN8ScansPerRead(intptr_t v) {
    return inRange(v, 0, 4) ? 0 : POSERR_SCAN_INVALID_EAN8_SCANS;
}
int SCFB96V::ValidateStoreScansPerRead(intptr_t v) {
    return inRange(v, 0, 4) ? 0 : POSERR_SCAN_INVALID_STORE_SCANS;
}
int SCFB96V::ValidateUPCAScansPerRead(intptr_t v) {
    return inRange(v, 0, 4) ? 0 : POSERR_SCAN_INVALID_UPCA_SCANS;
}
int SCFB96V::ValidateUPCDScansPerRead(intptr_t v) {
    return inRange(v, 0, 4) ? 0 : POSERR_SCAN_INVALID_UPCD_SCANS;
}
int SCFB96V::ValidateUPCEScansPerRead(intptr_t v) {
    return inRange(v, 0, 4) ? 0 : POSERR_SCAN_INVALID_UPCE_SCANS;
}
int SCFB96V::ValidateUPCExpansion(intptr_t v) {
    return inRange(v, 0, 5) ? 0 : POSERR_SCAN_INVALID_UPC_EXPANSION;
}
int SCFB96V::ValidateVerifyPriceChk(intptr_t v) {
    return inRange(v, 0, 2) ? 0 : POSERR_SCAN_INVALID_VERIFY_PRICE;
}

// ---------------------------------------------------------------------------------------
// The configure command.

int SCFB96V::ScansCode(int32_t n, int rule) { return rule == 1 ? FirstRule(n) : SecondRule(n); }

void SCFB96V::UpdateConfigData() {
    configure_[0] = 0x20;
    configure_[4] = static_cast<unsigned char>(configure_[4] | (beepState_ & 1));
    configure_[9] = static_cast<unsigned char>(configure_[9] | 0x80);
    CnfgUpdateBarCodes1();
    CnfgUpdateBeepFreq();
    CnfgUpdateBeepVolume();
    CnfgUpdateBVolSwitchState();
    CnfgUpdateDecodeAlgorithm();
    CnfgUpdateDReadTimeout();
    CnfgUpdateLaserTimeout();
    CnfgUpdateBlinkLength();
    CnfgUpdateMotorTimeout();
    CnfgUpdateEAN13ScansPerRead();
    CnfgUpdateEAN8ScansPerRead();
    CnfgUpdateStoreScansPerRead();
    CnfgUpdateUPCAScansPerRead();
    CnfgUpdateUPCDScansPerRead();
    CnfgUpdateUPCEScansPerRead();
    CnfgUpdateUPCExpansion();
    CnfgUpdateVerifyPriceChk();
}

#define OR_INTO(byte, bits) configure_[byte] = static_cast<unsigned char>(configure_[byte] | (bits))

void SCFB96V::CnfgUpdateBarCodes1() {
    OR_INTO(1, barCodes1_ == LGROUP_UPC_EAN ? 1 : barCodes1_ == LGROUP_UPC_EAN_D1_TO_D5 ? 2 : 0);
}
void SCFB96V::CnfgUpdateBeepFreq() { OR_INTO(4, ((beepFreq_ == 1 ? 0 : beepFreq_) & 3) << 6); }
void SCFB96V::CnfgUpdateBeepVolume() { OR_INTO(4, ((beepVolume_ == 1 ? 0 : beepVolume_) & 7) << 3); }
void SCFB96V::CnfgUpdateBVolSwitchState() { OR_INTO(9, (bVolSwitchState_ & 1) << 5); }
void SCFB96V::CnfgUpdateDecodeAlgorithm() { OR_INTO(7, decodeAlgorithm_ == 0 ? 0x40 : 0); }
void SCFB96V::CnfgUpdateDReadTimeout() { OR_INTO(8, (dReadTimeout_ & 3) << 5); }
void SCFB96V::CnfgUpdateLaserTimeout() {
    OR_INTO(8, (laserTimeout_ == 5 ? 1 : laserTimeout_ == 10 ? 2 : 0) << 3);
}
void SCFB96V::CnfgUpdateBlinkLength() { OR_INTO(9, blinkLength_ & 3); }
void SCFB96V::CnfgUpdateMotorTimeout() {
    const int code = motorTimeout_ == 5 ? 1 : motorTimeout_ == 10 ? 2 : motorTimeout_ == 15 ? 3
                     : motorTimeout_ == 30 ? 4 : 0;
    OR_INTO(8, code);
}
void SCFB96V::CnfgUpdateEAN13ScansPerRead() { OR_INTO(6, (ScansCode(eAN13ScansPerRead_, 1) & 3) << 6); }
void SCFB96V::CnfgUpdateEAN8ScansPerRead() { OR_INTO(7, ScansCode(eAN8ScansPerRead_, 2) & 3); }
void SCFB96V::CnfgUpdateStoreScansPerRead() { OR_INTO(7, (ScansCode(storeScansPerRead_, 1) & 3) << 2); }
void SCFB96V::CnfgUpdateUPCAScansPerRead() { OR_INTO(6, ScansCode(uPCAScansPerRead_, 1) & 3); }
void SCFB96V::CnfgUpdateUPCDScansPerRead() { OR_INTO(6, (ScansCode(uPCDScansPerRead_, 1) & 3) << 4); }
void SCFB96V::CnfgUpdateUPCEScansPerRead() { OR_INTO(6, (ScansCode(uPCEScansPerRead_, 2) & 3) << 2); }
void SCFB96V::CnfgUpdateUPCExpansion() { OR_INTO(2, (uPCExpansion_ & 7) << 2); }
void SCFB96V::CnfgUpdateVerifyPriceChk() {
    OR_INTO(2, verifyPriceChk_ == 1 ? 0x20 : verifyPriceChk_ == 2 ? 0x80 : 0);
}
#undef OR_INTO

// ---------------------------------------------------------------------------------------
// Registration.

VDEV* _CreateSCFB96V(const DeviceID& id, int handle) { return new SCFB96V(id, handle); }
ObjectSupport objectSCFB96V(SCFB96V_TYPE_ID, _CreateSCFB96V);
