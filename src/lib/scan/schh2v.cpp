// The client's hand-held scanner model 2: the groups and block types it adds to model 1;
// registration of the virtual class.
#include "ObjectSupport.h"
#include "SCHH1P.h"
#include "SCHH1V.h"

namespace {

bool supplemental(int32_t type) {
    switch (type) {
    case LABEL_UPC_A_PLUS_5:
    case LABEL_UPC_E_PLUS_2:
    case LABEL_EAN_13_PLUS_2:
    case LABEL_UPC_E_PLUS_5:
    case LABEL_EAN_13_PLUS_5:
    case LABEL_UPC_A_PLUS_2:
    case LABEL_EAN_8_PLUS_2:
    case LABEL_EAN_8_PLUS_5:
        return true;
    default:
        return false;
    }
}

} // namespace

SCHH2V::SCHH2V(const DeviceID& id, int handle, const char* name) : SCHH1V(id, handle, name) {}

SCHH2V::~SCHH2V() = default;

int SCHH2V::GroupCode(int32_t group) const {
    switch (group) {
    case LGROUP_UPC_EAN_CODE_128: return 5;
    case LGROUP_UPC_EAN_CODE_93: return 6;
    case LGROUP_UPC_EAN_2_5_CODABAR: return 7;
    case LGROUP_CODE_128: return 10;
    case LGROUP_CODE_93: return 11;
    case LGROUP_PLUS_2_5_ONLY: return 12;
    default: return SCHH1V::GroupCode(group);
    }
}

bool SCHH2V::TypeFits(int32_t group, int32_t type, int block) const {
    if (type == LABEL_CODE_128) return group == LGROUP_UPC_EAN_CODE_128 || group == LGROUP_CODE_128;
    if (type == LABEL_CODE_93) return group == LGROUP_UPC_EAN_CODE_93 || group == LGROUP_CODE_93;
    if (supplemental(type))
        return block == 1 && (group == LGROUP_PLUS_2_5_ONLY || group == LGROUP_UPC_EAN_2_5_CODABAR);
    return SCHH1V::TypeFits(group, type, block);
}

int SCHH2V::BlockIdentifier(int32_t type) const {
    switch (type) {
    case LABEL_CODE_128: return 0x18;
    case LABEL_CODE_93: return 0x19;
    case LABEL_UPC_A_PLUS_5: return 0x31;
    case LABEL_UPC_E_PLUS_2: return 0x32;
    case LABEL_EAN_13_PLUS_2: return 0x33;
    case LABEL_UPC_E_PLUS_5: return 0x34;
    case LABEL_EAN_13_PLUS_5: return 0x35;
    case LABEL_UPC_A_PLUS_2: return 0x36;
    case LABEL_EAN_8_PLUS_2: return 0x37;
    case LABEL_EAN_8_PLUS_5: return 0x3D;
    default: return SCHH1V::BlockIdentifier(type);
    }
}

int SCHH2V::ValidateCombination() const {
    if (blockReadMode_ != 1 && supplemental(block1Type_)) return POSERR_SCAN_INVALID_BLOCK_READ_MODE;
    return SCHH1V::ValidateCombination();
}

VDEV* _CreateSCHH2V(const DeviceID& id, int handle) { return new SCHH2V(id, handle); }
ObjectSupport objectSCHH2V(SCHH2V_TYPE_ID, _CreateSCHH2V);
