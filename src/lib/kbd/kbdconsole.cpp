// The system console behind the keyboards' console seam.
#include "KbdConsole.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>

#include "ovkhost.h"

namespace {

class SystemConsole : public KbdConsole {
public:
    int Open(const char* systemPath) override {
        return ::open(ovkPath(systemPath).c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    }
    int Ioctl(int fd, unsigned long request, void* argument) override {
        return ::ioctl(fd, request, argument) < 0 ? -1 : 0;
    }
    void Close(int fd) override {
        if (fd >= 0) ::close(fd);
    }
};

SystemConsole gSystemConsole;
std::atomic<KbdConsole*> gConsole{nullptr};

} // namespace

KbdConsole& kbdConsole() {
    KbdConsole* c = gConsole.load();
    return c ? *c : gSystemConsole;
}

void kbdSetConsole(KbdConsole* console) { gConsole.store(console); }
