#include "PortStream.h"

#include "Device.h"

#include <errno.h>
#include <poll.h>
#include <sys/ioctl.h>

#include <chrono>

namespace portio {

WaitResult waitReadable(int fd, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (int attempt = 0; attempt < 2; ++attempt) {
        int left = timeoutMs;
        if (attempt > 0) {
            auto rest = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            left = rest.count() > 0 ? static_cast<int>(rest.count()) : 0;
        }
        pollfd p{fd, POLLIN, 0};
        int rc = commOps().poll(&p, 1, left);
        if (rc < 0 && errno == EINTR) continue;
        if (rc < 0) return Failed;
        if (rc == 0) return TimedOut;
        if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return Failed;
        return Readable;
    }
    return Failed;
}

int waiting(int fd) {
    int n = 0;
    if (commOps().ioctl(fd, FIONREAD, &n) != 0) return -1;
    return n;
}

int readOne(int fd, int timeoutMs) {
    if (timeoutMs > 0 && waitReadable(fd, timeoutMs) != Readable) return -1;
    uint8_t b;
    ssize_t n = commOps().read(fd, &b, 1);
    if (n == 1) return b;
    if (n < 0 && errno != EINTR && errno != EAGAIN) return -2;
    return -1;
}

int readSome(int fd, int timeoutMs, uint8_t* buf, int len, bool& timedOut) {
    timedOut = false;
    if (len <= 0) return 0;
    if (timeoutMs > 0) {
        WaitResult w = waitReadable(fd, timeoutMs);
        if (w == TimedOut) timedOut = true;
        if (w != Readable) return -1;
        int n = waiting(fd);
        if (n <= 0) return -1;
        if (n < len) len = n;
    }
    ssize_t n = commOps().read(fd, buf, static_cast<size_t>(len));
    return n < 0 ? -1 : static_cast<int>(n);
}

int writeAll(int fd, const uint8_t* buf, int len) {
    int total = 0;
    while (total < len) {
        ssize_t n = commOps().write(fd, buf + total, static_cast<size_t>(len - total));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        total += static_cast<int>(n);
    }
    // A write that failed before writing anything is a failure, not an empty write.
    return total == 0 && len > 0 ? -1 : total;
}

} // namespace portio
