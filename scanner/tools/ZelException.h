// The error object of the scanner set-up program: every layer throws one by pointer, and the
// catcher deletes it.
#pragma once

#include <string>

class ZelException {
public:
    explicit ZelException(int code) : errorCode(code) {}
    explicit ZelException(const std::string& text) : message(text) {}
    ZelException(int code, const std::string& text) : message(text), errorCode(code) {}
    virtual ~ZelException() = default;

    const std::string& getMessage() const { return message; }
    int getErrorCode() const { return errorCode; }

private:
    std::string message = " ";
    int errorCode = 0;
};
