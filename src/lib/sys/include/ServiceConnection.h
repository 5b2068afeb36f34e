// ServiceConnection: one accepted client connection, an iostream over its socket with a
// writer mutex. The daemon's subclass implements handleInput.
//
// Threads: one thread reads requests from the stream itself; any thread that writes (the
// core's event writer, the request thread's replies) uses writeMessage, which holds the
// writer mutex and reports in the writer's own state (writer()), so reads and writes never
// disturb each other's stream state. Writes are bounded by the write time-out (default
// DEFAULT_WRITE_TIMEOUT ms): a client that does not read loses messages, whole, instead of
// stalling the writer. With an outbound queue (enableOutboundQueue, as the daemon's client
// connections have) a write never waits: what the socket does not take at once waits in the
// connection's queue and goes out as the client reads (OutboundFlusher); a client that lets
// the queue pass its bound is disconnected (outboundOverflow, then the socket is shut down).
#pragma once

#include <pthread.h>

#include <cstddef>
#include <string>

#include "Selector.h"
#include "SocketStream.h"

class ServiceConnection : public Selectable, public sostream {
public:
    static constexpr long DEFAULT_WRITE_TIMEOUT = 1000;

    // A stream over `sb` (state good when `sb` holds a socket). Its descriptor is closed
    // when the connection is destroyed; `sb` itself is deleted then only when `ownsBuffer`
    // is true (as for a buffer from ServicePublisher::accept), else the caller deletes it
    // after the connection.
    explicit ServiceConnection(sockbuf* sb, bool ownsBuffer = false);
    ~ServiceConnection() override;

    int getDescriptor() override;
    int handleInput(Selector* selector) override = 0;

    // The writer mutex (recursive). Results of the POSIX calls.
    int lockMutex();
    int unlockMutex();

    // Sends one whole message under the writer mutex: 0 when it went out within the write
    // time-out, -1 otherwise (see sockbuf::sendMessage).
    int writeMessage(const void* data, int length);
    // Closes the socket once no writer is sending on it (holds the writer mutex).
    int close();
    // Milliseconds a write may wait for the client (-1: no limit). Returns the previous.
    long setWriteTimeout(long ms);

    // From now on writes never wait; at most `boundBytes` wait in the connection's queue.
    void enableOutboundQueue(size_t boundBytes);
    // Sends what the queue holds and the socket takes now: true when nothing is left to send
    // (the queue is empty, or the connection has failed). For OutboundFlusher.
    bool flushQueued();
    // True once the queue passed its bound (the connection is being shut down).
    bool outboundOverflowed();
    // Nothing more is queued; the connection leaves the flusher, waiting until the flusher
    // has let go of it. A subclass calls it before its own part is destroyed, since the
    // flusher calls into the connection (the base destructor calls it too late for that).
    void leaveOutboundFlusher();

protected:
    // Called once, under the writer mutex, when the queue passes its bound.
    virtual void outboundOverflow(size_t queuedBytes) { (void)queuedBytes; }

private:
    int queueMessage(const void* data, int length, bool& startFlushing);

    pthread_mutex_t mutex_;
    sockbuf* owned_ = nullptr;
    bool queued_ = false;   // outbound queue in use
    size_t bound_ = 0;
    std::string queue_;     // bytes not yet sent, in order
    bool overflowed_ = false;
    bool failed_ = false;   // the peer is gone
};
