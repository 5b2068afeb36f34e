// Access to the bus adapter driver node (/dev/ovkdcs) and the planar keyboard node.
//
// The helpers reach, in this order: a backend installed in process (tests and the
// in-process simulator); else, when the node path (under OVK_ROOT) is a Unix socket, a
// peer on that socket that answers each request; else the node itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Opens the node named by its system path (such as "/dev/ovkdcs"; OVK_ROOT is applied
// here): 0 and a descriptor, or the low byte of errno.
int chDevOpen(const char* path, int& fd);
// Runs one request on the record in place and returns the record's first byte, which the
// driver sets to its result. The record size is the one the request number carries; size
// and id are not used. A request that does not reach the driver leaves a non-zero result
// (the low byte of errno) when the driver did not set one.
int chDevIoctl(int fd, unsigned long request, void* record, int size, int id);
// True when two requests on the descriptor take less time as a pair (chDevIoctlPair) than
// one after the other: a forwarding peer, which is sent both at once.
bool chDevPairs(int fd);
// Runs request1, then request2, each as chDevIoctl does, and gives both results. On a
// forwarding peer both requests go out together and both replies are read after: the peer
// answers the second without waiting for the first reply to be taken. When the first does
// not reach the driver, the second fails as well.
void chDevIoctlPair(int fd, unsigned long request1, void* record1, unsigned long request2, void* record2,
                    int& result1, int& result2);
// 0 or the low byte of errno.
int chDevClose(int fd);
// 1 once requests on the descriptor no longer reach the driver: the forwarding peer went
// away or fell out of step with its requests, or the kernel node reported itself gone.
// Every later request on it then fails at once; only a new chDevOpen reaches the node again.
int chDevLost(int fd);
// A descriptor that becomes readable whenever the node has input for the core (a station
// has something to say), so that the polling thread need not wait for its interval; end of
// stream when the node goes. -1 when the node cannot be watched (an in-process backend,
// the kernel node, no peer): the caller then polls at its interval alone. The caller reads
// and discards the bytes and closes the descriptor with close(2).
int chDevWatch(const char* path);
// Always docked (1).
int chIsDocked();

// Record size of a request: the size field of the ioctl number (bits 16-29).
inline size_t chDevRecordSize(unsigned long request) { return (request >> 16) & 0x3FFF; }

// Requests of the bus driver node (ioctl type 'w'); the record sizes are in the numbers.
enum : uint32_t {
    DCS_REQUEST_BUFFER = 0xC0087708,   // RW 8: slot
    DCS_WAIT_BUFFER = 0xC80C7709,      // RW 2060: slot, timeout ms, 2048-byte buffer
    DCS_RETURN_BUFFER = 0xC808770A,    // RW 2056: slot, 2048-byte buffer
    DCS_RESET_ADAPTER = 0xC008770B,    // RW 8: slot
    DCS_GET_DCS_INFO = 0xC010770C,     // RW 16: slot, adapter kind, port count
    DCS_GET_SLOT_INFO = 0x80DC770D,    // R 220: adapter type[9], slot type[9]
    DCS_NVRAM_READ = 0x8810771F,       // R 2064: NVRAM record
    DCS_NVRAM_WRITE = 0xC8107720,      // RW 2064: NVRAM record
    DCS_GET_NVRAM_INFO = 0xC0387725,   // RW 56
    DCS_GET_VPD = 0xC01C7727,          // RW 28: 24 bytes of vital product data
    DEV_NODE_WATCH_INPUT = 0x00007730, // forwarding peer only: watch for input, no record
};

// An in-process driver. open() answers 0 and a descriptor, or an errno value; ioctl()
// works on the record in place (its first byte is the driver's result); close() 0 or errno.
class DevNodeBackend {
public:
    virtual ~DevNodeBackend() = default;
    virtual int open(const char* path, int& fd) = 0;
    virtual void ioctl(int fd, unsigned long request, void* record, size_t size) = 0;
    virtual int close(int fd) = 0;
    // True once the descriptor no longer reaches the driver (see chDevLost).
    virtual bool lost(int /*fd*/) { return false; }
};

// Installs (or with null removes) the in-process backend. Not owned.
void chSetDevNodeBackend(DevNodeBackend* backend);

// ---------------------------------------------------------------------------------------
// Forwarding over a Unix socket. When the node path is a socket, each chDevOpen is one
// connection to it and each chDevIoctl one exchange on that connection:
//   request: uint32 ioctl number, uint32 record length N, then the N record bytes;
//   reply:   uint32 record length N (the same N), then the N record bytes as the driver
//            left them.
// Words are little-endian; N is the request's record size (chDevRecordSize). A reply of
// another length, a short or late reply, or a closed connection fails the exchange.
// A connection whose first request is DEV_NODE_WATCH_INPUT (no record) gets no reply: the
// peer writes one byte on it whenever a station has input for the core (chDevWatch).
constexpr int kDevNodeReplyTimeoutMs = 5000;
constexpr size_t kDevNodeMaxRecord = 0x3FFF;

// Peer side of the forwarding format (the simulator). Reads one request: 0, or -1 when the
// connection closed, failed, timed out (timeoutMs < 0 waits without limit) or sent a
// length other than its request's record size.
int devNodeReadRequest(int fd, uint32_t& request, std::vector<uint8_t>& record, int timeoutMs);
// Writes one reply: 0, or -1 when the connection failed.
int devNodeWriteReply(int fd, const void* record, size_t length);
