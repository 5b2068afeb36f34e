// SvrSocket over loopback: accepting, reading from whichever client sent, exact reads,
// echo, disconnection in both directions, and the client limit.
#include "ovkhost.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <future>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A plain TCP client on 127.0.0.1.
class Peer {
public:
    explicit Peer(int port) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            throw std::runtime_error("connect");
    }
    ~Peer() { close(); }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    void send(const std::string& s) {
        ASSERT_EQ(::send(fd_, s.data(), s.size(), MSG_NOSIGNAL), static_cast<ssize_t>(s.size()));
    }
    // Up to n bytes within 2 s; "" at end of stream.
    std::string recv(size_t n) {
        std::string out;
        while (out.size() < n) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 2000) <= 0) break;
            char buf[256];
            ssize_t got = ::recv(fd_, buf, std::min(sizeof buf, n - out.size()), 0);
            if (got <= 0) break;
            out.append(buf, static_cast<size_t>(got));
        }
        return out;
    }

private:
    int fd_ = -1;
};

class Server : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(server.startServer(0), -1);
        port = server.listeningPort();
        ASSERT_GT(port, 0);
    }
    // Accepts one connection and gives its client number.
    int accept() {
        int state = -1;
        int r = server.acceptConnections(&state, 2000);
        EXPECT_EQ(state, 0);
        EXPECT_GT(r, 1);
        return r - 1;
    }
    SvrSocket server{10};
    int port = 0;
};

TEST_F(Server, EchoWithTwoClients) {
    Peer one(port), two(port);
    const int n1 = accept(), n2 = accept();
    EXPECT_NE(n1, n2);
    for (int n : {n1, n2}) {
        EXPECT_GE(n, 1);
        EXPECT_LE(n, 10);
        EXPECT_TRUE(server.isValidClient(n));
    }
    EXPECT_FALSE(server.isValidClient(0));
    EXPECT_FALSE(server.isValidClient(11));

    char buf[64];
    int len = 2;
    EXPECT_EQ(server.read(buf, &len, 20), 0); // nobody sent anything
    EXPECT_EQ(len, 0);

    // The framing the raw-access servers use: a 2-byte length, then the rest exactly.
    for (auto [peer, number, text] : {std::tuple{&two, n2, std::string("hello")},
                                      std::tuple{&one, n1, std::string("<query>")}}) {
        std::string frame = std::string(1, static_cast<char>(text.size())) + '\0' + text;
        peer->send(frame.substr(0, 1)); // the length arrives in two pieces
        peer->send(frame.substr(1));
        len = 2;
        ASSERT_EQ(server.read(buf, &len, 2000), number);
        ASSERT_EQ(len, 2);
        len = static_cast<unsigned char>(buf[0]);
        ASSERT_EQ(server.read(number, buf, &len, 0), -1);
        ASSERT_EQ(std::string(buf, static_cast<size_t>(len)), text);
        EXPECT_EQ(server.write(number, buf, len), len);
        EXPECT_EQ(peer->recv(text.size()), text);
    }
}

TEST_F(Server, ShortExactReadGivesTheCount) {
    Peer one(port);
    const int n = accept();
    one.send("abc");
    char buf[8];
    int len = 6;
    EXPECT_EQ(server.read(n, buf, &len, 50), 3);
    EXPECT_EQ(len, 3);
    EXPECT_TRUE(server.isValidClient(n));
}

TEST_F(Server, ClientThatLeavesIsFoundByTheIdleRead) {
    Peer one(port), two(port);
    const int n1 = accept(), n2 = accept();
    one.close();
    char buf[4];
    int len = 2;
    EXPECT_EQ(server.read(buf, &len, 2000), -24);
    EXPECT_FALSE(server.isValidClient(n1));
    EXPECT_TRUE(server.isValidClient(n2));
    EXPECT_EQ(server.write(n1, "x", 1), 0);

    // A new client does not get the number that was just freed.
    Peer three(port);
    const int n3 = accept();
    EXPECT_NE(n3, n1);
    EXPECT_NE(n3, n2);

    server.disconnect(n2);
    EXPECT_FALSE(server.isValidClient(n2));
    EXPECT_EQ(two.recv(1), ""); // the peer sees the end of the stream
}

