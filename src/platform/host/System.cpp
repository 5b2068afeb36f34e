// Process, thread and platform queries.
#include "ovkhost.h"

#include <cstdlib>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
constexpr int kPlatform = 4000;
constexpr int kMaxPath = 4096;
constexpr int kDefaultCodePage = 858;
} // namespace

unsigned long chGetProcessId() { return static_cast<unsigned long>(::getpid()); }

unsigned long chGetThreadId() {
    return static_cast<unsigned long>(::syscall(SYS_gettid));
}

int chQueryPlatform() { return kPlatform; }

int chQueryCpInfo(int& codePage) {
    const char* value = std::getenv("OVKCODEPAGE");
    codePage = value ? static_cast<int>(std::strtol(value, nullptr, 10) & 0xFFFF)
                     : kDefaultCodePage;
    return 0;
}

int chGetMaxPathFileLength() { return kMaxPath; }
