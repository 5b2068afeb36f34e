// The trace file: while it is open, trace records are written to it in the formatter's
// version-3 format (a marker record, then per record a 32-byte header and the payload).
// Records are built on the caller's thread and written by the log's background writer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ovkhost {
namespace detail {

constexpr uint32_t kTraceMaxPayload = 128000;           // longer payloads are cut
constexpr uint32_t kTraceCoreComponent = 93;            // written as component 0
constexpr uint32_t kTraceErrorLogMinor = 64;            // {logId, rc, extra}
constexpr uint32_t kTraceTextMinor = 42;                // a debug or alert line

// The one flag a trace call tests before it builds a record for the file.
bool traceFileOn();
// Queues one record: the component (93 is written as 0), the minor code without its high
// byte, and up to kTraceMaxPayload bytes of data. Never waits for I/O; when the writer's
// queue is full the record is dropped and counted in the server log.
void writeTraceRecord(uint32_t component, uint32_t minor, const void* data, size_t length);

} // namespace detail
} // namespace ovkhost
