#include "DaemonOptions.h"

#include <cstring>

const char* DaemonOptions::Usage() { return "usage: ovkctrl [-f]\n  -f  run in the foreground\n"; }

bool DaemonOptions::Parse(int argc, char* const argv[], std::string& error) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-f") == 0) {
            foreground = true;
            continue;
        }
        error = std::string("unknown argument: ") + argv[i] + "\n" + Usage();
        return false;
    }
    return true;
}
