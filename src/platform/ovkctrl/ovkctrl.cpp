// ovkctrl: the control daemon that hosts the device server core and serves the client
// applications.
#include <malloc.h>

#include <cstdio>
#include <string>

#include "Daemon.h"
#include "DaemonOptions.h"

int main(int argc, char* argv[]) {
    // A few malloc arenas serve every client thread: one per thread would keep the memory
    // of every burst of clients.
    mallopt(M_ARENA_MAX, 4);
    DaemonOptions options;
    std::string error;
    if (!options.Parse(argc, argv, error)) {
        std::fputs(error.c_str(), stderr);
        return 2;
    }
    Daemon daemon(options);
    return daemon.Run();
}
