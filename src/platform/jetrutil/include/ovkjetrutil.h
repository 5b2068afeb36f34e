// The Java tracer library the keyboard natives trace through: one tracer record per user,
// enabled while OVK_JETRACE is set in the environment, lines appended to
// $OVK_ROOT/var/log/ovkjetrace.log.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

typedef struct JeTracer {
    int enabled;        // 1: tracing on
    int level;
    char name[32];
    char component[32];
} JeTracer;

// Fills the record; returns 1 when the tracer is ready. `env` is the caller's JNIEnv (unused).
int CreateTracer(void* env, const char* name, const char* component, JeTracer* tracer);
// The level to print at for a verbosity step.
int GetLevel(int step);
// Appends one line ("component name: text") to the trace file.
void PrintLn(void* env, JeTracer* tracer, int level, const char* text);

#ifdef __cplusplus
}
#endif
