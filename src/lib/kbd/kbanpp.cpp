// The alphanumeric POS keyboard.
//
// Layout data that is our own: the key numbers beyond the known ones (75 gives 60, 85 gives
// 28), and the three tables by key code: the console scan code (scanCodeConvert, codes below
// 0x59 are the console's own), whether the console keymap gives the key a character
// (needToLookup: the typing keys 0x02-0x35 and the numpad 0x47-0x53), and the code reported
// to the application (convert2OBScanCode: the key code itself).
#include "KBANPP.h"

#include <cstring>

#include "ADAPTER.h"
#include "ObjectSupport.h"
#include "VDEV.h"

int32_t fKbanpLastCodeFlagged = 0; // C linkage from the declaration

const unsigned char dkANPOSLookup[133] = {
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255,  60,   1,   2,   3,   4,   5,   6,   7,   8,   9,
     28,  10,  11,  12,  13,  14,  15,  17,  18,  19,  20,  21,  22,  23,  24,  25,  26,
     27,  29,  30,  31,  32,  33,  34,  35,  36,  37,  38, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
};

namespace {

constexpr int kCodes = 144;

struct CodeTables {
    unsigned char scanCodeConvert[kCodes];
    unsigned char needToLookup[kCodes];
    unsigned char convert2OBScanCode[kCodes];
};

constexpr CodeTables makeTables() {
    CodeTables t{};
    for (int k = 0; k < kCodes; ++k) {
        t.scanCodeConvert[k] = static_cast<unsigned char>(k < 0x59 ? k : 0);
        t.needToLookup[k] = (k >= 0x02 && k <= 0x35) || (k >= 0x47 && k <= 0x53) ? 1 : 0;
        t.convert2OBScanCode[k] = static_cast<unsigned char>(k);
    }
    return t;
}

constexpr CodeTables kTables = makeTables();

const char kTag[] = "@(#)kbanpp.cpp 1.1";
enum : uint32_t { kLogError = 15601, kLogStatusError = 15602, kLogCodeOutOfRange = 15603 };

constexpr unsigned char kBreakPrefix = 0xF0;
constexpr unsigned char kNoPair = 0xFF;
constexpr unsigned char kScrollLockKey = 0x6E;
constexpr unsigned char kNumLockKey = 0x2D;
// Modifier bits: lock states 4 scroll, 5 num, 6 caps; 0 and 1 shift; 2 and 3 the two others.
constexpr uint16_t kScrollLock = 0x10, kNumLock = 0x20, kCapsLock = 0x40;
constexpr uint16_t kLockBits = kScrollLock | kNumLock | kCapsLock;

bool releaseMarked(unsigned char k) {
    return k == 2 || k == 15 || k == 16 || k == 80 || k == 113 || k == 135 || k == 143;
}

PDEV* make(const DeviceID& id);
const unsigned char kAddresses[] = {0x1A, 0x1B};
ObjectSupport gKBANPP(15600, make, kAddresses, 2);

} // namespace

extern "C" PDEV* _CreateKBANPP(const DeviceID& id) { return new KBANPP(id, "KBANPP"); }

namespace {
PDEV* make(const DeviceID& id) { return _CreateKBANPP(id); }
} // namespace

KBANPP::KBANPP(const DeviceID& id, const char* name) : KBP(id, name) {
    vdevType_ = KBANPV_TYPE_ID;
    deviceSubtype_ = 0;
    SetKeyNumberMap(dkANPOSLookup, sizeof dkANPOSLookup);
    slots_[KBANPP_SLOT_PS2_LIGHTS] = {ps2Lights_, 2};
    slots_[KBANPP_SLOT_TYPEMATIC_A] = {typematicA_, 1};
    slots_[KBANPP_SLOT_TYPEMATIC_B] = {typematicB_, 1};
    slots_[KBANPP_SLOT_CLICK] = {click_, 1};
    slots_[KBANPP_SLOT_NUMPAD_ZERO] = {numpadZero_, 1};
    slots_[KBANPP_SLOT_RATE] = {rate_, 2};
    slots_[KBANPP_SLOT_FAT_FINGER] = {fatFinger_, 2};
    SetStatusBits(KBANPP_NUM_LOCK_KEY_ENABLED | KBANPP_SCROLL_LOCK_KEY_ENABLED);
    for (int slot : {int(KBP_SLOT_1D), int(KBANPP_SLOT_TYPEMATIC_A), int(KBANPP_SLOT_TYPEMATIC_B),
                     int(KBANPP_SLOT_CLICK), int(KBANPP_SLOT_NUMPAD_ZERO)})
        SetPending(slot);
}

KBANPP::~KBANPP() = default;

void KBANPP::Post(uint32_t msg, uint32_t p1, uint32_t p2) {
    if (owner_) owner_->PostQueueMsg(msg, p1, p2);
}

int KBANPP::PowerOnResetInProgress() {
    KBP::PowerOnResetInProgress();
    for (int slot : {KBANPP_SLOT_PS2_LIGHTS, KBANPP_SLOT_TYPEMATIC_A, KBANPP_SLOT_TYPEMATIC_B,
                     KBANPP_SLOT_CLICK, KBANPP_SLOT_NUMPAD_ZERO, KBANPP_SLOT_RATE}) // one enum
        SetPending(slot);
    return 0;
}

