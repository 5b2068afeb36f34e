// Command line of the control daemon:
//   ovkctrl [-f]
//   -f  stay in the foreground and log to the standard error as well as to the log file.
#pragma once

#include <string>

struct DaemonOptions {
    bool foreground = false;

    // False, with `error` set to the usage text, for an unknown option or an argument.
    bool Parse(int argc, char* const argv[], std::string& error);
    static const char* Usage();
};
