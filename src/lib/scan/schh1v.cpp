// The client's hand-held scanner model 1: properties, checks and the configure command;
// registration of the virtual class.
#include "SCHH1V.h"

#include "ObjectSupport.h"
#include "SCHH1P.h"
#include "sclookup.h"

#define PROP(name, cls, field, def, table, rows, check) \
    {name, cls, &SCHH1V::field, def, table, rows, &SCHH1V::check}

const SCHH1V::PropertySet& SCHH1V::OwnProperties() {
    static const Property rows[] = {
        PROP("barCodes1", "BarCodes1", barCodes1_, LGROUP_UPC_EAN_D3, posLgroupLookupTbl,
             &posLgroupLookupRows, ValidateBarCodes1),
        PROP("blockReadMode", "BlockReadMode", blockReadMode_, 1, nullptr, nullptr, ValidateBlockReadMode),
        PROP("block1Type", "Block1Type", block1Type_, LABEL_NO_CHECK, posLabelLookupTbl,
             &posLabelLookupRows, ValidateBlock1Type),
        PROP("block2Type", "Block2Type", block2Type_, LABEL_NO_CHECK, posLabelLookupTbl,
             &posLabelLookupRows, ValidateBlock2Type),
        PROP("block3Type", "Block3Type", block3Type_, LABEL_NO_CHECK, posLabelLookupTbl,
             &posLabelLookupRows, ValidateBlock3Type),
        PROP("checkModulo", "CheckModulo", checkModulo_, 0, posEnableLookupTbl, &posEnableLookupRows,
             ValidateCheckModulo),
        PROP("dTouchMode", "DTouchMode", dTouchMode_, 0, posEnableLookupTbl, &posEnableLookupRows,
             ValidateDTouchMode),
    };
    static const PropertySet set{rows, static_cast<int>(sizeof rows / sizeof rows[0])};
    return set;
}
#undef PROP

SCHH1V::SCHH1V(const DeviceID& id, int handle, const char* name)
    : SCV(id, handle, name), barCodes1_(LGROUP_UPC_EAN_D3) {
    configureLength_ = SCHH1P::kConfigureLength;
}

SCHH1V::~SCHH1V() = default;

void SCHH1V::CloseAgain() {
    int remaining = 0;
    SCV::Close(remaining);
}

int SCHH1V::Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
                 int count) {
    // The resources first, so that the arguments of the open take their place.
    int rc = LoadScanProperties(*this, OwnProperties(), resourceName, className);
    if (rc != 0) return rc;
    rc = SCV::Open(resourceName, className, args, count);
    if (rc != 0) return rc;
    rc = ValidateAll();
    if (rc != 0) CloseAgain();
    return rc;
}

// The block types are checked against the group and the mode given with them, so the
// arguments are taken in first and put back when a check fails.
int SCHH1V::SetValuesCreation(PosArg* args, int count) {
    ScanPropertySnapshot<SCHH1V> before(*this, OwnProperties());
    ApplyScanArguments(*this, OwnProperties(), args, count, true);
    int rc = ValidateAll();
    if (rc == 0) rc = SCV::SetValuesCreation(args, count);
    if (rc != 0) before.Restore();
    return rc;
}

int SCHH1V::GetValues(PosArg* args, int count) {
    AnswerScanProperties(*this, OwnProperties(), args, count);
    return SCV::GetValues(args, count);
}

int SCHH1V::ValidateAll() {
    int rc = ValidateScanProperties(*this, OwnProperties());
    return rc != 0 ? rc : ValidateCombination();
}

// ---------------------------------------------------------------------------------------
// The model's tables.

int SCHH1V::GroupCode(int32_t group) const {
    switch (group) {
    case LGROUP_NONE: return 0;
    case LGROUP_UPC_EAN_CODABAR: return 1;
    case LGROUP_UPC_EAN_D3: return 2;
    case LGROUP_UPC_EAN_CODE_39: return 3;
    case LGROUP_UPC_EAN_ITF: return 4;
    case LGROUP_STD_2_OF_5: return 8;
    case LGROUP_INT_2_OF_5: return 9;
    default: return -1;
    }
}

bool SCHH1V::TypeFits(int32_t group, int32_t type, int block) const {
    switch (type) {
    case LABEL_NO_CHECK: return true;
    case LABEL_STD_2_OF_5: return group == LGROUP_STD_2_OF_5;
    case LABEL_INT_2_OF_5: return group == LGROUP_INT_2_OF_5 || group == LGROUP_UPC_EAN_ITF;
    case LABEL_UPC_D3: return block == 1 && group == LGROUP_UPC_EAN_D3;
    case LABEL_EAN_13:
    case LABEL_EAN_8:
    case LABEL_UPC_E:
    case LABEL_UPC_A:
        return group == LGROUP_UPC_EAN_CODABAR || group == LGROUP_UPC_EAN_2_5_CODABAR ||
               group == LGROUP_UPC_EAN_D3 || group == LGROUP_UPC_EAN_CODE_128 ||
               group == LGROUP_UPC_EAN_CODE_93 || group == LGROUP_UPC_EAN_CODE_39 ||
               group == LGROUP_UPC_EAN_ITF;
    case LABEL_CODE_39: return group == LGROUP_UPC_EAN_CODE_39;
    case LABEL_CODABAR: return group == LGROUP_UPC_EAN_CODABAR || group == LGROUP_UPC_EAN_2_5_CODABAR;
    default: return false;
    }
}

