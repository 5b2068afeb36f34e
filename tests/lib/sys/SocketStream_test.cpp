// sockbuf and sostream: buffer rules, receiving and sending, time-outs, opening sockets.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>
#include <thread>

#include "FdLimit.h"
#include "SocketPair.h"
#include "SocketStream.h"
#include "TempRoot.h"

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

constexpr auto kBadEofFail = std::ios::badbit | std::ios::eofbit | std::ios::failbit;
constexpr auto kEofFail = std::ios::eofbit | std::ios::failbit;

// The lowest free descriptor number: unchanged when a failed call left nothing open.
int lowestFree() {
    int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ::close(fd);
    return fd;
}

long elapsedMs(Clock::time_point t0) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - t0).count();
}

// ---------------------------------------------------------------------------------------
// Buffer rules

TEST(SockbufSetbuf, SizesAndRefusal) {
    char storage[16];
    struct Case {
        char* buf;
        int size;
        bool accepted;
    } cases[] = {
        {storage, 6, false}, {storage, 7, true}, {storage, 16, true},
        {nullptr, 0, true},  {nullptr, 3, true}, {nullptr, -5, true},
    };
    for (const auto& c : cases) {
        sockbuf sb;
        EXPECT_EQ(sb.setbuf(c.buf, c.size, 0) != nullptr, c.accepted) << c.size;
    }
    // Refused once the buffer is in use.
    SocketPair p;
    sockbuf sb(p.release());
    EXPECT_NE(sb.setbuf(nullptr, 100, 0), nullptr);
    EXPECT_EQ(sb.sputc('x'), 'x');
    EXPECT_EQ(sb.setbuf(nullptr, 200, 0), nullptr);
    EXPECT_EQ(sb.pubsetbuf(storage, 16), nullptr);
    EXPECT_EQ(sb.getBufsiz(), 100);
}

TEST(SockbufSetbuf, AllocatedSizes) {
    struct Case {
        int configured;
        int allocated;
    } cases[] = {{0, 3}, {-1, 3}, {1, 7}, {6, 7}, {7, 7}, {2048, 2048}};
    for (const auto& c : cases) {
        sockbuf sb;
        sb.setbuf(nullptr, c.configured, 0);
        EXPECT_EQ(sb.doallocate(), 1);
        EXPECT_EQ(sb.doallocate(), 0);
        EXPECT_EQ(sb.getBufsiz(), c.allocated) << c.configured;
    }
}

// Default layout: 1020 bytes are buffered for sending, 1022 received at a time.
TEST(SockbufLayout, DefaultPutAndReceiveRoom) {
    SocketPair p;
    sockbuf sb(p.release());
    std::string data(1020, 'a');
    EXPECT_EQ(sb.sputn(data.data(), 1020), 1020);
    EXPECT_EQ(p.drainPeer(), "");
    EXPECT_EQ(sb.sputc('b'), 'b'); // the full put area goes out first
    EXPECT_EQ(p.drainPeer(), data);
    EXPECT_EQ(sb.pubsync(), 0);
    EXPECT_EQ(p.drainPeer(), "b");

    std::string big(3000, 'z');
    ASSERT_EQ(::send(p.fd[1], big.data(), big.size(), 0), 3000);
    EXPECT_EQ(sb.sgetc(), 'z');
    EXPECT_EQ(sb.in_avail(), 1022);
}

// Unbuffered mode: every byte goes out at once, one byte is received at a time.
TEST(SockbufLayout, Unbuffered) {
    SocketPair p;
    sockbuf sb(p.release());
    sb.setbuf(nullptr, 0, 0);
    EXPECT_EQ(sb.sputc('x'), 'x');
    EXPECT_EQ(p.drainPeer(), "x");
    EXPECT_EQ(sb.sputn("hello", 5), 5);
    EXPECT_EQ(p.drainPeer(), "hello");
    ASSERT_EQ(::send(p.fd[1], "abc", 3, 0), 3);
    EXPECT_EQ(sb.sbumpc(), 'a');
    EXPECT_EQ(sb.in_avail(), 2); // one in the buffer is gone; two wait in the socket
    EXPECT_EQ(sb.sbumpc(), 'b');
    EXPECT_EQ(sb.sbumpc(), 'c');
}

