// chCheckBuffer: whether the caller may read or write a buffer, found out without touching
// it. Readability is probed with process_vm_readv on our own process (a fault gives an
// error, not a signal); writability, and readability where that call is not permitted,
// come from the mappings in /proc/self/maps. Reading the maps costs far more than a request
// does, so the writable ranges are kept and read again only when a buffer lies outside
// them; the buffer is still probed afresh for being mapped at all.
#include "ovkhost.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <utility>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr uintptr_t kPage = 4096;
constexpr size_t kMaxStringScan = 16u << 20; // a longer "string" is refused

enum class Probe { Ok, Fault, Unavailable };

// Our own process id, asked once (and again in a child after fork).
std::atomic<pid_t> ownPid{0};

pid_t self() {
    pid_t pid = ownPid.load(std::memory_order_relaxed);
    if (pid == 0) {
        static std::once_flag registered;
        std::call_once(registered, [] { ::pthread_atfork(nullptr, nullptr, [] { ownPid.store(0); }); });
        pid = ::getpid();
        ownPid.store(pid, std::memory_order_relaxed);
    }
    return pid;
}

// Reads `length` bytes at `address` of this process into `out`.
Probe copyOut(uintptr_t address, void* out, size_t length) {
    struct iovec local {out, length};
    struct iovec remote {reinterpret_cast<void*>(address), length};
    ssize_t n = ::process_vm_readv(self(), &local, 1, &remote, 1, 0);
    if (n == static_cast<ssize_t>(length)) return Probe::Ok;
    if (n < 0 && (errno == ENOSYS || errno == EPERM)) return Probe::Unavailable;
    return Probe::Fault;
}

// One byte of every page in [begin, end).
Probe probePages(uintptr_t begin, uintptr_t end) {
    constexpr size_t kBatch = 512;
    unsigned char sink[kBatch];
    struct iovec remote[kBatch];
    uintptr_t at = begin;
    while (at < end) {
        size_t count = 0;
        while (at < end && count < kBatch) {
            remote[count].iov_base = reinterpret_cast<void*>(at);
            remote[count].iov_len = 1;
            ++count;
            at = (at & ~(kPage - 1)) + kPage;
        }
        struct iovec local {sink, count};
        ssize_t n = ::process_vm_readv(self(), &local, 1, remote, count, 0);
        if (n < 0 && (errno == ENOSYS || errno == EPERM)) return Probe::Unavailable;
        if (n != static_cast<ssize_t>(count)) return Probe::Fault;
    }
    return Probe::Ok;
}

std::string readMaps() {
    std::string text;
    int fd = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return text;
    char buf[8192];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return text;
}

// Whether every byte of [begin, end) lies in mappings that allow `perm` ('r' or 'w').
// Without /proc the answer is yes: the pointer was already found not null.
bool mappedWith(uintptr_t begin, uintptr_t end, char perm) {
    std::string maps = readMaps();
    if (maps.empty()) return true;
    uintptr_t need = begin;
    const char* p = maps.c_str();
    while (*p && need < end) {
        char* rest = nullptr;
        uintptr_t lo = std::strtoul(p, &rest, 16);
        if (!rest || *rest != '-') break;
        uintptr_t hi = std::strtoul(rest + 1, &rest, 16);
        if (!rest || *rest != ' ') break;
        const char* perms = rest + 1;
        bool allowed = std::strlen(perms) >= 4 && (perm == 'r' ? perms[0] == 'r' : perms[1] == 'w');
        if (lo <= need && need < hi) {
            if (!allowed) return false;
            need = hi;
        } else if (lo > need) {
            return false; // a hole before the next mapping
        }
        const char* nl = std::strchr(perms, '\n');
        if (!nl) break;
        p = nl + 1;
    }
    return need >= end;
}

// Writable ranges of the last reading of the maps, in address order, adjacent ones joined.
std::shared_mutex writableMutex; // shared for lookups, exclusive to read the maps again
std::vector<std::pair<uintptr_t, uintptr_t>> writableRanges;

