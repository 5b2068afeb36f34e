// ovkctrl: the control daemon that hosts the device server core and serves the client
// applications.
#include <cstdio>
#include <string>

#include "Daemon.h"
#include "DaemonOptions.h"

int main(int argc, char* argv[]) {
    DaemonOptions options;
    std::string error;
    if (!options.Parse(argc, argv, error)) {
        std::fputs(error.c_str(), stderr);
        return 2;
    }
    Daemon daemon(options);
    return daemon.Run();
}
