// Root of the core's objects: a readable name tag, the creating process and thread, and a
// status word whose bits the subclasses own.
#pragma once

#include <cstdint>

class STG {
public:
    // The tag is "<<" + the first 8 characters of name, padded with blanks + ">>".
    explicit STG(const unsigned char* name);
    explicit STG(const char* name) : STG(reinterpret_cast<const unsigned char*>(name)) {}
    virtual ~STG();

    STG(const STG&) = delete;
    STG& operator=(const STG&) = delete;

    const char* NameTag() const { return nameTag_; } // 12 characters and a NUL
    uint32_t CreatorProcessId() const { return processId_; }
    uint32_t CreatorThreadId() const { return threadId_; }

    // (Not named Status: libX11's headers define that name as a macro.)
    uint32_t StatusWord() const { return status_; }
    void SetStatusBits(uint32_t bits) { status_ |= bits; }
    void ClearStatusBits(uint32_t bits) { status_ &= ~bits; }
    bool TestStatusBits(uint32_t bits) const { return (status_ & bits) != 0; }

protected:
    char nameTag_[13];
    uint32_t processId_;
    uint32_t threadId_;
    uint32_t status_ = 0;
};
