// How a failure that comes back again and again (a lost bus driver node, a device that
// cannot be created at an address, one error-log entry from one source) is logged: the first
// `perInterval` in a minute are logged; later ones are only counted until that minute, which
// began with the first logged, has passed, and the next after that is logged again with the
// count of those held back and begins a new minute.
#pragma once

#include <cstdint>

#include "ovkhost.h"

class RepeatedFailure {
public:
    static constexpr int32_t kLogIntervalMs = 60000;

    RepeatedFailure() = default;
    explicit RepeatedFailure(int perInterval) : perInterval_(perInterval) {}

    // A failure at now (chTime): true when it is to be logged, and held back is then the
    // number of failures only counted since the last one logged; false when it is counted.
    bool Due(int32_t now, int& heldBack) {
        if (logged_ > 0 && !Ended(now)) {
            if (logged_ >= perInterval_) {
                ++heldBack_;
                return false;
            }
            ++logged_;
            heldBack = 0;
            return true;
        }
        heldBack = heldBack_;
        heldBack_ = 0;
        logged_ = 1;
        since_ = now;
        return true;
    }

    // Whether the minute begun by the last failure logged has passed (a time before it can
    // only be the 32-bit count wrapping: also passed). Once it has, the failures held back
    // are all there are, and a state without them is as good as a new one.
    bool Ended(int32_t now) const {
        const int32_t age = chTimeDiff(now, since_);
        return age >= kLogIntervalMs || age < 0;
    }
    int HeldBack() const { return heldBack_; }

private:
    int perInterval_ = 1;
    int logged_ = 0; // logged in the present minute
    int32_t since_ = 0;
    int heldBack_ = 0;
};
