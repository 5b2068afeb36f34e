// The console program's termination signals, taken by a thread of their own.
#include "ConsoleShutdown.h"

#include <signal.h>

#include <atomic>
#include <thread>

namespace consoleShutdown {
namespace {
std::atomic<bool> requested{false};
std::atomic<void (*)()> onRequest{nullptr};
} // namespace

void Start() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    signal(SIGTSTP, SIG_IGN);
    std::thread([set] {
        for (;;) {
            int sig = 0;
            if (sigwait(&set, &sig) == 0 && (sig == SIGINT || sig == SIGTERM)) requested = true;
        }
    }).detach();
}

bool Requested() { return requested; }

void SetAction(void (*action)()) { onRequest = action; }

void Check() {
    if (!requested) return;
    if (void (*action)() = onRequest.load()) action();
}

} // namespace consoleShutdown
