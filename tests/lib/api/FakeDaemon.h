// A scripted stand-in for the control daemon, for the client library's tests: it listens on a
// Unix socket or on TCP, decodes each request with the daemon side of the codec and lets the
// test's script answer it with any bytes (replies, events, garbage, silence or a hang-up).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ovkwire.h"

using Bytes = std::vector<uint8_t>;

// One client connection as the script sees it.
class FakeConn {
public:
    explicit FakeConn(int fd) : fd_(fd) {}
    void sendRaw(const Bytes& b);
    void sendRaw(const void* p, size_t n);
    void reply(uint32_t handle, int32_t rc, int32_t error = 0, const Bytes& data = {});
    void event(uint32_t msg, uint32_t mp1, uint32_t mp2);
    void close(); // hang up on this client
    bool closed() const { return fd_ < 0; }
    int fd() const { return fd_; }

private:
    friend class FakeDaemon;
    int fd_;
    Bytes in_;
};

// The handle of any request.
uint32_t requestHandle(const ovkwire::Request& r);
// Little helpers for building raw messages.
Bytes replyBytes(uint32_t handle, int32_t rc, int32_t error, const Bytes& data);
Bytes eventBytes(uint32_t msg, uint32_t mp1, uint32_t mp2);

class FakeDaemon {
public:
    using Script = std::function<void(FakeConn&, const ovkwire::Request&)>;

    // Listens on the Unix socket `path`.
    static std::unique_ptr<FakeDaemon> onUnix(const std::string& path);
    // Listens on TCP 127.0.0.1 at a port of the system's choosing (port()).
    static std::unique_ptr<FakeDaemon> onTcp();
    ~FakeDaemon();

    int port() const { return port_; }

    // Replaces the script (runs on the daemon's thread). The default one answers like a
    // well-behaved daemon: Initialize 0; Open the next descriptor from 1; Read the bytes
    // asked for (0x40 + i); Write the count; IOCtl 0, with the values for get-values; Close 0;
    // Version 0 with version 1, release 2, modification 3.
    void setScript(Script s);
    void answer(FakeConn& c, const ovkwire::Request& r);

    // Raw bytes of every request received so far, in order.
    std::vector<Bytes> requests();
    size_t requestCount();
    // Waits until `count` requests have come (false when not within `ms`).
    bool waitForRequests(size_t count, int ms = 5000);
    // Connections accepted so far, and hanging up on every client.
    int connections();
    void closeConnections();
    // True once a client connection has been refused as malformed or seen closed by the client.
    bool sawClientClose();

private:
    FakeDaemon() = default;
    void start(int listenFd);
    void run();

    int listen_ = -1;
    int wake_[2] = {-1, -1};
    int port_ = 0;
    std::string path_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable cond_;
    Script script_;
    std::vector<Bytes> requests_;
    std::vector<std::unique_ptr<FakeConn>> conns_;
    int accepted_ = 0;
    bool clientClosed_ = false;
    std::atomic<bool> closeAll_{false};
    int nextDescriptor_ = 1;
};
