#include "apitrace.h"

#include <pthread.h>
#include <sys/time.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <strings.h>

namespace {

struct TraceState {
    std::mutex mutex;
    bool decided = false;
    FILE* file = nullptr;
    long startSeconds = 0;
};

TraceState& state() {
    static TraceState* s = new TraceState; // lives until the process ends
    return *s;
}

bool traceRequested() {
    const char* v = std::getenv("OVK_API_TRACE");
    return v && std::strlen(v) == 2 && strcasecmp(v, "ON") == 0;
}

} // namespace

int apitrace(const char* format, ...) {
    TraceState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.decided) {
        s.decided = true;
        if (traceRequested()) {
            const char* path = std::getenv("OVK_API_LOG_FILE");
            s.file = std::fopen(path ? path : "ovkapi.log", "we");
            struct timeval tv;
            gettimeofday(&tv, nullptr);
            s.startSeconds = tv.tv_sec;
        }
    }
    if (!s.file) return 0;
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    long elapsed = tv.tv_sec - s.startSeconds;
    int n = std::fprintf(s.file, "%02d:%02d:%02d.%03d (t%lx): ", static_cast<int>(elapsed / 3600),
                         static_cast<int>((elapsed % 3600) / 60), static_cast<int>(elapsed % 60),
                         static_cast<int>(tv.tv_usec / 1000),
                         static_cast<unsigned long>(pthread_self()));
    va_list ap;
    va_start(ap, format);
    int m = std::vfprintf(s.file, format, ap);
    va_end(ap);
    std::fflush(s.file);
    if (n < 0 || m < 0) return 0;
    return n + m;
}

void apiTraceReset() {
    TraceState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.file) std::fclose(s.file);
    s.file = nullptr;
    s.decided = false;
}
