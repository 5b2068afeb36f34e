// Extended keyboard: scan codes to key events, with the break prefix, the shift toggle, the
// numpad characters and the double-key and fat-finger state machine.
#include "KBOBP.h"

namespace {

constexpr unsigned char kBreakPrefix = 0xF0;
constexpr unsigned char kNoPair = 0xFF;
constexpr uint16_t kShiftToggleBit = 0x0100;

} // namespace

void KBOBP::InterpretScanCode(const unsigned char* msg, int length, int count) {
    if (!msg || count <= 0 || count > length) return;
    for (int i = 0; i < count; ++i) {
        const unsigned char x = msg[length - count + i];
        // Bits 0-6 of byte 0 flag the first seven codes as fat-finger presses.
        bool fatFinger = i < 7 && (msg[0] & (1u << i)) != 0;
        if (fatFinger && !fProcessingFatFinger) fProcessingFatFinger = 1;

        if (x == kBreakPrefix) {
            breakPrefix_ = 1;
            continue;
        }
        if (x == shiftToggle_) {
            uint16_t m = kbdata_.Modifiers();
            m = breakPrefix_ ? static_cast<uint16_t>(m & ~kShiftToggleBit)
                             : static_cast<uint16_t>(m | kShiftToggleBit);
            kbdata_.SetModifiers(m);
        } else if (doubleKeyMap_[x] == kNoPair) {
            if (fProcessingFatFinger) fProcessingFatFinger = 0;
        } else {
            fatFinger = false;
            if (!ProcessDoubleKey(x)) {
                breakPrefix_ = 0;
                continue;
            }
        }

        if (!breakPrefix_) lastMake_ = x;
        const unsigned char k = doubleKeyMap_[x] != kNoPair ? doubleKeyMap_[x] : x;
        uint32_t p1 = 0;
        uint32_t p2 = 0;
        if (numpadTable1_ && k <= numpadHighest_) {
            const unsigned char* table = numpadStyle_ != 0 && numpadTable2_ ? numpadTable2_ : numpadTable1_;
            const unsigned char t = table[k];
            if (t) {
                p1 = static_cast<uint32_t>(t) << 16;
                p2 |= KBD_KEY_CHARACTER;
            }
        }
        if (kbdata_.Modifiers() & kShiftToggleBit) p2 |= KBD_KEY_SHIFT_TOGGLE;
        if (breakPrefix_) {
            p2 |= KBD_KEY_RELEASE;
            breakPrefix_ = 0;
        }
        if (fatFinger) p2 |= KBD_KEY_FAT_FINGER;
        p2 |= KBD_KEY_ALWAYS | k;
        Post(KBD_WM_CHAR, p1, p2);
    }
}

int KBOBP::ProcessDoubleKey(unsigned char x) {
    int32_t& s = doubleKeyState_;
    unsigned char& f = doubleKeyFirst_;
    const bool release = breakPrefix_ != 0;
    const bool firstKey = doubleKeyMap_[x] == x;

    // A key of another pair while one is in progress.
    if (f && doubleKeyMap_[x] != doubleKeyMap_[f]) {
        if (release && fProcessingFatFinger) {
            if (s != 1 && s != 2 && s != 3) {
                s = 0;
                f = 0;
            }
            fProcessingFatFinger = 0;
        }
        return 0;
    }

    auto idle = [&] {
        s = 0;
        f = 0;
        fProcessingFatFinger = 0;
    };
    switch (s) {
    case 0:
        if (release) return 0;
        f = x;
        s = firstKey ? 1 : 3;
        return 1;
    case 1:
        if (release) {
            if (fProcessingFatFinger)
                s = 5;
            else
                idle();
            return 1;
        }
        fProcessingFatFinger = 0;
        if (firstKey) return 1;
        s = 2;
        return 0;
    case 2:
        if (!release) return 1;
        s = firstKey ? 3 : 1;
        return 0;
    case 3:
        if (release) {
            if (fProcessingFatFinger)
                s = 4;
            else
                idle();
            return 1;
        }
        fProcessingFatFinger = 0;
        if (!firstKey) return 1;
        s = 2;
        return 0;
    case 4:
    case 5:
        if (release) idle();
        return 0;
    default:
        return 1;
    }
}
