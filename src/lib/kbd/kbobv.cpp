// Virtual extended keyboard: the six resources it adds, their rules, and typematic on and
// off.
#include "KBOBV.h"

#include <cstring>

#include "KBP.h"
#include "ObjectSupport.h"

namespace {

const posLookup kClick[] = {
    {"OFF", LookupHash("OFF"), 0},
    {"SOFT", LookupHash("SOFT"), 1},
    {"LOUD", LookupHash("LOUD"), 2},
};
const posLookup kNumpadZero[] = {
    {"SINGLE_KEY", LookupHash("SINGLE_KEY"), 1},
    {"DOUBLE_KEY", LookupHash("DOUBLE_KEY"), 2},
};
const posLookup kNumpadLocation[] = {
    {"LOCATION_1", LookupHash("LOCATION_1"), 1},
    {"LOCATION_2", LookupHash("LOCATION_2"), 2},
    {"LOCATION_3", LookupHash("LOCATION_3"), 3},
};

VDEV* makeKBOBV(const DeviceID& id, int handle) { return new KBOBV(id, handle); }
ObjectSupport gKBOBV(KBOBV_TYPE_ID, makeKBOBV);

} // namespace

KBOBV::KBOBV(const DeviceID& id, int handle, const unsigned char* name) : KBV(id, handle, name) {
    SetStatusBits(KBOBV_TYPEMATIC_ON);
}

KBOBV::~KBOBV() = default;

// ---------------------------------------------------------------------------------------
// Validation.

int KBOBV::ValidateFatFingerTimeOut(intptr_t v) const {
    if (!RulesApply()) return 0;
    return v == 0 || v == 10 || v == 20 || v == 30 || v == 40 ? 0
                                                              : POSERR_KBD_INVALID_FAT_FINGER_TIMEOUT;
}

int KBOBV::ValidateKeyboardClick(intptr_t v) {
    return v >= 0 && v <= 2 ? 0 : POSERR_KBD_INVALID_KEYBOARD_CLICK;
}

int KBOBV::ValidateNumpadZero(intptr_t v) const {
    if (!RulesApply()) return 0;
    return v == 1 || v == 2 ? 0 : POSERR_KBD_INVALID_NUMPAD_ZERO;
}

int KBOBV::ValidateTypematicDelay(intptr_t v) const {
    if (!RulesApply()) return 0;
    return v == 250 || v == 500 || v == 750 || v == 1000 ? 0 : POSERR_KBD_INVALID_TYPEMATIC_DELAY;
}

int KBOBV::ValidateTypematicFreq(intptr_t v) const {
    if (!RulesApply()) return 0;
    return v >= 0 && v <= 31 ? 0 : POSERR_KBD_INVALID_TYPEMATIC_FREQ;
}

int KBOBV::ValidateResources() {
    int rc;
    if ((rc = ValidateFatFingerTimeOut(fatFinger_)) != 0) return rc;
    if ((rc = ValidateKeyboardClick(click_)) != 0) return rc;
    if ((rc = ValidateNumpadZero(numpadZero_)) != 0) return rc;
    KBP* keyboard = Keyboard();
    if (keyboard && (rc = keyboard->ValidateNumpadLocation(numpadLocation_)) != 0) return rc;
    if ((rc = ValidateTypematicDelay(typematicDelay_)) != 0) return rc;
    return ValidateTypematicFreq(typematicFreq_);
}

// ---------------------------------------------------------------------------------------
// Open and values.

int KBOBV::Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
                int count) {
    const posResources table[] = {
        {"fatFingerTimeOut", "FatFingerTimeOut", POSRES_INTEGER, &fatFinger_, 30, nullptr, 0},
        {"keyboardClick", "KeyboardClick", POSRES_INTEGER, &click_, 0, kClick, 3},
        {"numpadZero", "NumpadZero", POSRES_INTEGER, &numpadZero_, 2, kNumpadZero, 2},
        {"typematicDelay", "TypematicDelay", POSRES_INTEGER, &typematicDelay_, 250, nullptr, 0},
        {"typematicFreq", "TypematicFreq", POSRES_INTEGER, &typematicFreq_, 1, nullptr, 0},
        {"numpadLocation", "NumpadLocation", POSRES_INTEGER, &numpadLocation_, 1, kNumpadLocation, 3},
    };
    constexpr int kRows = sizeof table / sizeof table[0];
    int rc = LoadResources(resourceName, className, table, kRows);
    if (rc == 0) {
        rc = KBV::Open(resourceName, className, args, count);
        if (rc == 0) {
            rc = ValidateResources();
            if (rc != 0) {
                int remaining = 0;
                VDEV::Close(remaining);
            }
        }
    }
    DumpResources(table, kRows);
    return rc;
}

