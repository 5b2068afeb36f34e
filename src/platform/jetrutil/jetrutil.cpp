#include "ovkjetrutil.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string tracePath() {
    std::string path;
    const char* root = std::getenv("OVK_ROOT");
    if (root && *root) {
        path = root;
        while (path.size() > 1 && path.back() == '/') path.pop_back();
    }
    return path + "/var/log/ovkjetrace.log";
}

} // namespace

extern "C" int CreateTracer(void*, const char* name, const char* component, JeTracer* tracer) {
    if (!tracer) return 0;
    std::memset(tracer, 0, sizeof *tracer);
    tracer->enabled = std::getenv("OVK_JETRACE") ? 1 : 0;
    tracer->level = GetLevel(1);
    std::snprintf(tracer->name, sizeof tracer->name, "%s", name ? name : "");
    std::snprintf(tracer->component, sizeof tracer->component, "%s", component ? component : "");
    return 1;
}

extern "C" int GetLevel(int step) { return step < 0 ? 0 : step; }

extern "C" void PrintLn(void*, JeTracer* tracer, int level, const char* text) {
    if (!tracer || !text) return;
    std::string line = std::string(tracer->component) + " " + tracer->name + " [" +
                       std::to_string(level) + "] " + text + "\n";
    // One write per line with O_APPEND keeps lines of concurrent writers whole.
    int fd = ::open(tracePath().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    ssize_t ignored = ::write(fd, line.data(), line.size());
    (void)ignored;
    ::close(fd);
}
