// Test seam beside the settable clock of ovkhost.h: the waits asleep on it.
#pragma once

namespace ovkhost {

// The eventSem waits with a time-out on the manual clock that have seen its present time and
// sleep until it changes (or they are posted or closed). A test that moves the clock on only
// while the wait it drives is asleep never lets the clock run ahead of that thread.
int clockWaitsAsleep();

} // namespace ovkhost
