// The system console as the keyboards use it: opening "/dev/console", "/dev/tty" or
// "/dev/tty0" (under OVK_ROOT) and the console keyboard ioctls. One small interface, so that
// tests put a fake console in its place and never touch the machine's.
#pragma once

class KbdConsole {
public:
    virtual ~KbdConsole() = default;
    // A descriptor opened read-only without becoming the controlling terminal, or -1.
    virtual int Open(const char* systemPath) = 0;
    // The ioctl on the descriptor: 0, or -1 on failure.
    virtual int Ioctl(int fd, unsigned long request, void* argument) = 0;
    virtual void Close(int fd) = 0;
};

// The console in use: the one installed, else the system's.
KbdConsole& kbdConsole();
// Installs a console (null: the system's again). Not owned.
void kbdSetConsole(KbdConsole* console);
