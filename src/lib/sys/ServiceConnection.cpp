// ServiceConnection: accepted connection with a writer mutex and bounded writes.
#include "ServiceConnection.h"

#include <sys/socket.h>

#include <cerrno>

#include "OutboundFlusher.h"

namespace {

// Sends without waiting: the bytes sent (0 when the socket is full), or -1 when it failed.
long sendNow(int sd, const char* p, size_t n) {
    size_t sent = 0;
    while (sent < n) {
        const ssize_t r = ::send(sd, p + sent, n - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (r > 0) {
            sent += static_cast<size_t>(r);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        return -1;
    }
    return static_cast<long>(sent);
}

} // namespace

ServiceConnection::ServiceConnection(sockbuf* sb, bool ownsBuffer)
    : sostream(sb), owned_(ownsBuffer ? sb : nullptr) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&mutex_, &attr);
    pthread_mutexattr_destroy(&attr);
    // The write side gets its own state and its buffer now, before threads share it.
    writer();
    if (sb) sb->setWriteTimeout(DEFAULT_WRITE_TIMEOUT);
}

ServiceConnection::~ServiceConnection() {
    leaveOutboundFlusher();
    // A writer still sending finishes before the descriptor goes.
    close();
    pthread_mutex_destroy(&mutex_);
    if (owned_) {
        // Detach the stream from the buffer before deleting it.
        owned_->setOwner(nullptr);
        owned_->setWriteOwner(nullptr);
        std::iostream::rdbuf(nullptr);
        delete owned_;
    }
}

int ServiceConnection::getDescriptor() {
    sockbuf* sb = rdbuf();
    return sb ? sb->getDescriptor() : -1;
}

int ServiceConnection::lockMutex() { return pthread_mutex_lock(&mutex_); }

int ServiceConnection::unlockMutex() { return pthread_mutex_unlock(&mutex_); }

void ServiceConnection::enableOutboundQueue(size_t boundBytes) {
    pthread_mutex_lock(&mutex_);
    queued_ = true;
    bound_ = boundBytes;
    pthread_mutex_unlock(&mutex_);
}

bool ServiceConnection::outboundOverflowed() {
    pthread_mutex_lock(&mutex_);
    const bool r = overflowed_;
    pthread_mutex_unlock(&mutex_);
    return r;
}

void ServiceConnection::leaveOutboundFlusher() {
    pthread_mutex_lock(&mutex_);
    const bool queued = queued_;
    failed_ = true; // nothing is queued from now on, so nothing adds it to the flusher again
    pthread_mutex_unlock(&mutex_);
    if (queued) OutboundFlusher::instance().Remove(this);
}

// Writer mutex held. The message goes out now as far as the socket takes it, the rest (or all
// of it, behind earlier output) waits in the queue.
int ServiceConnection::queueMessage(const void* data, int length, bool& startFlushing) {
    startFlushing = false;
    sockbuf* sb = rdbuf();
    const int sd = sb ? sb->getDescriptor() : -1;
    if (!data || length < 0 || sd < 0 || overflowed_ || failed_) {
        writer().clear(std::ios_base::badbit | std::ios_base::eofbit | std::ios_base::failbit);
        return -1;
    }
    const char* p = static_cast<const char*>(data);
    size_t n = static_cast<size_t>(length);
    if (queue_.empty()) {
        const long sent = sendNow(sd, p, n);
        if (sent < 0) {
            failed_ = true;
            writer().clear(std::ios_base::badbit | std::ios_base::eofbit | std::ios_base::failbit);
            return -1;
        }
        p += sent;
        n -= static_cast<size_t>(sent);
        if (n == 0) return 0;
        startFlushing = true;
    }
    if (queue_.size() + n > bound_) {
        overflowed_ = true;
        outboundOverflow(queue_.size() + n);
        queue_.clear();
        // The connection's thread sees the end of its stream and ends the client's process.
        ::shutdown(sd, SHUT_RDWR);
        writer().clear(std::ios_base::eofbit | std::ios_base::failbit);
        return -1;
    }
    queue_.append(p, n);
    return 0;
}

bool ServiceConnection::flushQueued() {
    pthread_mutex_lock(&mutex_);
    sockbuf* sb = rdbuf();
    const int sd = sb ? sb->getDescriptor() : -1;
    bool done = true;
    if (sd >= 0 && !failed_ && !overflowed_ && !queue_.empty()) {
        const long sent = sendNow(sd, queue_.data(), queue_.size());
        if (sent < 0) {
            failed_ = true;
            queue_.clear();
        } else {
            queue_.erase(0, static_cast<size_t>(sent));
            done = queue_.empty();
        }
    }
    pthread_mutex_unlock(&mutex_);
    return done;
}

int ServiceConnection::writeMessage(const void* data, int length) {
    sockbuf* sb = rdbuf();
    if (!sb) return -1;
    pthread_mutex_lock(&mutex_);
    if (queued_) {
        writer().clear();
        bool startFlushing = false;
        const int r = queueMessage(data, length, startFlushing);
        pthread_mutex_unlock(&mutex_);
        if (startFlushing) OutboundFlusher::instance().Add(this);
        return r;
    }
    writer().clear();
    const int r = sb->sendMessage(data, length);
    pthread_mutex_unlock(&mutex_);
    return r;
}

int ServiceConnection::close() {
    pthread_mutex_lock(&mutex_);
    const int r = sostream::close();
    pthread_mutex_unlock(&mutex_);
    return r;
}

long ServiceConnection::setWriteTimeout(long ms) {
    sockbuf* sb = rdbuf();
    return sb ? sb->setWriteTimeout(ms) : -1;
}
