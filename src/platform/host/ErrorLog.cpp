// clErrorLog: each entry is copied into the capture and, formatted as one text line, handed
// to the background writer for the server log. The caller never waits for I/O. The server
// log takes only a few entries a minute of one log id from one source; the rest are counted.
#include "Captures.h"
#include "LogWriter.h"
#include "RepeatedFailure.h"
#include "TraceFile.h"
#include "ovkhost.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <mutex>
#include <sys/time.h>
#include <unordered_map>
#include <vector>

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

std::string entryHead(uint32_t logId, uint32_t rc, uint32_t extra, const std::string& tag) {
    char head[160];
    std::snprintf(head, sizeof head, "error id=%u rc=%u extra=0x%x src=", logId, rc, extra);
    return linePrefix() + head + tag;
}

std::string formatEntry(const ErrorLogEntry& e) {
    std::string line = entryHead(e.logId, e.rc, e.extra, e.sourceTag);
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

// "YYYY-MM-DD HH:MM:SS.mmmZ" of a wall-clock time.
std::string wallTime(const struct timeval& tv) {
    struct tm tm;
    gmtime_r(&tv.tv_sec, &tm);
    char buf[48];
    size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    std::snprintf(buf + n, sizeof buf - n, ".%03dZ", static_cast<int>(tv.tv_usec / 1000));
    return buf;
}

// Which entries the server log takes. A source is a log id with the unit's tag and the
// object it logs (its first block), so two devices of one model are two sources. Of each
// source the log takes kEntriesPerMinute entries a minute (the rule of RepeatedFailure); the
// rest are counted, and once their minute has passed the count is one line, with the head of
// the last one held back: at most kEntriesPerMinute + 1 lines a minute per source. Sources
// whose minute has passed are forgotten (their counts written), and at most kMaxSources are
// kept: entries of further sources share one more such budget.
class LogThrottle {
public:
    static constexpr int kEntriesPerMinute = 3;
    static constexpr size_t kMaxSources = 256;
    static constexpr int32_t kSweepMs = 1000; // how often passed minutes are looked for

    // Whether the entry is written; the count lines now due are appended to `lines`.
    bool Admit(uint32_t logId, uint32_t rc, uint32_t extra, const char* tag, const void* object,
               std::vector<std::string>& lines) {
        std::lock_guard<std::mutex> lock(mutex_);
        const int32_t now = chTime(); // read under the lock: never older than a source's minute
        if (!swept_ || chTimeReached(now, nextSweep_) || chTimeDiff(nextSweep_, now) > kSweepMs)
            Sweep(now, lines);
        Key key{logId, object, tag ? tag : ""};
        auto it = sources_.find(key);
        if (it == sources_.end() && sources_.size() >= kMaxSources) {
            Sweep(now, lines);
            if (sources_.size() >= kMaxSources) return Count(overflow_, now, rc, extra, key, lines);
        }
        if (it == sources_.end()) it = sources_.emplace(std::move(key), Source()).first;
        return Count(it->second, now, rc, extra, it->first, lines);
    }

    // Appends the count lines whose minute has passed.
    void WriteDue(std::vector<std::string>& lines) {
        std::lock_guard<std::mutex> lock(mutex_);
        Sweep(chTime(), lines);
    }

    // Appends the counts of every source, minute passed or not, and forgets them all: the
    // log closes, and what it holds back would be lost otherwise.
    void WriteAll(std::vector<std::string>& lines) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& entry : sources_)
            if (entry.second.log.HeldBack() > 0)
                lines.push_back(CountLine(entry.second, entry.second.log.HeldBack()));
        sources_.clear();
        if (overflow_.log.HeldBack() > 0)
            lines.push_back(CountLine(overflow_, overflow_.log.HeldBack()));
        overflow_ = Source();
    }

