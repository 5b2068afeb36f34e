// A small echo daemon on the server frame, for the socket and server tests.
//
// Frames: a 32-bit little-endian length, then that many bytes; the server sends each frame
// back whole. Connections are served either by the Selector (handleInput) or each by its own
// thread, as the control daemon does. The loop is stopped through the idle handler.
#pragma once

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <unistd.h>

#include "Server.h"
#include "ServerException.h"
#include "ServiceConnection.h"
#include "ServicePublisher.h"

namespace echo {

constexpr uint32_t kMaxFrame = 1u << 20;

// ---------------------------------------------------------------------------------------
// Raw descriptor helpers for clients

inline bool writeAll(int fd, const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        ssize_t r = ::send(fd, p, n, MSG_NOSIGNAL);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

// Reads exactly n bytes within timeoutMs overall; false on time-out, error or end of file.
inline bool readAll(int fd, void* data, size_t n, int timeoutMs) {
    char* p = static_cast<char*>(data);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (n > 0) {
        int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        deadline - std::chrono::steady_clock::now()).count());
        if (left <= 0) return false;
        pollfd pfd{fd, POLLIN, 0};
        int pr = ::poll(&pfd, 1, left);
        if (pr < 0 && errno == EINTR) continue;
        if (pr <= 0) return false;
        ssize_t r = ::recv(fd, p, n, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

inline std::string frame(const std::string& payload) {
    uint32_t len = static_cast<uint32_t>(payload.size());
    std::string f(4, '\0');
    for (int i = 0; i < 4; ++i) f[i] = static_cast<char>((len >> (8 * i)) & 0xFF);
    return f + payload;
}

inline uint32_t lengthOf(const unsigned char* h) {
    return h[0] | (h[1] << 8) | (h[2] << 16) | (static_cast<uint32_t>(h[3]) << 24);
}

// Sends one frame and reads the echo; true when it came back equal.
inline bool roundTrip(int fd, const std::string& payload, int timeoutMs = 5000) {
    if (!writeAll(fd, frame(payload).data(), payload.size() + 4)) return false;
    unsigned char h[4];
    if (!readAll(fd, h, 4, timeoutMs)) return false;
    if (lengthOf(h) != payload.size()) return false;
    std::string back(payload.size(), '\0');
    if (!readAll(fd, back.data(), back.size(), timeoutMs)) return false;
    return back == payload;
}

inline int connectUnix(const std::string& path) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

inline int connectTcp(unsigned short port, int rcvbuf = 0) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (rcvbuf > 0) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

inline unsigned short boundPort(int sd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(sd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

// ---------------------------------------------------------------------------------------
// Server side

struct Shared {
    bool threaded = false;
    int readTimeoutMs = 300;
    std::atomic<int> accepted{0};
    std::atomic<int> closed{0};
    std::mutex lock;
    std::vector<class Connection*> live; // thread-served connections still open
    std::vector<std::thread> threads;
};

class Connection : public ServiceConnection {
public:
    Connection(sockbuf* sb, Shared* shared) : ServiceConnection(sb, true), shared_(shared) {
        rdbuf()->setReadTimeout(shared->readTimeoutMs);
    }
    ~Connection() override { shared_->closed++; }

    // Echoes one frame: 0, or -1 when the client went, sent a short frame or timed out.
    int echoOne() {
        unsigned char h[4];
        read(h, 4);
        if (gcount() != 4) return -1;
        const uint32_t len = lengthOf(h);
        if (len > kMaxFrame) return -1;
        std::string buf(len + 4, '\0');
        std::memcpy(buf.data(), h, 4);
        if (len > 0) {
            read(buf.data() + 4, static_cast<int>(len));
            if (gcount() != static_cast<std::streamsize>(len)) return -1;
        }
        return writeMessage(buf.data(), static_cast<int>(buf.size())) == 0 ? 0 : -1;
    }

    int handleInput(Selector*) override {
        do {
            if (echoOne() < 0) return -1;
        } while (rdbuf()->in_avail() > 0);
        return 0;
    }

    // Thread service: wait without limit for a request, then read it within the time-out.
    void serve() {
        const long timeout = rdbuf()->getReadTimeout();
        for (;;) {
            rdbuf()->setReadTimeout(-1);
            clear();
            const bool more = rdbuf()->sgetc() != std::char_traits<char>::eof();
            rdbuf()->setReadTimeout(timeout);
            if (!more || echoOne() < 0) break;
        }
        {
            std::lock_guard<std::mutex> g(shared_->lock);
            auto& v = shared_->live;
            for (auto it = v.begin(); it != v.end(); ++it)
                if (*it == this) {
                    v.erase(it);
                    break;
                }
        }
        delete this;
    }

private:
    Shared* shared_;
};

class Publisher : public ServicePublisher {
public:
    Publisher(const std::string& path, Shared* shared) : ServicePublisher(path), shared_(shared) {}
    Publisher(const std::string& host, unsigned short port, Shared* shared)
        : ServicePublisher(host, port), shared_(shared) {}

    int handleInput(Selector* selector) override {
        sockbuf* sb = accept();
        if (!sb) return 0;
        shared_->accepted++;
        auto* c = new Connection(sb, shared_);
        if (!shared_->threaded) {
            selector->addSelectable(c);
            return 0;
        }
        std::lock_guard<std::mutex> g(shared_->lock);
        shared_->live.push_back(c);
        shared_->threads.emplace_back([c] { c->serve(); });
        return 0;
    }

private:
    Shared* shared_;
};

inline std::atomic<bool>& stopFlag() {
    static std::atomic<bool> flag{false};
    return flag;
}

inline void idleStop() {
    if (stopFlag()) throw 1;
}

// An echo daemon in this process: a Server (flags 0) with a Unix and a TCP publisher, run
// on its own thread.
class EchoServer {
public:
    EchoServer(const std::string& unixPath, bool threaded, int readTimeoutMs = 300)
        : server_(std::make_unique<Server>("echo", 0)) {
        shared_.threaded = threaded;
        shared_.readTimeoutMs = readTimeoutMs;
        auto* u = new Publisher(unixPath, &shared_);
        server_->addSelectable(u);
        auto* t = new Publisher("127.0.0.1", 0, &shared_);
        port_ = boundPort(t->getDescriptor());
        server_->addSelectable(t);
        stopFlag() = false;
        server_->selector().setIdleHandler(idleStop, 10);
        thread_ = std::thread([this] {
            try {
                server_->run();
            } catch (const ServerException& e) {
                endMessage_ = e.what();
            }
        });
    }

    ~EchoServer() { stop(); }

    void stop() {
        if (!thread_.joinable()) return;
        stopFlag() = true;
        thread_.join();
        {
            std::lock_guard<std::mutex> g(shared_.lock);
            for (Connection* c : shared_.live) ::shutdown(c->getDescriptor(), SHUT_RDWR);
        }
        std::vector<std::thread> threads;
        {
            std::lock_guard<std::mutex> g(shared_.lock);
            threads.swap(shared_.threads);
        }
        for (auto& t : threads) t.join();
        server_.reset();
    }

    unsigned short port() const { return port_; }
    Shared& shared() { return shared_; }
    const std::string& endMessage() const { return endMessage_; }

private:
    Shared shared_;
    std::unique_ptr<Server> server_;
    unsigned short port_ = 0;
    std::thread thread_;
    std::string endMessage_;
};

} // namespace echo
