// The extended POS keyboard of the JUCC layout.
#include "KBOJUCCP.h"

#include <cstring>

#include "KbdVariants.h"
#include "ObjectSupport.h"

namespace {

PDEV* make(const DeviceID& id);
const unsigned char kAddresses[] = {0x10, 0x11};
ObjectSupport gKBOJUCCP(KBOJUCCP_TYPE_ID, make, kAddresses, 2);

constexpr unsigned char kBreakPrefix = 0xF0;
constexpr uint16_t kShiftToggleBit = 0x0100;

} // namespace

extern "C" PDEV* _CreateKBOJUCCP(const DeviceID& id) { return new KBOJUCCP(id, "KBOJUCCP"); }

namespace {
PDEV* make(const DeviceID& id) { return _CreateKBOJUCCP(id); }
} // namespace

KBOJUCCP::KBOJUCCP(const DeviceID& id, const char* name) : KBO50P(id, name) {
    deviceSubtype_ = 7;
    // No double keys: no key numbers.
    SetKeyNumberMap(nullptr, 0);
}

KBOJUCCP::~KBOJUCCP() = default;

int KBOJUCCP::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    if (request == KBD_REQ_SETTINGS && data && length >= static_cast<int>(sizeof(KbdSettingsRecord))) {
        auto* record = reinterpret_cast<KbdSettingsRecord*>(data);
        std::memset(record->doubleKeys, 0, sizeof record->doubleKeys);
    }
    return KBO50P::TellPhys(sender, request, data, length);
}

int KBOJUCCP::ValidateDoubleKey(unsigned char, unsigned char) { return 0; }

void KBOJUCCP::SetLEDBits(unsigned char* lightsByte, unsigned char lights) {
    *lightsByte = MapIndicatorBits(*lightsByte, lights);
}

int KBOJUCCP::CheckKeyLockState(unsigned char bits) { return FourPositionKeyLock(bits); }

void KBOJUCCP::InterpretScanCode(const unsigned char* msg, int length, int count) {
    if (!msg || count <= 0 || count > length) return;
    for (int i = 0; i < count; ++i) {
        const unsigned char x = msg[length - count + i];
        if (x == kBreakPrefix) {
            breakPrefix_ = 1;
            continue;
        }
        if (x == shiftToggle_) {
            const uint16_t m = kbdata_.Modifiers();
            kbdata_.SetModifiers(breakPrefix_ ? static_cast<uint16_t>(m & ~kShiftToggleBit)
                                              : static_cast<uint16_t>(m | kShiftToggleBit));
        }
        uint32_t p1 = 0, p2 = 0;
        if (i < 7 && (msg[0] & (1u << i))) p2 |= KBD_KEY_FAT_FINGER;
        if (numpadTable1_ && x <= numpadHighest_) {
            const unsigned char* table = numpadStyle_ != 0 && numpadTable2_ ? numpadTable2_ : numpadTable1_;
            if (table[x]) {
                p1 = static_cast<uint32_t>(table[x]) << 16;
                p2 |= KBD_KEY_CHARACTER;
            }
        }
        if (kbdata_.Modifiers() & kShiftToggleBit) p2 |= KBD_KEY_SHIFT_TOGGLE;
        if (breakPrefix_) {
            p2 |= KBD_KEY_RELEASE;
            breakPrefix_ = 0;
        } else {
            lastMake_ = x;
        }
        Post(KBD_WM_CHAR, p1, p2 | KBD_KEY_ALWAYS | x);
    }
}
