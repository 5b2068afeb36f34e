// Trace records, debug and alert lines. Written to the trace file while one is open, kept in
// memory while a test has installed the capture (otherwise a trace call is two flag tests);
// debug lines are also appended to the debug file while debugging is on, alert lines to the
// standard error when the server log goes there.
#include "Captures.h"
#include "LogWriter.h"
#include "TraceFile.h"
#include "ovkhost.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {

using ovkhost::detail::LogSink;

constexpr uint32_t kMaxTraceData = 1u << 20; // longer data is cut in the capture

std::mutex debugMutex;
std::shared_ptr<LogSink> debugSink;
std::atomic<bool> debugOn{false};

std::string vformat(const char* format, va_list args) {
    if (!format) return {};
    va_list copy;
    va_copy(copy, args);
    char small[256];
    int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) return {};
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(&text[0], text.size(), format, args);
    text.resize(static_cast<size_t>(n));
    return text;
}

void printLine(std::string text, bool alert) {
    if (ovkhost::detail::traceFileOn()) // the text and its zero byte
        ovkhost::detail::writeTraceRecord(0, ovkhost::detail::kTraceTextMinor, text.c_str(),
                                          text.size() + 1);
    std::shared_ptr<LogSink> sink;
    if (debugOn.load()) {
        std::lock_guard<std::mutex> lock(debugMutex);
        sink = debugSink;
    }
    bool err = alert && ovkhost::detail::stderrEnabled();
    if (sink || err) ovkhost::detail::queueLine(sink, err, text);
    if (ovkhost::detail::capturing()) ovkhost::detail::capturePrinted(std::move(text));
}

void record(uint32_t component, uint32_t minor, std::vector<uint8_t> prefix, const void* data,
            uint32_t length) {
    ovkhost::TraceRecord rec{component, minor, std::move(prefix)};
    if (data && length) {
        const auto* p = static_cast<const uint8_t*>(data);
        rec.data.insert(rec.data.end(), p, p + std::min(length, kMaxTraceData));
    }
    ovkhost::detail::captureTrace(std::move(rec));
}

} // namespace

int clTrace(uint32_t component, uint32_t minor, const void* data, uint32_t length, int) {
    if (ovkhost::detail::traceFileOn())
        ovkhost::detail::writeTraceRecord(component, minor, data, length);
    if (!ovkhost::detail::capturing()) return 0;
    record(component, minor, {}, data, length);
    return 0;
}

void sioTrace(int slot, int id, const void* buffer, int length) {
    const uint32_t n = length > 0 ? static_cast<uint32_t>(length) : 0;
    // In the file: the buffer alone, with the core's component.
    if (ovkhost::detail::traceFileOn())
        ovkhost::detail::writeTraceRecord(0, static_cast<uint32_t>(id), buffer, n);
    if (!ovkhost::detail::capturing()) return;
    record(ovkhost::kSioTraceComponent, static_cast<uint32_t>(id),
           {static_cast<uint8_t>(slot)}, buffer, n);
}

void sioTrace(int slot, int id) { sioTrace(slot, id, nullptr, 0); }

int tprintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformat(format, args);
    va_end(args);
    int n = static_cast<int>(text.size());
    printLine(std::move(text), false);
    return n;
}

int aprintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformat(format, args);
    va_end(args);
    int n = static_cast<int>(text.size());
    printLine(std::move(text), true);
    return n;
}

int DebugFile(const char* path) {
    std::shared_ptr<LogSink> sink;
    int rc = 0;
    if (path && *path) {
        sink = LogSink::open(path);
        if (!sink) rc = 301;
    }
    std::lock_guard<std::mutex> lock(debugMutex);
    debugSink = std::move(sink);
    return rc;
}

void ToggleDebug() {
    bool on = debugOn.load();
    while (!debugOn.compare_exchange_weak(on, !on)) {
    }
}

bool DebugEnabled() { return debugOn.load(); }
