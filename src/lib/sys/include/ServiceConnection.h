// ServiceConnection: one accepted client connection, an iostream over its socket with a
// writer mutex. The daemon's subclass implements handleInput.
//
// Threads: one thread reads requests from the stream itself; any thread that writes (the
// core's event writer, the request thread's replies) uses writeMessage, which holds the
// writer mutex and reports in the writer's own state (writer()), so reads and writes never
// disturb each other's stream state. Writes are bounded by the write time-out (default
// DEFAULT_WRITE_TIMEOUT ms): a client that does not read loses messages, whole, instead of
// stalling the writer.
#pragma once

#include <pthread.h>

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

private:
    pthread_mutex_t mutex_;
    sockbuf* owned_ = nullptr;
};