// Putting back works across refills.
TEST(SockbufLayout, PutbackAcrossRefill) {
    SocketPair p;
    sockbuf sb(p.release());
    sb.setbuf(nullptr, 20, 0); // receive room 20 - 1 - 7 - 4 = 8 bytes
    ASSERT_EQ(::send(p.fd[1], "0123456789", 10, 0), 10);
    std::string got;
    for (int i = 0; i < 9; ++i) got.push_back(static_cast<char>(sb.sbumpc()));
    EXPECT_EQ(got, "012345678");
    EXPECT_EQ(sb.sungetc(), '8');
    EXPECT_EQ(sb.sungetc(), '7');
    EXPECT_EQ(sb.sputbackc('X'), 'X');
    EXPECT_EQ(sb.sbumpc(), 'X');
    EXPECT_EQ(sb.sbumpc(), '7');
    EXPECT_EQ(sb.sbumpc(), '8');
    EXPECT_EQ(sb.sbumpc(), '9');
}

// ---------------------------------------------------------------------------------------
// Receiving

TEST(SostreamRead, PeerShutdownMarksBadEofFail) {
    SocketPair p;
    sockbuf sb(p.release());
    sostream s(&sb);
    ASSERT_TRUE(s.good());
    ::send(p.fd[1], "ab", 2, 0);
    ::shutdown(p.fd[1], SHUT_WR);
    char buf[4];
    s.read(buf, 4);
    EXPECT_EQ(s.gcount(), 2);
    EXPECT_EQ(s.rdstate(), kBadEofFail);
}

TEST(SostreamRead, WithoutDescriptorIsBad) {
    sockbuf sb;
    sostream s(&sb);
    EXPECT_TRUE(s.bad());
    char c;
    s.read(&c, 1);
    EXPECT_TRUE(s.bad());
    EXPECT_TRUE(s.fail());
    EXPECT_EQ(s.gcount(), 0);
}

TEST(SostreamRead, TimeOuts) {
    SocketPair p;
    sockbuf sb(p.release());
    sostream s(&sb);
    char buf[64];

    // No byte pending: returns at once, nothing read, eof and fail, whatever the time-out.
    sb.setReadTimeout(500);
    auto t0 = Clock::now();
    s.read(buf, 10);
    EXPECT_LT(elapsedMs(t0), 200);
    EXPECT_EQ(s.gcount(), 0);
    EXPECT_EQ(s.rdstate(), kEofFail);
    EXPECT_EQ(sb.getReadTimeout(), 500); // restored

    // Part of the data pending, the rest never comes: waits about the time-out once.
    sb.setReadTimeout(100);
    ::send(p.fd[1], "abcd", 4, 0);
    t0 = Clock::now();
    s.read(buf, 10);
    EXPECT_GE(elapsedMs(t0), 90);
    EXPECT_LT(elapsedMs(t0), 2000);
    EXPECT_EQ(s.gcount(), 4);
    EXPECT_EQ(std::string(buf, 4), "abcd");
    EXPECT_EQ(s.rdstate(), kEofFail);

    // The rest comes within the time-out of each refill.
    ::send(p.fd[1], "12", 2, 0);
    std::thread later([&] {
        std::this_thread::sleep_for(milliseconds(30));
        ::send(p.fd[1], "345", 3, 0);
    });
    s.read(buf, 5);
    later.join();
    EXPECT_EQ(s.gcount(), 5);
    EXPECT_TRUE(s.good());
    EXPECT_EQ(std::string(buf, 5), "12345");

    // Time-out -1 waits for all of it.
    sb.setReadTimeout(-1);
    std::thread slow([&] {
        std::this_thread::sleep_for(milliseconds(30));
        ::send(p.fd[1], "xyz", 3, 0);
    });
    s.read(buf, 3);
    slow.join();
    EXPECT_EQ(s.gcount(), 3);
    EXPECT_TRUE(s.good());

    // n of 0 or less does nothing.
    s.read(buf, 0);
    EXPECT_TRUE(s.good());
}

