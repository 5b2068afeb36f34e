#include "Captures.h"

#include <deque>
#include <mutex>

namespace ovkhost {
namespace detail {
namespace {

struct Store {
    std::mutex mutex;
    std::deque<ErrorLogEntry> errors;
    std::deque<TraceRecord> traces;
    std::deque<std::string> printed;
};

// Never destroyed: logging may go on while static objects are torn down.
Store& store() {
    static Store* s = new Store;
    return *s;
}

template <typename T>
void push(std::deque<T>& ring, T value) {
    if (ring.size() >= kCaptureLimit) ring.pop_front();
    ring.push_back(std::move(value));
}

} // namespace

void captureErrorLog(ErrorLogEntry entry) {
    Store& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    push(s.errors, std::move(entry));
}

void captureTrace(TraceRecord record) {
    Store& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    push(s.traces, std::move(record));
}

void capturePrinted(std::string line) {
    Store& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    push(s.printed, std::move(line));
}

} // namespace detail

using detail::store;

std::vector<ErrorLogEntry> errorLog() {
    auto& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    return {s.errors.begin(), s.errors.end()};
}

std::vector<TraceRecord> traces() {
    auto& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    return {s.traces.begin(), s.traces.end()};
}

std::vector<std::string> printedLines() {
    auto& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    return {s.printed.begin(), s.printed.end()};
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
    for (const auto& e : s.errors)
        if (e.logId == logId) return true;
    return false;
}

} // namespace ovkhost
