#include "OutboundFlusher.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "ServiceConnection.h"

OutboundFlusher& OutboundFlusher::instance() {
    // Never destroyed: connections may go while static objects are torn down.
    static OutboundFlusher* f = new OutboundFlusher;
    return *f;
}

void OutboundFlusher::Add(ServiceConnection* connection) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!started_) {
            if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) return;
            try {
                std::thread(&OutboundFlusher::Run, this).detach();
            } catch (const std::system_error&) {
                return;
            }
            started_ = true;
        }
        if (!pending_.insert(connection).second) {
            // Being flushed right now: the flush may have found the queue empty just before
            // this output came, so the connection stays pending.
            if (busy_ == connection) busyAddedAgain_ = true;
            return;
        }
    }
    Wake();
}

void OutboundFlusher::Remove(ServiceConnection* connection) {
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [&] { return busy_ != connection; });
    pending_.erase(connection);
}

void OutboundFlusher::setAfterFlushForTest(std::function<void(ServiceConnection*, bool)> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    afterFlush_ = std::move(hook);
}

void OutboundFlusher::Wake() {
    const char b = 1;
    ssize_t ignored = ::write(wake_[1], &b, 1);
    (void)ignored;
}

void OutboundFlusher::Run() {
    std::vector<pollfd> fds;
    std::vector<ServiceConnection*> polled;
    for (;;) {
        fds.assign(1, pollfd{wake_[0], POLLIN, 0});
        polled.clear();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (ServiceConnection* c : pending_) {
                fds.push_back(pollfd{c->getDescriptor(), POLLOUT, 0});
                polled.push_back(c);
            }
        }
        if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) continue;
        if (fds[0].revents) {
            char buf[64];
            while (::read(wake_[0], buf, sizeof buf) > 0) {
            }
        }
        for (size_t i = 0; i < polled.size(); ++i) {
            if (!fds[i + 1].revents) continue;
            ServiceConnection* c = polled[i];
            std::function<void(ServiceConnection*, bool)> afterFlush;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (!pending_.count(c)) continue; // removed meanwhile
                busy_ = c;
                busyAddedAgain_ = false;
                afterFlush = afterFlush_;
            }
            const bool done = c->flushQueued();
            if (afterFlush) afterFlush(c, done);
            std::lock_guard<std::mutex> lock(mutex_);
            busy_ = nullptr;
            if (done && !busyAddedAgain_) pending_.erase(c);
            idle_.notify_all();
        }
    }
}
