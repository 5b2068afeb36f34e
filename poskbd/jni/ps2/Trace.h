// Trace lines of the keyboard natives, through the Java tracer library: printed only when the
// tracer is ready and enabled. The tracer is created once per process.
#pragma once

void posKbdTraceInit(void* env);
void posKbdTrace(void* env, const char* format, ...) __attribute__((format(printf, 2, 3)));
