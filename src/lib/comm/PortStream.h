// Timed reads and writes of the port streams, and the waits of the data monitor.
#pragma once

#include <cstddef>
#include <cstdint>

namespace portio {

enum WaitResult { Readable = 1, TimedOut = 0, Failed = -1 };

// Waits up to `timeoutMs` for input; an interrupted wait is taken up once for the time left.
WaitResult waitReadable(int fd, int timeoutMs);

// The bytes waiting, -1 on failure.
int waiting(int fd);

// One byte (0-255); -1 on a timeout or a failed wait, -2 when the read failed otherwise than
// interrupted or would-block (an error for the caller to raise).
int readOne(int fd, int timeoutMs);
// At most `len` of the bytes waiting; -1 on a timeout (`timedOut` set) or a failure.
int readSome(int fd, int timeoutMs, uint8_t* buf, int len, bool& timedOut);
// Writes all of buf unless a write fails; the total written, -1 when nothing was.
int writeAll(int fd, const uint8_t* buf, int len);

} // namespace portio
