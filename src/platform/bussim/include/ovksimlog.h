// The log of ovksim: one time-stamped line per thing it does, to a file or standard error.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace bussim {

class SimLog {
public:
    // Standard error.
    SimLog() = default;
    ~SimLog();
    SimLog(const SimLog&) = delete;
    SimLog& operator=(const SimLog&) = delete;

    // Appends to the file at path from now on; false when it cannot be opened.
    bool open(const std::string& path);
    void line(const std::string& text);

private:
    std::mutex mutex_;
    FILE* file_ = nullptr; // null: standard error
};

} // namespace bussim
