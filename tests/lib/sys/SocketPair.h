// A connected pair of Unix stream sockets for the stream tests: fd[0] for the code under
// test, fd[1] the peer. Both ends are closed at the end unless released.
#pragma once

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <string>

struct SocketPair {
    int fd[2] = {-1, -1};
    SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fd), 0); }
    ~SocketPair() {
        for (int f : fd)
            if (f >= 0) ::close(f);
    }
    SocketPair(const SocketPair&) = delete;
    SocketPair& operator=(const SocketPair&) = delete;
    // Hands fd[0] to its new owner.
    int release() {
        int f = fd[0];
        fd[0] = -1;
        return f;
    }
    // Bytes waiting at the peer, read without blocking.
    std::string drainPeer() {
        std::string out;
        char buf[4096];
        ssize_t r;
        while ((r = ::recv(fd[1], buf, sizeof buf, MSG_DONTWAIT)) > 0) out.append(buf, r);
        return out;
    }
};
