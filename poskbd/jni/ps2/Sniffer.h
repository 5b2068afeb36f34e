// The bytes one input event gives the Java side: a key event of a USB keyboard mapped to
// scan codes, the raw scan code of a keyboard not on USB, nothing for any other event.
#pragma once

#include "KeyMap.h"

#include <linux/input.h>

#include <cstddef>
#include <cstdint>

constexpr size_t kSnifferBytes = 64;

// Fills `out` (kSnifferBytes) and returns the count; `cut` tells that more did not fit.
size_t snifferBytes(const input_event& ev, bool usb, KeyMapper& mapper, uint8_t* out, bool& cut);
