// How a failure that comes back again and again (a lost bus driver node, a device that
// cannot be created at an address) is logged: the first is logged; later ones are only
// counted until a minute has passed since the last one logged, and the next after that is
// logged again with the count of those held back.
#pragma once

#include <cstdint>

#include "ovkhost.h"

class RepeatedFailure {
public:
    static constexpr int32_t kLogIntervalMs = 60000;

    // A failure at now (chTime): true when it is to be logged, and held back is then the
    // number of failures only counted since the last one logged; false when it is counted.
    bool Due(int32_t now, int& heldBack) {
        if (loggedOnce_ && chTimeDiff(now, loggedAt_) < kLogIntervalMs) {
            ++heldBack_;
            return false;
        }
        heldBack = heldBack_;
        heldBack_ = 0;
        loggedOnce_ = true;
        loggedAt_ = now;
        return true;
    }

private:
    bool loggedOnce_ = false;
    int32_t loggedAt_ = 0;
    int heldBack_ = 0;
};