// ---------------------------------------------------------------------------------------
// Sending

TEST(SostreamWrite, CloseDropsPendingOutputAndMarksBadFail) {
    SocketPair p;
    sockbuf sb(p.release());
    sostream s(&sb);
    s.write("hello", 5);
    EXPECT_EQ(s.close(), 0);
    EXPECT_EQ(s.rdstate(), std::ios::badbit | std::ios::failbit);
    EXPECT_EQ(sb.getDescriptor(), -1);
    char c;
    EXPECT_EQ(::recv(p.fd[1], &c, 1, 0), 0); // closed, nothing sent
    EXPECT_EQ(s.sync(), -1);                 // pending output, no descriptor
    EXPECT_EQ(s.rdstate(), kBadEofFail);
}

TEST(SostreamWrite, SendErrorMarksBadEofFail) {
    SocketPair p;
    sockbuf sb(p.release());
    sostream s(&sb);
    ::close(p.fd[1]);
    p.fd[1] = -1;
    s.write("hello", 5);
    EXPECT_EQ(s.sync(), -1);
    EXPECT_EQ(s.rdstate(), kBadEofFail);
}

// A reader and a writer thread on one stream: the reader's time-outs do not make writes
// look failed, a writer's clear() does not hide the reader's end of file, and a send
// failure does not stop the reader from taking what is still there.
TEST(SostreamThreads, ReaderAndWriterKeepTheirOwnState) {
    SocketPair p;
    sockbuf sb(p.release());
    sostream s(&sb);
    std::ostream& w = s.writer();
    sb.setReadTimeout(5);

    std::atomic<bool> writing{true};
    std::atomic<int> timeouts{0};
    std::thread reader([&] {
        char c;
        while (writing) {
            s.read(&c, 1);
            if (s.gcount() == 0 && s.rdstate() == kEofFail) timeouts++;
        }
    });
    std::thread peer([&] {
        char buf[4096];
        size_t total = 0;
        while (total < 200 * 20) {
            ssize_t r = ::recv(p.fd[1], buf, sizeof buf, 0);
            if (r <= 0) break;
            total += r;
        }
    });
    int failures = 0;
    for (int i = 0; i < 200; ++i) {
        w.clear();
        char msg[20] = {};
        std::memcpy(msg, &i, sizeof i);
        w.write(msg, 20);
        w.flush();
        if (!w.good()) failures++;
        if (i % 50 == 0) std::this_thread::sleep_for(milliseconds(6));
    }
    writing = false;
    reader.join();
    peer.join();
    EXPECT_EQ(failures, 0);
    EXPECT_GT(timeouts, 0);

    // The peer stops reading and writes a last line; the writer fails, the reader still
    // gets the line.
    ::send(p.fd[1], "last", 4, 0);
    ::shutdown(p.fd[1], SHUT_RD);
    w.clear();
    w.write("x", 1);
    w.flush();
    EXPECT_TRUE(w.bad());
    sb.setReadTimeout(-1);
    char buf[4];
    s.read(buf, 4);
    EXPECT_EQ(s.gcount(), 4);
    EXPECT_TRUE(s.good());
    EXPECT_EQ(std::string(buf, 4), "last");
}

