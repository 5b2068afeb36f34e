// The event queue of descriptor 0.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "posqueue.h"

using Clock = std::chrono::steady_clock;

namespace {
_POSQMSG rec(uint32_t n) { return _POSQMSG{1, 0x4000 + n, n, n * 2}; }
long msSince(Clock::time_point t) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}
} // namespace

TEST(PosQueue, HoldsNinetyNineRecordsAndRefusesTheHundredth) {
    PosQueue q;
    for (uint32_t i = 0; i < 99; ++i) {
        _POSQMSG r = rec(i);
        ASSERT_EQ(q.write(&r), 16) << i;
    }
    _POSQMSG extra = rec(99);
    errno = 0;
    EXPECT_EQ(q.write(&extra), -1);
    EXPECT_EQ(errno, POSERR_SYS_DATA_DISCARDED);
    for (uint32_t i = 0; i < 99; ++i) {
        _POSQMSG m{};
        ASSERT_EQ(q.read(&m), 16);
        EXPECT_EQ(m.msg, 0x4000 + i);
        EXPECT_EQ(m.p2, i * 2);
    }
    _POSQMSG m{};
    EXPECT_EQ(q.read(&m), -1);
    // The ring wraps: it takes 99 again.
    for (uint32_t i = 0; i < 99; ++i) {
        _POSQMSG r = rec(i);
        ASSERT_EQ(q.write(&r), 16);
    }
    EXPECT_EQ(q.write(&extra), -1);
}

TEST(PosQueue, TimeoutZeroDoesNotWait) {
    PosQueue q;
    EXPECT_EQ(q.getReadTimeout(), 0);
    _POSQMSG m{};
    auto start = Clock::now();
    errno = 0;
    EXPECT_EQ(q.read(&m), -1);
    EXPECT_EQ(errno, POSERR_SYS_TIMEOUT);
    EXPECT_LT(msSince(start), 100);
}

TEST(PosQueue, TimedReadWaitsUntilTheDeadlineThroughSpuriousWakeUps) {
    PosQueue q;
    q.setReadTimeout(300);
    EXPECT_EQ(q.getReadTimeout(), 300);
    std::atomic<bool> done{false};
    std::thread poker([&] {
        while (!done) {
            q.wakeForTesting();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    _POSQMSG m{};
    auto start = Clock::now();
    errno = 0;
    int r = q.read(&m);
    long waited = msSince(start);
    done = true;
    poker.join();
    EXPECT_EQ(r, -1);
    EXPECT_EQ(errno, POSERR_SYS_TIMEOUT);
    EXPECT_GE(waited, 295);
}

TEST(PosQueue, WaitingReaderGetsTheRecordWritten) {
    for (long timeout : {-1L, 5000L}) {
        PosQueue q;
        q.setReadTimeout(timeout);
        std::thread writer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            _POSQMSG r = rec(7);
            q.write(&r);
        });
        _POSQMSG m{};
        EXPECT_EQ(q.read(&m), 16) << timeout;
        EXPECT_EQ(m.msg, 0x4007u);
        writer.join();
    }
}
