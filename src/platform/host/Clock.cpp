#include "Clock.h"

#include "ovkclockwaits.h"
#include "ovkhost.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

namespace ovkhost {
namespace detail {
namespace {

std::chrono::steady_clock::time_point startTime() {
    static const auto start = std::chrono::steady_clock::now();
    return start;
}

// Test seam, for tests only: OVK_TEST_CLOCK_START (milliseconds, decimal or 0x-hex, below
// 2^32) is the count the clock starts from instead of 0, so that a test can run a daemon
// whose clock passes its 32-bit wrap within seconds. Read once, when the library is loaded;
// nothing else reads it.
uint32_t startCount() {
    static const uint32_t count = [] {
        const char* text = std::getenv("OVK_TEST_CLOCK_START");
        if (!text || !*text) return 0u;
        char* end = nullptr;
        errno = 0;
        const unsigned long long value = std::strtoull(text, &end, 0);
        if (errno != 0 || *end != '\0' || value > UINT32_MAX) return 0u;
        return static_cast<uint32_t>(value);
    }();
    return count;
}

// Fix the start when the library is loaded, not at the first call.
[[maybe_unused]] const bool startFixed = (startTime(), startCount(), true);

std::atomic<bool> manual{false};
std::atomic<uint32_t> manualNow{0};

std::mutex waitersMutex;
// Each waiter with the number of waits registered on it: the last of them to end removes it.
std::map<ClockWaiter*, int>& waiters() {
    static auto* w = new std::map<ClockWaiter*, int>;
    return *w;
}

void notifyWaiters() {
    std::lock_guard<std::mutex> lock(waitersMutex);
    for (const auto& entry : waiters()) entry.first->clockChanged();
}

} // namespace

bool manualClockEnabled() { return manual.load(); }

void addClockWaiter(ClockWaiter* waiter) {
    std::lock_guard<std::mutex> lock(waitersMutex);
    ++waiters()[waiter];
}

void removeClockWaiter(ClockWaiter* waiter) {
    std::lock_guard<std::mutex> lock(waitersMutex);
    auto it = waiters().find(waiter);
    if (it != waiters().end() && --it->second <= 0) waiters().erase(it);
}

} // namespace detail

void useManualClock(bool enabled) {
    detail::manual = enabled;
    detail::notifyWaiters();
}

void setClock(int32_t ms) {
    detail::manualNow = static_cast<uint32_t>(ms);
    detail::notifyWaiters();
}

void advanceClock(int32_t ms) {
    detail::manualNow.fetch_add(static_cast<uint32_t>(ms));
    detail::notifyWaiters();
}

int clockWaitsAsleep() {
    std::lock_guard<std::mutex> lock(detail::waitersMutex);
    int n = 0;
    for (const auto& entry : detail::waiters()) n += entry.first->asleep();
    return n;
}

} // namespace ovkhost

int32_t chTime() {
    if (ovkhost::detail::manual.load())
        return static_cast<int32_t>(ovkhost::detail::manualNow.load());
    auto elapsed = std::chrono::steady_clock::now() - ovkhost::detail::startTime();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    // Keep the low 32 bits: the count wraps, and callers compare with chTimeDiff.
    const uint32_t count = ovkhost::detail::startCount() + static_cast<uint32_t>(static_cast<uint64_t>(ms));
    return static_cast<int32_t>(count);
}

void chSleep(int ms) {
    if (ovkhost::detail::manual.load()) {
        if (ms > 0) ovkhost::advanceClock(ms);
        std::this_thread::yield(); // let the threads that wait on the clock run
        return;
    }
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
