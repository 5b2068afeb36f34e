// The daemon's polling thread: one round calls Slot::ServiceAdapter for every slot of the
// system object. After a round that moved a buffer, or when work was queued meanwhile (a
// request thread's frame, input at the driver node: see PollWake and NodeWatch), the next
// round runs at once; otherwise the thread waits for such a wake-up or the idle interval,
// whichever comes first. At shut-down it stops the adapters and keeps polling until each
// has stopped (bounded by a time limit), so that the RS-485 adapters send their final reset
// before the daemon goes.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "NodeWatch.h"

class SlotPoller {
public:
    // Longest wait between rounds while nothing happens: a round of an idle bus takes
    // microseconds, so this is what bounds the daemon's load then.
    static constexpr int kDefaultIntervalMs = 10;
    // Longest wait for the adapters to stop.
    static constexpr int kDefaultStopLimitMs = 5000;

    explicit SlotPoller(int intervalMs = kDefaultIntervalMs);
    ~SlotPoller(); // StopAdapters, then the thread ends
    SlotPoller(const SlotPoller&) = delete;
    SlotPoller& operator=(const SlotPoller&) = delete;

    // False when no thread could be started.
    bool Start();
    // Stops every adapter and returns once all have stopped or `limitMs` passed; the thread
    // has ended then. True when all adapters stopped in time.
    bool StopAdapters(int limitMs = kDefaultStopLimitMs);

    // One round over the slots (also used by the thread).
    static void ServiceSlots();
    static void StopAllAdapters();
    // True when no slot has an adapter that is still running: an RS-485 adapter manager has
    // reached its stopped (or no-adapter, or suspended) state; other adapters stop at once.
    static bool AdaptersStopped();

    // Rounds run so far.
    unsigned long Rounds() const;

private:
    void Run();

    const int intervalMs_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopRequested_ = false;
    bool stopped_ = false;
    bool allStopped_ = false;
    int stopLimitMs_ = kDefaultStopLimitMs;
    unsigned long rounds_ = 0;
    std::thread thread_;
    NodeWatch watch_;
};
