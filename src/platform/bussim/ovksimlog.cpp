#include "ovksimlog.h"

#include <fcntl.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

namespace bussim {

SimLog::~SimLog() {
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
    if (file_) std::fclose(file_);
    file_ = f;
    return true;
}

void SimLog::line(const std::string& text) {
    timeval tv{};
    ::gettimeofday(&tv, nullptr);
    tm local{};
    const time_t seconds = tv.tv_sec;
    ::localtime_r(&seconds, &local);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03ld", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<long>(tv.tv_usec / 1000));
    std::lock_guard<std::mutex> lock(mutex_);
    FILE* out = file_ ? file_ : stderr;
    std::fprintf(out, "%s ovksim: %s\n", stamp, text.c_str());
    std::fflush(out);
}

} // namespace bussim
