// Virtual keyboard: resources, their validation, double-key strings, and the requests that
// carry the settings, lights, tone and lock to the physical keyboard.
#include "KBV.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "KBP.h"
#include "ObjectSupport.h"
#include "PDEV.h"
#include "ovkhost.h"

extern "C" const char PosNdoubleKeyDefault[] = "0,0";

namespace {

const posLookup kToneFreq[] = {
    {"LOW", LookupHash("LOW"), 1},
    {"MEDIUM", LookupHash("MEDIUM"), 2},
    {"HIGH", LookupHash("HIGH"), 3},
};
const posLookup kToneDuration[] = {{"ON", LookupHash("ON"), 1}};
const posLookup kToneVolume[] = {
    {"LOW", LookupHash("LOW"), 1},
    {"HIGH", LookupHash("HIGH"), 3},
};
const posLookup kLightsOn[] = {
    {"LIGHTS_WAIT", LookupHash("LIGHTS_WAIT"), 1},
    {"LIGHTS_OFFLINE", LookupHash("LIGHTS_OFFLINE"), 2},
    {"LIGHTS_MESSAGE_PENDING", LookupHash("LIGHTS_MESSAGE_PENDING"), 4},
    {"LIGHTS_NO_LABEL", LookupHash("LIGHTS_NO_LABEL"), 8},
    {"LIGHTS_OFF", LookupHash("LIGHTS_OFF"), 0},
    {"LIGHTS_READY", LookupHash("LIGHTS_READY"), 8},
};
const posLookup kNumpadStyle[] = {
    {"TOUCHTONE_POS", LookupHash("TOUCHTONE_POS"), 0},
    {"CALCULATOR_POS", LookupHash("CALCULATOR_POS"), 1},
    {"TOUCHTONE_STANDARD", LookupHash("TOUCHTONE_STANDARD"), 2},
    {"CALCULATOR_STANDARD", LookupHash("CALCULATOR_STANDARD"), 3},
};

constexpr int kRows = 6 + KBD_DOUBLE_KEYS;

// "doubleKey01" to "doubleKey60" and their classes.
struct DoubleKeyNames {
    char name[KBD_DOUBLE_KEYS][12];
    char className[KBD_DOUBLE_KEYS][12];
    DoubleKeyNames() {
        for (int i = 0; i < KBD_DOUBLE_KEYS; ++i) {
            std::snprintf(name[i], sizeof name[i], "doubleKey%02d", i + 1);
            std::snprintf(className[i], sizeof className[i], "DoubleKey%02d", i + 1);
        }
    }
};

const DoubleKeyNames& doubleKeyNames() {
    static const DoubleKeyNames names;
    return names;
}

// The index 0-59 of a "doubleKeyNN" argument, or -1.
int doubleKeyIndex(const char* name) {
    if (!name || std::strncmp(name, "doubleKey", 9) != 0) return -1;
    const char* d = name + 9;
    if (d[0] < '0' || d[0] > '9' || d[1] < '0' || d[1] > '9' || d[2] != '\0') return -1;
    const int n = (d[0] - '0') * 10 + (d[1] - '0');
    return n >= 1 && n <= KBD_DOUBLE_KEYS ? n - 1 : -1;
}

// A decimal key number below 256 that starts with a digit.
bool keyNumber(const char* token, unsigned char& out) {
    if (!token || *token < '0' || *token > '9') return false;
    const unsigned long v = std::strtoul(token, nullptr, 10);
    if (v >= 256) return false;
    out = static_cast<unsigned char>(v);
    return true;
}

VDEV* makeKBV(const DeviceID& id, int handle) { return new KBV(id, handle); }
ObjectSupport gKBV(KBV_TYPE_ID, makeKBV);

} // namespace

KBV::KBV(const DeviceID& id, int handle, const unsigned char* name) : VDEV(id, handle, name) {}

KBV::~KBV() {
    for (char*& text : doubleKeyText_) {
        std::free(text);
        text = nullptr;
    }
}

bool KBV::Named(const PosArg& arg, const char* name) {
    return arg.name && std::strcmp(arg.name, name) == 0;
}

KBP* KBV::Keyboard() const { return dynamic_cast<KBP*>(pdev_); }

int KBV::Tell(int request) {
    if (!pdev_) return 321;
    return pdev_->TellPhys(this, request, reinterpret_cast<unsigned char*>(&settings_),
                           sizeof settings_);
}

int KBV::GetResourceValue(PosArg& wanted, PosArg* args, int count) {
    for (int i = 0; args && wanted.name && i < count; ++i) {
        if (Named(args[i], wanted.name)) {
            wanted.value = args[i].value;
            return 0;
        }
    }
    return -1;
}

// ---------------------------------------------------------------------------------------
// Validation.

int KBV::ValidateToneFreq(intptr_t v) { return v >= 1 && v <= 3 ? 0 : POSERR_KBD_INVALID_FREQUENCY; }

