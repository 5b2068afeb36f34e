// The client's scanner model 8612: properties, checks and the configure command;
// registration of the virtual class.
#include "SCF8612V.h"

#include "ObjectSupport.h"
#include "SCF8612P.h"
#include "sclookup.h"

namespace {

bool inRange(intptr_t v, intptr_t lo, intptr_t hi) { return v >= lo && v <= hi; }
bool itfLength(intptr_t v) { return v == 0 || (v >= 4 && v <= 32 && v % 2 == 0); }

} // namespace

#define PROP(name, cls, field, def, table, rows, check) \
    {name, cls, &SCF8612V::field, def, table, rows, &SCF8612V::check}

const SCF8612V::PropertySet& SCF8612V::OwnProperties() {
    static const Property rows[] = {
        PROP("barCodes1", "BarCodes1", barCodes1_, LGROUP_UPC_EAN_D1_TO_D5, posLgroupLookupTbl,
             &posLgroupLookupRows, ValidateBarCodes1),
        PROP("barCodes2", "BarCodes2", barCodes2_, LGROUP_NONE, posLgroupLookupTbl,
             &posLgroupLookupRows, ValidateBarCodes2),
        PROP("iTFLength1", "ITFLength1", iTFLength1_, 0, nullptr, nullptr, AcceptAny),
        PROP("beepFreq", "BeepFreq", beepFreq_, 3, posRangeSetLookupTbl, &posRangeSetLookupRows,
             ValidateBeepFreq),
        PROP("beepVolume", "BeepVolume", beepVolume_, 3, posRangeSetLookupTbl,
             &posRangeSetLookupRows, ValidateBeepVolume),
        PROP("beepLength", "BeepLength", beepLength_, 0, posTimeRangeLookupTbl,
             &posTimeRangeLookupRows, ValidateBeepLength),
        PROP("dReadTimeout", "DReadTimeout", dReadTimeout_, 0, posTimeRangeLookupTbl,
             &posTimeRangeLookupRows, ValidateDReadTimeout),
        PROP("laserTimeout", "LaserTimeout", laserTimeout_, 15, nullptr, nullptr, ValidateLaserTimeout),
        PROP("motorTimeout", "MotorTimeout", motorTimeout_, 15, nullptr, nullptr, ValidateMotorTimeout),
        PROP("laserSwitchState", "LaserSwitchState", laserSwitchState_, 0, posEnableLookupTbl,
             &posEnableLookupRows, ValidateLaserSwitchState),
        PROP("scansPerRead", "ScansPerRead", scansPerRead_, 2, nullptr, nullptr, ValidateScansPerRead),
        PROP("blinkLength", "BlinkLength", blinkLength_, 2, posTimeRangeLookupTbl,
             &posTimeRangeLookupRows, ValidateBlinkLength),
    };
    static const PropertySet set{rows, static_cast<int>(sizeof rows / sizeof rows[0])};
    return set;
}
#undef PROP

SCF8612V::SCF8612V(const DeviceID& id, int handle, const char* name)
    : SCV(id, handle, name), barCodes1_(LGROUP_UPC_EAN_D1_TO_D5) {
    configureLength_ = SCF8612P::kConfigureLength;
}

SCF8612V::~SCF8612V() = default;

void SCF8612V::CloseAgain() {
    int remaining = 0;
    SCV::Close(remaining);
}

int SCF8612V::Open(const unsigned char* resourceName, const unsigned char* className,
                   PosArg* args, int count) {
    // The resources first, so that the arguments of the open take their place.
    int rc = LoadScanProperties(*this, OwnProperties(), resourceName, className);
    if (rc != 0) return rc;
    rc = SCV::Open(resourceName, className, args, count);
    if (rc != 0) return rc;
    rc = ValidateScanProperties(*this, OwnProperties());
    if (rc == 0) rc = SettleItfLengths();
    if (rc != 0) CloseAgain();
    return rc;
}