// A peer that does not read: sends end after the write time-out, and later sends do not
// wait again; messages are queued whole or not at all, so the peer reads whole messages.
TEST(SockbufSendMessage, TimeOutKeepsMessagesWhole) {
    SocketPair p;
    int rcv = 1024;
    ::setsockopt(p.fd[1], SOL_SOCKET, SO_RCVBUF, &rcv, sizeof rcv);
    sockbuf sb(p.release());
    sostream s(&sb);
    std::ostream& w = s.writer();
    sb.setWriteTimeout(300);
    char msg[20];
    int sent = 0, failedAt = -1;
    long slowest = 0;
    for (int i = 0; i < 5000; ++i) {
        std::memset(msg, 0, sizeof msg);
        std::memcpy(msg, &i, sizeof i);
        std::memset(msg + 4, 0x5A, 16);
        auto t0 = Clock::now();
        int r = sb.sendMessage(msg, 20);
        long ms = elapsedMs(t0);
        if (r == 0) {
            sent++;
            continue;
        }
        if (failedAt < 0) {
            failedAt = i;
            EXPECT_GE(ms, 280);
            EXPECT_EQ(w.rdstate(), kEofFail);
            EXPECT_TRUE(s.good()); // the reader's state is untouched
        } else {
            slowest = std::max(slowest, ms);
        }
        if (i > failedAt + 50) break;
    }
    ASSERT_GE(failedAt, 0);
    EXPECT_LT(slowest, 150); // no second wait for a peer that does not read

    std::string got = p.drainPeer();
    // The message cut by the time-out is completed by the next send.
    int next = 1000000;
    std::memcpy(msg, &next, sizeof next);
    std::string more;
    for (int tries = 0; tries < 3 && (got.size() + more.size()) % 20 != 0; ++tries) {
        sb.sendMessage(msg, 20);
        more += p.drainPeer();
    }
    got += more;
    ASSERT_EQ(got.size() % 20, 0u);
    int last = -1;
    for (size_t off = 0; off < got.size(); off += 20) {
        int seq;
        std::memcpy(&seq, got.data() + off, sizeof seq);
        EXPECT_GT(seq, last);
        last = seq;
        for (int k = 4; k < 20; ++k) ASSERT_EQ(got[off + k], 0x5A) << off;
    }
}

// A message larger than the buffer that the time-out cuts, with a rest too long to keep:
// the connection is ended rather than left with a torn message.
TEST(SockbufSendMessage, TornLargeMessageEndsTheConnection) {
    SocketPair p;
    sockbuf sb(p.release());
    sostream s(&sb);
    std::ostream& w = s.writer();
    sb.setWriteTimeout(50);
    std::string big(1 << 20, 'm');
    EXPECT_EQ(sb.sendMessage(big.data(), static_cast<int>(big.size())), -1);
    EXPECT_EQ(w.rdstate(), kBadEofFail);
    std::string got;
    char buf[65536];
    ssize_t r;
    while ((r = ::recv(p.fd[1], buf, sizeof buf, 0)) > 0) got.append(buf, r);
    EXPECT_EQ(r, 0); // end of file after what went out
    EXPECT_GT(got.size(), 0u);
    EXPECT_LT(got.size(), big.size());
}

TEST(SockbufSendMessage, LargeMessageAndArguments) {
    SocketPair p;
    sockbuf sb(p.release());
    sb.setWriteTimeout(1000);
    std::string big(5000, 'q');
    std::string got;
    std::thread peer([&] {
        char buf[4096];
        while (got.size() < big.size()) {
            ssize_t r = ::recv(p.fd[1], buf, sizeof buf, 0);
            if (r <= 0) break;
            got.append(buf, r);
        }
    });
    EXPECT_EQ(sb.sendMessage(big.data(), 5000), 0);
    peer.join();
    EXPECT_EQ(got, big);
    EXPECT_EQ(sb.sendMessage(nullptr, 0), 0);
    EXPECT_EQ(sb.sendMessage(nullptr, 5), -1);
    EXPECT_EQ(sb.sendMessage("x", -1), -1);
}

// ---------------------------------------------------------------------------------------
// Opening

