// A client's touch screen.
#include "TCH95V.h"

#include <cstring>

#include "ObjectSupport.h"
#include "PDEV.h"
#include "ovkhost.h"

namespace {

#define WORD(name, value) {name, LookupHash(name), value}
const posLookup kFreq[] = {WORD("LOW", 1), WORD("MEDIUM", 2), WORD("HIGH", 3)};
const posLookup kVolume[] = {WORD("LOW", 1), WORD("HIGH", 3)};
const posLookup kDuration[] = {WORD("ON", 1)};
const posLookup kOnOff[] = {WORD("ON", 1), WORD("OFF", 0), WORD("ENABLE", 1), WORD("DISABLE", 0)};
const posLookup kMode[] = {WORD("TOUCH_MODE_ENTER", 2), WORD("TOUCH_MODE_TRACKING", 1),
                           WORD("TOUCH_MODE_EXIT", 4)};
#undef WORD

struct Resource {
    const char* name;
    const char* className;
    int32_t defaultValue;
    const posLookup* words;
    int32_t wordCount;
};

// In the order of the settings record.
const Resource kResources[TCHRES_FIELDS] = {
    {"touchToneFreq", "TouchToneFreq", 2, kFreq, 3},
    {"touchToneVolume", "TouchToneVolume", 1, kVolume, 2},
    {"touchToneDuration", "TouchToneDuration", 2, kDuration, 1},
    {"touchBackLightOnEvent", "TouchBackLightOnEvent", 0, kOnOff, 4},
    {"touchMode", "TouchMode", 1, kMode, 3},
    {"touchEntryClick", "TouchEntryClick", 0, kOnOff, 4},
    {"touchExitClick", "TouchExitClick", 0, kOnOff, 4},
    {"touchClickVolume", "TouchClickVolume", 1, kVolume, 2},
    {"touchContrast", "TouchContrast", -1, nullptr, 0},
    {"touchScreenSaverTime", "TouchScreenSaverTime", 1800, nullptr, 0},
    {"touchMaxX", "TouchMaxX", 1, nullptr, 0},
    {"touchMaxY", "TouchMaxY", 1, nullptr, 0},
    {"touchBrightness", "TouchBrightness", -1, nullptr, 0},
};

enum Field {
    F_TONE_FREQ, F_TONE_VOLUME, F_TONE_DURATION, F_BACKLIGHT_ON_EVENT, F_MODE, F_ENTRY_CLICK,
    F_EXIT_CLICK, F_CLICK_VOLUME, F_CONTRAST, F_SCREEN_SAVER_TIME, F_MAX_X, F_MAX_Y,
    F_BRIGHTNESS,
};

int32_t& field(TCHRES& r, int i) { return reinterpret_cast<int32_t*>(&r)[i]; }

int findResource(const char* name) {
    if (!name) return -1;
    for (int i = 0; i < TCHRES_FIELDS; ++i)
        if (std::strcmp(name, kResources[i].name) == 0) return i;
    return -1;
}

// The checks compare as unsigned numbers.
bool within(int value, unsigned low, unsigned high) {
    const unsigned v = static_cast<unsigned>(value);
    return v >= low && v <= high;
}

} // namespace

TCH95V::TCH95V(const DeviceID& id, int handle) : TCHV(id, handle, "TCH95V") {}

TCH95V::~TCH95V() = default;

// ---------------------------------------------------------------------------------------
// Checks.

