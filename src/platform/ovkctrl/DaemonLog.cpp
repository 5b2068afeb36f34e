// Daemon log lines, written whole with one write(2) per descriptor so that lines of
// different threads never interleave.
#include "DaemonLog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <ctime>

#include <sys/time.h>
#include <unistd.h>

namespace {
std::atomic<bool> toBoth{false};

void writeAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w <= 0) return;
        p += w;
        n -= static_cast<size_t>(w);
    }
}
} // namespace

void daemonLogToBoth(bool both) { toBoth = both; }

void daemonLog(const char* format, ...) {
    char line[1024];
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    struct tm tm;
    gmtime_r(&tv.tv_sec, &tm);
    size_t n = std::strftime(line, sizeof line, "%Y-%m-%d %H:%M:%S", &tm);
    n += static_cast<size_t>(std::snprintf(line + n, sizeof line - n, ".%03dZ ovkctrl[%d]: ",
                                           static_cast<int>(tv.tv_usec / 1000),
                                           static_cast<int>(::getpid())));
    va_list args;
    va_start(args, format);
    int m = std::vsnprintf(line + n, sizeof line - n - 1, format, args);
    va_end(args);
    if (m > 0) n += static_cast<size_t>(m) < sizeof line - n - 1 ? static_cast<size_t>(m) : sizeof line - n - 2;
    line[n++] = '\n';
    writeAll(2, line, n);
    if (toBoth) writeAll(1, line, n);
}
