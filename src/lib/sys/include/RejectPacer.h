// The pacing of a device that keeps rejecting: a rejected command goes again at once a few
// times in a row; after that the device gets at most one message a second for as long as it
// goes on rejecting, until it accepts a command. Rejects are counted per device over every
// command, so commands that take turns cannot reset the count. A new request from a client
// may go at once, once, while the device is paced.
#pragma once

#include <cstdint>

#include "ovkhost.h"

class RejectPacer {
public:
    static constexpr int32_t kAtOnce = 3;    // rejects in a row answered by a resend at once
    static constexpr int32_t kPaceMs = 1000; // after them, at most one message this often

    // The device rejected a command that awaited its answer.
    void Rejected() {
        if (streak_ < INT32_MAX) ++streak_;
    }
    // The device accepted a command: the rejects in a row are over.
    void Accepted() {
        streak_ = 0;
        free_ = false;
    }
    // A new request from a client: its message may go at once, once.
    void Renew() {
        if (Pacing()) free_ = true;
    }
    // Whether the device's messages are paced: more rejects in a row than resends at once.
    bool Pacing() const { return streak_ > kAtOnce; }
    int32_t Streak() const { return streak_; }
    // Whether a message may go to the device at `now`.
    bool MaySend(int32_t now) const { return !Pacing() || free_ || chTimeDiff(now, lastSent_) >= kPaceMs; }
    // A message went to the device at `now`.
    void Sent(int32_t now) {
        lastSent_ = now;
        free_ = false;
    }

private:
    int32_t streak_ = 0;   // rejects in a row
    int32_t lastSent_ = 0; // when the last message went
    bool free_ = false;    // a client's request may go at once
};