int TCH95V::ValidateToneFrequency(int v) { return within(v, 1, 3) ? 0 : POSERR_TOUCH_INVALID_TONE_FREQUENCY; }
int TCH95V::ValidateToneVolume(int v) { return v == 1 || v == 3 ? 0 : POSERR_TOUCH_INVALID_TONE_VOLUME; }
int TCH95V::ValidateToneDuration(int v) { return within(v, 1, 255) ? 0 : POSERR_TOUCH_INVALID_TONE_DURATION; }
int TCH95V::ValidateBackLightOnEvent(int v) { return within(v, 0, 1) ? 0 : POSERR_TOUCH_INVALID_BACKLIGHT_ON; }
int TCH95V::ValidateMode(int v) { return within(v, 1, 7) ? 0 : POSERR_TOUCH_INVALID_MODE; }
int TCH95V::ValidateEntryClick(int v) { return within(v, 0, 1) ? 0 : POSERR_TOUCH_INVALID_ENTRY_CLICK; }
int TCH95V::ValidateExitClick(int v) { return within(v, 0, 1) ? 0 : POSERR_TOUCH_INVALID_EXIT_CLICK; }
int TCH95V::ValidateClickVolume(int v) { return v == 1 || v == 3 ? 0 : POSERR_TOUCH_INVALID_CLICK_VOLUME; }
int TCH95V::ValidateContrast(int v) {
    return v == -1 || within(v, 0, 63) ? 0 : POSERR_TOUCH_INVALID_CONTRAST;
}
int TCH95V::ValidateScreenSaverTime(int v) {
    return within(v, 0, 65535) ? 0 : POSERR_TOUCH_INVALID_SCREEN_SAVER_TIME;
}
int TCH95V::ValidateMaxX(int) { return 0; }
int TCH95V::ValidateMaxY(int) { return 0; }
int TCH95V::ValidateBrightness(int v) {
    return v == -1 || within(v, 0, 7) ? 0 : POSERR_TOUCH_INVALID_BRIGHTNESS;
}

int TCH95V::Validate(int i, int v) {
    switch (i) {
    case F_TONE_FREQ: return ValidateToneFrequency(v);
    case F_TONE_VOLUME: return ValidateToneVolume(v);
    case F_TONE_DURATION: return ValidateToneDuration(v);
    case F_BACKLIGHT_ON_EVENT: return ValidateBackLightOnEvent(v);
    case F_MODE: return ValidateMode(v);
    case F_ENTRY_CLICK: return ValidateEntryClick(v);
    case F_EXIT_CLICK: return ValidateExitClick(v);
    case F_CLICK_VOLUME: return ValidateClickVolume(v);
    case F_CONTRAST: return ValidateContrast(v);
    case F_SCREEN_SAVER_TIME: return ValidateScreenSaverTime(v);
    case F_MAX_X: return ValidateMaxX(v);
    case F_MAX_Y: return ValidateMaxY(v);
    default: return ValidateBrightness(v);
    }
}

int TCH95V::Tell(int request, TCHRES& record) {
    if (!pdev_) return 317;
    return pdev_->TellPhys(this, request, reinterpret_cast<unsigned char*>(&record),
                           sizeof record);
}

// ---------------------------------------------------------------------------------------
// Open, values and requests.

int TCH95V::Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
                 int count) {
    static const unsigned char kNone[] = "";
    TCHRES loaded{};
    posResources table[TCHRES_FIELDS];
    for (int i = 0; i < TCHRES_FIELDS; ++i) {
        const Resource& r = kResources[i];
        table[i] = {r.name, r.className, POSRES_INTEGER, &field(loaded, i), r.defaultValue,
                    r.words, r.wordCount};
    }
    int rc = LoadResources(resourceName ? resourceName : kNone, className ? className : kNone,
                           table, TCHRES_FIELDS);
    if (rc != 0) {
        DumpResources(table, TCHRES_FIELDS);
        return rc;
    }
    settings_ = loaded;
    rc = TCHV::Open(resourceName, className, args, count);
    if (rc == 0) {
        for (int i = 0; i < TCHRES_FIELDS && rc == 0; ++i) rc = Validate(i, field(settings_, i));
        if (rc != 0) {
            int remaining = 0;
            TCHV::Close(remaining);
        } else {
            SetStatusBits(TCHV_SETTINGS_VALID);
        }
    }
    DumpResources(table, TCHRES_FIELDS);
    return rc;
}