int KBV::ValidateToneDuration(intptr_t v) {
    return v >= 1 && v <= 255 ? 0 : POSERR_KBD_INVALID_DURATION;
}

int KBV::ValidateToneVolume(intptr_t v) { return v == 1 || v == 3 ? 0 : POSERR_KBD_INVALID_VOLUME; }

int KBV::ValidateDoubleKeyString(const char* text, unsigned char* pair) {
    // A system-board keyboard takes any string and defines no pair.
    if (id_.slot == 0) return 0;
    int rc = chCheckBuffer(text, 0, CH_ACCESS_STRING);
    if (rc != 0) return rc;
    const size_t length = std::strlen(text);
    if (length > 80 || length < 3) return POSERR_KBD_INVALID_DOUBLE_KEY;
    if (std::strcmp(text, PosNdoubleKeyDefault) == 0) return 0;

    char copy[81];
    std::memcpy(copy, text, length + 1);
    char* rest = nullptr;
    const char* first = strtok_r(copy, " \t,", &rest);
    const char* second = first ? strtok_r(nullptr, " ,", &rest) : nullptr;
    unsigned char a = 0, b = 0;
    if (!keyNumber(first, a) || !keyNumber(second, b)) return POSERR_KBD_INVALID_DOUBLE_KEY;
    KBP* keyboard = Keyboard();
    rc = keyboard ? keyboard->ValidateDoubleKey(a, b) : POSERR_KBD_INVALID_DOUBLE_KEY;
    if (rc == 0) {
        pair[0] = a;
        pair[1] = b;
    }
    return rc;
}

int KBV::ValidateResources() {
    int rc = 0;
    for (int i = 0; i < KBD_DOUBLE_KEYS && rc == 0; ++i) {
        if (pairs_[i][0] != 0 || pairs_[i][1] != 0 || !doubleKeyText_[i]) continue;
        rc = ValidateDoubleKeyString(doubleKeyText_[i], pairs_[i]);
    }
    if (rc != 0) return rc;
    KBP* keyboard = Keyboard();
    if (keyboard && (rc = keyboard->ValidateNumpadStyle(numpadStyle_)) != 0) return rc;
    if ((rc = ValidateToneDuration(toneDuration_)) != 0) return rc;
    if ((rc = ValidateToneFreq(toneFreq_)) != 0) return rc;
    return ValidateToneVolume(toneVolume_);
}

// ---------------------------------------------------------------------------------------
// Open and values.

