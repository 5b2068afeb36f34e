// The extended keyboards with characters from the console keymap.
//
// Layout data that is our own: the key numbers beyond the known ones (75 gives 92, 78 gives
// 43, 85 gives 143); ob117ScanCodeConvert (codes below 0x59 are the console's own scan codes,
// 0x72, 0xAB and 0xBF the console's caps, scroll and num lock keys); and the keymap-flag
// tables (the typing keys 0x02-0x35 and the numpad 0x47-0x53; location 2 adds the keys
// 0x56-0x58 next to its numpad).
#include "KBO117P.h"

#include <cstring>

#include "ADAPTER.h"
#include "ObjectSupport.h"

const unsigned char dkOB117Lookup[140] = {
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255,  92,   1,   2,  43,   3,   4,   5,   6,   7,   8,
    143,   9,  10,  11,  12,  13,  14,  15,  16,  17,  18,  19,  20,  21,  22,  23,  24,
     25,  26,  27,  28,  29,  30,  31,  32,  33,  34,  35,  36,  37,  38,  39,  40,  41,
     42,  44,  45,  46,  47,  48,  49, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255,
};

namespace {

constexpr int kCodes = 192;

struct Table {
    unsigned char t[kCodes];
};

constexpr Table makeScanCodeConvert() {
    Table t{};
    for (int k = 0; k < 0x59; ++k) t.t[k] = static_cast<unsigned char>(k);
    t.t[0x72] = 0x3A; // caps lock
    t.t[0xAB] = 0x46; // scroll lock
    t.t[0xBF] = 0x45; // num lock
    return t;
}

constexpr Table makeFlags(bool location2) {
    Table t{};
    for (int k = 0x02; k <= 0x35; ++k) t.t[k] = 1;
    for (int k = 0x47; k <= 0x53; ++k) t.t[k] = 1;
    if (location2)
        for (int k = 0x56; k <= 0x58; ++k) t.t[k] = 1;
    return t;
}

constexpr Table ob117ScanCodeConvert = makeScanCodeConvert();
constexpr Table ob117Numpad1 = makeFlags(false);
constexpr Table ob117Numpad2 = makeFlags(true);

const char kTag[] = "@(#)k117.cpp 1.1";
enum : uint32_t { kLogBadLocation = 16301, kLogCodeOutOfRange = 16302 };

constexpr unsigned char kBreakPrefix = 0xF0;
constexpr unsigned char kNoPair = 0xFF;
constexpr unsigned char kScrollLockKey = 0xAB, kNumLockKey = 0xBF, kCapsLockKey = 0x72;
constexpr uint16_t kScrollLock = 0x10, kNumLock = 0x20, kCapsLock = 0x40;
constexpr uint16_t kLockBits = kScrollLock | kNumLock | kCapsLock;

PDEV* make(const DeviceID& id);
const unsigned char kAddresses[] = {0x1C, 0x1D};
ObjectSupport gKBO117P(KBO117P_TYPE_ID, make, kAddresses, 2);

bool releaseMarked(unsigned char k) {
    switch (k) {
    case 0x21: case 0x2D: case 0x3D: case 0x40: case 0x49: case 0x50: case 0x79:
    case 0x72: case 0xAB: case 0xBF:
        return true;
    default:
        return false;
    }
}

uint32_t heldBit(unsigned char k) {
    switch (k) {
    case kCapsLockKey: return KBO117P_HELD_72;
    case kScrollLockKey: return KBO117P_HELD_AB;
    case kNumLockKey: return KBO117P_HELD_BF;
    default: return 0;
    }
}

} // namespace

extern "C" PDEV* _CreateKBO117P(const DeviceID& id) { return new KBO117P(id, "KBO117P"); }

namespace {
PDEV* make(const DeviceID& id) { return _CreateKBO117P(id); }
} // namespace

// ---------------------------------------------------------------------------------------
// KBO117P.

KBO117P::KBO117P(const DeviceID& id, const char* name)
    : KBOBP(id, name), flagTables_{ob117Numpad1.t, ob117Numpad2.t}, flags_(ob117Numpad1.t) {
    vdevType_ = KBANPV_TYPE_ID;
    deviceSubtype_ = 3;
    SetKeyNumberMap(dkOB117Lookup, sizeof dkOB117Lookup);
    numpadZeroPair_[0] = 187;
    numpadZeroPair_[1] = 188;
    shiftToggle_ = 0; // none
    SetStatusBits(KBO117P_NUM_LOCK_KEY_ENABLED | KBO117P_SCROLL_LOCK_KEY_ENABLED);
}

KBO117P::~KBO117P() = default;

int KBO117P::ValidateNumpadLocation(int location) {
    return location == 1 || location == 2 ? 0 : POSERR_KBD_INVALID_NUMPAD_LOCATION;
}

int KBO117P::UpdatePS2Indicators() {
    const uint16_t locks = kbdata_.Modifiers() & kLockBits;
    if (locks == reportedLocks_) return 0;
    lights_[lightsAt_] = static_cast<unsigned char>((lights_[lightsAt_] & ~kLockBits) | locks);
    reportedLocks_ = locks;
    SetPending(KBP_SLOT_LIGHTS);
    if (!LinkUpAndConfirmed()) return 0;
    return adapter_ ? adapter_->RequestBuffer() : 327;
}