int SCF8612V::SetValuesCreation(PosArg* args, int count) {
    int rc = ApplyScanArguments(*this, OwnProperties(), args, count, false);
    if (rc != 0) return rc;
    rc = SCV::SetValuesCreation(args, count);
    if (rc != 0) return rc;
    const int32_t groups = barCodes2_, length = iTFLength1_;
    ApplyScanArguments(*this, OwnProperties(), args, count, true);
    if (barCodes2_ == LGROUP_INT_2_OF_5 && !itfLength(iTFLength1_)) {
        barCodes2_ = groups;
        iTFLength1_ = length;
        return POSERR_SCAN_INVALID_ITF_LENGTH1;
    }
    return 0;
}

int SCF8612V::GetValues(PosArg* args, int count) {
    AnswerScanProperties(*this, OwnProperties(), args, count);
    return SCV::GetValues(args, count);
}

int SCF8612V::SettleItfLengths() {
    if (barCodes2_ != LGROUP_INT_2_OF_5) {
        iTFLength1_ = 0;
        return 0;
    }
    return ValidateITFLength1(iTFLength1_);
}

// ---------------------------------------------------------------------------------------
// Checks.

int SCF8612V::ValidateBarCodes1(intptr_t v) {
    return v == LGROUP_UPC_EAN || v == LGROUP_UPC_EAN_PLUS_5 || v == LGROUP_UPC_EAN_PLUS_2 ||
                   v == LGROUP_UPC_EAN_PLUS_2_5 || v == LGROUP_UPC_EAN_D1_TO_D5
               ? 0
               : POSERR_SCAN_INVALID_BARCODES1;
}
int SCF8612V::ValidateBarCodes2(intptr_t v) {
    return v == LGROUP_NONE || v == LGROUP_INT_2_OF_5 || v == LGROUP_CODE_128 ||
                   v == LGROUP_CODE_93 || v == LGROUP_CODE_39 || v == LGROUP_CODABAR
               ? 0
               : POSERR_SCAN_INVALID_BARCODES2;
}
int SCF8612V::ValidateITFLength1(intptr_t v) { return itfLength(v) ? 0 : POSERR_SCAN_INVALID_ITF_LENGTH1; }
int SCF8612V::ValidateBeepFreq(intptr_t v) { return inRange(v, 0, 3) ? 0 : POSERR_SCAN_INVALID_BEEP_FREQ; }
int SCF8612V::ValidateBeepVolume(intptr_t v) {
    return inRange(v, 0, 3) ? 0 : POSERR_SCAN_INVALID_BEEP_VOLUME;
}
int SCF8612V::ValidateBeepLength(intptr_t v) {
    return inRange(v, 0, 2) ? 0 : POSERR_SCAN_INVALID_BEEP_LENGTH;
}
int SCF8612V::ValidateDReadTimeout(intptr_t v) {
    return inRange(v, 0, 2) ? 0 : POSERR_SCAN_INVALID_DREAD_TIMEOUT;
}
int SCF8612V::ValidateLaserTimeout(intptr_t v) {
    return v == 0 || v == 5 || v == 10 || v == 15 ? 0 : POSERR_SCAN_INVALID_LASER_TIMEOUT;
}
int SCF8612V::ValidateMotorTimeout(intptr_t v) {
    return v == 0 || v == 5 || v == 10 || v == 15 || v == 30 || v == 60
               ? 0
               : POSERR_SCAN_INVALID_MOTOR_TIMEOUT;
}
int SCF8612V::ValidateLaserSwitchState(intptr_t v) {
    return inRange(v, 0, 1) ? 0 : POSERR_SCAN_INVALID_LASER_SWITCH;
}
int SCF8612V::ValidateScansPerRead(intptr_t v) {
    return inRange(v, 1, 4) ? 0 : POSERR_SCAN_INVALID_SCANS_PER_READ;
}
int SCF8612V::ValidateBlinkLength(intptr_t v) {
    return inRange(v, 0, 2) ? 0 : POSERR_SCAN_INVALID_BLINK_LENGTH;
}

