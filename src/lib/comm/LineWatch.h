// The modem-line watch of a serial port: a thread that follows the kernel's interrupt counters
// of CTS, DSR, RI and CD and wakes the status loop with the transitions counted, sharing one
// record with the loop under one mutex. The loop owns the watch: stop() ends the thread and
// joins it before the record goes.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

class LineWatch {
public:
    static constexpr int kLineMask = 0x1E0;  // CTS, CD, RI, DSR

    struct Transition {
        int line;  // TIOCM_CD, TIOCM_CTS, TIOCM_DSR or TIOCM_RNG
        bool before, after;
    };
    struct Pass {
        int bytes = 0;
        std::vector<Transition> transitions;  // in reporting order
    };

    explicit LineWatch(int fd) : fd_(fd) {}
    ~LineWatch() { stop(); }
    LineWatch(const LineWatch&) = delete;
    LineWatch& operator=(const LineWatch&) = delete;

    std::mutex& mutex() { return mutex_; }
    // Starts the watch thread (the caller holds the mutex, as the loop does throughout).
    void start();
    // Ends the watch thread and waits for it (the caller must not hold the mutex).
    void stop();
    // One pass of the loop, with the mutex held: clears the pending counts, waits for a wake
    // or `timeoutMs`, then turns the counts into transitions, flipping the snapshot.
    Pass next(std::unique_lock<std::mutex>& held, int timeoutMs);
    bool failed() const { return error_; }
    // True once the thread follows the counters (or has ended).
    bool watching() const { return watching_ || done_; }

private:
    void run();

    int fd_;
    std::mutex mutex_;
    std::condition_variable wake_;
    int snapshot_ = 0;
    int cts_ = 0, dsr_ = 0, rng_ = 0, cd_ = 0;  // pending transitions
    int bytes_ = 0;
    std::atomic<bool> error_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> done_{false};
    std::atomic<bool> watching_{false};
    std::thread thread_;
};