int KBOBV::SetValuesCreation(PosArg* args, int count) {
    for (int i = 0; args && i < count; ++i) {
        const PosArg& arg = args[i];
        int rc = 0;
        if (Named(arg, "fatFingerTimeOut")) {
            if ((rc = ValidateFatFingerTimeOut(arg.value)) == 0) fatFinger_ = static_cast<int32_t>(arg.value);
        } else if (Named(arg, "numpadZero")) {
            if ((rc = ValidateNumpadZero(arg.value)) == 0) numpadZero_ = static_cast<int32_t>(arg.value);
        } else if (Named(arg, "typematicDelay")) {
            if ((rc = ValidateTypematicDelay(arg.value)) == 0)
                typematicDelay_ = static_cast<int32_t>(arg.value);
        } else if (Named(arg, "typematicFreq")) {
            if ((rc = ValidateTypematicFreq(arg.value)) == 0)
                typematicFreq_ = static_cast<int32_t>(arg.value);
        } else if (Named(arg, "numpadLocation")) {
            KBP* keyboard = Keyboard();
            rc = keyboard ? keyboard->ValidateNumpadLocation(static_cast<int>(arg.value)) : 0;
            if (rc == 0) numpadLocation_ = static_cast<int32_t>(arg.value);
        }
        if (rc != 0) return rc;
    }
    return KBV::SetValuesCreation(args, count);
}

int KBOBV::SetValues(PosArg* args, int count) {
    int32_t click = click_;
    bool clickNamed = false;
    for (int i = 0; args && i < count; ++i) {
        if (!Named(args[i], "keyboardClick")) continue;
        int rc = ValidateKeyboardClick(args[i].value);
        if (rc != 0) return rc;
        click = static_cast<int32_t>(args[i].value);
        clickNamed = true;
    }
    int rc = KBV::SetValues(args, count);
    if (rc != 0) return rc;
    click_ = click;
    if (clickNamed && IsHolding()) {
        settings_.click = click_;
        return Tell(KBD_REQ_CLICK);
    }
    return 0;
}

int KBOBV::GetValues(PosArg* args, int count) {
    for (int i = 0; args && i < count; ++i) {
        PosArg& arg = args[i];
        if (Named(arg, "fatFingerTimeOut"))
            arg.value = fatFinger_;
        else if (Named(arg, "keyboardClick"))
            arg.value = click_;
        else if (Named(arg, "numpadZero"))
            arg.value = numpadZero_;
        else if (Named(arg, "typematicDelay"))
            arg.value = typematicDelay_;
        else if (Named(arg, "typematicFreq"))
            arg.value = typematicFreq_;
        else if (Named(arg, "numpadLocation"))
            arg.value = numpadLocation_;
    }
    return KBV::GetValues(args, count);
}

// ---------------------------------------------------------------------------------------
// Requests.

int KBOBV::IOCtl(int request, PosArg* args, int count, int& out) {
    out = 0;
    if (request == POS_KBD_SET_TYPEMATIC_OFF || request == POS_KBD_SET_TYPEMATIC_ON) {
        if (!IsHolding()) return 315;
        const bool on = request == POS_KBD_SET_TYPEMATIC_ON;
        int rc = Tell(on ? KBD_REQ_TYPEMATIC_ON : KBD_REQ_TYPEMATIC_OFF);
        if (rc == 0) {
            if (on)
                SetStatusBits(KBOBV_TYPEMATIC_ON);
            else
                ClearStatusBits(KBOBV_TYPEMATIC_ON);
        }
        return rc;
    }
    return KBV::IOCtl(request, args, count, out);
}

int KBOBV::AcquirePhysical() {
    settings_.click = click_;
    settings_.numpadLocation = numpadLocation_;
    settings_.numpadZero = numpadZero_;
    settings_.typematicDelay = typematicDelay_;
    settings_.typematicFreq = typematicFreq_;
    settings_.typematicOn = TypematicOn() ? 1 : 0;
    settings_.fatFingerTimeOut = fatFinger_;
    return KBV::AcquirePhysical();
}

int KBOBV::ReleasePhysical() {
    if (!IsHolding()) return 315;
    if (!TypematicOn()) Tell(KBD_REQ_TYPEMATIC_ON);
    settings_.click = 0;
    Tell(KBD_REQ_CLICK);
    return KBV::ReleasePhysical();
}
