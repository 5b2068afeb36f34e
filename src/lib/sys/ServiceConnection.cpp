// ServiceConnection: accepted connection with a writer mutex and bounded writes.
#include "ServiceConnection.h"

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

int ServiceConnection::writeMessage(const void* data, int length) {
    sockbuf* sb = rdbuf();
    if (!sb) return -1;
    pthread_mutex_lock(&mutex_);
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