private:
    struct Key {
        uint32_t logId;
        const void* object;
        std::string tag;
        bool operator==(const Key& o) const {
            return logId == o.logId && object == o.object && tag == o.tag;
        }
    };
    struct KeyHash {
        size_t operator()(const Key& k) const {
            return std::hash<std::string>()(k.tag) ^ (std::hash<const void*>()(k.object) * 31) ^
                   (size_t(k.logId) * 0x9e3779b97f4a7c15ull);
        }
    };
    struct Source {
        RepeatedFailure log{kEntriesPerMinute};
        // The last entry held back, for the head of the count line.
        uint32_t logId = 0, rc = 0, extra = 0;
        std::string tag;
        struct timeval at {};
    };

    static std::string CountLine(const Source& s, int heldBack) {
        return entryHead(s.logId, s.rc, s.extra, s.tag) + " (" + std::to_string(heldBack) +
               " more held back, the last at " + wallTime(s.at) + ")\n";
    }

    bool Count(Source& s, int32_t now, uint32_t rc, uint32_t extra, const Key& key,
               std::vector<std::string>& lines) {
        int heldBack = 0;
        if (s.log.Due(now, heldBack)) {
            if (heldBack > 0) lines.push_back(CountLine(s, heldBack));
            return true;
        }
        s.logId = key.logId;
        s.rc = rc;
        s.extra = extra;
        if (s.tag != key.tag) s.tag = key.tag;
        gettimeofday(&s.at, nullptr);
        return false;
    }

    // Writes the counts whose minute has passed and forgets those sources.
    void Sweep(int32_t now, std::vector<std::string>& lines) {
        swept_ = true;
        nextSweep_ = chTimeAdd(now, kSweepMs);
        for (auto it = sources_.begin(); it != sources_.end();) {
            if (!it->second.log.Ended(now)) {
                ++it;
                continue;
            }
            if (it->second.log.HeldBack() > 0)
                lines.push_back(CountLine(it->second, it->second.log.HeldBack()));
            it = sources_.erase(it);
        }
        if (overflow_.log.Ended(now) && overflow_.log.HeldBack() > 0) {
            lines.push_back(CountLine(overflow_, overflow_.log.HeldBack()));
            overflow_ = Source();
        }
    }

    std::mutex mutex_;
    std::unordered_map<Key, Source, KeyHash> sources_;
    Source overflow_;
    bool swept_ = false;
    int32_t nextSweep_ = 0;
};

// Never destroyed: entries may still be logged while static objects are torn down.
LogThrottle& throttle() {
    static LogThrottle* t = new LogThrottle;
    return *t;
}

void queueLines(const std::shared_ptr<LogSink>& sink, bool err, std::vector<std::string>& lines) {
    for (std::string& line : lines) queueLine(sink, err, std::move(line));
}

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
    // The throttle bounds the server log only: the capture keeps every entry.
    std::shared_ptr<LogSink> sink = currentLogSink();
    bool err = toStderr.load();
    bool written = false;
    if (sink || err) {
        std::vector<std::string> counts;
        const void* object = blocks.size() ? blocks.begin()->data : nullptr;
        written = throttle().Admit(logId, rc, extra, sourceTag, object, counts);
        queueLines(sink, err, counts);
    }
    if (!written && !capturing()) return;
    ErrorLogEntry entry;
    entry.logId = logId;
    entry.rc = rc;
    entry.extra = extra;
    if (sourceTag) entry.sourceTag = sourceTag;
    for (const Block& b : blocks) entry.blocks.push_back(snapshot(b));
    if (written) queueLine(sink, err, formatEntry(entry));
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

void writeDueLogCounts() {
    std::shared_ptr<LogSink> sink = currentLogSink();
    bool err = toStderr.load();
    if (!sink && !err) return;
    std::vector<std::string> counts;
    throttle().WriteDue(counts);
    queueLines(sink, err, counts);
}

void writeAllLogCounts(const std::shared_ptr<LogSink>& sink, bool err) {
    if (!sink && !err) return;
    std::vector<std::string> counts;
    throttle().WriteAll(counts);
    queueLines(sink, err, counts);
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
    std::shared_ptr<detail::LogSink> old;
    {
        std::lock_guard<std::mutex> lock(detail::sinkMutex);
        old = detail::logSink;
    }
    // The file that closes gets the counts of what it held back.
    if (old) detail::writeAllLogCounts(old, detail::toStderr.load());
    std::lock_guard<std::mutex> lock(detail::sinkMutex);
    detail::logSink = std::move(sink);
}

void closeLog() {
    detail::writeAllLogCounts(detail::currentLogSink(), detail::toStderr.load());
    setLogFile("");
    detail::flushQueue();
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
