// The polling thread's cadence and its end.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "SlotPoller.h"

namespace {

TEST(SlotPoller, SleepsBetweenRoundsAndEndsWhenAsked) {
    SlotPoller poller(20);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(poller.Start());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const unsigned long rounds = poller.Rounds();
    // The sleep can last longer on a loaded machine: the bound follows the time it took.
    const auto slept = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    EXPECT_GE(rounds, 3u);
    EXPECT_LE(rounds, static_cast<unsigned long>(slept.count() / 20 + 2)) // one round per 20 ms, never a busy loop
        << rounds << " rounds in " << slept.count() << " ms";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(poller.StopAdapters(1000)); // no system object: nothing runs
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_TRUE(poller.StopAdapters(1000)); // again: nothing left to stop
}

} // namespace
