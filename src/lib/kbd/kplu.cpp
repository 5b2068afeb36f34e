// The PLU keyboards: KBOJP (not registered) and KBOPLUP at 0x19.
#include "KBOPLUP.h"

#include <cstring>

#include "ObjectSupport.h"

namespace {

constexpr int kHalf = 64;

struct NumpadTable {
    unsigned char t[2 * kHalf];
};

// keys: the key codes of "1" to "9" and "0"; the two halves trade the rows 1-2-3 and 7-8-9.
constexpr NumpadTable makeNumpad(unsigned char offset) {
    NumpadTable n{};
    const unsigned char keys[10] = {53, 52, 51, 37, 36, 35, 21, 20, 19, 5};
    const char touchTone[] = "1234567890";
    const char calculator[] = "7894561230";
    for (int i = 0; i < 10; ++i) {
        n.t[keys[i] + offset] = static_cast<unsigned char>(touchTone[i]);
        n.t[kHalf + keys[i] + offset] = static_cast<unsigned char>(calculator[i]);
    }
    return n;
}

constexpr NumpadTable obPluNumpad1 = makeNumpad(0);
constexpr NumpadTable obPluNumpad2 = makeNumpad(4);

PDEV* make(const DeviceID& id);
const unsigned char kAddresses[] = {0x19};
ObjectSupport gKBOPLUP(KBOPLUP_TYPE_ID, make, kAddresses, 1);

} // namespace

extern "C" PDEV* _CreateKBOPLUP(const DeviceID& id) { return new KBOPLUP(id, "KBOPLUP"); }

namespace {
PDEV* make(const DeviceID& id) { return _CreateKBOPLUP(id); }
} // namespace

// ---------------------------------------------------------------------------------------
// KBOJP.

KBOJP::KBOJP(const DeviceID& id, const char* name) : KBOBP(id, name) { vdevType_ = KBOBV_TYPE_ID; }

KBOJP::~KBOJP() = default;

void KBOJP::SetLEDBits(unsigned char* lightsByte, unsigned char lights) {
    *lightsByte = MapIndicatorBits(*lightsByte, lights);
}

int KBOJP::ValidateDoubleKey(unsigned char, unsigned char) { return 0; }

// ---------------------------------------------------------------------------------------
// KBOPLUP.

KBOPLUP::KBOPLUP(const DeviceID& id, const char* name) : KBOJP(id, name) {
    deviceSubtype_ = 6;
    numpadTable1_ = obPluNumpad1.t;
    numpadTable2_ = obPluNumpad1.t + kHalf;
    numpadHighest_ = kHalf - 1;
    numpadZeroPair_[0] = 5;
    numpadZeroPair_[1] = 4;
}

KBOPLUP::~KBOPLUP() = default;

int KBOPLUP::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    if (request == KBD_REQ_SETTINGS && data && length >= static_cast<int>(sizeof(KbdSettingsRecord))) {
        auto* record = reinterpret_cast<KbdSettingsRecord*>(data);
        std::memset(record->doubleKeys, 0, sizeof record->doubleKeys);
        numpadLocation_ = record->numpadLocation;
        const NumpadTable* table = numpadLocation_ == 1 ? &obPluNumpad1
                                   : numpadLocation_ == 2 ? &obPluNumpad2
                                                          : nullptr;
        if (table) {
            numpadTable1_ = table->t;
            numpadTable2_ = table->t + kHalf;
            if (record->numpadZero == 2) {
                numpadZeroPair_[0] = numpadLocation_ == 1 ? 5 : 9;
                numpadZeroPair_[1] = numpadLocation_ == 1 ? 4 : 8;
            }
        }
    }
    return KBOJP::TellPhys(sender, request, data, length);
}

void KBOPLUP::InterpretScanCode(const unsigned char* msg, int length, int count) {
    if (!msg || count <= 0 || count > length) return;
    for (int i = 0; i < count; ++i) {
        const unsigned char x = msg[length - count + i];
        uint32_t p1 = 0, p2 = KBD_KEY_ALWAYS | x;
        if (numpadTable1_ && x <= numpadHighest_) {
            const unsigned char* table = numpadStyle_ != 0 && numpadTable2_ ? numpadTable2_ : numpadTable1_;
            if (table[x]) {
                p1 = static_cast<uint32_t>(table[x]) << 16;
                p2 |= KBD_KEY_CHARACTER;
            }
        }
        Post(KBD_WM_CHAR, p1, p2);
    }
}

void KBOPLUP::UpdateMicrocode() { QueueEndBlock(); }

int KBOPLUP::ValidateDoubleKey(unsigned char, unsigned char) { return 0; }

int KBOPLUP::ValidateNumpadLocation(int location) {
    return location == 1 || location == 2 ? 0 : POSERR_KBD_INVALID_NUMPAD_LOCATION;
}

int KBOPLUP::ValidateNumpadStyle(int style) {
    return style == 0 || style == 1 ? 0 : POSERR_KBD_INVALID_NUMPAD_STYLE;
}
