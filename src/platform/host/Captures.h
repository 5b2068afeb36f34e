// In-memory captures of what was logged, traced and printed, shared by the logging services
// and read through the test seams of ovkhost.h. They keep entries only while a test has
// installed them, each kind bounded in bytes (the oldest entries go first).
#pragma once

#include "ovkhost.h"

#include <string>

namespace ovkhost {
namespace detail {

constexpr size_t kCaptureBytes = 4u << 20; // bytes kept of each kind

// The one flag a trace call tests before it does anything.
bool capturing();

void captureErrorLog(ErrorLogEntry entry);
void captureTrace(TraceRecord record);
void capturePrinted(std::string line);

} // namespace detail
} // namespace ovkhost
