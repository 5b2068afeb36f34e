// ServiceConnection: buffer ownership, the bounded default write, and writers that hold the
// mutex while the connection is closed.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "OutboundFlusher.h"
#include "ServiceConnection.h"
#include "SocketPair.h"

namespace {

struct Conn : ServiceConnection {
    using ServiceConnection::ServiceConnection;
    // As every connection with an outbound queue: out of the flusher before it goes.
    ~Conn() override { leaveOutboundFlusher(); }
    int handleInput(Selector*) override { return 0; }
};

TEST(ServiceConnectionTest, BufferOwnershipAndDescriptor) {
    SocketPair p;
    sockbuf given(p.fd[0]);
    p.fd[0] = -1;
    {
        Conn c(&given);
        EXPECT_TRUE(c.good());
        EXPECT_EQ(c.getDescriptor(), given.getDescriptor());
        EXPECT_EQ(c.writeMessage("hey", 3), 0);
        char buf[3];
        ASSERT_EQ(::recv(p.fd[1], buf, 3, 0), 3);
    }
    EXPECT_EQ(given.getDescriptor(), -1); // closed, not deleted

    SocketPair q;
    auto* owned = new sockbuf(q.fd[0]);
    q.fd[0] = -1;
    auto* c = new Conn(owned, true);
    EXPECT_EQ(c->writeMessage("x", 1), 0);
    delete c; // deletes `owned` as well (a leak or a double free shows under the sanitizers)
    char ch;
    EXPECT_EQ(::recv(q.fd[1], &ch, 1, 0), 1);
    EXPECT_EQ(::recv(q.fd[1], &ch, 1, 0), 0);

    Conn none(nullptr);
    EXPECT_TRUE(none.bad());
    EXPECT_EQ(none.getDescriptor(), -1);
    EXPECT_EQ(none.writeMessage("x", 1), -1);
}

// Writes are bounded by default; a failed write shows in the writer's state only.
TEST(ServiceConnectionTest, DefaultWriteIsBounded) {
    SocketPair p;
    Conn c(new sockbuf(p.fd[0]), true);
    p.fd[0] = -1;
    EXPECT_EQ(c.setWriteTimeout(150), ServiceConnection::DEFAULT_WRITE_TIMEOUT);
    EXPECT_EQ(c.setWriteTimeout(ServiceConnection::DEFAULT_WRITE_TIMEOUT), 150);
    EXPECT_GT(ServiceConnection::DEFAULT_WRITE_TIMEOUT, 0);
    c.setWriteTimeout(100);
    char msg[20] = {};
    auto t0 = std::chrono::steady_clock::now();
    int failures = 0;
    for (int i = 0; i < 20000 && failures == 0; ++i)
        if (c.writeMessage(msg, 20) != 0) failures++;
    EXPECT_EQ(failures, 1);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
    EXPECT_TRUE(c.writer().fail());
    EXPECT_TRUE(c.good());
}

// close() waits for a writer that is inside writeMessage.
TEST(ServiceConnectionTest, CloseWaitsForTheWriter) {
    SocketPair p;
    Conn c(new sockbuf(p.fd[0]), true);
    p.fd[0] = -1;
    c.setWriteTimeout(200);
    std::string big(1 << 20, 'b');
    std::atomic<bool> started{false};
    std::atomic<int> result{1};
    std::thread writer([&] {
        c.lockMutex();
        started = true;
        result = c.writeMessage(big.data(), static_cast<int>(big.size()));
        c.unlockMutex();
    });
    while (!started) std::this_thread::yield();
    auto t0 = std::chrono::steady_clock::now();
    c.close();
    auto waited = std::chrono::steady_clock::now() - t0;
    writer.join();
    EXPECT_EQ(result, -1);
    EXPECT_GE(waited, std::chrono::milliseconds(100));
    EXPECT_EQ(c.getDescriptor(), -1);
}

} // namespace

namespace {

// Output queued in the moment between a flush that empties the queue and the flusher letting
// go of the connection still goes out, with no further write: the connection stays pending.
TEST(ServiceConnectionTest, QueuedOutputGoesOutWhileTheFlusherEmptiesTheQueue) {
    SocketPair p;
    const int small = 4096;
    ::setsockopt(p.fd[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    ::setsockopt(p.fd[1], SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    Conn c(new sockbuf(p.fd[0]), true);
    p.fd[0] = -1;
    c.enableOutboundQueue(4 << 20);
    // Each message is far more than the socket holds: most of it waits in the queue.
    constexpr size_t kMessage = 256 * 1024;
    const std::vector<char> first(kMessage, 'a'), second(kMessage, 'b');
    ASSERT_EQ(c.writeMessage(first.data(), static_cast<int>(kMessage)), 0);
    int atPeer = 0;
    ASSERT_EQ(::ioctl(p.fd[1], FIONREAD, &atPeer), 0);
    ASSERT_LT(static_cast<size_t>(atPeer), kMessage) << "nothing was queued";

    // The second message is written once the flusher has sent the last of the first, before
    // it lets go of the connection.
    std::atomic<bool> fired{false};
    std::atomic<int> secondResult{1};
    OutboundFlusher::instance().setAfterFlushForTest([&](ServiceConnection* conn, bool done) {
        if (conn != &c || !done || fired.exchange(true)) return;
        secondResult = c.writeMessage(second.data(), static_cast<int>(kMessage));
    });

    std::string received;
    char buf[4096];
    while (received.size() < 2 * kMessage) {
        pollfd pfd{p.fd[1], POLLIN, 0};
        // Long enough for a loaded machine; the bytes come at once when nothing is lost.
        if (::poll(&pfd, 1, 5000) != 1) break;
        const ssize_t n = ::recv(p.fd[1], buf, sizeof buf, 0);
        if (n <= 0) break;
        received.append(buf, static_cast<size_t>(n));
    }
    OutboundFlusher::instance().setAfterFlushForTest({});
    EXPECT_TRUE(fired.load());
    EXPECT_EQ(secondResult.load(), 0);
    ASSERT_EQ(received.size(), 2 * kMessage) << "output stayed in the queue";
    EXPECT_EQ(received, std::string(first.begin(), first.end()) + std::string(second.begin(), second.end()));
}

} // namespace
