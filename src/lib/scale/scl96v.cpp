// The client's scale model 96: five properties and the weight mode in the configure command,
// zero scale and clear remote display; registration of the virtual class.
#include "SCL96.h"

#include <cstring>

#include "ObjectSupport.h"

namespace {

const posLookup kEnable[] = {{"DISABLE", LookupHash("DISABLE"), 0}, {"ENABLE", LookupHash("ENABLE"), 1}};
const posLookup kOperations[] = {{"USCANADA", LookupHash("USCANADA"), 0}, {"UK", LookupHash("UK"), 1}};
const posLookup kRangeSet[] = {{"LOWEST", LookupHash("LOWEST"), 0}, {"LOW", LookupHash("LOW"), 1},
                               {"MEDIUM", LookupHash("MEDIUM"), 2}, {"HIGH", LookupHash("HIGH"), 3},
                               {"HIGHEST", LookupHash("HIGHEST"), 4}};

bool zeroOrOne(intptr_t v) { return v == 0 || v == 1; }

} // namespace

const SCL96V::Property SCL96V::kProperties[5] = {
    {"displayRequired", "DisplayRequired", &SCL96V::displayRequired_, 1, kEnable, 2,
     &SCL96V::ValidateDisplayRequired},
    {"operMode", "OperMode", &SCL96V::operMode_, 0, kOperations, 2, &SCL96V::ValidateOperMode},
    {"vibrationFilter", "VibrationFilter", &SCL96V::vibrationFilter_, 1, kRangeSet, 5,
     &SCL96V::ValidateVibrationFilter},
    {"zeroIndState", "ZeroIndState", &SCL96V::zeroIndState_, 1, kEnable, 2, &SCL96V::ValidateZeroIndState},
    {"zeroRetState", "ZeroRetState", &SCL96V::zeroRetState_, 0, kEnable, 2, &SCL96V::ValidateZeroRetState},
};

SCL96V::SCL96V(const DeviceID& id, int handle, const char* name) : SCLV(id, handle, name) {
    configureLength_ = SCL96P::kConfigureLength;
}

SCL96V::~SCL96V() = default;

int SCL96V::Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
                 int count) {
    static const unsigned char kNone[] = "";
    // The resources first, so that the arguments of the open take their place.
    posResources rows[5];
    for (int i = 0; i < 5; ++i) {
        const Property& p = kProperties[i];
        rows[i] = {p.name, p.className, POSRES_INTEGER, &(this->*p.field), p.defaultValue, p.table, p.rows};
    }
    int rc = LoadResources(resourceName ? resourceName : kNone, className ? className : kNone, rows, 5);
    DumpResources(rows, 5);
    if (rc != 0) return rc;
    rc = SCLV::Open(resourceName, className, args, count);
    if (rc != 0) return rc;
    for (const Property& p : kProperties) {
        rc = (this->*p.validate)(this->*p.field);
        if (rc != 0) {
            int remaining = 0;
            SCLV::Close(remaining);
            return rc;
        }
    }
    return 0;
}

int SCL96V::SetValuesCreation(PosArg* args, int count) {
    for (const Property& p : kProperties)
        for (int i = 0; args && i < count; ++i)
            if (Named(args[i], p.name)) {
                int rc = (this->*p.validate)(args[i].value);
                if (rc != 0) return rc;
            }
    int rc = SCLV::SetValuesCreation(args, count);
    if (rc != 0) return rc;
    for (const Property& p : kProperties)
        for (int i = 0; args && i < count; ++i)
            if (Named(args[i], p.name)) this->*p.field = static_cast<int32_t>(args[i].value);
    return 0;
}

int SCL96V::GetValues(PosArg* args, int count) {
    for (const Property& p : kProperties)
        for (int i = 0; args && i < count; ++i)
            if (Named(args[i], p.name)) args[i].value = this->*p.field;
    return SCLV::GetValues(args, count);
}

int SCL96V::IOCtl(int request, PosArg* args, int count, int& out) {
    switch (request) {
    case POS_SCALE_ZERO_SCALE:
        out = 0;
        return Tell(SCLP_REQ_ZERO);
    case POS_SCALE_CLEAR_SCREEN:
        out = 0;
        return Tell(SCLP_REQ_CLEAR_DISPLAY);
    default:
        return SCLV::IOCtl(request, args, count, out);
    }
}

int SCL96V::ValidateDisplayRequired(intptr_t v) {
    return zeroOrOne(v) ? 0 : POSERR_SCALE_INVALID_REMOTE_DISPLAY_STATE;
}
int SCL96V::ValidateOperMode(intptr_t v) { return zeroOrOne(v) ? 0 : POSERR_SCALE_INVALID_OPERATIONS_MODE; }
int SCL96V::ValidateVibrationFilter(intptr_t v) {
    return v >= 0 && v <= 3 ? 0 : POSERR_SCALE_INVALID_VIBRATION_FILTER;
}
int SCL96V::ValidateZeroIndState(intptr_t v) {
    return zeroOrOne(v) ? 0 : POSERR_SCALE_INVALID_ZERO_INDICATOR_STATE;
}
int SCL96V::ValidateZeroRetState(intptr_t v) {
    return zeroOrOne(v) ? 0 : POSERR_SCALE_INVALID_ZERO_RETURN_STATE;
}

#define OR_INTO(byte, bits) configure_[byte] = static_cast<unsigned char>(configure_[byte] | (bits))

void SCL96V::UpdateConfigData() {
    configure_[0] = 0x20;
    CnfgUpdateDisplayRequired();
    CnfgUpdateOperMode();
    CnfgUpdateVibrationFilter();
    CnfgUpdateZeroIndState();
    CnfgUpdateZeroRetState();
    CnfgUpdateWeightMode();
}
void SCL96V::CnfgUpdateDisplayRequired() { OR_INTO(1, (displayRequired_ & 1) << 2); }
void SCL96V::CnfgUpdateOperMode() { OR_INTO(1, operMode_ & 3); }
void SCL96V::CnfgUpdateVibrationFilter() { OR_INTO(1, (vibrationFilter_ & 3) << 6); }
void SCL96V::CnfgUpdateZeroIndState() { OR_INTO(1, (zeroIndState_ & 1) << 3); }
void SCL96V::CnfgUpdateZeroRetState() { OR_INTO(1, (zeroRetState_ & 1) << 5); }
void SCL96V::CnfgUpdateWeightMode() { OR_INTO(1, (weightMode_ & 1) << 4); }
#undef OR_INTO

VDEV* _CreateSCL96V(const DeviceID& id, int handle) { return new SCL96V(id, handle); }
ObjectSupport objectSCL96V(SCL96V_TYPE_ID, _CreateSCL96V);
