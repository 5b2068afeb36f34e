// Access to the bus adapter driver node (/dev/ovkdcs) and the planar keyboard node.
//
// The helpers reach, in this order: a backend installed in process (tests and the
// in-process simulator); else, when the node path (under OVK_ROOT) is a Unix socket, a
// peer on that socket that answers each request; else the node itself.
#pragma once

#include <cstddef>
#include <cstdint>

int chDevOpen(const char* path, int& fd);
int chDevIoctl(int fd, unsigned long request, void* record, int size, int id);
int chDevClose(int fd);
int chIsDocked();

// Record size of a request: the size field of the ioctl number (bits 16-29).
inline size_t chDevRecordSize(unsigned long request) { return (request >> 16) & 0x3FFF; }

// An in-process driver. open() answers 0 and a descriptor, or an errno value; ioctl()
// works on the record in place (its first byte is the driver's result); close() 0 or errno.
class DevNodeBackend {
public:
    virtual ~DevNodeBackend() = default;
    virtual int open(const char* path, int& fd) = 0;
    virtual void ioctl(int fd, unsigned long request, void* record, size_t size) = 0;
    virtual int close(int fd) = 0;
};

// Installs (or with null removes) the in-process backend. Not owned.
void chSetDevNodeBackend(DevNodeBackend* backend);
