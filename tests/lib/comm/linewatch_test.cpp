#include "Device.h"
#include "LineWatch.h"
#include "PortControl.h"
#include "PtyPorts.h"
#include "fakedev.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <thread>

namespace {

class LineWatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        fakedev::reset();
        ovkCommSetDevOps(fakedev::ops());
        node = ptys.add(0);
        fakedev::addPort(node);
        fd = portctl::openSerial(node, -1);
        ASSERT_GE(fd, 0);
    }
    void TearDown() override {
        portctl::closeSerial(fd, -1);
        ovkCommSetDevOps(nullptr);
        fakedev::reset();
    }
    // Passes of the loop until `count` transitions came (or 200 passes).
    std::vector<LineWatch::Transition> collect(LineWatch& watch,
                                               std::unique_lock<std::mutex>& held, size_t count) {
        std::vector<LineWatch::Transition> all;
        for (int i = 0; i < 200 && all.size() < count; ++i) {
            auto pass = watch.next(held, 20);
            all.insert(all.end(), pass.transitions.begin(), pass.transitions.end());
        }
        return all;
    }
    PtyPorts ptys;
    std::string node;
    int fd = -1;
};

TEST_F(LineWatchTest, TwoCtsTransitionsAreReportedInOrder) {
    LineWatch watch(fd);
    std::unique_lock<std::mutex> held(watch.mutex());
    watch.start();
    held.unlock();
    while (!watch.watching()) std::this_thread::yield();
    held.lock();
    // Both changes come while the loop waits, before it can report the first.
    std::thread changer([&] {
        fakedev::toggleLines(node, TIOCM_CTS);
        fakedev::toggleLines(node, TIOCM_CTS);
    });
    auto t = collect(watch, held, 2);
    changer.join();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].line, TIOCM_CTS);
    EXPECT_FALSE(t[0].before);
    EXPECT_TRUE(t[0].after);
    EXPECT_EQ(t[1].line, TIOCM_CTS);
    EXPECT_TRUE(t[1].before);
    EXPECT_FALSE(t[1].after);
    held.unlock();
    watch.stop();
    EXPECT_FALSE(watch.failed());
}

TEST_F(LineWatchTest, LinesComeInReportingOrderAndBytesWaitingAreTold) {
    LineWatch watch(fd);
    std::unique_lock<std::mutex> held(watch.mutex());
    watch.start();
    held.unlock();
    while (!watch.watching()) std::this_thread::yield();
    ASSERT_EQ(::write(ptys.master(0), "xyz", 3), 3);
    // The pty hands the bytes over to the port later, on a kernel worker: wait until they are
    // there, so that the lines' change finds them waiting.
    struct pollfd in = {fd, POLLIN, 0};
    ASSERT_EQ(::poll(&in, 1, 10000), 1);
    held.lock();
    std::thread changer([&] { fakedev::toggleLines(node, TIOCM_RNG | TIOCM_DSR | TIOCM_CD); });
    std::vector<LineWatch::Transition> all;
    int bytes = 0;
    for (int i = 0; i < 1000 && all.size() < 3; ++i) {
        auto pass = watch.next(held, 20);
        all.insert(all.end(), pass.transitions.begin(), pass.transitions.end());
        bytes = std::max(bytes, pass.bytes);
    }
    changer.join();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].line, TIOCM_CD);
    EXPECT_EQ(all[1].line, TIOCM_DSR);
    EXPECT_EQ(all[2].line, TIOCM_RNG);
    EXPECT_EQ(bytes, 3);
    held.unlock();
}

TEST_F(LineWatchTest, APortWithoutCountersEndsTheWatch) {
    fakedev::refuseCounters(node);
    LineWatch watch(fd);
    {
        std::unique_lock<std::mutex> held(watch.mutex());
        watch.start();
    }
    while (!watch.watching()) std::this_thread::yield();
    watch.stop();
    EXPECT_TRUE(watch.failed());
}

} // namespace
