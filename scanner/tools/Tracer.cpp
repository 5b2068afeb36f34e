#include "Tracer.h"

#include <cstdarg>
#include <cstdio>

void ConsoleTracerOutput::trace(const char* text) { std::fputs(text, stdout); }

Tracer& Tracer::getInstance() {
    static Tracer tracer;
    return tracer;
}

void Tracer::trace(const char* format, ...) {
    if (!on_ || !output_) return;
    char line[513];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    output_->trace(line);
}
