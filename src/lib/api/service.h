// One connection to a control daemon: the socket, and the service thread that reads every
// message the daemon sends while no request waits, queues events on descriptor 0 and hands a
// reply it meets to the requesting thread. A requesting thread reads its own reply when the
// service thread is not reading at that moment (events met on the way go to descriptor 0
// as well), which spares the hand-over between the two threads.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

namespace ovkwire {
struct ServerMessage;
}

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
    using Clock = std::chrono::steady_clock;
    enum class Receive { Bytes, Nothing, Lost, Closing };

    bool attach(int fd);
    void serviceInputLoop();
    // Reads the awaited reply on the caller's thread; buffers mutex and read mutex held.
    void readOwnReply(uint32_t handle, Clock::time_point deadline);
    // Takes every whole message out of the input buffer (read mutex held); `haveBuffers`:
    // the caller holds the buffers mutex. False when the stream is broken.
    bool takeMessages(bool haveBuffers);
    void deliverReply(const ovkwire::ServerMessage& m, bool haveBuffers);
    // Waits up to timeoutMs (negative: no limit) for the socket to become readable (Bytes)
    // or, with `watchWake`, for close(); `why` names a failure.
    Receive receive(int timeoutMs, bool watchWake, const char*& why);
    // Receives what the socket holds into the input buffer, without waiting (read mutex held).
    Receive take(const char*& why);
    void handleEvent(uint32_t msg, uint32_t mp1, uint32_t mp2);
    void connectionLost(const char* why, bool haveBuffers);
    bool writeAll(const uint8_t* p, size_t n);
    void requestDone();
    void letRequestRead(); // wakes a request waiting for the socket

    int servdes_;
    int fd_ = -1;
    int wake_[2] = {-1, -1};
    std::thread thread_;
    std::mutex readMutex_;  // the right to receive and the input buffer below
    uint8_t* in_ = nullptr; // receive buffer of IO_BUFFER_SIZE bytes
    size_t have_ = 0;
    bool partial_ = false;  // the first bytes of a message are in, the rest is awaited
    Clock::time_point messageDeadline_;
    std::atomic<bool> requestActive_{false}; // a request on this connection awaits its reply
    std::mutex idleMutex_;
    std::condition_variable idleCond_; // the service thread waits here while a request reads
    bool closing_ = false;             // guarded by idleMutex_
    bool dead_ = false; // guarded by the buffers mutex
    // Counted among the event queue's connections: from attach until lost or closed.
    std::atomic<bool> feeding_{false};
    // Tells the event queue that this connection ended (once).
    void stopFeeding(bool lost);
};
