// How often a command the device rejected goes again: a few times in a row, then it is left
// (and only logged), so that a device that rejects everything is not flooded. A new request
// for the command gives it its retries back.
#pragma once

#include <cstdint>

class RejectRetries {
public:
    static constexpr int32_t kLimit = 3;

    // The device rejected the command of `slot`: true while it may go again.
    bool Take(int32_t slot) {
        if (slot != slot_) {
            slot_ = slot;
            count_ = 0;
        }
        if (count_ >= kLimit) return false;
        ++count_;
        return true;
    }
    // A new request for the command of `slot`.
    void Renew(int32_t slot) {
        if (slot == slot_) count_ = 0;
    }

private:
    int32_t slot_ = -1; // the command rejected last
    int32_t count_ = 0; // its retries since then
};
