// One connection to a control daemon: the socket, and the service thread that reads every
// message the daemon sends, queues events on descriptor 0 and hands the awaited reply to the
// requesting thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

class Service {
public:
    static constexpr size_t IO_BUFFER_SIZE = 65535;

    explicit Service(int servdes);
    virtual ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    // Connects (Unix-domain path; TCP host and port; TCP host and service name) and starts
    // the service thread. False when already open or the connection cannot be made.
    bool open(const char* path);
    bool open(const char* host, unsigned short port);
    bool open(const char* host, const char* service);
    // Stops the service thread and closes the socket.
    void close();

    int getServdes() const { return servdes_; }

    // Sends the first `length` bytes of the request buffer (type and body built by the
    // caller; the request handle is stamped here) and waits for the reply with the same
    // handle. The caller holds the buffers mutex through `lock`; the reply stays in the reply
    // buffer. Returns the reply's rc (errno set from its error code when negative): -1 with
    // 337 when the request cannot be written or the connection is lost, -1 with 329 when no
    // reply comes in time.
    int sendRequest(std::unique_lock<std::mutex>& lock, unsigned int length);

private:
    bool attach(int fd);
    void serviceInputLoop();
    void handleEvent(uint32_t msg, uint32_t mp1, uint32_t mp2);
    void connectionLost(const char* why);
    bool writeAll(const uint8_t* p, size_t n);

    int servdes_;
    int fd_ = -1;
    int wake_[2] = {-1, -1};
    std::thread thread_;
    uint8_t* in_ = nullptr; // receive buffer of IO_BUFFER_SIZE bytes
    size_t have_ = 0;
    bool dead_ = false; // guarded by the buffers mutex
};
