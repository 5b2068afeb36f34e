// The host clock behind chTime/chSleep, with the manual clock of the test seam, and the
// registry of waits whose time-outs run on the manual clock.
#pragma once

namespace ovkhost {
namespace detail {

bool manualClockEnabled();

// A wait that must re-check its time-out whenever the manual clock changes.
class ClockWaiter {
public:
    virtual void clockChanged() = 0;
    // The waits on it that have seen the clock's present time and sleep until it changes.
    virtual int asleep() = 0;

protected:
    ~ClockWaiter() = default;
};

// Each wait registers for its whole length; several threads may wait on one waiter.
void addClockWaiter(ClockWaiter* waiter);
void removeClockWaiter(ClockWaiter* waiter);

} // namespace detail
} // namespace ovkhost
