#include "Trace.h"

#include "ovkjetrutil.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {

struct Tracer {
    std::mutex mutex;
    JeTracer record{};
    bool created = false;
    bool ready = false;
    char text[2048];
};

Tracer& tracer() {
    static Tracer* t = new Tracer;  // used by threads that may outlive static destruction
    return *t;
}

} // namespace

void posKbdTraceInit(void* env) {
    Tracer& t = tracer();
    std::lock_guard<std::mutex> lock(t.mutex);
    if (t.created) return;
    t.created = true;
    t.ready = CreateTracer(env, "PosKbd", "JNI", &t.record) == 1;
}

void posKbdTrace(void* env, const char* format, ...) {
    posKbdTraceInit(env);
    Tracer& t = tracer();
    std::lock_guard<std::mutex> lock(t.mutex);
    if (!t.ready || t.record.enabled != 1) return;
    va_list args;
    va_start(args, format);
    std::vsnprintf(t.text, sizeof t.text, format, args);
    va_end(args);
    PrintLn(env, &t.record, GetLevel(1), t.text);
}
