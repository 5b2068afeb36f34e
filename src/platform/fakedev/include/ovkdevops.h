// The device operations the keyboard and port natives go through: the system calls by
// default; a test installs its own table (the fake devices) through each library's seam.
#pragma once

#include <stddef.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

struct pollfd;

typedef struct OvkDevOps {
    int (*open)(const char* path, int flags);
    int (*close)(int fd);
    ssize_t (*read)(int fd, void* buf, size_t n);
    ssize_t (*write)(int fd, const void* buf, size_t n);
    int (*ioctl)(int fd, unsigned long request, void* arg);
    int (*poll)(struct pollfd* fds, unsigned long n, int timeoutMs);
} OvkDevOps;

// The system calls.
const OvkDevOps* ovkSystemDevOps(void);

#ifdef __cplusplus
}
#endif
