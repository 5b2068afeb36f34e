// Background writer of the server log and the debug file: callers hand over finished text
// lines and return at once; one thread does the file I/O.
#pragma once

#include <memory>
#include <string>

namespace ovkhost {
namespace detail {

// An open file that lines are appended to; closed when the last line that needs it is done.
class LogSink {
public:
    explicit LogSink(int fd) : fd_(fd) {}
    virtual ~LogSink();
    LogSink(const LogSink&) = delete;
    LogSink& operator=(const LogSink&) = delete;
    int fd() const { return fd_; }

    // Writes one queued item (on the writer thread). A full disk loses it, unretried.
    virtual void append(const std::string& text);
    // A binary file (a trace file): no text notes are ever written into it.
    virtual bool binary() const { return false; }

    // Opens path for appending (created 0644, close-on-exec); null when it cannot be opened.
    static std::shared_ptr<LogSink> open(const std::string& path);

protected:
    int fd_;
};

// Writes all of text to fd (retrying short writes); gives up on an error.
void writeAll(int fd, const std::string& text);

// Queues one line for `sink` (may be null) and, when toStderr, for the standard error.
// Never waits for I/O; when the queue is full the line is dropped: false. Dropped text lines
// are counted in a note of the next text line; callers of binary sinks count their own.
bool queueLine(const std::shared_ptr<LogSink>& sink, bool toStderr, std::string line);
// Waits until the queue is empty (bounded by a few seconds).
void flushQueue();

} // namespace detail
} // namespace ovkhost

namespace ovkhost {
namespace detail {
// Whether error-log and alert lines also go to the standard error (setLogToStderr).
bool stderrEnabled();
// "YYYY-MM-DD HH:MM:SS.mmm t<thread id> " for the start of a log line.
std::string linePrefix();
// One line of the host's own in the server log (and the standard error when enabled).
void logNote(const std::string& text);
// Queues the count lines of held-back error-log entries whose minute has passed.
void writeDueLogCounts();
// Queues the count lines of every held-back error-log entry, for `sink` (and the standard
// error when err), and forgets them.
void writeAllLogCounts(const std::shared_ptr<LogSink>& sink, bool err);
} // namespace detail
} // namespace ovkhost
