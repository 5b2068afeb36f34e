// ServerException: formatted, bounded message.
#include "ServerException.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

ServerException::ServerException() { message_[0] = '\0'; }

ServerException::ServerException(const char* fmt, ...) {
    message_[0] = '\0';
    if (!fmt) return;
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(message_, sizeof message_, fmt, args);
    va_end(args);
}

ServerException::~ServerException() = default;

const char* ServerException::what() const noexcept { return message_; }

void ServerException::setMessage(const char* text) {
    if (!text) {
        message_[0] = '\0';
        return;
    }
    std::strncpy(message_, text, sizeof message_ - 1);
    message_[sizeof message_ - 1] = '\0';
}
