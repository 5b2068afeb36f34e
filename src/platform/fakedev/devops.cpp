#include "ovkdevops.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

int sysOpen(const char* path, int flags) { return ::open(path, flags | O_CLOEXEC); }
int sysClose(int fd) { return ::close(fd); }
ssize_t sysRead(int fd, void* buf, size_t n) { return ::read(fd, buf, n); }
ssize_t sysWrite(int fd, const void* buf, size_t n) { return ::write(fd, buf, n); }
int sysIoctl(int fd, unsigned long request, void* arg) { return ::ioctl(fd, request, arg); }
int sysPoll(struct pollfd* fds, unsigned long n, int timeoutMs) {
    return ::poll(fds, static_cast<nfds_t>(n), timeoutMs);
}

const OvkDevOps systemOps = {sysOpen, sysClose, sysRead, sysWrite, sysIoctl, sysPoll};

} // namespace

extern "C" const OvkDevOps* ovkSystemDevOps(void) { return &systemOps; }
