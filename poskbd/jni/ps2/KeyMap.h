// Turns Linux key events of a USB keyboard into PS/2 scan-code set 1 bytes, keeping the
// modifier state between events.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

class KeyMapper {
public:
    enum : uint8_t {
        LeftCtrl = 0x01, RightCtrl = 0x02, LeftShift = 0x04, RightShift = 0x08,
        LeftAlt = 0x10, RightAlt = 0x20,
    };

    // `numLockOn` reads the Num Lock light (true when it cannot be read); it is asked only
    // for the navigation keys.
    explicit KeyMapper(std::function<bool()> numLockOn) : numLockOn_(std::move(numLockOn)) {}

    // value: 0 release, 1 press, 2 repeat (a press again). Codes above 255 give nothing.
    std::vector<uint8_t> map(unsigned code, int32_t value);

    uint8_t modifiers() const { return modifiers_; }

private:
    bool modifierSequence(unsigned code, bool press, std::vector<uint8_t>& out) const;
    bool navigationSequence(unsigned code, bool press, std::vector<uint8_t>& out) const;

    std::function<bool()> numLockOn_;
    uint8_t modifiers_ = 0;
};

// The press sequence of a key code in the plain map (empty: the code passes through).
const std::vector<uint8_t>& keyMapSequence(unsigned code);
