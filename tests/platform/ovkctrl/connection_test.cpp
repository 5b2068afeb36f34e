// A client connection over a socket pair, with the stand-in core: requests answered one at a
// time, and every way the connection ends takes the process down before the socket closes.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "ClientConnection.h"
#include "PeerId.h"
#include "StandIns.h"
#include "ovkwire.h"

using namespace ovkwire;
using ctrltest::CoreLog;
using ctrltest::StandInHost;

namespace {

class ConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        int sv[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv), 0);
        peer_ = sv[0];
        auto* sb = new sockbuf(sv[1]);
        connection_.reset(new ClientConnection(sb, host_, 555));
        ASSERT_TRUE(connection_->Start());
    }
    void TearDown() override {
        connection_.reset();
        if (peer_ >= 0) ::close(peer_);
    }

    template <class R>
    void Send(const R& r) {
        std::vector<uint8_t> out(MESSAGE_BUFFER_SIZE);
        size_t n = encodeRequest(out.data(), out.size(), r);
        ASSERT_EQ(::send(peer_, out.data(), n, MSG_NOSIGNAL), static_cast<ssize_t>(n));
    }
    void SendBytes(const std::vector<uint8_t>& b) {
        ASSERT_EQ(::send(peer_, b.data(), b.size(), MSG_NOSIGNAL), static_cast<ssize_t>(b.size()));
    }

    // The next reply's header; rc INT32_MIN when none came within 5 s.
    ReplyHeader NextReply() {
        ReplyHeader h;
        h.rc = INT32_MIN;
        std::vector<uint8_t> in;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            ServerMessage m;
            DecodeResult r = decodeServerMessage(in.data(), in.size(), m);
            if (r.status == DecodeResult::Ok && m.kind == ServerMessage::Reply) return m.reply;
            pollfd p{peer_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            uint8_t buf[1024];
            ssize_t n = ::recv(peer_, buf, sizeof buf, 0);
            if (n <= 0) break;
            in.insert(in.end(), buf, buf + n);
        }
        return h;
    }

    bool WaitFinished() {
        for (int i = 0; i < 500 && !connection_->Finished(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return connection_->Finished();
    }

    bool PeerSeesEnd() {
        pollfd p{peer_, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) return false;
        uint8_t b[64];
        return ::recv(peer_, b, sizeof b, 0) == 0;
    }

    void Initialize() {
        InitializeRequest r;
        r.handle = 1;
        r.applName = "shop";
        r.resFile = "shop.res";
        Send(r);
        ASSERT_EQ(NextReply().rc, 0);
    }

    CoreLog log_;
    StandInHost host_{log_};
    int peer_ = -1;
    std::unique_ptr<ClientConnection> connection_;
};

TEST_F(ConnectionTest, AnswersRequestsInTurnAndEndsTheProcessWhenTheClientGoes) {
    Initialize();
    Send(VersionRequest{2});
    Send(CloseRequest{3, 4});
    ReplyHeader v = NextReply();
    EXPECT_EQ(v.handle, 2u);
    EXPECT_EQ(v.rc, 0);
    ::shutdown(peer_, SHUT_WR);
    ASSERT_TRUE(WaitFinished());
    EXPECT_TRUE(log_.has("close 4"));
    EXPECT_TRUE(log_.has("remove 555"));
    EXPECT_EQ(log_.processes, 0);
}

TEST_F(ConnectionTest, ARequestThatCannotBeDecodedClosesTheConnection) {
    Initialize();
    // An IOCtl argument item whose name runs past the block.
    std::vector<uint8_t> bad(IOCTL_FIXED_SIZE + 8, 0);
    putU32(bad.data(), REQ_IOCTL);
    putU32(bad.data() + 4, 9);
    putU16(bad.data() + 12, 8);
    putU16(bad.data() + 14, 1);
    bad[16] = 1;  // integer item
    bad[17] = 40; // name of 40 bytes in an 8-byte block
    putU16(bad.data() + 18, 4);
    SendBytes(bad);
    EXPECT_TRUE(PeerSeesEnd());
    ASSERT_TRUE(WaitFinished());
    EXPECT_FALSE(log_.has("ioctl 0 0"));
    EXPECT_TRUE(log_.has("remove 555"));
    EXPECT_EQ(log_.processes, 0);
}

TEST_F(ConnectionTest, StopEndsAConnectionWaitingForARequest) {
    Initialize();
    std::vector<uint8_t> half = {0x03, 0x00, 0x00}; // part of a header
    SendBytes(half);
    connection_->Stop();
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(log_.processes, 0);
    EXPECT_TRUE(PeerSeesEnd());
}

TEST_F(ConnectionTest, AClientThatStopsReadingIsClosedOnceAReplyCannotGoOut) {
    Initialize();
    // Requests without reading their replies: once the socket's buffers are full, the next
    // reply waits out the write time-out and the connection ends.
    std::vector<uint8_t> version(8);
    putU32(version.data(), REQ_VERSION);
    const auto start = std::chrono::steady_clock::now();
    while (!connection_->Finished() &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
        pollfd p{peer_, POLLOUT, 0};
        if (::poll(&p, 1, 50) > 0 && (p.revents & POLLOUT))
            ::send(peer_, version.data(), version.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    ASSERT_TRUE(connection_->Finished());
    EXPECT_EQ(log_.processes, 0);
}

// Another connection whose client reads all the time while it is written to without end:
// it keeps the outbound flusher going round.
class BusyConnection {
public:
    BusyConnection() {
        int sv[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv), 0);
        peer_ = sv[0];
        const int small = 4096;
        ::setsockopt(sv[1], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
        connection_.reset(new Plain(new sockbuf(sv[1])));
        connection_->enableOutboundQueue(1 << 20);
        writer_ = std::thread([this] {
            const std::vector<uint8_t> chunk(512, 0x55);
            size_t written = 0;
            while (!stop_) {
                // A little ahead of the reader, never near the queue's bound.
                if (written - received_.load(std::memory_order_relaxed) > 8192) {
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
                    continue;
                }
                if (connection_->writeMessage(chunk.data(), static_cast<int>(chunk.size())) != 0) break;
                written += chunk.size();
            }
        });
        reader_ = std::thread([this] {
            uint8_t buf[4096];
            for (;;) {
                const ssize_t n = ::recv(peer_, buf, sizeof buf, 0);
                if (n <= 0) break;
                received_.fetch_add(static_cast<size_t>(n), std::memory_order_relaxed);
            }
        });
    }
    ~BusyConnection() {
        stop_ = true;
        writer_.join();
        ::shutdown(peer_, SHUT_RDWR);
        reader_.join();
        connection_.reset();
        ::close(peer_);
    }
    // Bytes the client has read, loaded without ordering anything after the flusher's sends.
    size_t ReceivedUnsynchronised() const { return received_.load(std::memory_order_relaxed); }

private:
    struct Plain : ServiceConnection {
        explicit Plain(sockbuf* sb) : ServiceConnection(sb, true) {}
        // As every connection with an outbound queue: out of the flusher before it goes.
        ~Plain() override { leaveOutboundFlusher(); }
        int handleInput(Selector*) override { return 0; }
    };
    int peer_ = -1;
    std::unique_ptr<Plain> connection_;
    std::atomic<bool> stop_{false};
    std::atomic<size_t> received_{0};
    std::thread writer_, reader_;
};

// A client stops reading, then sends a request that cannot be decoded: its connection ends
// with output still queued, and the daemon deletes it later while the outbound flusher goes
// round the connections. The flusher lets go of it before any of it is destroyed (without
// that, ThreadSanitizer shows the destruction racing with the flusher's calls).
TEST_F(ConnectionTest, EndedWithOutputQueuedTheFlusherLetsGoBeforeItIsDeleted) {
    Initialize();
    const int fd = connection_->getDescriptor();
    const int small = 4096;
    ASSERT_EQ(::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &small, sizeof small), 0);
    const std::vector<uint8_t> event(20, 0xEE);
    constexpr int kEvents = 400;
    for (int i = 0; i < kEvents; ++i)
        ASSERT_EQ(connection_->writeMessage(event.data(), static_cast<int>(event.size())), 0);
    int inSocket = 0;
    ASSERT_EQ(::ioctl(peer_, FIONREAD, &inSocket), 0);
    ASSERT_LT(inSocket, kEvents * 20) << "nothing waits in the connection's queue";
    std::vector<uint8_t> bad(IOCTL_FIXED_SIZE + 8, 0);
    putU32(bad.data(), REQ_IOCTL);
    putU32(bad.data() + 4, 9);
    putU16(bad.data() + 12, 8);
    putU16(bad.data() + 14, 1);
    bad[16] = 1;
    bad[17] = 40; // a name longer than its block
    putU16(bad.data() + 18, 4);
    SendBytes(bad);
    ASSERT_TRUE(WaitFinished());

    BusyConnection busy;
    // The flusher goes round many times with the ended connection still waiting: watched
    // without synchronising with the flusher, so that nothing orders its rounds before what
    // follows.
    const size_t from = busy.ReceivedUnsynchronised();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (busy.ReceivedUnsynchronised() < from + 256 * 1024 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GE(busy.ReceivedUnsynchronised(), from + 256 * 1024);
    connection_.reset();
    EXPECT_EQ(log_.processes, 0);
}

TEST(PeerId, UnixPeersAreKnownByTheirProcessIdOthersByMadeUpIds) {
    int sv[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv), 0);
    EXPECT_EQ(ClientProcessId(sv[0]), static_cast<int>(::getpid()));
    ::close(sv[0]);
    ::close(sv[1]);

    int tcp = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(tcp, 0);
    const int a = ClientProcessId(tcp);
    const int b = ClientProcessId(tcp);
    ::close(tcp);
    EXPECT_GE(a, kFirstMadeUpProcessId);
    EXPECT_GE(b, kFirstMadeUpProcessId);
    EXPECT_NE(a, b);
}

} // namespace
