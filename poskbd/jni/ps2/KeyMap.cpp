#include "KeyMap.h"

#include <array>

namespace {

using Bytes = std::vector<uint8_t>;

const std::array<Bytes, 256>& table() {
    static const std::array<Bytes, 256> map = [] {
        std::array<Bytes, 256> m;
        m[55] = {0x65};        m[74] = {0x7A};        m[78] = {0x7E};
        m[82] = {0x77};        m[83] = {0x78};        m[96] = {0xE0, 0x1C};
        m[97] = {0xE0, 0x1D};  m[98] = {0x53};        m[99] = {0xE0, 0x2A, 0xE0, 0x37};
        m[100] = {0xE0, 0x38}; m[102] = {0xE0, 0x47}; m[103] = {0xE0, 0x48};
        m[104] = {0xE0, 0x49}; m[105] = {0xE0, 0x4B}; m[106] = {0xE0, 0x4D};
        m[107] = {0xE0, 0x4F}; m[108] = {0xE0, 0x50}; m[109] = {0xE0, 0x51};
        m[110] = {0xE0, 0x52}; m[111] = {0xE0, 0x53}; m[117] = {0x71};
        m[119] = {0xE1, 0x1D, 0x45, 0xE1, 0x9D, 0xC5};
        m[121] = {0x5F};       m[136] = {0x52};       m[183] = {0x72};
        m[184] = {0x63};       m[185] = {0x74};       m[186] = {0x75};
        m[187] = {0x76};       m[188] = {0x59};       m[189] = {0x6F};
        m[190] = {0x6A};       m[191] = {0x6C};       m[192] = {0x6D};
        m[193] = {0x6B};       m[194] = {0x6E};
        return m;
    }();
    return map;
}

Bytes released(const Bytes& press) {
    Bytes out;
    for (uint8_t b : press) out.push_back(static_cast<uint8_t>(b | 0x80));
    return out;
}

void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

uint8_t modifierBit(unsigned code) {
    switch (code) {
    case 29: return KeyMapper::LeftCtrl;
    case 97: return KeyMapper::RightCtrl;
    case 42: return KeyMapper::LeftShift;
    case 54: return KeyMapper::RightShift;
    case 56: return KeyMapper::LeftAlt;
    case 100: return KeyMapper::RightAlt;
    default: return 0;
    }
}

} // namespace

const std::vector<uint8_t>& keyMapSequence(unsigned code) {
    static const Bytes none;
    return code < 256 ? table()[code] : none;
}

bool KeyMapper::modifierSequence(unsigned code, bool press, Bytes& out) const {
    const bool left = modifiers_ & LeftCtrl, right = modifiers_ & RightCtrl;
    const bool ctrl = left || right, shift = modifiers_ & (LeftShift | RightShift);
    const bool alt = modifiers_ & (LeftAlt | RightAlt);
    bool found = false;
    auto use = [&](const Bytes& p, const Bytes& r) {
        out = press ? p : r;
        found = true;
    };
    if (code == 184 || code == 183) {
        const uint8_t k = code == 184 ? 0x1C : 0x01;
        if (left) use({0x9D, k, 0x1D}, {});
        if (right) use({0xE0, 0x9D, k, 0xE0, 0x1D}, {});
        if (left && right) use({0xE0, 0x9D, 0x9D, k, 0xE0, 0x1D}, {});
    } else if (code == 99) {
        if (ctrl || shift) use({0xE0, 0x37}, {0xE0, 0xB7});
        if (alt) use({0x37}, {0xB7});
    } else if (code == 119) {
        if (ctrl) use({0xE0, 0x46, 0xE0, 0xC6}, {});
    }
    return found;
}

bool KeyMapper::navigationSequence(unsigned code, bool press, Bytes& out) const {
    if (code < 102 || code > 111) return false;
    const bool left = modifiers_ & LeftShift, right = modifiers_ & RightShift;
    const bool numLock = numLockOn_ ? numLockOn_() : true;
    Bytes before, after;  // around the key's own sequence, on press and on release
    Bytes beforeUp, afterUp;
    if (left && !right && !numLock) {
        before = {0xE0, 0xAA};
        afterUp = {0xE0, 0x2A};
    } else if (right && !left && !numLock) {
        before = {0xE0, 0xB6};
        afterUp = {0xE0, 0x36};
    } else if (left && right && !numLock && code != 102) {
        before = {0xE0, 0xAA, 0xB6};
        afterUp = {0xE0, 0x2A, 0xE0, 0x36};
    } else if (!left && !right && numLock) {
        before = {0xE0, 0x2A};
        afterUp = {0xE0, 0xAA};
    } else {
        return false;
    }
    const Bytes& key = table()[code];
    out.clear();
    if (press) {
        append(out, before);
        append(out, key);
    } else {
        append(out, released(key));
        append(out, afterUp);
    }
    return true;
}

std::vector<uint8_t> KeyMapper::map(unsigned code, int32_t value) {
    // The kernel's key codes reach 0x2FF; the scan-code map covers 0 to 255 only.
    if (code > 255) return {};
    const bool press = value != 0;
    if (uint8_t bit = modifierBit(code)) {
        if (press)
            modifiers_ |= bit;
        else
            modifiers_ &= static_cast<uint8_t>(~bit);
    }
    Bytes out;
    if (modifierSequence(code, press, out) || navigationSequence(code, press, out)) return out;
    const Bytes& seq = table()[code];
    if (seq.empty()) return {static_cast<uint8_t>(press ? code : (code | 0x80))};
    if (press) return seq;
    if (code == 119) return {};
    if (code == 99) return {0xE0, 0xB7, 0xE0, 0xAA};
    return released(seq);
}