int TCH95V::SetValues(PosArg* args, int count) {
    TCHRES copy = settings_;
    bool changed[TCHRES_FIELDS] = {};
    int rc = 0;
    for (int a = 0; args && a < count && rc == 0; ++a) {
        const int i = findResource(args[a].name);
        if (i < 0) continue;
        field(copy, i) = static_cast<int32_t>(args[a].value);
        changed[i] = true;
        rc = Validate(i, field(copy, i));
    }
    // The controller's own value stands for -1.
    if (changed[F_CONTRAST] && copy.contrast == -1) {
        TCHRES rec = copy;
        if (Tell(TCH_REQ_GET_CONTRAST, rec) == 0) copy.contrast = rec.contrast;
    }
    if (changed[F_BRIGHTNESS] && copy.brightness == -1) {
        TCHRES rec = copy;
        if (Tell(TCH_REQ_GET_BRIGHTNESS, rec) == 0) copy.brightness = rec.brightness;
    }
    if (rc != 0) return rc;
    rc = VDEV::SetValues(args, count);
    if (rc != 0) return rc;

    settings_.toneFreq = copy.toneFreq;
    settings_.toneVolume = copy.toneVolume;
    settings_.toneDuration = copy.toneDuration;
    struct Send {
        int field;
        int request;
    };
    static const Send kOrder[] = {
        {F_BACKLIGHT_ON_EVENT, TCH_REQ_BACKLIGHT_ON_EVENT}, {F_MODE, TCH_REQ_MODE},
        {F_ENTRY_CLICK, TCH_REQ_ENTRY_CLICK}, {F_EXIT_CLICK, TCH_REQ_EXIT_CLICK},
        {F_CLICK_VOLUME, TCH_REQ_CLICK_VOLUME}, {F_CONTRAST, TCH_REQ_CONTRAST},
        {F_BRIGHTNESS, TCH_REQ_SET_BRIGHTNESS}, {F_SCREEN_SAVER_TIME, TCH_REQ_BACKLIGHT},
    };
    for (const Send& s : kOrder) {
        if (!changed[s.field]) continue;
        field(settings_, s.field) = field(copy, s.field);
        if (!SettingsValid()) continue;
        if (s.field == F_MODE && !IsHolding()) continue;
        rc = Tell(s.request, settings_);
    }
    return rc;
}

int TCH95V::GetValues(PosArg* args, int count) {
    for (int a = 0; args && a < count; ++a) {
        const int i = findResource(args[a].name);
        if (i < 0) continue;
        TCHRES rec = settings_;
        switch (i) {
        case F_CONTRAST:
            if (Tell(TCH_REQ_GET_CONTRAST, rec) == 0) args[a].value = rec.contrast;
            break;
        case F_BRIGHTNESS:
            if (Tell(TCH_REQ_GET_BRIGHTNESS, rec) == 0) args[a].value = rec.brightness;
            break;
        case F_MAX_X:
        case F_MAX_Y:
            if (Tell(TCH_REQ_GET_SIZE, rec) == 0) {
                settings_.maxX = rec.maxX;
                settings_.maxY = rec.maxY;
            }
            args[a].value = i == F_MAX_X ? settings_.maxX : settings_.maxY;
            break;
        default:
            args[a].value = field(settings_, i);
            break;
        }
    }
    return VDEV::GetValues(args, count);
}

int TCH95V::IOCtl(int request, PosArg* args, int count, int& out) {
    switch (request) {
    case POS_TOUCH_SILENCE_TONE:
        out = 0;
        if (settings_.toneDuration != 1) return 316; // only a continuous tone is silenced
        return Tell(TCH_REQ_SILENCE, settings_);
    case POS_TOUCH_SOUND_TONE:
        out = 0;
        return Tell(TCH_REQ_SOUND, settings_);
    case POS_TOUCH_CALIBRATE:
    case POS_TOUCH_RESTORE_DEFAULTS:
    case POS_TOUCH_NATIVE_MODE:
    case POS_TOUCH_EMULATION_MODE:
        out = 0;
        if (!pdev_) return 317;
        return pdev_->TellPhys(this, TCH_REQ_CALIBRATE + (request - POS_TOUCH_CALIBRATE), nullptr, 0);
    default:
        return VDEV::IOCtl(request, args, count, out);
    }
}

VDEV* _CreateTCH95V(const DeviceID& id, int handle) { return new TCH95V(id, handle); }
ObjectSupport objectTCH95V(TCH95V_TYPE_ID, _CreateTCH95V);
