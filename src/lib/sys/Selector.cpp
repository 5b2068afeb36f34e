// Selector: the daemon frame's wait loop, on poll(2) so that any descriptor number works.
#include "Selector.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <poll.h>

#include "ServerException.h"

Selector::Selector() = default;

Selector::~Selector() {
    while (!selectables_.empty()) {
        Selectable* s = selectables_.back();
        selectables_.pop_back();
        delete s;
    }
}

void Selector::addSelectable(Selectable* s) {
    if (s) selectables_.push_back(s);
}

void Selector::setIdleHandler(void (*handler)(), int thresholdMs) {
    idleHandler_ = handler;
    idleThreshold_ = thresholdMs;
}

void Selector::setIdleHandler(void (*handler)()) { idleHandler_ = handler; }

void Selector::setIdleThreshold(int ms) { idleThreshold_ = ms; }

void Selector::drop(Selectable* s) {
    auto it = std::find(selectables_.begin(), selectables_.end(), s);
    if (it != selectables_.end()) selectables_.erase(it);
    delete s;
}

void Selector::run() {
    int waitFailures = 0;
    int idleFailures = 0;
    std::vector<pollfd> fds;
    std::vector<Selectable*> ready;
    for (;;) {
        // Objects added by handlers during a pass are waited on from the next pass on.
        fds.clear();
        ready.clear();
        for (Selectable* s : selectables_) {
            fds.push_back(pollfd{s->getDescriptor(), POLLIN, 0});
            ready.push_back(s);
        }
        const int timeout = idleThreshold_ >= 0 ? idleThreshold_ : -1;
        int n;
        do {
            n = ::poll(fds.data(), fds.size(), timeout);
        } while (n < 0 && errno == EINTR);
        const int err = errno;

        if (n > 0) {
            waitFailures = 0;
            for (size_t i = 0; i < fds.size(); ++i) {
                const short ev = fds[i].revents;
                if (ev == 0) continue;
                Selectable* s = ready[i];
                bool remove = true; // a descriptor that is not open can never be served
                if (!(ev & POLLNVAL)) {
                    try {
                        remove = s->handleInput(this) < 0;
                    } catch (...) {
                        remove = true;
                    }
                }
                if (remove) drop(s);
            }
            continue;
        }
        if (n == 0 && idleHandler_) {
            try {
                idleHandler_();
                idleFailures = 0;
            } catch (...) {
                if (++idleFailures > 3)
                    throw ServerException("idle handler failing: %s? (errno)", std::strerror(errno));
            }
            continue;
        }
        if (++waitFailures > 3) throw ServerException("select() failing: %s", std::strerror(err));
    }
}
