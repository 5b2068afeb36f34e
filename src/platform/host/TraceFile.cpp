#include "TraceFile.h"

#include "Clock.h"
#include "LogWriter.h"
#include "ovkhost.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace ovkhost {
namespace detail {
namespace {

constexpr uint32_t kVersion3Marker = 501;
constexpr size_t kShortHeader = 16;
constexpr size_t kLongHeader = 32;

void put32(std::string& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void putDouble(std::string& out, size_t at, double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    for (int i = 0; i < 8; ++i) out[at + i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
}

std::string marker() {
    std::string m(kShortHeader, '\0');
    put32(m, 4, kVersion3Marker);
    return m;
}

int openFresh(const std::string& path) {
    // The previous file is kept as ".1" (one generation).
    if (::rename(path.c_str(), (path + ".1").c_str()) != 0 && errno != ENOENT) {
        // It stays in place and is truncated below.
    }
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
}

// The open trace file; rotates itself on the writer thread.
class TraceSink : public LogSink {
public:
    TraceSink(int fd, std::string path, uint64_t limit)
        : LogSink(fd), path_(std::move(path)), limit_(limit) {
        writeAll(fd_, marker());
        size_ = kShortHeader;
    }
    bool binary() const override { return true; }
    void append(const std::string& record) override {
        if (size_ + record.size() > limit_ && size_ > kShortHeader) {
            const int fd = openFresh(path_);
            if (fd >= 0) {
                ::close(fd_);
                fd_ = fd;
                writeAll(fd_, marker());
                size_ = kShortHeader;
            }
        }
        if (fd_ < 0) return;
        writeAll(fd_, record);
        size_ += record.size();
    }

private:
    std::string path_;
    uint64_t limit_;
    uint64_t size_ = 0;
};

std::atomic<bool> fileOn{false};
std::mutex fileMutex;
std::shared_ptr<LogSink> traceSink;
std::atomic<uint64_t> droppedRecords{0};

std::shared_ptr<LogSink> currentSink() {
    std::lock_guard<std::mutex> lock(fileMutex);
    return traceSink;
}

double clockMs() {
    if (manualClockEnabled()) return static_cast<double>(static_cast<uint32_t>(chTime()));
    static const auto start = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

bool traceFileOn() { return fileOn.load(std::memory_order_relaxed); }

void writeTraceRecord(uint32_t component, uint32_t minor, const void* data, size_t length) {
    std::shared_ptr<LogSink> sink = currentSink();
    if (!sink) return;
    if (!data) length = 0;
    if (length > kTraceMaxPayload) length = kTraceMaxPayload;
    if (component == kTraceCoreComponent || component > 0xFF) component = 0;
    struct timespec wall;
    clock_gettime(CLOCK_REALTIME, &wall);

    std::string record(kLongHeader, '\0');
    put32(record, 0, static_cast<uint32_t>(length));
    put32(record, 4, minor & 0x00FFFFFF); // the formatter names exact codes: no flag byte
    putDouble(record, 8, clockMs());
    put32(record, 16, static_cast<uint32_t>(chGetThreadId()));
    put32(record, 20, static_cast<uint32_t>(chGetProcessId()));
    put32(record, 24, static_cast<uint32_t>(wall.tv_sec));
    record[28] = static_cast<char>(component);
    const uint16_t ms = static_cast<uint16_t>(wall.tv_nsec / 1000000);
    record[30] = static_cast<char>(ms & 0xFF);
    record[31] = static_cast<char>(ms >> 8);
    if (length) record.append(static_cast<const char*>(data), length);

    if (!queueLine(sink, false, std::move(record))) {
        ++droppedRecords;
        return;
    }
    if (uint64_t dropped = droppedRecords.exchange(0))
        logNote("trace file: " + std::to_string(dropped) + " records dropped (queue full)");
}

} // namespace detail

bool startTraceFile(const std::string& path, uint64_t limitBytes) {
    const int fd = detail::openFresh(path);
    if (fd < 0) return false;
    std::shared_ptr<detail::LogSink> sink = std::make_shared<detail::TraceSink>(fd, path, limitBytes);
    std::lock_guard<std::mutex> lock(detail::fileMutex);
    detail::traceSink = std::move(sink);
    detail::fileOn = true;
    return true;
}

void stopTraceFile() {
    {
        std::lock_guard<std::mutex> lock(detail::fileMutex);
        detail::fileOn = false;
        detail::traceSink.reset(); // closed once its last queued record is written
    }
    detail::flushQueue();
}

bool traceFileActive() { return detail::traceFileOn(); }

} // namespace ovkhost
