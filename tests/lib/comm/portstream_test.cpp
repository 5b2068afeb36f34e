#include "Device.h"
#include "PortControl.h"
#include "PortStream.h"
#include "PtyPorts.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace {

class PortStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        ptys.add(0);
        fd = portctl::openSerial(ptys.prefix() + "0", -1);
        ASSERT_GE(fd, 0);
        master = ptys.master(0);
    }
    void TearDown() override { portctl::closeSerial(fd, -1); }
    void type(const std::string& bytes) {
        ASSERT_EQ(::write(master, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        // Wait until the line has passed them on.
        ASSERT_EQ(portio::waitReadable(fd, 5000), portio::Readable);
        for (int i = 0; i < 500 && portio::waiting(fd) < int(bytes.size()); ++i) usleep(1000);
    }
    PtyPorts ptys;
    int fd = -1;
    int master = -1;
};

TEST_F(PortStreamTest, ATimedReadWithNoInputTimesOut) {
    uint8_t buf[4];
    bool timedOut = false;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(portio::readSome(fd, 100, buf, 4, timedOut), -1);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(timedOut);
    EXPECT_GE(took, std::chrono::milliseconds(90));
    EXPECT_EQ(portio::readOne(fd, 50), -1);
}

TEST_F(PortStreamTest, AReadTakesAtMostWhatIsAsked) {
    type("abcdefghijklmnopqrstuvwxy");
    EXPECT_EQ(portio::waiting(fd), 25);
    uint8_t buf[32] = {};
    bool timedOut = true;
    ASSERT_EQ(portio::readSome(fd, 1000, buf, 10, timedOut), 10);
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 10), "abcdefghij");
    EXPECT_EQ(portio::readOne(fd, 1000), 'k');
    EXPECT_EQ(portio::readSome(fd, 0, buf, 32, timedOut), 14) << "blocking read";
}

TEST_F(PortStreamTest, WrittenBytesReachTheOtherSide) {
    const char text[] = "hello, port";
    ASSERT_EQ(portio::writeAll(fd, reinterpret_cast<const uint8_t*>(text), 11), 11);
    char got[32] = {};
    size_t n = 0;
    for (int i = 0; i < 100 && n < 11; ++i) {
        ssize_t r = ::read(master, got + n, sizeof got - n);
        if (r > 0) n += size_t(r);
    }
    EXPECT_EQ(std::string(got, n), "hello, port");
}

TEST(PortStreamErrors, FailedWritesAndWaitsReportMinusOne) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ::close(fds[0]);
    signal(SIGPIPE, SIG_IGN);
    const uint8_t b[3] = {1, 2, 3};
    EXPECT_EQ(portio::writeAll(fds[1], b, 3), -1) << "nothing written is a failure";
    EXPECT_EQ(portio::writeAll(fds[1], b, 0), 0);
    ::close(fds[1]);
    EXPECT_EQ(portio::waitReadable(fds[1], 10), portio::Failed) << "closed descriptor";
    EXPECT_EQ(portio::waiting(fds[1]), -1);
}

} // namespace