int KBO117P::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    const bool needsRecord = request == KBD_REQ_SETTINGS || request == 23;
    if (needsRecord && (!data || length < static_cast<int>(sizeof(KbdSettingsRecord)))) return 318;
    auto* record = reinterpret_cast<KbdSettingsRecord*>(data);
    auto setModifier = [this](uint16_t bit, bool on) {
        const uint16_t m = kbdata_.Modifiers();
        kbdata_.SetModifiers(on ? static_cast<uint16_t>(m | bit) : static_cast<uint16_t>(m & ~bit));
    };
    auto setStatus = [this](uint32_t bit, bool on) {
        if (on)
            SetStatusBits(bit);
        else
            ClearStatusBits(bit);
    };
    switch (request) {
    case KBD_REQ_SETTINGS: {
        numpadLocation_ = record->numpadLocation;
        if (numpadLocation_ == 1 || numpadLocation_ == 2) {
            flags_ = flagTables_[numpadLocation_ - 1];
            if (record->numpadZero == 2) {
                numpadZeroPair_[0] = numpadLocation_ == 1 ? 187 : 62;
                numpadZeroPair_[1] = numpadLocation_ == 1 ? 188 : 59;
            }
        } else {
            int32_t location = numpadLocation_;
            Log(kLogBadLocation, 321, static_cast<uint32_t>(location), &location, sizeof location, kTag);
        }
        setStatus(KBO117P_NUM_LOCK_KEY_ENABLED, record->numLockKeyEnabled != 0);
        setStatus(KBO117P_SCROLL_LOCK_KEY_ENABLED, record->scrollLockKeyEnabled != 0);
        setModifier(kNumLock, record->numLockOn != 0);
        setModifier(kScrollLock, record->scrollLockOn != 0);
        setModifier(kCapsLock, record->capsLockOn != 0);
        UpdatePS2Indicators();
        return KBOBP::TellPhys(sender, request, data, length);
    }
    case 15:
    case 16:
        setStatus(KBO117P_NUM_LOCK_KEY_ENABLED, request == 16);
        return 0;
    case 17:
    case 18:
        setStatus(KBO117P_SCROLL_LOCK_KEY_ENABLED, request == 18);
        return 0;
    case 19:
    case 20:
        setModifier(kNumLock, request == 20);
        return UpdatePS2Indicators();
    case 21:
    case 22:
        setModifier(kScrollLock, request == 22);
        return UpdatePS2Indicators();
    case 23: {
        const uint16_t m = kbdata_.Modifiers();
        record->numLockOn = m & kNumLock ? 1 : 0;
        record->scrollLockOn = m & kScrollLock ? 1 : 0;
        record->capsLockOn = m & kCapsLock ? 1 : 0;
        return 0;
    }
    default:
        return KBOBP::TellPhys(sender, request, data, length);
    }
}

void KBO117P::InterpretScanCode(const unsigned char* msg, int length, int count) {
    if (!msg || count <= 0 || count > length) return;
    for (int i = 0; i < count; ++i) {
        const unsigned char c = msg[length - count + i];
        const bool flagged = i < 7 && (msg[0] & (1u << i)) != 0;
        const bool keyOff = (c == kScrollLockKey && !TestStatusBits(KBO117P_SCROLL_LOCK_KEY_ENABLED)) ||
                            (c == kNumLockKey && !TestStatusBits(KBO117P_NUM_LOCK_KEY_ENABLED));
        if (c == kBreakPrefix || keyOff) {
            // Nothing emitted; a release prefix of an earlier code ends here.
            breakPrefix_ = c == kBreakPrefix ? 1 : 0;
            continue;
        }
        if (c == 0x3D || c == 0x40) {
            unsigned char ignored = 0;
            KbdHandler(&kbdata_, 0xE0, ignored);
        } else if (doubleKeyMap_[c] != kNoPair && !ProcessDoubleKey(c)) {
            breakPrefix_ = 0;
            continue;
        }
        const unsigned char k = doubleKeyMap_[c] != kNoPair ? doubleKeyMap_[c] : c;
        if (k >= kCodes) {
            // A code beyond the keyboard's tables.
            Log(kLogCodeOutOfRange, 321, k, msg, length, kTag);
            breakPrefix_ = 0;
            continue;
        }
        const bool release = breakPrefix_ != 0;
        unsigned char console = ob117ScanCodeConvert.t[k];
        if (release && releaseMarked(k)) console = static_cast<unsigned char>(console + 0x80);
        bool skipLookup = false;
        if (const uint32_t held = heldBit(k)) {
            if (release) {
                ClearStatusBits(held);
            } else {
                skipLookup = TestStatusBits(held); // a repeat
                SetStatusBits(held);
            }
        }
        unsigned char character = 0;
        if (flags_ && flags_[k] && !skipLookup) {
            if (KbdHandler(&kbdata_, console, character) != 0) character = 0;
            if (k == 0x4F && (numpadStyle_ == 0 || numpadStyle_ == 1)) character = '/';
            UpdatePS2Indicators();
        }
        if (numpadStyle_ == 0 || numpadStyle_ == 2) {
            if (character >= '1' && character <= '3')
                character = static_cast<unsigned char>(character + 6);
            else if (character >= '7' && character <= '9')
                character = static_cast<unsigned char>(character - 6);
        }
        const uint16_t m = kbdata_.Modifiers();
        uint32_t p2 = KBD_KEY_ALWAYS | k;
        if (character) p2 |= KBD_KEY_CHARACTER;
        if (m & 0x08) p2 |= 0x200000;
        if (m & 0x04) p2 |= 0x100000;
        if (m & 0x03) p2 |= 0x80000;
        if (release) {
            p2 |= KBD_KEY_RELEASE;
            breakPrefix_ = 0;
        } else {
            lastMake_ = c;
        }
        if (flagged) p2 |= KBD_KEY_FAT_FINGER;
        Post(KBD_WM_CHAR, static_cast<uint32_t>(character) << 16, p2);
    }
}