// ---------------------------------------------------------------------------------------
// The configure command.

#define OR_INTO(byte, bits) configure_[byte] = static_cast<unsigned char>(configure_[byte] | (bits))

void SCF8612V::UpdateConfigData() {
    configure_[0] = 0x20;
    OR_INTO(4, beepState_ & 1);
    CnfgUpdateBarCodes1();
    CnfgUpdateBarCodes2();
    CnfgUpdateITFLength1();
    CnfgUpdateBeepFreq();
    CnfgUpdateBeepVolume();
    CnfgUpdateBeepLength();
    CnfgUpdateDReadTimeout();
    CnfgUpdateLaserTimeout();
    CnfgUpdateMotorTimeout();
    CnfgUpdateLaserSwitchState();
    CnfgUpdateScansPerRead();
    CnfgUpdateBlinkLength();
}

void SCF8612V::CnfgUpdateBarCodes1() {
    switch (barCodes1_) {
    case LGROUP_UPC_EAN: OR_INTO(1, 0x01); break;
    case LGROUP_UPC_EAN_PLUS_5: OR_INTO(1, 0x08); break;
    case LGROUP_UPC_EAN_PLUS_2: OR_INTO(1, 0x04); break;
    case LGROUP_UPC_EAN_PLUS_2_5: OR_INTO(1, 0x10); break;
    case LGROUP_UPC_EAN_D1_TO_D5: OR_INTO(1, 0x02); break;
    default: break;
    }
}
void SCF8612V::CnfgUpdateBarCodes2() {
    switch (barCodes2_) {
    case LGROUP_INT_2_OF_5: OR_INTO(1, 2 << 5); break;
    case LGROUP_CODE_39: OR_INTO(1, 1 << 5); break;
    case LGROUP_CODABAR: OR_INTO(1, 4 << 5); break;
    case LGROUP_CODE_128: OR_INTO(2, 2); break;
    case LGROUP_CODE_93: OR_INTO(2, 1); break;
    default: break;
    }
}
void SCF8612V::CnfgUpdateITFLength1() { OR_INTO(3, iTFLength1_ & 0x3F); }
void SCF8612V::CnfgUpdateBeepFreq() { OR_INTO(4, (beepFreq_ & 3) << 6); }
void SCF8612V::CnfgUpdateBeepVolume() { OR_INTO(4, (beepVolume_ & 7) << 3); }
void SCF8612V::CnfgUpdateBeepLength() { OR_INTO(4, (beepLength_ & 3) << 1); }
void SCF8612V::CnfgUpdateDReadTimeout() { OR_INTO(8, (dReadTimeout_ & 3) << 5); }
void SCF8612V::CnfgUpdateLaserTimeout() {
    const int code = laserTimeout_ == 5 ? 1 : laserTimeout_ == 10 ? 2 : laserTimeout_ == 15 ? 3 : 0;
    OR_INTO(8, code << 3);
}
void SCF8612V::CnfgUpdateMotorTimeout() {
    const int code = motorTimeout_ == 5 ? 1 : motorTimeout_ == 10 ? 2 : motorTimeout_ == 15 ? 3
                     : motorTimeout_ == 30 ? 4 : motorTimeout_ == 60 ? 5 : 0;
    OR_INTO(8, code);
}
void SCF8612V::CnfgUpdateLaserSwitchState() { OR_INTO(9, (laserSwitchState_ & 1) << 6); }
void SCF8612V::CnfgUpdateScansPerRead() { OR_INTO(9, ((scansPerRead_ - 1) & 3) << 2); }
void SCF8612V::CnfgUpdateBlinkLength() { OR_INTO(9, blinkLength_ & 3); }
#undef OR_INTO

VDEV* _CreateSCF8612V(const DeviceID& id, int handle) { return new SCF8612V(id, handle); }
ObjectSupport objectSCF8612V(SCF8612V_TYPE_ID, _CreateSCF8612V);
