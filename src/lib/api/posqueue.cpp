#include "posqueue.h"

#include <cerrno>
#include <chrono>

#include "apitrace.h"

PosQueue::PosQueue() : ring_(new _POSQMSG[POSQMSG_BUFSIZ]()) {}

PosQueue::~PosQueue() { delete[] ring_; }

PosQueue& PosQueue::instance() {
    // Never destroyed: service threads may still write into it while the process exits.
    static PosQueue* q = new PosQueue;
    return *q;
}

int PosQueue::write(const _POSQMSG* msg) {
    apitrace("PosQueue::write() entry\n");
    int result;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if ((writeIndex_ + 1) % POSQMSG_BUFSIZ == readIndex_) {
            errno = POSERR_SYS_DATA_DISCARDED;
            result = -1;
        } else {
            ring_[writeIndex_] = *msg;
            writeIndex_ = (writeIndex_ + 1) % POSQMSG_BUFSIZ;
            cond_.notify_one();
            result = SIZEOF_POSQMSG;
        }
    }
    apitrace("PosQueue::write() returning %d\n", result);
    return result;
}

int PosQueue::read(_POSQMSG* msg) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto ready = [this] { return !emptyLocked() || lost_; };
    if (!ready()) {
        if (readTimeout_ < 0) {
            cond_.wait(lock, ready);
        } else if (readTimeout_ == 0) {
            errno = POSERR_SYS_TIMEOUT;
            return -1;
        } else {
            // One deadline for the whole wait: wake-ups without a record wait on.
            auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(readTimeout_);
            if (!cond_.wait_until(lock, deadline, ready)) {
                errno = POSERR_SYS_TIMEOUT;
                return -1;
            }
        }
    }
    // Events that came before the loss are still handed out.
    if (emptyLocked()) {
        errno = POSERR_SYS_SERVICE_NOT_AVAILABLE;
        return -1;
    }
    *msg = ring_[readIndex_];
    readIndex_ = (readIndex_ + 1) % POSQMSG_BUFSIZ;
    return SIZEOF_POSQMSG;
}

void PosQueue::connectionOpened() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++connections_;
    lost_ = false;
}

void PosQueue::connectionEnded(bool lost) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (connections_ > 0) --connections_;
    if (lost && connections_ == 0) {
        lost_ = true;
        cond_.notify_all();
    }
}

void PosQueue::setReadTimeout(long ms) {
    apitrace(">PosQueue::setTimeout(%ld)\n", ms);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        readTimeout_ = ms;
    }
    apitrace("<PosQueue::setTimeout() readTimeoutSecs == %ld\n", ms > 0 ? ms / 1000 : 0L);
    apitrace("<PosQueue::setTimeout() readTimeoutNsecs == %ld\n", ms > 0 ? (ms % 1000) * 1000000 : 0L);
    apitrace("<PosQueue::setTimeout()\n");
}

long PosQueue::getReadTimeout() {
    std::lock_guard<std::mutex> lock(mutex_);
    return readTimeout_;
}

void PosQueue::wakeForTesting() {
    std::lock_guard<std::mutex> lock(mutex_);
    cond_.notify_all();
}
