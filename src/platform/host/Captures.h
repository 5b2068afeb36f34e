// In-memory captures of what was logged, traced and printed (bounded rings), shared by the
// logging services and read through the test seams of ovkhost.h.
#pragma once

#include "ovkhost.h"

#include <string>

namespace ovkhost {
namespace detail {

constexpr size_t kCaptureLimit = 10000; // newest entries kept of each kind

void captureErrorLog(ErrorLogEntry entry);
void captureTrace(TraceRecord record);
void capturePrinted(std::string line);

} // namespace detail
} // namespace ovkhost
