// One client connection of the daemon and its thread. The thread reads one request at a
// time, has the dispatcher call the core and writes the reply; at the end of the stream, on a
// request that cannot be decoded, or when a reply cannot be sent within the write time-out,
// it ends the client's process (off the system object's list, deleted with its devices) and
// closes the socket. Nothing of this touches any other connection.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <pthread.h>

#include "ServiceConnection.h"

class ProcessHost;
class RequestDispatcher;
class RequestFramer;

class ClientConnection : public ServiceConnection {
public:
    // Stack of a connection's thread: requests run shallow calls into the core, so a
    // modest stack keeps many clients cheap.
    static constexpr size_t kThreadStackBytes = 512 * 1024;
    // Bytes of events and replies that may wait for a client that does not read, beyond
    // what its socket holds: far more than the client library's event queue takes (99
    // events of 20 bytes), so a client that reads at all never meets it; a stopped client
    // meets it (after its socket's own few hundred messages) within a minute even at 30
    // events a second.
    static constexpr size_t kOutboundBytes = 16 * 1024;
    static size_t OutboundBytes();

    // sb: an accepted socket, owned from now on. processId: the client's id in the core.
    ClientConnection(sockbuf* sb, ProcessHost& host, int processId);
    // Stops and joins the thread.
    ~ClientConnection() override;

    // Reads and answers one request: 0, or -1 when the connection is to end.
    int handleInput(Selector* selector) override;

    // Starts the connection's thread; false when none could be started.
    bool Start();
    // Makes the thread end soon: shuts the socket down unless it is closed already.
    void Stop();
    void Join();
    // True once the thread has ended the process and closed the socket.
    bool Finished() const { return finished_.load(); }
    // True while a connection of the process whose peer has closed it has not yet ended the
    // process (its thread is about to).
    static bool HungUpConnectionOf(int processId);
    int ProcessId() const { return processId_; }

protected:
    void outboundOverflow(size_t queuedBytes) override;

private:
    void Run();
    void Unlist();
    static void* ThreadMain(void* self);

    int processId_;
    std::unique_ptr<RequestFramer> framer_;
    std::unique_ptr<RequestDispatcher> dispatcher_;
    std::unique_ptr<uint8_t[]> reply_;
    pthread_t thread_{};
    bool started_ = false;
    std::mutex closeMutex_;
    bool closed_ = false;
    std::atomic<bool> finished_{false};
};
