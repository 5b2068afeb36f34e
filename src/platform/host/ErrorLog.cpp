// clErrorLog: each entry is copied into the capture and, formatted as one text line, handed
// to the background writer for the server log. The caller never waits for I/O.
#include "Captures.h"
#include "LogWriter.h"
#include "TraceFile.h"
#include "ovkhost.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <sys/time.h>

namespace ovkhost {
namespace detail {
namespace {

constexpr size_t kHexBytesPerBlock = 256; // a log line shows at most this much of a block

std::mutex sinkMutex;
std::shared_ptr<LogSink> logSink;
std::atomic<bool> toStderr{false};

std::shared_ptr<LogSink> currentLogSink() {
    std::lock_guard<std::mutex> lock(sinkMutex);
    return logSink;
}

std::string formatEntry(const ErrorLogEntry& e) {
    char head[160];
    std::snprintf(head, sizeof head, "error id=%u rc=%u extra=0x%x src=", e.logId, e.rc,
                  e.extra);
    std::string line = linePrefix() + head + e.sourceTag;
    static const char digits[] = "0123456789abcdef";
    for (const auto& block : e.blocks) {
        line += " [" + std::to_string(block.size()) + "]";
        size_t shown = std::min(block.size(), kHexBytesPerBlock);
        for (size_t i = 0; i < shown; ++i) {
            if (i % 4 == 0) line += ' ';
            line += digits[block[i] >> 4];
            line += digits[block[i] & 15];
        }
        if (shown < block.size()) line += "...";
    }
    line += '\n';
    return line;
}

struct Block {
    const void* data;
    uint16_t length;
};

#ifdef __SANITIZE_THREAD__
extern "C" void AnnotateIgnoreReadsBegin(const char* file, int line);
extern "C" void AnnotateIgnoreReadsEnd(const char* file, int line);
#endif

// A block is often the caller's whole device object, which the other thread of the device
// may be changing meanwhile: the entry keeps a snapshot of its bytes, and a snapshot torn by
// such a change is still the diagnostic it is meant to be. Nothing in the copy is followed
// or used as a value, so the thread checker is told to let these reads be.
std::vector<uint8_t> snapshot(const Block& b) {
    if (!b.data || !b.length) return {};
    const auto* p = static_cast<const uint8_t*>(b.data);
#ifdef __SANITIZE_THREAD__
    AnnotateIgnoreReadsBegin(__FILE__, __LINE__);
#endif
    std::vector<uint8_t> copy(p, p + b.length);
#ifdef __SANITIZE_THREAD__
    AnnotateIgnoreReadsEnd(__FILE__, __LINE__);
#endif
    return copy;
}

void logEntry(uint32_t logId, uint32_t rc, uint32_t extra, const char* sourceTag,
              std::initializer_list<Block> blocks) {
    if (traceFileOn()) {
        uint8_t probe[12];
        const uint32_t words[3] = {logId, rc, extra};
        for (int w = 0; w < 3; ++w)
            for (int i = 0; i < 4; ++i) probe[w * 4 + i] = static_cast<uint8_t>(words[w] >> (8 * i));
        writeTraceRecord(0, kTraceErrorLogMinor, probe, sizeof probe);
    }
    ErrorLogEntry entry;
    entry.logId = logId;
    entry.rc = rc;
    entry.extra = extra;
    if (sourceTag) entry.sourceTag = sourceTag;
    for (const Block& b : blocks) entry.blocks.push_back(snapshot(b));
    std::shared_ptr<LogSink> sink = currentLogSink();
    bool err = toStderr.load();
    if (sink || err) queueLine(sink, err, formatEntry(entry));
    captureErrorLog(std::move(entry));
}

} // namespace

bool stderrEnabled() { return toStderr.load(); }

std::string linePrefix() {
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    struct tm tm;
    gmtime_r(&tv.tv_sec, &tm); // UTC: no time-zone file is read under the caller's locks
    char buf[80];
    size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    std::snprintf(buf + n, sizeof buf - n, ".%03dZ t%lu ", static_cast<int>(tv.tv_usec / 1000),
                  chGetThreadId());
    return buf;
}

void logNote(const std::string& text) {
    std::shared_ptr<LogSink> sink = currentLogSink();
    bool err = toStderr.load();
    if (sink || err) queueLine(sink, err, linePrefix() + text + "\n");
}

} // namespace detail

void setLogFile(const std::string& path) {
    std::shared_ptr<detail::LogSink> sink;
    if (!path.empty()) {
        sink = detail::LogSink::open(path);
        if (!sink) std::fprintf(stderr, "cannot open the log file %s\n", path.c_str());
    }
    std::lock_guard<std::mutex> lock(detail::sinkMutex);
    detail::logSink = std::move(sink);
}

void setLogToStderr(bool enabled) { detail::toStderr = enabled; }

} // namespace ovkhost

using ovkhost::detail::logEntry;

void clErrorLog(uint32_t logId, uint32_t rc, uint32_t extra, const char* sourceTag) {
    logEntry(logId, rc, extra, sourceTag, {});
}

void clErrorLog(uint32_t logId, uint32_t rc, uint32_t extra, const char* sourceTag,
                const void* data1, uint16_t len1) {
    logEntry(logId, rc, extra, sourceTag, {{data1, len1}});
}

void clErrorLog(uint32_t logId, uint32_t rc, uint32_t extra, const char* sourceTag,
                const void* data1, uint16_t len1, const void* data2, uint16_t len2) {
    logEntry(logId, rc, extra, sourceTag, {{data1, len1}, {data2, len2}});
}

void clErrorLog(uint32_t logId, uint32_t rc, uint32_t extra, const char* sourceTag,
                const void* data1, uint16_t len1, const void* data2, uint16_t len2,
                const void* data3, uint16_t len3) {
    logEntry(logId, rc, extra, sourceTag, {{data1, len1}, {data2, len2}, {data3, len3}});
}

void clErrorLog(uint32_t logId, uint32_t rc, uint32_t extra, const char* sourceTag,
                const void* data1, uint16_t len1, const void* data2, uint16_t len2,
                const void* data3, uint16_t len3, const void* data4, uint16_t len4) {
    logEntry(logId, rc, extra, sourceTag,
             {{data1, len1}, {data2, len2}, {data3, len3}, {data4, len4}});
}