int KBV::Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
              int count) {
    const DoubleKeyNames& names = doubleKeyNames();
    posResources table[kRows] = {
        {"toneFreq", "ToneFreq", POSRES_INTEGER, &toneFreq_, 2, kToneFreq, 3},
        {"toneDuration", "ToneDuration", POSRES_INTEGER, &toneDuration_, 2, kToneDuration, 1},
        {"toneVolume", "ToneVolume", POSRES_INTEGER, &toneVolume_, 1, kToneVolume, 2},
        {"keyboardLightsOn", "KeyboardLightsOn", POSRES_INTEGER, &lights_, 0, kLightsOn, 6},
        {"keyLock", "KeyLock", POSRES_INTEGER, &keyLockResource_, 255, nullptr, 0},
        {"numpadStyle", "NumpadStyle", POSRES_INTEGER, &numpadStyle_, 1, kNumpadStyle, 4},
    };
    for (int i = 0; i < KBD_DOUBLE_KEYS; ++i) {
        table[6 + i] = {names.name[i], names.className[i], POSRES_STRING, &doubleKeyText_[i],
                        reinterpret_cast<intptr_t>(PosNdoubleKeyDefault), nullptr, 0};
    }
    int rc = LoadResources(resourceName, className, table, kRows);
    if (rc == 0) {
        rc = VDEV::Open(resourceName, className, args, count);
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

int KBV::SetValuesCreation(PosArg* args, int count) {
    for (int i = 0; args && i < count; ++i) {
        const PosArg& arg = args[i];
        if (Named(arg, "numpadStyle")) {
            KBP* keyboard = Keyboard();
            int rc = keyboard ? keyboard->ValidateNumpadStyle(static_cast<int>(arg.value)) : 0;
            if (rc != 0) return rc;
            numpadStyle_ = static_cast<int32_t>(arg.value);
        } else {
            const int index = doubleKeyIndex(arg.name);
            if (index < 0) continue;
            int rc = ValidateDoubleKeyString(reinterpret_cast<const char*>(arg.value), pairs_[index]);
            if (rc != 0) return rc;
        }
    }
    return VDEV::SetValuesCreation(args, count);
}

int KBV::SetValues(PosArg* args, int count) {
    int32_t freq = toneFreq_, duration = toneDuration_, volume = toneVolume_, lights = lights_;
    bool lightsNamed = false;
    for (int i = 0; args && i < count; ++i) {
        const PosArg& arg = args[i];
        int rc = 0;
        if (Named(arg, "toneFreq")) {
            rc = ValidateToneFreq(arg.value);
            freq = static_cast<int32_t>(arg.value);
        } else if (Named(arg, "toneDuration")) {
            rc = ValidateToneDuration(arg.value);
            duration = static_cast<int32_t>(arg.value);
        } else if (Named(arg, "toneVolume")) {
            rc = ValidateToneVolume(arg.value);
            volume = static_cast<int32_t>(arg.value);
        } else if (Named(arg, "keyboardLightsOn")) {
            lights = static_cast<int32_t>(arg.value);
            lightsNamed = true;
        }
        if (rc != 0) return rc;
    }
    int rc = VDEV::SetValues(args, count);
    if (rc != 0) return rc;
    toneFreq_ = freq;
    toneDuration_ = duration;
    toneVolume_ = volume;
    lights_ = lights;
    if (lightsNamed && IsHolding()) {
        settings_.lights = lights_;
        return Tell(KBD_REQ_LIGHTS);
    }
    return 0;
}

int KBV::GetValues(PosArg* args, int count) {
    for (int i = 0; args && i < count; ++i) {
        PosArg& arg = args[i];
        if (Named(arg, "toneFreq")) {
            arg.value = toneFreq_;
        } else if (Named(arg, "toneDuration")) {
            arg.value = toneDuration_;
        } else if (Named(arg, "toneVolume")) {
            arg.value = toneVolume_;
        } else if (Named(arg, "keyboardLightsOn")) {
            arg.value = lights_;
        } else if (Named(arg, "numpadStyle")) {
            arg.value = numpadStyle_;
        } else if (Named(arg, "keyLock")) {
            settings_.keyLock = 0;
            int rc = Tell(KBD_REQ_READ_KEY_LOCK);
            if (rc != 0) return rc;
            arg.value = settings_.keyLock;
        }
    }
    return VDEV::GetValues(args, count);
}

// ---------------------------------------------------------------------------------------
// Requests.

int KBV::IOCtl(int request, PosArg* args, int count, int& out) {
    out = 0;
    switch (request) {
    case POS_KBD_DISABLE_POS_FUNCTIONS:
    case POS_KBD_ENABLE_POS_FUNCTIONS:
    case POS_KBD_SET_TYPEMATIC_OFF:
    case POS_KBD_SET_TYPEMATIC_ON:
        return 0;
    case POS_KBD_SILENCE_TONE:
        if (!IsHolding()) return 315;
        return Tell(KBD_REQ_TONE_OFF);
    case POS_KBD_SOUND_TONE: {
        if (!IsHolding()) return 315;
        PosArg freq{"toneFreq", toneFreq_}, duration{"toneDuration", toneDuration_},
            volume{"toneVolume", toneVolume_};
        int rc = 0;
        if (GetResourceValue(freq, args, count) == 0 && (rc = ValidateToneFreq(freq.value)) != 0)
            return rc;
        if (GetResourceValue(duration, args, count) == 0 &&
            (rc = ValidateToneDuration(duration.value)) != 0)
            return rc;
        if (GetResourceValue(volume, args, count) == 0 &&
            (rc = ValidateToneVolume(volume.value)) != 0)
            return rc;
        settings_.toneFreq = static_cast<int32_t>(freq.value);
        settings_.toneDuration = static_cast<int32_t>(duration.value);
        settings_.toneVolume = static_cast<int32_t>(volume.value);
        return Tell(KBD_REQ_SOUND_TONE);
    }
    default:
        // Hot keys, num lock and scroll lock mean nothing to these keyboards.
        if ((request >= 4708 && request <= 4713) || (request >= 4715 && request <= 4718)) return 0;
        return VDEV::IOCtl(request, args, count, out);
    }
}

int KBV::AcquirePhysical() {
    int rc = VDEV::AcquirePhysical();
    if (rc != 0) return rc;
    std::memcpy(settings_.doubleKeys, pairs_, sizeof pairs_);
    settings_.lights = lights_;
    settings_.numpadStyle = numpadStyle_;
    settings_.locked = IsLocked() ? 1 : 0;
    rc = Tell(KBD_REQ_SETTINGS);
    // Offline: the settings go out once the keyboard is back.
    if (rc == 0 || rc == 317) return 0;
    VDEV::ReleasePhysical();
    return rc;
}

int KBV::ReleasePhysical() {
    if (!IsHolding()) return 315;
    if (IsLocked()) UnlockPhysical();
    settings_.lights = 0;
    Tell(KBD_REQ_LIGHTS);
    Tell(KBD_REQ_TONE_OFF);
    return VDEV::ReleasePhysical();
}

int KBV::LockPhysical() {
    if (!IsHolding()) return 315;
    int rc = Tell(KBD_REQ_LOCK);
    SetStatusBits(KBV_LOCKED);
    return rc;
}

int KBV::UnlockPhysical() {
    if (!IsHolding()) return 315;
    int rc = Tell(KBD_REQ_UNLOCK);
    ClearStatusBits(KBV_LOCKED);
    return rc;
}
