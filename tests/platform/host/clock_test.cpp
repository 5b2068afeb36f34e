// chTime and chSleep: wrap-safe comparison and the manual clock.
#include "ovkhost.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>

namespace {

TEST(Clock, DifferencesAcrossTheWrap) {
    struct {
        int32_t later, earlier, diff;
    } cases[] = {
        {10, 3, 7},
        {INT32_MIN + 5, INT32_MAX - 5, 11}, // across INT32_MAX
        {0, -1, 1},
        {INT32_MAX - 5, INT32_MIN + 5, -11},
    };
    for (auto& c : cases) {
        EXPECT_EQ(chTimeDiff(c.later, c.earlier), c.diff) << c.later << " - " << c.earlier;
        EXPECT_EQ(chTimeReached(c.later, c.earlier), c.diff >= 0);
        EXPECT_TRUE(chTimeReached(c.later, c.later));
    }
}

TEST(Clock, ManualClockAndSleep) {
    ovkhost::useManualClock(true);
    ovkhost::setClock(INT32_MAX - 100);
    const int32_t before = chTime();
    auto real = std::chrono::steady_clock::now();
    chSleep(250);
    chSleep(60000); // a minute passes at once
    EXPECT_LT(std::chrono::steady_clock::now() - real, std::chrono::seconds(1));
    EXPECT_EQ(chTime(), INT32_MIN + 149 + 60000);
    EXPECT_EQ(chTimeDiff(chTime(), before), 60250);
    ovkhost::advanceClock(-250);
    EXPECT_EQ(chTimeDiff(chTime(), before), 60000);
    ovkhost::useManualClock(false);
}

TEST(Clock, RealClockCountsMilliseconds) {
    const int32_t t0 = chTime();
    auto real0 = std::chrono::steady_clock::now();
    chSleep(20);
    const int32_t t1 = chTime();
    auto realMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - real0)
                      .count();
    EXPECT_GE(chTimeDiff(t1, t0), 19);
    EXPECT_LE(chTimeDiff(t1, t0), realMs + 1);
}

} // namespace
