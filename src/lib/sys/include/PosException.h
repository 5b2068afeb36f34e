// The exception of the device server core: an error code and a message of up to 255
// characters, "*** Error (code)" optionally followed by ": " and a printf-style text.
#pragma once

#include <exception>

class PosException : public std::exception {
public:
    // format may be null: the message is then only "*** Error (code)".
    PosException(int code, const char* format, ...) __attribute__((format(printf, 3, 4)));
    ~PosException() override;

    const char* what() const noexcept override;
    virtual int getErrorCode() const;
    virtual const char* getMessage() const;

private:
    int code_;
    char message_[256];
};
