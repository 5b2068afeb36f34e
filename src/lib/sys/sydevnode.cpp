// Driver-node helpers: an in-process backend, a forwarding peer on a Unix socket, or the
// kernel node itself.
#include "sydevnode.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <set>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include "ovkhost.h"

namespace {

std::atomic<DevNodeBackend*> g_backend{nullptr};

int lowByte(int e) { return e & 0xFF; }

void putWord(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t getWord(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Writes the pieces of `iov` whole, waiting at most timeoutMs for room each time the socket
// is full: a peer that stops reading must not hold the polling thread for ever. The socket
// is only polled when a send would block, and the pieces go out in one call where they fit.
bool writeAll(int fd, iovec* iov, int count, int timeoutMs = kDevNodeReplyTimeoutMs) {
    while (count > 0 && iov->iov_len == 0) {
        ++iov;
        --count;
    }
    while (count > 0) {
        msghdr msg{};
        msg.msg_iov = iov;
        msg.msg_iovlen = static_cast<size_t>(count);
        const ssize_t n = ::sendmsg(fd, &msg, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
            pollfd p{fd, POLLOUT, 0};
            const int r = ::poll(&p, 1, timeoutMs);
            if (r < 0 && errno != EINTR) return false;
            if (r == 0) {
                errno = ETIMEDOUT;
                return false;
            }
            continue;
        }
        size_t sent = static_cast<size_t>(n);
        while (count > 0 && sent >= iov->iov_len) {
            sent -= iov->iov_len;
            ++iov;
            --count;
        }
        if (count > 0) {
            iov->iov_base = static_cast<uint8_t*>(iov->iov_base) + sent;
            iov->iov_len -= sent;
        }
    }
    return true;
}

bool writeAll(int fd, const uint8_t* data, size_t length, int timeoutMs = kDevNodeReplyTimeoutMs) {
    iovec iov{const_cast<uint8_t*>(data), length};
    return writeAll(fd, &iov, 1, timeoutMs);
}

// Reads at least `least` and at most `length` bytes (what has arrived), waiting at most
// timeoutMs for each part (negative: no limit); the socket is only polled when nothing is
// there to read, or first when the caller knows that nothing can be there yet (a reply
// just asked for). The count read, or -1 (errno set).
ssize_t readSome(int fd, uint8_t* data, size_t least, size_t length, int timeoutMs, bool waitFirst = false) {
    size_t got = 0;
    while (got < least) {
        if (waitFirst) {
            waitFirst = false;
            errno = EAGAIN;
        } else if (const ssize_t n = ::recv(fd, data + got, length - got, MSG_DONTWAIT); n > 0) {
            got += static_cast<size_t>(n);
            continue;
        } else if (n == 0) {
            errno = ECONNRESET;
            return -1;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, timeoutMs);
        if (r < 0 && errno != EINTR) return -1;
        if (r == 0) {
            errno = ETIMEDOUT;
            return -1;
        }
    }
    return static_cast<ssize_t>(got);
}

// Reads exactly length bytes, waiting at most timeoutMs for each part (negative: no limit).
bool readAll(int fd, uint8_t* data, size_t length, int timeoutMs) {
    return readSome(fd, data, length, length, timeoutMs) >= 0;
}

// What each descriptor that chDevOpen gave is, so that a request need not ask the kernel:
// 0 unknown (not opened here, or beyond the table), 1 a forwarding peer, 2 the node itself.
constexpr int kKnownDescriptors = 1024;
std::atomic<uint8_t> g_kinds[kKnownDescriptors];

void setKind(int fd, uint8_t kind) {
    if (fd >= 0 && fd < kKnownDescriptors) g_kinds[fd].store(kind, std::memory_order_relaxed);
}

bool isSocket(int fd) {
    const uint8_t kind = fd >= 0 && fd < kKnownDescriptors ? g_kinds[fd].load(std::memory_order_relaxed) : 0;
    if (kind) return kind == 1;
    struct stat st;
    return ::fstat(fd, &st) == 0 && S_ISSOCK(st.st_mode);
}

bool isSocketPath(const std::string& node) {
    struct stat st;
    return ::stat(node.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

// Connects to the forwarding peer at `node`: 0 and a descriptor, or the low byte of errno.
int connectNode(const std::string& node, int& fd) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (node.size() >= sizeof addr.sun_path) return lowByte(ENAMETOOLONG);
    std::memcpy(addr.sun_path, node.c_str(), node.size() + 1);
    int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return lowByte(errno);
    int r;
    do {
        r = ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
        int e = errno;
        ::close(s);
        return lowByte(e);
    }
    fd = s;
    return 0;
}

// Descriptors whose node no longer answers. A forwarding connection that failed an exchange
// is out of step with its peer for good (a reply may be half read), so it stays lost until
// it is closed. Requests ask the set only while it holds anything.
std::mutex lostMutex;
std::atomic<size_t> lostCount{0};
std::set<int>& lostDescriptors() {
    static auto* s = new std::set<int>;
    return *s;
}

void markLost(int fd) {
    std::lock_guard<std::mutex> lock(lostMutex);
    lostDescriptors().insert(fd);
    lostCount = lostDescriptors().size();
}

bool isLost(int fd) {
    if (lostCount.load(std::memory_order_relaxed) == 0) return false;
    std::lock_guard<std::mutex> lock(lostMutex);
    return lostDescriptors().count(fd) != 0;
}

void forgetLost(int fd) {
    if (lostCount.load(std::memory_order_relaxed) == 0) return;
    std::lock_guard<std::mutex> lock(lostMutex);
    lostDescriptors().erase(fd);
    lostCount = lostDescriptors().size();
}

// Errors of the kernel node's ioctl that say the node itself is gone.
bool nodeGone(int error) { return error == EBADF || error == ENODEV || error == ENXIO || error == EIO; }

// Threads share a descriptor (the polling thread exchanges the buffer while a client's
// request asks for a send turn) and the peer answers one request after the other: one
// exchange at a time per connection keeps each reply with its request.
std::mutex& exchangeLock(int fd) {
    static std::mutex locks[64];
    return locks[static_cast<unsigned>(fd) % 64];
}

// Reads the peer's reply to a request with a record of `size` bytes into the record: 0, or
// an errno value.
int readReply(int fd, uint8_t* record, size_t size) {
    // The reply's length word is checked as soon as it is there; the record follows it.
    std::vector<uint8_t> reply(4 + size);
    const ssize_t got = readSome(fd, reply.data(), 4, reply.size(), kDevNodeReplyTimeoutMs, true);
    if (got < 0) return errno ? errno : EIO;
    // The reply is bounded by the record: any other length is a broken peer.
    if (getWord(reply.data()) != size) return EPROTO;
    const size_t have = std::min(static_cast<size_t>(got), reply.size());
    if (have < reply.size() && !readAll(fd, reply.data() + have, reply.size() - have, kDevNodeReplyTimeoutMs))
        return errno ? errno : EIO;
    if (size) std::memcpy(record, reply.data() + 4, size);
    return 0;
}

// One exchange with the forwarding peer. Returns 0, or an errno value.
int forward(int fd, uint32_t request, uint8_t* record, size_t size) {
    std::lock_guard<std::mutex> exchange(exchangeLock(fd));
    uint8_t header[8];
    putWord(header, request);
    putWord(header + 4, static_cast<uint32_t>(size));
    iovec out[2] = {{header, sizeof header}, {record, size}};
    if (!writeAll(fd, out, 2)) return errno ? errno : EIO;
    return readReply(fd, record, size);
}

// Two exchanges whose requests go out together: the peer answers them in order, and the
// second reply is read after the first. Returns 0, or the errno value of the first that
// failed (`first` tells whether that was the first exchange).
int forwardPair(int fd, uint32_t request1, uint8_t* record1, size_t size1, uint32_t request2, uint8_t* record2,
                size_t size2, bool& first) {
    std::lock_guard<std::mutex> exchange(exchangeLock(fd));
    uint8_t header1[8], header2[8];
    putWord(header1, request1);
    putWord(header1 + 4, static_cast<uint32_t>(size1));
    putWord(header2, request2);
    putWord(header2 + 4, static_cast<uint32_t>(size2));
    iovec out[4] = {{header1, sizeof header1}, {record1, size1}, {header2, sizeof header2}, {record2, size2}};
    first = true;
    if (!writeAll(fd, out, 4)) return errno ? errno : EIO;
    if (const int rc = readReply(fd, record1, size1)) return rc;
    first = false;
    return readReply(fd, record2, size2);
}

} // namespace

void chSetDevNodeBackend(DevNodeBackend* backend) { g_backend.store(backend); }

int chDevOpen(const char* path, int& fd) {
    fd = -1;
    if (!path) return EINVAL;
    if (DevNodeBackend* b = g_backend.load()) return lowByte(b->open(path, fd));

    std::string node = ovkPath(path);
    int d = -1;
    uint8_t kind = 2;
    if (isSocketPath(node)) {
        const int rc = connectNode(node, d);
        if (rc != 0) return rc;
        kind = 1;
    } else {
        d = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
        if (d < 0) return lowByte(errno);
    }
    forgetLost(d); // a number that a lost descriptor had before is a new node now
    fd = d;
    setKind(fd, kind);
    return 0;
}

int chDevIoctl(int fd, unsigned long request, void* record, int /*size*/, int /*id*/) {
    if (!record) return lowByte(EFAULT);
    uint8_t* rec = static_cast<uint8_t*>(record);
    size_t size = chDevRecordSize(request);
    if (DevNodeBackend* b = g_backend.load()) {
        b->ioctl(fd, request, record, size);
        return rec[0];
    }
    int failure = 0;
    if (isLost(fd)) {
        failure = EPIPE;
    } else if (isSocket(fd)) {
        failure = forward(fd, static_cast<uint32_t>(request), rec, size);
        if (failure) markLost(fd);
    } else if (::ioctl(fd, request, record) < 0) {
        failure = errno ? errno : EIO;
        if (nodeGone(failure)) markLost(fd);
    }
    // A request that did not reach the driver must not read as success.
    if (failure && rec[0] == 0) rec[0] = static_cast<uint8_t>(lowByte(failure) ? failure : EIO);
    return rec[0];
}

bool chDevPairs(int fd) {
    return !g_backend.load() && !isLost(fd) && isSocket(fd);
}

void chDevIoctlPair(int fd, unsigned long request1, void* record1, unsigned long request2, void* record2,
                    int& result1, int& result2) {
    uint8_t* rec1 = static_cast<uint8_t*>(record1);
    uint8_t* rec2 = static_cast<uint8_t*>(record2);
    if (!rec1 || !rec2 || !chDevPairs(fd)) {
        result1 = chDevIoctl(fd, request1, record1, 0, 0);
        result2 = chDevIoctl(fd, request2, record2, 0, 0);
        return;
    }
    bool first = true;
    const int failure = forwardPair(fd, static_cast<uint32_t>(request1), rec1, chDevRecordSize(request1),
                                    static_cast<uint32_t>(request2), rec2, chDevRecordSize(request2), first);
    if (failure) {
        markLost(fd);
        const uint8_t code = static_cast<uint8_t>(lowByte(failure) ? failure : EIO);
        // The exchange that failed, and the one after it, did not reach the driver.
        if (first && rec1[0] == 0) rec1[0] = code;
        if (rec2[0] == 0) rec2[0] = code;
    }
    result1 = rec1[0];
    result2 = rec2[0];
}

int chDevWatch(const char* path) {
    if (!path || g_backend.load()) return -1;
    const std::string node = ovkPath(path);
    if (!isSocketPath(node)) return -1;
    int fd = -1;
    if (connectNode(node, fd) != 0) return -1;
    uint8_t header[8];
    putWord(header, DEV_NODE_WATCH_INPUT);
    putWord(header + 4, 0);
    if (!writeAll(fd, header, sizeof header)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int chDevClose(int fd) {
    if (DevNodeBackend* b = g_backend.load()) return lowByte(b->close(fd));
    forgetLost(fd);
    setKind(fd, 0);
    return ::close(fd) == 0 ? 0 : lowByte(errno);
}

int chDevLost(int fd) {
    if (DevNodeBackend* b = g_backend.load()) return b->lost(fd) ? 1 : 0;
    return isLost(fd) ? 1 : 0;
}

int chIsDocked() { return 1; }

int devNodeReadRequest(int fd, uint32_t& request, std::vector<uint8_t>& record, int timeoutMs) {
    uint8_t header[8];
    // Between requests the peer usually waits: poll first.
    if (readSome(fd, header, sizeof header, sizeof header, timeoutMs, true) < 0) return -1;
    request = getWord(header);
    uint32_t length = getWord(header + 4);
    if (length != chDevRecordSize(request) || length > kDevNodeMaxRecord) return -1;
    record.assign(length, 0);
    if (!readAll(fd, record.data(), length, kDevNodeReplyTimeoutMs)) return -1;
    return 0;
}

int devNodeWriteReply(int fd, const void* record, size_t length) {
    if (length > kDevNodeMaxRecord) return -1;
    uint8_t lengthWord[4];
    putWord(lengthWord, static_cast<uint32_t>(length));
    // One send for both, so that the requester wakes once.
    iovec out[2] = {{lengthWord, sizeof lengthWord}, {const_cast<void*>(record), length}};
    if (!writeAll(fd, out, 2)) return -1;
    return 0;
}
