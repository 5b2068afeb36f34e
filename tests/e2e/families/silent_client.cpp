// A client that initialises and then never reads, for the end-to-end test of a client that
// does not take its events.
//
//   silent_client <daemon socket> <free messages>
//
// It initialises, then sends requests without reading their replies until the daemon's side
// of the connection has room for only <free messages> more small messages (the capacity of
// a Unix stream socket is measured on a socket pair first), prints "ready <requests>" and
// reads nothing more. On the input line "drain" it reads what has come, prints
// "drained <replies> <events> <open|closed>" and exits.
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "RawClient.h"

using namespace ovkwire;

namespace {

// An I/O-control request on handle 0 that the core refuses (316): a small reply, no work.
IOCtlRequest RefusedRequest() {
    IOCtlRequest r;
    r.request = 4000;
    return r;
}

// How many messages of `size` bytes a Unix stream socket takes before a write would wait.
int Capacity(size_t size) {
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, sv) != 0) return -1;
    const std::vector<char> message(size, 'x');
    int n = 0;
    while (n < 100000 && ::send(sv[0], message.data(), message.size(), MSG_NOSIGNAL) ==
                             static_cast<ssize_t>(message.size()))
        ++n;
    ::close(sv[0]);
    ::close(sv[1]);
    return n;
}

int Pending(int fd) {
    int n = 0;
    return ::ioctl(fd, FIONREAD, &n) == 0 ? n : -1;
}

int Fail(const char* what) {
    std::printf("fail %s\n", what);
    std::fflush(stdout);
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: silent_client <daemon socket> <free messages>\n");
        return 2;
    }
    const int freeMessages = std::atoi(argv[2]);
    RawClient c;
    if (!c.Connect(argv[1])) return Fail("connect");
    if (c.Initialize("silent").rc != 0) return Fail("initialise");

    // The size of the replies that will fill the connection, from one of them.
    ReplyHeader h;
    std::vector<uint8_t> data;
    if (!c.SendRequest(RefusedRequest()) || !c.Reply(h, data)) return Fail("first request");
    const size_t replySize = REPLY_HEADER_SIZE + pad4(data.size());
    // Replies and events must cost the socket the same for the count below to hold.
    const int capacity = Capacity(replySize);
    if (capacity <= 0 || capacity != Capacity(EVENT_SIZE)) return Fail("calibration");

    // Whatever the daemon sent since the first reply (events) stays unread and counts.
    const int already = Pending(c.fd());
    if (already < 0) return Fail("pending");
    const int waiting = already / static_cast<int>(EVENT_SIZE);
    const int requests = capacity - freeMessages - waiting;
    if (requests <= 0) return Fail("no room");

    std::vector<uint8_t> burst;
    for (int i = 0; i < requests; ++i) {
        std::vector<uint8_t> one(MESSAGE_BUFFER_SIZE);
        IOCtlRequest r = RefusedRequest();
        r.handle = static_cast<uint32_t>(1000 + i);
        one.resize(encodeRequest(one.data(), one.size(), r));
        burst.insert(burst.end(), one.begin(), one.end());
    }
    if (!c.Send(burst)) return Fail("send");
    // Wait until every reply is in (10 s at most).
    const int expected = already + requests * static_cast<int>(replySize);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Pending(c.fd()) < expected) {
        if (std::chrono::steady_clock::now() > deadline) return Fail("replies");
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::printf("ready %d\n", requests);
    std::fflush(stdout);

    std::string line;
    while (std::getline(std::cin, line) && line != "drain") {
    }
    int replies = 0;
    while (c.Reply(h, data, 500)) ++replies;
    pollfd p{c.fd(), POLLIN | POLLRDHUP, 0};
    char byte;
    const bool closed = ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP)) != 0 &&
                        ::recv(c.fd(), &byte, 1, MSG_DONTWAIT) == 0;
    std::printf("drained %d %d %s\n", replies, c.events(), closed ? "closed" : "open");
    std::fflush(stdout);
    return 0;
}