void KBANPP::UpdatePS2Indicators() {
    const uint16_t locks = kbdata_.Modifiers() & kLockBits;
    if (locks == reportedLocks_) return;
    unsigned char lights = ps2Lights_[1];
    auto copy = [&](uint16_t bit, unsigned char led) {
        if ((locks ^ reportedLocks_) & bit)
            lights = static_cast<unsigned char>(locks & bit ? lights | led : lights & ~led);
    };
    copy(kScrollLock, 0x01);
    copy(kNumLock, 0x02);
    copy(kCapsLock, 0x04);
    ps2Lights_[1] = lights;
    reportedLocks_ = locks;
    SetPending(KBANPP_SLOT_PS2_LIGHTS);
}

void KBANPP::SetTypematic(bool on) {
    typematicA_[0] = on ? 0x14 : 0x15;
    typematicB_[0] = on ? 0x16 : 0x17;
    if (on)
        SetStatusBits(KBANPP_TYPEMATIC_A_EXPECTED | KBANPP_TYPEMATIC_B_EXPECTED);
    else
        ClearStatusBits(KBANPP_TYPEMATIC_A_EXPECTED | KBANPP_TYPEMATIC_B_EXPECTED);
    SetPending(KBANPP_SLOT_TYPEMATIC_A);
    SetPending(KBANPP_SLOT_TYPEMATIC_B);
}

int KBANPP::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    const bool needsRecord = request == KBD_REQ_SETTINGS || request == KBD_REQ_CLICK || request == 23;
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
    auto setClick = [&](int32_t click) {
        static const unsigned char kClick[3] = {0x19, 0x18, 0x20};
        if (click < 0 || click > 2) return;
        click_[0] = kClick[click];
        clickValue_ = click;
        SetPending(KBANPP_SLOT_CLICK);
    };
    switch (request) {
    case KBD_REQ_SETTINGS: {
        std::memset(doubleKeyMap_, kNoPair, sizeof doubleKeyMap_);
        for (const auto& pair : record->doubleKeys) {
            if (pair[0] > 132 || pair[1] > 132) continue;
            const unsigned char s1 = keyNumberMap_[pair[0]], s2 = keyNumberMap_[pair[1]];
            doubleKeyMap_[s1] = s1;
            doubleKeyMap_[s2] = s1;
        }
        fatFinger_[1] = static_cast<unsigned char>(record->fatFingerTimeOut / 10);
        SetTypematic(record->typematicOn != 0);
        SetPending(KBANPP_SLOT_FAT_FINGER);
        setStatus(KBANPP_NUM_LOCK_KEY_ENABLED, record->numLockKeyEnabled != 0);
        setStatus(KBANPP_SCROLL_LOCK_KEY_ENABLED, record->scrollLockKeyEnabled != 0);
        ps2Lights_[1] = static_cast<unsigned char>((record->scrollLockOn ? 0x01 : 0) | (record->numLockOn ? 0x02 : 0) |
                                                   (record->capsLockOn ? 0x04 : 0));
        setModifier(kScrollLock, record->scrollLockOn != 0);
        setModifier(kNumLock, record->numLockOn != 0);
        setModifier(kCapsLock, record->capsLockOn != 0);
        UpdatePS2Indicators();
        unsigned char rate = static_cast<unsigned char>(record->typematicFreq & 0x1F);
        if (record->typematicDelay == 500) rate += 0x20;
        if (record->typematicDelay == 750) rate += 0x40;
        if (record->typematicDelay == 1000) rate += 0x60;
        rate_[1] = rate & 0x7F; // sent with the next power-on reset
        numpadZero_[0] = record->numpadZero == 1 ? 0x1F : 0x1E;
        SetPending(KBANPP_SLOT_NUMPAD_ZERO);
        setClick(record->click);
        KBP::TellPhys(sender, request, data, length);
        return RequestSendTurn();
    }
    case KBD_REQ_CLICK:
        setClick(record->click);
        return RequestSendTurn();
    case KBD_REQ_TYPEMATIC_ON:
    case KBD_REQ_TYPEMATIC_OFF:
        SetTypematic(request == KBD_REQ_TYPEMATIC_ON);
        return RequestSendTurn();
    case 15:
    case 16:
        setStatus(KBANPP_NUM_LOCK_KEY_ENABLED, request == 16);
        return 0;
    case 17:
    case 18:
        setStatus(KBANPP_SCROLL_LOCK_KEY_ENABLED, request == 18);
        return 0;
    case 19:
    case 20:
        setModifier(kNumLock, request == 20);
        UpdatePS2Indicators();
        return 0;
    case 21:
    case 22:
        setModifier(kScrollLock, request == 22);
        UpdatePS2Indicators();
        return 0;
    case 23: {
        const uint16_t m = kbdata_.Modifiers();
        record->numLockOn = m & kNumLock ? 1 : 0;
        record->scrollLockOn = m & kScrollLock ? 1 : 0;
        record->capsLockOn = m & kCapsLock ? 1 : 0;
        return 0;
    }
    case 2:
    case 3:
    case 13:
    case 14:
        return 0;
    default:
        return KBP::TellPhys(sender, request, data, length);
    }
}

