#include "NodeWatch.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "PollWake.h"
#include "sydevnode.h"

NodeWatch::~NodeWatch() { Stop(); }

bool NodeWatch::Start(const char* nodePath) {
    if (thread_.joinable()) return true;
    path_ = nodePath;
    if (::pipe2(stop_, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    try {
        thread_ = std::thread(&NodeWatch::Run, this);
    } catch (const std::system_error&) {
        for (int& fd : stop_) {
            ::close(fd);
            fd = -1;
        }
        return false;
    }
    return true;
}

void NodeWatch::Stop() {
    if (thread_.joinable()) {
        const char b = 1;
        ssize_t ignored = ::write(stop_[1], &b, 1);
        (void)ignored;
        thread_.join();
    }
    for (int& fd : stop_) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

void NodeWatch::Run() {
    int fd = -1;
    for (;;) {
        if (fd < 0) fd = chDevWatch(path_);
        pollfd fds[2] = {{stop_[0], POLLIN, 0}, {fd, POLLIN, 0}};
        const int r = ::poll(fds, fd >= 0 ? 2 : 1, fd >= 0 ? -1 : kRetryMs);
        if (r < 0 && errno != EINTR) break;
        if (r <= 0) continue;
        if (fds[0].revents) break;
        if (fds[1].revents) {
            char buf[64];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0) {
                PollWake::Post();
                continue;
            }
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            // The node went away: the poller keeps its interval until it is back.
            ::close(fd);
            fd = -1;
            pollfd stop{stop_[0], POLLIN, 0};
            if (::poll(&stop, 1, kRetryMs) > 0) break;
        }
    }
    if (fd >= 0) ::close(fd);
}
