#include "ovksimlog.h"

#include <fcntl.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

namespace bussim {

namespace {

std::string timeStamp() {
    timeval tv{};
    ::gettimeofday(&tv, nullptr);
    tm local{};
    const time_t seconds = tv.tv_sec;
    ::localtime_r(&seconds, &local);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03ld", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<long>(tv.tv_usec / 1000));
    return stamp;
}

} // namespace

SimLog::~SimLog() {
    std::lock_guard<std::mutex> lock(mutex_);
    flushRepeats();
    if (file_) std::fclose(file_);
}

bool SimLog::open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    FILE* f = ::fdopen(fd, "a");
    if (!f) {
        ::close(fd);
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    flushRepeats();
    if (file_) std::fclose(file_);
    file_ = f;
    last_.clear();
    return true;
}

void SimLog::line(const std::string& text) {
    const std::string stamp = timeStamp();
    std::lock_guard<std::mutex> lock(mutex_);
    if (!last_.empty() && text == last_) {
        ++repeats_;
        lastStamp_ = stamp;
        return;
    }
    flushRepeats();
    if (text.size() > kMaxLineLength)
        std::fprintf(out(), "%s ovksim: %s... (%zu characters in all)\n", stamp.c_str(),
                     text.substr(0, kMaxLineLength).c_str(), text.size());
    else
        std::fprintf(out(), "%s ovksim: %s\n", stamp.c_str(), text.c_str());
    std::fflush(out());
    last_ = text;
}

void SimLog::flushRepeats() {
    if (repeats_ == 0) return;
    std::fprintf(out(), "%s ovksim: (the line above came %d more time%s, the last at %s)\n",
                 timeStamp().c_str(), repeats_, repeats_ == 1 ? "" : "s", lastStamp_.c_str());
    std::fflush(out());
    repeats_ = 0;
}

} // namespace bussim
