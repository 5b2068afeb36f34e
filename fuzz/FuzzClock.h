// The settable clock of a fuzz run. Every input starts at the same time, so that what an
// input does never depends on the inputs run before it and a finding replays alone.
#pragma once

#include <cstdint>

#include "ovkhost.h"

namespace fuzzclock {

constexpr int32_t kStart = 100000;

// Call once, from LLVMFuzzerInitialize.
inline void useManual() {
    ovkhost::useManualClock(true);
    ovkhost::setClock(kStart);
}

// Call at the start of every input.
inline void restart() { ovkhost::setClock(kStart); }

} // namespace fuzzclock
