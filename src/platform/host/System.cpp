// Process, thread and platform queries.
#include "ovkhost.h"

#include <cstdlib>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
constexpr int kPlatform = 4000;
constexpr int kMaxPath = 4096;
constexpr int kDefaultCodePage = 858;
} // namespace

unsigned long chGetProcessId() { return static_cast<unsigned long>(::getpid()); }

namespace {
// Asked on every lock of a mutexSem: the kernel is asked once per thread. A forked child
// (the daemon going to the background) forgets its parent's answer.
thread_local unsigned long t_threadId = 0;
const int g_forgetAtFork = ::pthread_atfork(nullptr, nullptr, [] { t_threadId = 0; });
} // namespace

unsigned long chGetThreadId() {
    (void)g_forgetAtFork;
    if (t_threadId == 0) t_threadId = static_cast<unsigned long>(::syscall(SYS_gettid));
    return t_threadId;
}

int chQueryPlatform() { return kPlatform; }

int chQueryCpInfo(int& codePage) {
    const char* value = std::getenv("OVKCODEPAGE");
    codePage = value ? static_cast<int>(std::strtol(value, nullptr, 10) & 0xFFFF)
                     : kDefaultCodePage;
    return 0;
}

int chGetMaxPathFileLength() { return kMaxPath; }
