// ServerException: the one exception of the daemon frame (Server, Selector,
// ServicePublisher). Carries a message of at most 255 characters.
#pragma once

#include <exception>

class ServerException : public std::exception {
public:
    ServerException();
    // The message is `fmt` formatted with the arguments (null: empty), cut at 255 characters.
    explicit ServerException(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    ~ServerException() override;

    const char* what() const noexcept override;
    // Copies at most 255 characters of `text` (null clears the message).
    virtual void setMessage(const char* text);

private:
    char message_[256];
};