int SCHH1V::BlockIdentifier(int32_t type) const {
    switch (type) {
    case LABEL_STD_2_OF_5: return 0x2C;
    case LABEL_INT_2_OF_5: return 0x2D;
    case LABEL_UPC_D3: return 0xD3;
    case LABEL_EAN_13: return 0x16;
    case LABEL_EAN_8: return 0x0C;
    case LABEL_UPC_E: return 0x0A;
    case LABEL_UPC_A: return 0x0D;
    case LABEL_CODE_39: return 0x2A;
    case LABEL_CODABAR: return 0x2E;
    default: return 0;
    }
}

int SCHH1V::ValidateCombination() const {
    if (blockReadMode_ != 1 && (dTouchMode_ == 1 || block1Type_ == LABEL_UPC_D3))
        return POSERR_SCAN_INVALID_BLOCK_READ_MODE;
    return 0;
}

// ---------------------------------------------------------------------------------------
// Checks.

int SCHH1V::ValidateBlockType(intptr_t type, int block, int error) const {
    if (type < INT32_MIN || type > INT32_MAX) return error;
    return TypeFits(barCodes1_, static_cast<int32_t>(type), block) ? 0 : error;
}

int SCHH1V::ValidateBarCodes1(intptr_t v) {
    if (v < INT32_MIN || v > INT32_MAX) return POSERR_SCAN_INVALID_BARCODES1;
    return GroupCode(static_cast<int32_t>(v)) >= 0 ? 0 : POSERR_SCAN_INVALID_BARCODES1;
}
int SCHH1V::ValidateBlockReadMode(intptr_t v) {
    return v >= 1 && v <= 3 ? 0 : POSERR_SCAN_INVALID_BLOCK_READ_MODE;
}
int SCHH1V::ValidateBlock1Type(intptr_t v) { return ValidateBlockType(v, 1, POSERR_SCAN_INVALID_BLOCK1_TYPE); }
int SCHH1V::ValidateBlock2Type(intptr_t v) {
    return blockReadMode_ >= 2 ? ValidateBlockType(v, 2, POSERR_SCAN_INVALID_BLOCK2_TYPE) : 0;
}
int SCHH1V::ValidateBlock3Type(intptr_t v) {
    return blockReadMode_ == 3 ? ValidateBlockType(v, 3, POSERR_SCAN_INVALID_BLOCK3_TYPE) : 0;
}
int SCHH1V::ValidateCheckModulo(intptr_t v) { return v == 0 || v == 1 ? 0 : POSERR_SCAN_INVALID_CHECK_MODULO; }
int SCHH1V::ValidateDTouchMode(intptr_t v) { return v == 0 || v == 1 ? 0 : POSERR_SCAN_INVALID_DTOUCH_MODE; }

// ---------------------------------------------------------------------------------------
// The configure command: 20 00, then the group, mode and switches, then the block types.

#define OR_INTO(byte, bits) configure_[byte] = static_cast<unsigned char>(configure_[byte] | (bits))

void SCHH1V::UpdateConfigData() {
    configure_[0] = 0x20;
    configure_[1] = 0x00;
    CnfgUpdateBarCodes1();
    CnfgUpdateBlockReadMode();
    CnfgUpdateBlock1Type();
    CnfgUpdateBlock2Type();
    CnfgUpdateBlock3Type();
    CnfgUpdateCheckModulo();
    CnfgUpdateDTouchMode();
}

void SCHH1V::CnfgUpdateBarCodes1() {
    const int code = GroupCode(barCodes1_);
    if (code > 0) OR_INTO(2, (code & 0x0F) << 4);
}
void SCHH1V::CnfgUpdateBlockReadMode() {
    if (blockReadMode_ == 2 || blockReadMode_ == 3) OR_INTO(2, blockReadMode_);
}
void SCHH1V::CnfgUpdateBlock1Type() { configure_[3] = static_cast<unsigned char>(BlockIdentifier(block1Type_)); }
void SCHH1V::CnfgUpdateBlock2Type() {
    configure_[4] = static_cast<unsigned char>(blockReadMode_ >= 2 ? BlockIdentifier(block2Type_) : 0);
}
void SCHH1V::CnfgUpdateBlock3Type() {
    configure_[5] = static_cast<unsigned char>(blockReadMode_ == 3 ? BlockIdentifier(block3Type_) : 0);
}
void SCHH1V::CnfgUpdateCheckModulo() { OR_INTO(2, (checkModulo_ & 1) << 2); }
void SCHH1V::CnfgUpdateDTouchMode() { OR_INTO(2, (dTouchMode_ & 1) << 3); }
#undef OR_INTO

VDEV* _CreateSCHH1V(const DeviceID& id, int handle) { return new SCHH1V(id, handle); }
ObjectSupport objectSCHH1V(SCHH1V_TYPE_ID, _CreateSCHH1V);
