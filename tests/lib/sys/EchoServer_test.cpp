// The server frame end to end: an echo daemon over a Unix socket and TCP on loopback.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>

#include <random>
#include <thread>

#include "FdLimit.h"
#include "EchoServer.h"
#include "TempRoot.h"

using namespace echo;
using Clock = std::chrono::steady_clock;

namespace {

std::string payloadOf(std::mt19937& rng, size_t n) {
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

// Waits until `cond` holds, at most 5 s.
template <class F>
bool eventually(F cond) {
    auto end = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < end) {
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return cond();
}

struct Mode {
    bool threaded;
    const char* name;
};

class EchoTest : public ::testing::TestWithParam<Mode> {
protected:
    TempRoot root;
    std::string path = root.at("/tmp/.echo");
};

// Many clients at once, half over the Unix socket and half over TCP, frames of every size
// from empty to several buffers long.
TEST_P(EchoTest, ServesManyClientsAtOnce) {
    EchoServer server(path, GetParam().threaded);
    constexpr int kClients = 16;
    std::atomic<int> good{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.emplace_back([&, i] {
            const bool tcp = i % 2;
            int fd = tcp ? connectTcp(server.port()) : connectUnix(path);
            if (fd < 0) return;
            std::mt19937 rng(i);
            bool ok = true;
            // The daemon's TCP sockets keep small kernel buffers: frames of several kilobytes
            // go over TCP at the pace of window probes, so TCP clients send shorter ones.
            for (int n = 0; n < 40 && ok; ++n) {
                size_t size = (n % 8 == 0) ? 0 : rng() % (tcp ? 900 : 6000);
                ok = roundTrip(fd, payloadOf(rng, size));
            }
            ::close(fd);
            if (ok) good++;
        });
    }
    for (auto& t : clients) t.join();
    EXPECT_EQ(good, kClients);
    EXPECT_TRUE(eventually([&] { return server.shared().closed == kClients; }));
    server.stop();
    EXPECT_EQ(server.endMessage().rfind("idle handler failing: ", 0), 0u) << server.endMessage();
}

// A client that disconnects in the middle of a frame, and one that stops sending in the
// middle of a frame (the read time-out), are dropped; the others go on being served.
TEST_P(EchoTest, DropsBrokenAndStalledClientsAndKeepsServing) {
    EchoServer server(path, GetParam().threaded, 200);
    int steady = connectUnix(path);
    ASSERT_GE(steady, 0);
    ASSERT_TRUE(roundTrip(steady, "before"));

    int quitter = connectTcp(server.port());
    ASSERT_GE(quitter, 0);
    std::string part = frame(std::string(1000, 'q')).substr(0, 14);
    ASSERT_TRUE(writeAll(quitter, part.data(), part.size()));
    ::close(quitter);
    EXPECT_TRUE(eventually([&] { return server.shared().closed == 1; }));
    EXPECT_TRUE(roundTrip(steady, "after a quitter"));

    int staller = connectUnix(path);
    ASSERT_GE(staller, 0);
    ASSERT_TRUE(roundTrip(staller, "first whole frame"));
    auto t0 = Clock::now();
    ASSERT_TRUE(writeAll(staller, part.data(), part.size()));
    char c;
    // The server gives up on the frame after its read time-out and closes the connection.
    ASSERT_TRUE(eventually([&] { return server.shared().closed == 2; }));
    EXPECT_EQ(::recv(staller, &c, 1, 0), 0);
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(190));
    ::close(staller);
    EXPECT_TRUE(roundTrip(steady, "after a staller"));
    ::close(steady);
}

// Every descriptor of the server and its clients is numbered above 1024.
TEST_P(EchoTest, ServesDescriptorsAbove1024) {
    FdLimit limit(1400);
    if (!limit.allowed()) GTEST_SKIP() << "hard limit too low";
    ASSERT_TRUE(limit.set());
    std::vector<int> filler;
    int devnull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    for (;;) {
        int fd = ::fcntl(devnull, F_DUPFD_CLOEXEC, 0);
        ASSERT_GE(fd, 0);
        filler.push_back(fd);
        if (fd >= 1100) break;
    }
    {
        EchoServer server(path, GetParam().threaded);
        std::vector<int> fds;
        for (int i = 0; i < 6; ++i) {
            int fd = (i % 2) ? connectTcp(server.port()) : connectUnix(path);
            ASSERT_GT(fd, 1024);
            fds.push_back(fd);
        }
        std::mt19937 rng(7);
        for (int round = 0; round < 5; ++round)
            for (int fd : fds) EXPECT_TRUE(roundTrip(fd, payloadOf(rng, 100 + rng() % 3000)));
        for (int fd : fds) ::close(fd);
        EXPECT_TRUE(eventually([&] { return server.shared().closed == 6; }));
    }
    for (int fd : filler) ::close(fd);
    ::close(devnull);
}

INSTANTIATE_TEST_SUITE_P(Modes, EchoTest,
                         ::testing::Values(Mode{false, "Selector"}, Mode{true, "Threads"}),
                         [](const auto& info) { return std::string(info.param.name); });

// The event writer's road: another thread writes 20-byte messages into every connection
// under its writer mutex. A client that never reads costs a bounded time, loses messages
// only whole, and does not hold up a client that reads.
TEST(EchoEvents, ClientThatDoesNotReadDoesNotStallTheWriter) {
    TempRoot root;
    const std::string path = root.at("/tmp/.echo");
    EchoServer server(path, true);
    int reader = connectUnix(path);
    int sleeper = connectTcp(server.port(), 2048);
    ASSERT_GE(reader, 0);
    ASSERT_GE(sleeper, 0);
    ASSERT_TRUE(roundTrip(reader, "hello"));
    ASSERT_TRUE(roundTrip(sleeper, "hello"));
    ASSERT_TRUE(eventually([&] {
        std::lock_guard<std::mutex> g(server.shared().lock);
        return server.shared().live.size() == 2;
    }));

    constexpr int kEvents = 5000;
    std::atomic<int> received{0};
    std::atomic<bool> readerOk{true};
    std::thread readerThread([&] {
        // The reading client takes every event as soon as it comes.
        for (int i = 0; i < kEvents; ++i) {
            unsigned char m[20];
            if (!readAll(reader, m, 20, 10000) || lengthOf(m) != 0xCE000001u) {
                readerOk = false;
                return;
            }
            uint32_t seq = lengthOf(m + 8);
            if (seq != static_cast<uint32_t>(i)) readerOk = false;
            received++;
        }
    });

    // The sleeper is the TCP client; the reader's connection keeps a long time-out so that
    // a busy machine cannot make it miss events.
    auto isSleeper = [](Connection* c) {
        sockaddr_storage a{};
        socklen_t len = sizeof a;
        ::getsockname(c->getDescriptor(), reinterpret_cast<sockaddr*>(&a), &len);
        return a.ss_family == AF_INET;
    };
    int sleeperFailures = 0, readerFailures = 0;
    Clock::duration sleeperWorst{}, sleeperTotal{};
    {
        std::lock_guard<std::mutex> g(server.shared().lock);
        for (Connection* c : server.shared().live) c->setWriteTimeout(isSleeper(c) ? 100 : 5000);
        for (int i = 0; i < kEvents; ++i) {
            unsigned char m[20] = {};
            uint32_t v[5] = {0xCE000001u, 0, static_cast<uint32_t>(i), 0x1234, 0x5678};
            std::memcpy(m, v, sizeof v);
            for (Connection* c : server.shared().live) {
                auto t0 = Clock::now();
                c->lockMutex(); // the event writer holds the mutex; writeMessage nests
                const bool failed = c->writeMessage(m, 20) != 0;
                c->unlockMutex();
                if (isSleeper(c)) {
                    sleeperFailures += failed;
                    sleeperWorst = std::max(sleeperWorst, Clock::now() - t0);
                    sleeperTotal += Clock::now() - t0;
                } else {
                    readerFailures += failed;
                }
            }
        }
    }
    readerThread.join();
    EXPECT_TRUE(readerOk);
    EXPECT_EQ(received, kEvents);
    EXPECT_EQ(readerFailures, 0);
    // The sleeper lost events; it cost about one time-out in all, not one per event.
    EXPECT_GT(sleeperFailures, 1);
    EXPECT_LT(sleeperWorst, std::chrono::milliseconds(1000));
    EXPECT_LT(sleeperTotal, std::chrono::milliseconds(1500));

    // What the sleeper finally reads is whole messages in rising order. A message cut by
    // the time-out is completed by the connection's next write.
    std::string got;
    char chunk[4096];
    while (readAll(sleeper, chunk, 1, 200)) {
        got.push_back(chunk[0]);
        ssize_t r = ::recv(sleeper, chunk, sizeof chunk, MSG_DONTWAIT);
        if (r > 0) got.append(chunk, static_cast<size_t>(r));
    }
    ASSERT_TRUE(writeAll(sleeper, frame("awake").data(), 9));
    const size_t rest = (20 - got.size() % 20) % 20;
    got.resize(got.size() + rest);
    ASSERT_TRUE(readAll(sleeper, &got[got.size() - rest], rest, 2000));
    // Then any message that was still queued whole, then the echo.
    unsigned char h[4];
    for (;;) {
        ASSERT_TRUE(readAll(sleeper, h, 4, 2000));
        if (lengthOf(h) != 0xCE000001u) break;
        got.append(reinterpret_cast<char*>(h), 4);
        got.resize(got.size() + 16);
        ASSERT_TRUE(readAll(sleeper, &got[got.size() - 16], 16, 2000));
    }
    EXPECT_EQ(lengthOf(h), 5u);
    char back[5];
    ASSERT_TRUE(readAll(sleeper, back, 5, 2000));
    EXPECT_EQ(std::string(back, 5), "awake");

    uint32_t last = 0;
    int count = 0;
    for (size_t off = 0; off < got.size(); off += 20) {
        const auto* m = reinterpret_cast<const unsigned char*>(got.data() + off);
        EXPECT_EQ(lengthOf(m), 0xCE000001u);
        uint32_t seq = lengthOf(m + 8);
        if (count > 0) {
            EXPECT_GT(seq, last);
        }
        EXPECT_EQ(lengthOf(m + 12), 0x1234u);
        EXPECT_EQ(lengthOf(m + 16), 0x5678u);
        last = seq;
        count++;
    }
    EXPECT_GT(count, 0);
    EXPECT_LT(count, kEvents);
    ::close(reader);
    ::close(sleeper);
}

} // namespace
