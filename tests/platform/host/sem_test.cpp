// mutexSem ownership and waits; eventSem posting and time-outs on the manual clock.
#include "ovkclockwaits.h"
#include "ovkhost.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace {

using namespace std::chrono_literals;

TEST(MutexSem, RecursiveAndOwnerChecked) {
    mutexSem m;
    ASSERT_EQ(m.Open(), 0);
    EXPECT_EQ(m.Owner(), 0UL);
    EXPECT_EQ(m.Release(), 315); // not held at all
    ASSERT_EQ(m.Acquire(15), 0);
    ASSERT_EQ(m.Acquire(15), 0); // the owner may take it again
    EXPECT_EQ(m.Owner(), chGetThreadId());
    EXPECT_TRUE(m.HeldByCaller());

    // Another thread can neither release it nor take it while it is held.
    std::async(std::launch::async, [&] {
        EXPECT_FALSE(m.HeldByCaller());
        EXPECT_NE(m.Release(), 0);
        EXPECT_EQ(m.Acquire(20), 329);
    }).get();
    EXPECT_EQ(m.Owner(), chGetThreadId());

    EXPECT_EQ(m.Release(), 0);
    EXPECT_EQ(m.Owner(), chGetThreadId()); // still held once
    EXPECT_EQ(m.Release(), 0);
    EXPECT_EQ(m.Owner(), 0UL);
    EXPECT_NE(m.Release(), 0);
    EXPECT_EQ(m.Close(), 0);
}

TEST(MutexSem, Acquire15WaitsUntilTheOwnerReleases) {
    mutexSem m;
    std::promise<void> held, letGo;
    std::thread owner([&] {
        ASSERT_EQ(m.Acquire(15), 0);
        held.set_value();
        letGo.get_future().wait();
        EXPECT_EQ(m.Release(), 0);
    });
    held.get_future().wait();
    const unsigned long ownerId = m.Owner();
    EXPECT_NE(ownerId, 0UL);

    std::atomic<bool> acquired{false};
    std::thread waiter([&] {
        EXPECT_EQ(m.Acquire(15), 0); // far longer than the 15 ms it might be mistaken for
        acquired = true;
        EXPECT_EQ(m.Release(), 0);
    });
    std::this_thread::sleep_for(60ms);
    EXPECT_FALSE(acquired.load());
    EXPECT_EQ(m.Owner(), ownerId);
    letGo.set_value();
    owner.join();
    waiter.join();
    EXPECT_TRUE(acquired.load());
    EXPECT_EQ(m.Owner(), 0UL);
}

TEST(EventSem, PostStaysUntilReset) {
    eventSem e;
    ASSERT_EQ(e.Open(), 0);
    EXPECT_EQ(e.Wait(0), 329);
    EXPECT_EQ(e.Post(), 0);
    EXPECT_EQ(e.Wait(0), 0);
    EXPECT_EQ(e.Wait(-1), 0); // still posted
    EXPECT_EQ(e.Reset(), 0);
    EXPECT_EQ(e.Wait(0), 329);
    EXPECT_EQ(e.Close(), 0);
    EXPECT_NE(e.Wait(0), 0); // closed: neither posted nor a time-out
    EXPECT_NE(e.Post(), 0);
    EXPECT_EQ(e.Open(), 0);
    EXPECT_EQ(e.Post(), 0);
    EXPECT_EQ(e.Wait(0), 0);
}

TEST(EventSem, PostFromAnotherThreadWakesTheWaiter) {
    eventSem e;
    e.Open();
    auto waiting = std::async(std::launch::async, [&] { return e.Wait(-1); });
    EXPECT_EQ(e.Post(), 0);
    EXPECT_EQ(waiting.get(), 0);
}

class ManualClock : public ::testing::Test {
protected:
    void SetUp() override { ovkhost::useManualClock(true); }
    void TearDown() override { ovkhost::useManualClock(false); }
};

TEST_F(ManualClock, EventWaitTimesOutWhenTheClockPassesItsDeadline) {
    ovkhost::setClock(INT32_MAX - 40); // the deadline lies beyond the wrap
    const int32_t start = chTime();
    eventSem e;
    e.Open();
    auto waiting = std::async(std::launch::async, [&] {
        int rc = e.Wait(100);
        return std::make_pair(rc, chTime());
    });
    // Advance in small steps until the waiter gives up; it must not give up early.
    for (int i = 0; i < 5000 && waiting.wait_for(1ms) != std::future_status::ready; ++i)
        ovkhost::advanceClock(10);
    ASSERT_EQ(waiting.wait_for(0ms), std::future_status::ready);
    auto [rc, at] = waiting.get();
    EXPECT_EQ(rc, 329);
    EXPECT_GE(chTimeDiff(at, start), 100);
}

TEST_F(ManualClock, TwoWaitsOnOneSemaphoreBothFollowTheClock) {
    ovkhost::setClock(0);
    eventSem e;
    e.Open();
    auto shorter = std::async(std::launch::async, [&] { return e.Wait(100); });
    auto longer = std::async(std::launch::async, [&] { return e.Wait(300); });
    // The shorter wait ending must leave the longer one woken by the clock still.
    for (int i = 0; i < 5000 && longer.wait_for(1ms) != std::future_status::ready; ++i)
        ovkhost::advanceClock(10);
    if (longer.wait_for(0ms) != std::future_status::ready) e.Close(); // ends a stuck wait (332)
    EXPECT_EQ(shorter.get(), 329);
    EXPECT_EQ(longer.get(), 329);
}

TEST_F(ManualClock, AWaitCountsAsAsleepOnlyWhileItSleepsOnTheClock) {
    ovkhost::setClock(0);
    eventSem e;
    e.Open();
    EXPECT_EQ(ovkhost::clockWaitsAsleep(), 0);
    auto waiting = std::async(std::launch::async, [&] { return e.Wait(1000); });
    for (int i = 0; i < 10000 && ovkhost::clockWaitsAsleep() == 0; ++i) std::this_thread::sleep_for(1ms);
    ASSERT_EQ(ovkhost::clockWaitsAsleep(), 1);
    // A change of the clock wakes it; it sleeps again once it has looked at the new time (it
    // may have done so before this thread looks, so only the sleeping again is checked).
    ovkhost::advanceClock(10);
    for (int i = 0; i < 10000 && ovkhost::clockWaitsAsleep() == 0; ++i) std::this_thread::sleep_for(1ms);
    ASSERT_EQ(ovkhost::clockWaitsAsleep(), 1);
    // Posted, it is awake at once, before its thread runs.
    EXPECT_EQ(e.Post(), 0);
    EXPECT_EQ(ovkhost::clockWaitsAsleep(), 0);
    EXPECT_EQ(waiting.get(), 0);
}

TEST_F(ManualClock, PostBeatsTheDeadline) {
    ovkhost::setClock(0);
    eventSem e;
    e.Open();
    auto waiting = std::async(std::launch::async, [&] { return e.Wait(250); });
    ovkhost::advanceClock(249);
    EXPECT_EQ(e.Post(), 0);
    EXPECT_EQ(waiting.get(), 0);
}

} // namespace
