// Root of the core's objects: a readable name tag, the creating process and thread, and a
// status word whose bits the subclasses own.
#pragma once

#include <atomic>
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

    // (Not named Status: libX11's headers define that name as a macro.) A device's service
    // thread and the request threads of its clients change and test bits of one word: each
    // change is one atomic operation, so none undoes another's.
    uint32_t StatusWord() const { return status_.load(); }
    void SetStatusBits(uint32_t bits) { status_.fetch_or(bits); }
    void ClearStatusBits(uint32_t bits) { status_.fetch_and(~bits); }
    bool TestStatusBits(uint32_t bits) const { return (status_.load() & bits) != 0; }

protected:
    char nameTag_[13];
    uint32_t processId_;
    uint32_t threadId_;
    std::atomic<uint32_t> status_{0};
};
