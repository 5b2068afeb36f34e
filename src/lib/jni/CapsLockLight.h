// The console's Caps Lock light (bit 0x04 of the keyboard lights). The console is opened on
// first use and kept; the light requests need a virtual terminal.
#pragma once

#include <mutex>

class CapsLockLight {
public:
    static CapsLockLight& Instance();

    // Sets or clears the light; false (after perror) when the console cannot be opened or a
    // light request fails.
    bool Set(bool on);

private:
    CapsLockLight() = default;
    std::mutex lock_;
    int fd_ = -1;
};