bool coveredByWritable(uintptr_t begin, uintptr_t end) {
    for (const auto& r : writableRanges) {
        if (r.first <= begin && end <= r.second) return true;
        if (r.first > begin) break;
    }
    return false;
}

void readWritableRanges() {
    writableRanges.clear();
    std::string maps = readMaps();
    const char* p = maps.c_str();
    while (*p) {
        char* rest = nullptr;
        uintptr_t lo = std::strtoul(p, &rest, 16);
        if (!rest || *rest != '-') break;
        uintptr_t hi = std::strtoul(rest + 1, &rest, 16);
        if (!rest || *rest != ' ') break;
        const char* perms = rest + 1;
        if (std::strlen(perms) >= 4 && perms[1] == 'w') {
            if (!writableRanges.empty() && writableRanges.back().second == lo)
                writableRanges.back().second = hi;
            else
                writableRanges.emplace_back(lo, hi);
        }
        const char* nl = std::strchr(perms, '\n');
        if (!nl) break;
        p = nl + 1;
    }
}

bool writable(uintptr_t begin, uintptr_t end) {
    // Unmapped memory is caught by the fresh probe, whatever the kept ranges say.
    if (probePages(begin, end) == Probe::Fault) return false;
    {
        std::shared_lock<std::shared_mutex> lookup(writableMutex);
        if (coveredByWritable(begin, end)) return true;
    }
    std::lock_guard<std::shared_mutex> lock(writableMutex);
    if (coveredByWritable(begin, end)) return true;
    readWritableRanges();
    if (writableRanges.empty()) return mappedWith(begin, end, 'w'); // no /proc: as before
    return coveredByWritable(begin, end);
}

bool readable(uintptr_t begin, uintptr_t end) {
    switch (probePages(begin, end)) {
    case Probe::Ok: return true;
    case Probe::Fault: return false;
    case Probe::Unavailable: break;
    }
    return mappedWith(begin, end, 'r');
}

// A terminated string: scanned page by page through copies, never read in place.
bool readableString(uintptr_t begin) {
    unsigned char chunk[kPage];
    uintptr_t at = begin;
    while (at - begin < kMaxStringScan) {
        uintptr_t pageEnd = (at & ~(kPage - 1)) + kPage;
        if (pageEnd == 0) return false; // the top of the address space
        size_t n = pageEnd - at;
        Probe probe = copyOut(at, chunk, n);
        if (probe == Probe::Fault) return false;
        if (probe == Probe::Unavailable) {
            if (!mappedWith(at, pageEnd, 'r')) return false;
            std::memcpy(chunk, reinterpret_cast<const void*>(at), n);
        }
        if (std::memchr(chunk, 0, n)) return true;
        at = pageEnd;
    }
    return false;
}

} // namespace

int chCheckBuffer(const void* pointer, int length, int access) {
    if (access != CH_ACCESS_READ && access != CH_ACCESS_WRITE && access != CH_ACCESS_STRING)
        return CH_ERR_VALUE_OUT_OF_BOUNDS;
    uintptr_t begin = reinterpret_cast<uintptr_t>(pointer);
    if (access == CH_ACCESS_STRING) {
        if (!pointer) return CH_ERR_INVALID_ADDRESS;
        return readableString(begin) ? 0 : CH_ERR_INVALID_ADDRESS;
    }
    if (length < 0) return CH_ERR_INVALID_LENGTH;
    if (length == 0) return 0;
    if (!pointer) return CH_ERR_INVALID_ADDRESS;
    uintptr_t end = begin + static_cast<uintptr_t>(length);
    if (end < begin) return CH_ERR_INVALID_ADDRESS; // wraps around the address space
    if (access == CH_ACCESS_READ) return readable(begin, end) ? 0 : CH_ERR_INVALID_ADDRESS;
    return writable(begin, end) ? 0 : CH_ERR_INVALID_ADDRESS;
}
