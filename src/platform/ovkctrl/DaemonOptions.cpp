#include "DaemonOptions.h"

#include <cstring>

const char* DaemonOptions::Usage() {
    return "usage: ovkctrl [-f] [-t SERVICE]\n"
           "  -f          run in the foreground\n"
           "  -t SERVICE  TCP service name or port to serve (default ovkctrl, 0: none)\n";
}

bool DaemonOptions::Parse(int argc, char* const argv[], std::string& error) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-f") == 0) {
            foreground = true;
            continue;
        }
        if (std::strcmp(argv[i], "-t") == 0 && i + 1 < argc && argv[i + 1][0] != '\0') {
            tcpService = argv[++i];
            continue;
        }
        error = std::string("unknown argument: ") + argv[i] + "\n" + Usage();
        return false;
    }
    return true;
}
