#include "PosException.h"

#include <cstdarg>
#include <cstdio>

PosException::PosException(int code, const char* format, ...) : code_(code) {
    int n = std::snprintf(message_, sizeof message_, "*** Error (%d)", code);
    if (!format || n < 0 || static_cast<size_t>(n) + 2 >= sizeof message_) return;
    message_[n++] = ':';
    message_[n++] = ' ';
    message_[n] = '\0';
    va_list args;
    va_start(args, format);
    // A longer text is cut at the end of the buffer.
    std::vsnprintf(message_ + n, sizeof message_ - n, format, args);
    va_end(args);
}

PosException::~PosException() = default;

const char* PosException::what() const noexcept { return message_; }

int PosException::getErrorCode() const { return code_; }

const char* PosException::getMessage() const { return message_; }