TEST(SostreamOpen, UnixClientAndServer) {
    TempRoot root;
    const std::string path = root.at("/tmp/.sock");
    sostream server(path.c_str(), 1);
    ASSERT_TRUE(server.good());
    int lsd = server.rdbuf()->getDescriptor();
    EXPECT_TRUE(::fcntl(lsd, F_GETFD) & FD_CLOEXEC);
    int snd = 0;
    socklen_t len = sizeof snd;
    ::getsockopt(lsd, SOL_SOCKET, SO_SNDBUF, &snd, &len);
    EXPECT_GE(snd, 1024);

    sostream client(path.c_str(), 0);
    ASSERT_TRUE(client.good());
    std::unique_ptr<sostream> conn(server.accept());
    ASSERT_NE(conn, nullptr);
    EXPECT_TRUE(conn->good());
    EXPECT_TRUE(::fcntl(conn->rdbuf()->getDescriptor(), F_GETFD) & FD_CLOEXEC);

    client << "ping" << std::flush;
    char buf[4];
    conn->read(buf, 4);
    EXPECT_EQ(std::string(buf, 4), "ping");
    *conn << "pong" << std::flush;
    client.read(buf, 4);
    EXPECT_EQ(std::string(buf, 4), "pong");

    // Re-listening on the path replaces a stale socket, but never another kind of file.
    server.close();
    sostream again(path.c_str(), 1);
    EXPECT_TRUE(again.good());
    const std::string file = root.at("/tmp/plain");
    root.write("/tmp/plain", "keep");
    sostream onFile(file.c_str(), 1);
    EXPECT_FALSE(onFile.good());
    EXPECT_EQ(root.read("/tmp/plain"), "keep");
    // The socket is named only once it listens; no other name it had is left behind.
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(root.at("/tmp")))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".sock", "plain"}));
}

TEST(SostreamOpen, UnixPathLength) {
    TempRoot root;
    std::string dir = root.at("/tmp/");
    ASSERT_LT(dir.size(), 100u);
    std::string p107 = dir + std::string(107 - dir.size(), 'p');
    std::string p108 = dir + std::string(108 - dir.size(), 'p');
    const int freeBefore = lowestFree();
    sostream tooLong(p108.c_str(), 1);
    EXPECT_EQ(tooLong.rdstate(), std::ios::badbit | std::ios::failbit);
    EXPECT_EQ(lowestFree(), freeBefore);
    EXPECT_NE(::access(p108.c_str(), F_OK), 0);
    sostream fits(p107.c_str(), 1);
    EXPECT_TRUE(fits.good());
}

TEST(SostreamOpen, BadModeLeavesNoDescriptor) {
    TempRoot root;
    const std::string path = root.at("/tmp/.m");
    const int freeBefore = lowestFree();
    for (int mode : {2, -1}) {
        sostream a(path.c_str(), mode);
        EXPECT_EQ(a.rdstate(), std::ios::badbit | std::ios::failbit);
        sostream b("127.0.0.1", static_cast<unsigned short>(0), mode);
        EXPECT_EQ(b.rdstate(), std::ios::badbit | std::ios::failbit);
        EXPECT_EQ(lowestFree(), freeBefore);
    }
    sostream none(root.at("/tmp/nobody-listens").c_str(), 0);
    EXPECT_TRUE(none.bad());
    EXPECT_EQ(lowestFree(), freeBefore);
}

TEST(SostreamOpen, ServiceResolution) {
    struct Case {
        const char* service;
        uint16_t port;
    } cases[] = {
        {nullptr, 0},          {"0", 0},
        {"0x1F90", 8080},      {"8080", 8080},
        {"010", 8},            {"65534", 65534},
        {"65535", sockbuf::INVALID_PORT}, {"70000", sockbuf::INVALID_PORT},
        {"80abc", sockbuf::INVALID_PORT}, {"", sockbuf::INVALID_PORT},
        {"-1", sockbuf::INVALID_PORT},    {"no-such-service-here", sockbuf::INVALID_PORT},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sostream::resolveService(c.service), c.port) << (c.service ? c.service : "null");

    const int freeBefore = lowestFree();
    sostream s("127.0.0.1", "80abc", 1);
    EXPECT_EQ(s.rdstate(), std::ios::badbit | std::ios::failbit);
    EXPECT_EQ(lowestFree(), freeBefore);
}