int KBANPP::NewMsgRcvd(const unsigned char* msg, int length) {
    if (!msg || length < 0) length = 0;
    int start = 3;
    if (length >= 1) {
        const int old = keyLock_;
        keyLock_ = msg[0] & 0x40 ? 1 : 2;
        // The keyboard's error bit answers the outstanding command with a reject.
        if (msg[0] & 0x80) {
            Log(kLogError, 322, 0, msg, length, kTag);
            RetryRejected();
        } else {
            AnswerAccepted();
        }
        if (keyLock_ != old && !Locked() && owner_)
            Post(KBD_WM_STATUS_CHANGE, 0x10000, static_cast<uint32_t>(keyLock_));
    }
    if (length >= 2) {
        if (msg[1] & 0x02) Log(kLogStatusError, 321, 0, msg, length, kTag);
        if ((msg[1] & 0x04) && length >= 4) {
            SetECLevel(msg[3]);
            ClearPending(KBP_SLOT_EC_LEVEL);
            NowConfirmed();
            start = 4;
        }
    }
    if (length >= 3) {
        const unsigned char s = msg[2];
        if (!(s & 0x08)) SetPending(KBP_SLOT_1D);
        if (TestStatusBits(KBANPP_TYPEMATIC_A_EXPECTED) != ((s & 0x10) != 0)) SetPending(KBANPP_SLOT_TYPEMATIC_A);
        if (TestStatusBits(KBANPP_TYPEMATIC_B_EXPECTED) != ((s & 0x20) != 0)) SetPending(KBANPP_SLOT_TYPEMATIC_B);
        if (ToneOn() && !(msg[1] & 0x01)) SetPending(KBP_SLOT_TONE);
    }
    const int count = length > start ? length - start : 0;
    if (!Locked() && owner_ && count > 0) {
        for (int i = 0; i < count; ++i) {
            const unsigned char c = msg[start + i];
            const bool flagged = i < 6 && (msg[0] & (1u << i)) != 0;
            bool emit = true;
            if (c == kBreakPrefix) {
                breakPrefix_ = 1;
                emit = false;
            } else if (c == kScrollLockKey && !TestStatusBits(KBANPP_SCROLL_LOCK_KEY_ENABLED)) {
                emit = false;
            } else if (c == kNumLockKey && !TestStatusBits(KBANPP_NUM_LOCK_KEY_ENABLED)) {
                emit = false;
            } else if (c == 0x10 || c == 0x8F) {
                unsigned char ignored = 0;
                KbdHandler(&kbdata_, 0xE0, ignored);
            } else if (fKbanpLastCodeFlagged && previousCode_ >= 0 && doubleKeyMap_[c] != kNoPair &&
                       doubleKeyMap_[c] == doubleKeyMap_[previousCode_]) {
                emit = false;
            }
            const unsigned char k = doubleKeyMap_[c] != kNoPair ? doubleKeyMap_[c] : c;
            if (emit && k >= kCodes) {
                // A code beyond the keyboard's tables.
                Log(kLogCodeOutOfRange, 321, k, msg, length, kTag);
                emit = false;
            }
            if (emit) {
                const bool release = breakPrefix_ != 0;
                unsigned char console = kTables.scanCodeConvert[k];
                if (release && releaseMarked(k)) console = static_cast<unsigned char>(console + 0x80);
                unsigned char character = 0;
                if (kTables.needToLookup[k] && KbdHandler(&kbdata_, console, character) != 0) character = 0;
                if (k == 0x2B && (numpadStyle_ == 0 || numpadStyle_ == 1)) character = '/';
                if (numpadStyle_ == 0 || numpadStyle_ == 2) {
                    if (character >= '1' && character <= '3')
                        character = static_cast<unsigned char>(character + 6);
                    else if (character >= '7' && character <= '9')
                        character = static_cast<unsigned char>(character - 6);
                }
                const uint16_t m = kbdata_.Modifiers();
                uint32_t p2 = KBD_KEY_ALWAYS | kTables.convert2OBScanCode[k];
                if (character) p2 |= KBD_KEY_CHARACTER;
                if (m & 0x03) p2 |= 0x80000;
                if (m & 0x04) p2 |= 0x100000;
                if (m & 0x08) p2 |= 0x200000;
                if (release) {
                    p2 |= KBD_KEY_RELEASE;
                    breakPrefix_ = 0;
                }
                if (flagged) p2 |= KBD_KEY_FAT_FINGER;
                Post(KBD_WM_CHAR, static_cast<uint32_t>(character) << 16, p2);
            }
            UpdatePS2Indicators();
            if (c != kBreakPrefix) previousCode_ = k;
            fKbanpLastCodeFlagged = flagged ? 1 : 0;
        }
    }
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    if (SendAnyPendingMessage() == 0) return 1;
    return SendAck();
}
