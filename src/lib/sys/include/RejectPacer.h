// The pacing of a device that keeps rejecting: a rejected command goes again at once a few
// times in a row; after that the device gets at most one message a second for as long as it
// goes on rejecting, until it accepts a command. Rejects are counted per device over every
// command, so commands that take turns cannot reset the count.
//
// A client's request frees one send, and only for its own new message: while the device is
// paced, a request whose message is queued may send it at once, once. The messages already
// held are known by their bytes: the one sent last (the rejected command going again), every
// one sent or held back by the pace since the rejects began. None of them goes on a
// request's pass, however often clients ask; they wait for the pace. A request that queues
// nothing must not renew at all.
#pragma once

#include <cstdint>

#include "ovkhost.h"

class RejectPacer {
public:
    static constexpr int32_t kAtOnce = 3;    // rejects in a row answered by a resend at once
    static constexpr int32_t kPaceMs = 1000; // after them, at most one message this often
    static constexpr int kHeld = 8;          // held messages remembered; beyond them no pass

    // The bytes of a message, as the pace knows it.
    static uint64_t Signature(const unsigned char* data, int n) {
        uint64_t h = 1469598103934665603ull;
        for (int i = 0; data && i < n; ++i) h = (h ^ data[i]) * 1099511628211ull;
        return (h ^ static_cast<uint64_t>(n)) * 1099511628211ull;
    }

    // The device rejected a command that awaited its answer.
    void Rejected() {
        if (streak_ < INT32_MAX) ++streak_;
    }
    // The device accepted a command: the rejects in a row are over.
    void Accepted() {
        streak_ = 0;
        pass_ = false;
        Forget();
    }
    // A client's request has queued a new message: it may go at once, once. Called once the
    // message is queued, so that the device class offers it when asked.
    void Renew() {
        if (!Pacing()) return;
        pass_ = true;
        ++requests_;
    }
    // Whether the device's messages are paced: more rejects in a row than resends at once.
    bool Pacing() const { return streak_ > kAtOnce; }
    int32_t Streak() const { return streak_; }

    // Whether the device class is to be asked for a message at `now`: not paced, the pace
    // allows one, or a request's pass that the class has not yet been asked with.
    bool MayAsk(int32_t now) const { return !Pacing() || Due(now) || (pass_ && asked_ != requests_); }
    // Whether the message `sig` may go at `now`: on a pass only when it is not held.
    bool MaySend(int32_t now, uint64_t sig) const { return !Pacing() || Due(now) || (pass_ && !Held(sig)); }
    // The requests so far; Asked(Requests()) when the class, asked, offered held messages only.
    uint32_t Requests() const { return requests_; }
    void Asked(uint32_t requests) { asked_ = requests; }
    // The pace held `sig` back: it is held.
    void Refused(uint64_t sig) { Hold(sig); }
    // The message `sig` went to the device at `now`. A message that was not held used the
    // pass; a held one going at its pace leaves the pass to the request's own message.
    void Sent(int32_t now, uint64_t sig) {
        lastSent_ = now;
        if (streak_ == 0) Forget(); // nothing rejected: only this message is the last sent
        if (!Held(sig)) pass_ = false;
        Hold(sig);
    }

private:
    bool Due(int32_t now) const { return chTimeDiff(now, lastSent_) >= kPaceMs; }
    bool Held(uint64_t sig) const {
        if (overflow_) return true;
        for (int i = 0; i < count_; ++i)
            if (held_[i] == sig) return true;
        return false;
    }
    void Hold(uint64_t sig) {
        if (overflow_ || Held(sig)) return;
        if (count_ == kHeld) {
            overflow_ = true;
            return;
        }
        held_[count_++] = sig;
    }
    void Forget() {
        count_ = 0;
        overflow_ = false;
    }

    int32_t streak_ = 0;     // rejects in a row
    int32_t lastSent_ = 0;   // when the last message went
    bool pass_ = false;      // a client's request may send its own message at once
    uint32_t requests_ = 0;  // requests renewed while paced
    uint32_t asked_ = 0;     // the request whose pass the class was asked with in vain
    uint64_t held_[kHeld] = {};
    int count_ = 0;
    bool overflow_ = false;  // more held messages than remembered: every one counts as held
};