TEST(SostreamOpen, HostAddresses) {
    EXPECT_EQ(sostream::host_addr(nullptr), 0u);
    EXPECT_EQ(sostream::host_addr("INADDR_ANY"), 0u);
    EXPECT_EQ(sostream::host_addr("0"), 0u);
    EXPECT_EQ(sostream::host_addr("127.0.0.1"), htonl(0x7F000001));
    EXPECT_EQ(sostream::host_addr("10.1.2.3"), htonl(0x0A010203));
}

TEST(SostreamOpen, TcpByPortAndService) {
    sostream server("127.0.0.1", "0", 1);
    ASSERT_TRUE(server.good());
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(server.rdbuf()->getDescriptor(), reinterpret_cast<sockaddr*>(&a), &len);
    const unsigned short port = ntohs(a.sin_port);
    ASSERT_NE(port, 0);

    sostream byPort("127.0.0.1", port, 0);
    ASSERT_TRUE(byPort.good());
    const std::string text = std::to_string(port);
    sostream byService("127.0.0.1", text.c_str(), 0);
    ASSERT_TRUE(byService.good());
    for (sostream* c : {&byPort, &byService}) {
        std::unique_ptr<sostream> conn(server.accept());
        ASSERT_NE(conn, nullptr);
        *c << "hi" << std::flush;
        char buf[2];
        conn->read(buf, 2);
        EXPECT_EQ(conn->gcount(), 2);
    }
}

TEST(SockbufAccept, TakesListeningBufferSize) {
    TempRoot root;
    const std::string path = root.at("/tmp/.acc");
    sostream server;
    server.rdbuf()->setbuf(nullptr, 4096, 0);
    ASSERT_EQ(server.open(path.c_str(), 1), 0);
    sostream client(path.c_str(), 0);
    std::unique_ptr<sockbuf> sb(server.rdbuf()->accept());
    ASSERT_NE(sb, nullptr);
    EXPECT_EQ(sb->getBufsiz(), 4096);
    EXPECT_TRUE(::fcntl(sb->getDescriptor(), F_GETFD) & FD_CLOEXEC);
    server.close();
    EXPECT_EQ(server.rdbuf()->accept(), nullptr);
}

TEST(SockbufAttach, OnlySockets) {
    int pipefd[2];
    ASSERT_EQ(::pipe2(pipefd, O_CLOEXEC), 0);
    sockbuf sb;
    EXPECT_EQ(sb.attach(pipefd[0]), nullptr);
    EXPECT_EQ(sb.getDescriptor(), -1);
    sockbuf onPipe(pipefd[0]);
    sostream s(&onPipe);
    EXPECT_TRUE(s.bad());
    onPipe.close();
    ::close(pipefd[1]);

    // A stream over a given buffer closes its descriptor at the end but leaves the buffer.
    SocketPair p;
    sockbuf given(p.release());
    {
        sostream ok(&given);
        EXPECT_TRUE(ok.good());
    }
    EXPECT_EQ(given.getDescriptor(), -1);
    EXPECT_EQ(given.sputc('x'), 'x');
    EXPECT_EQ(given.pubsync(), -1);
}

// Waiting and sending on a socket numbered above 1024.
TEST(SockbufHighDescriptor, ReadAndWriteAbove1024) {
    FdLimit limit(1600);
    if (!limit.allowed()) GTEST_SKIP() << "hard limit too low";
    ASSERT_TRUE(limit.set());
    SocketPair p;
    int high = ::fcntl(p.fd[0], F_DUPFD_CLOEXEC, 1500);
    ASSERT_GE(high, 1500);
    {
        sockbuf sb(high);
        sostream s(&sb);
        sb.setReadTimeout(50);
        char buf[8];
        auto t0 = Clock::now();
        s.read(buf, 8); // nothing pending: returns at once
        EXPECT_EQ(s.gcount(), 0);
        sb.setReadTimeout(2000);
        ::send(p.fd[1], "01234567", 8, 0);
        s.read(buf, 8);
        EXPECT_EQ(s.gcount(), 8);
        EXPECT_LT(elapsedMs(t0), 1000);
        EXPECT_EQ(sb.sendMessage("reply", 5), 0);
        EXPECT_EQ(p.drainPeer(), "reply");
    }
}

} // namespace