TEST_F(Server, ValidityNoticesAHangUpWithoutReading) {
    Peer one(port);
    const int n = accept();
    one.close();
    for (int i = 0; i < 200 && server.isValidClient(n); ++i) usleep(1000);
    EXPECT_FALSE(server.isValidClient(n));
}

TEST_F(Server, WriteWithATimeLimitDropsAClientThatDoesNotRead) {
    Peer silent(port), other(port);
    const int n = accept(), m = accept();
    const std::string block(64 * 1024, 'x');
    int written = static_cast<int>(block.size());
    // Writes until the client's buffers are full; the one that cannot finish in time ends it.
    for (int i = 0; i < 4096 && written == static_cast<int>(block.size()); ++i)
        written = server.write(n, block.data(), static_cast<int>(block.size()), 50);
    EXPECT_LT(written, static_cast<int>(block.size()));
    EXPECT_FALSE(server.isValidClient(n));
    EXPECT_EQ(server.write(m, "ok", 2, 50), 2);
    EXPECT_EQ(other.recv(2), "ok");
}

TEST(SvrSocketLimits, ConnectionsBeyondTheLimitAreClosed) {
    SvrSocket server(1);
    ASSERT_EQ(server.startServer(0), -1);
    Peer one(server.listeningPort()), two(server.listeningPort());
    int state = 0;
    EXPECT_EQ(server.acceptConnections(&state, 2000), 2); // client 1
    EXPECT_EQ(server.acceptConnections(&state, 100), 0);  // the second is turned away
    EXPECT_EQ(two.recv(1), "");

    SvrSocket other(10); // the port is taken: the caller tries the next one
    int rc = other.startServer(server.listeningPort());
    EXPECT_NE(rc, -1);
    EXPECT_NE(rc, 0);
}

TEST(SvrSocketLimits, StopServerWakesABlockedAccept) {
    SvrSocket server(10);
    ASSERT_EQ(server.startServer(0), -1);
    // The accepting thread tells when it is about to accept, so a late start under load
    // does not make the stop come first.
    std::promise<void> started;
    auto accepting = std::async(std::launch::async, [&] {
        int state = 0;
        started.set_value();
        return server.acceptConnections(&state, -1);
    });
    started.get_future().wait();
    EXPECT_EQ(accepting.wait_for(std::chrono::milliseconds(30)), std::future_status::timeout);
    server.stopServer();
    ASSERT_EQ(accepting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(accepting.get(), 0);
    EXPECT_EQ(server.listeningPort(), 0);
    int state = 0;
    EXPECT_THROW(server.acceptConnections(&state, 0), std::runtime_error);
    EXPECT_EQ(server.startServer(0), -1); // and it can listen again
}

} // namespace

// Every number is held and one of the holders has left, unnoticed by any reader: the next
// client gets that number instead of being turned away; holders still there keep theirs.
TEST(SvrSocketLimits, AClientThatHasLeftDoesNotHoldItsNumberAgainstANewOne) {
    SvrSocket server(2);
    ASSERT_EQ(server.startServer(0), -1);
    const int port = server.listeningPort();
    int state = 0;
    Peer one(port);
    ASSERT_EQ(server.acceptConnections(&state, 2000), 2); // client 1
    auto two = std::make_unique<Peer>(port);
    ASSERT_EQ(server.acceptConnections(&state, 2000), 3); // client 2
    two->close();
    Peer three(port);
    EXPECT_EQ(server.acceptConnections(&state, 2000), 3); // client 2's number again
    EXPECT_EQ(server.write(2, "new", 3, 500), 3);
    EXPECT_EQ(three.recv(3), "new");
    EXPECT_TRUE(server.isValidClient(1));
    // Both holders still there: the next one is turned away.
    Peer four(port);
    EXPECT_EQ(server.acceptConnections(&state, 100), 0);
    EXPECT_EQ(four.recv(1), "");
}
