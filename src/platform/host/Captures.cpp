#include "Captures.h"

#include <atomic>
#include <deque>
#include <mutex>

namespace ovkhost {
namespace detail {
namespace {

std::atomic<bool> installed{false};

// Entries with the bytes they hold, oldest first.
template <typename T>
struct Ring {
    std::deque<T> entries;
    size_t bytes = 0;
    void clear() {
        entries.clear();
        bytes = 0;
    }
};

struct Store {
    std::mutex mutex;
    Ring<ErrorLogEntry> errors;
    Ring<TraceRecord> traces;
    Ring<std::string> printed;
};

// Never destroyed: logging may go on while static objects are torn down.
Store& store() {
    static Store* s = new Store;
    return *s;
}

size_t sizeOf(const ErrorLogEntry& e) {
    size_t n = sizeof e + e.sourceTag.size();
    for (const auto& b : e.blocks) n += sizeof b + b.size();
    return n;
}
size_t sizeOf(const TraceRecord& r) { return sizeof r + r.data.size(); }
size_t sizeOf(const std::string& s) { return sizeof s + s.size(); }

template <typename T>
void push(Ring<T>& ring, T value) {
    const size_t n = sizeOf(value);
    while (!ring.entries.empty() && ring.bytes + n > kCaptureBytes) {
        ring.bytes -= sizeOf(ring.entries.front());
        ring.entries.pop_front();
    }
    ring.bytes += n;
    ring.entries.push_back(std::move(value));
}

} // namespace

bool capturing() { return installed.load(std::memory_order_relaxed); }

void captureErrorLog(ErrorLogEntry entry) {
    if (!capturing()) return;
    Store& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    push(s.errors, std::move(entry));
}

void captureTrace(TraceRecord record) {
    if (!capturing()) return;
    Store& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    push(s.traces, std::move(record));
}

void capturePrinted(std::string line) {
    if (!capturing()) return;
    Store& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    push(s.printed, std::move(line));
}

} // namespace detail

using detail::store;

void installCapture(bool on) {
    detail::installed.store(on);
    if (!on) clearCaptures();
}

std::vector<ErrorLogEntry> errorLog() {
    auto& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    return {s.errors.entries.begin(), s.errors.entries.end()};
}

std::vector<TraceRecord> traces() {
    auto& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    return {s.traces.entries.begin(), s.traces.entries.end()};
}

std::vector<std::string> printedLines() {
    auto& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    return {s.printed.entries.begin(), s.printed.entries.end()};
}

void clearCaptures() {
    auto& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.errors.clear();
    s.traces.clear();
    s.printed.clear();
}

bool errorLogged(uint32_t logId) {
    auto& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (const auto& e : s.errors.entries)
        if (e.logId == logId) return true;
    return false;
}

} // namespace ovkhost
