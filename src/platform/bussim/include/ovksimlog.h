// The log of ovksim: one time-stamped line per thing it does, to a file or standard error.
// A line that repeats the one before it (a query polled with the same answer, say) is not
// written again: the next different line, or the end of the log, is preceded by one line
// that says how often it came again and when it came last. A line longer than kMaxLineLength
// characters (a control reply that lists a device's payloads, say) is cut there, with its full
// length, so that scripted traffic that runs for hours keeps the log small.
#pragma once

#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>

namespace bussim {

class SimLog {
public:
    static constexpr size_t kMaxLineLength = 300;

    // Standard error.
    SimLog() = default;
    ~SimLog();
    SimLog(const SimLog&) = delete;
    SimLog& operator=(const SimLog&) = delete;

    // Appends to the file at path from now on; false when it cannot be opened.
    bool open(const std::string& path);
    void line(const std::string& text);

private:
    // Writes the count of repeats held back, if any (mutex_ held).
    void flushRepeats();
    FILE* out() const { return file_ ? file_ : stderr; }

    std::mutex mutex_;
    FILE* file_ = nullptr; // null: standard error
    std::string last_;     // the text of the last line written
    int repeats_ = 0;      // times it came again since
    std::string lastStamp_; // when it came last
};

} // namespace bussim
