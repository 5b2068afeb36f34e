// Runs a command in a private System V IPC namespace, so that tests may use the system's
// fixed semaphore and segment keys: ovk_ipcns -- command args... Where no namespace can be
// made (not root) the test is skipped (exit 77).
#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    int first = 1;
    if (first < argc && std::strcmp(argv[first], "--") == 0) ++first;
    if (first >= argc) {
        std::fprintf(stderr, "usage: ovk_ipcns -- command [args...]\n");
        return 2;
    }
    if (unshare(CLONE_NEWIPC) != 0) {
        std::printf("skipped: no private IPC namespace here (needs root)\n");
        return 77;
    }
    execvp(argv[first], argv + first);
    std::perror(argv[first]);
    return 127;
}
