#include "Clock.h"
#include "ovkhost.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {
constexpr int kFailed = 301;
constexpr int kTimeout = 329;
constexpr int kInterrupted = 332;
} // namespace

struct eventSem::Impl final : ovkhost::detail::ClockWaiter {
    std::mutex mutex;
    std::condition_variable cv;
    bool posted = false;
    bool closed = false;
    unsigned closings = 0; // counts Close() calls, so that waiters see an interruption
    // Waits on the manual clock that have seen its present time and sleep. A change of the
    // clock, a post or a close wakes them all: each counts again only once it has looked
    // again and sleeps on.
    int sleeping = 0;
    unsigned wakes = 0;

    // Under the mutex.
    void wakeAll() {
        ++wakes;
        sleeping = 0;
        cv.notify_all();
    }
    void clockChanged() override {
        std::lock_guard<std::mutex> lock(mutex);
        wakeAll();
    }
    int asleep() override {
        std::lock_guard<std::mutex> lock(mutex);
        return sleeping;
    }
};

eventSem::eventSem() : impl_(new Impl) {}

eventSem::~eventSem() { delete impl_; }

int eventSem::Open() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->closed = false;
    return 0;
}

int eventSem::Close() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->closed = true;
    ++impl_->closings;
    impl_->wakeAll();
    return 0;
}

int eventSem::Reset() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->closed) return kFailed;
    impl_->posted = false;
    return 0;
}

int eventSem::Post() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->closed) return kFailed;
    impl_->posted = true;
    impl_->wakeAll();
    return 0;
}

int eventSem::Wait(int ms) {
    using namespace ovkhost::detail;
    // Registered for the whole wait, so that a change of the manual clock wakes it.
    struct Registration {
        ClockWaiter* w;
        explicit Registration(ClockWaiter* waiter) : w(waiter) { addClockWaiter(w); }
        ~Registration() { removeClockWaiter(w); }
    } registration(impl_);

    // Wrapping sum: the manual clock may stand anywhere, INT32_MAX included.
    const int32_t deadline = chTimeAdd(chTime(), ms);
    const auto realDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    std::unique_lock<std::mutex> lock(impl_->mutex);
    if (impl_->closed) return kFailed;
    const unsigned closings = impl_->closings;
    for (;;) {
        if (impl_->posted) return 0;
        if (impl_->closings != closings) return kInterrupted;
        if (ms < 0) {
            impl_->cv.wait(lock);
        } else if (manualClockEnabled()) {
            if (chTimeReached(chTime(), deadline)) return kTimeout;
            const unsigned wakes = impl_->wakes;
            ++impl_->sleeping;
            impl_->cv.wait(lock);
            if (impl_->wakes == wakes) --impl_->sleeping; // woken spuriously
        } else {
            if (std::chrono::steady_clock::now() >= realDeadline) return kTimeout;
            impl_->cv.wait_until(lock, realDeadline);
        }
    }
}
