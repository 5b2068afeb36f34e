// Command line of the control daemon:
//   ovkctrl [-f] [-t SERVICE]
//   -f  stay in the foreground and log to the standard error as well as to the log file.
//   -t  the TCP service (a name the system knows, or a port number) served in place of
//       "ovkctrl"; "0" serves no TCP at all.
#pragma once

#include <string>

struct DaemonOptions {
    bool foreground = false;
    std::string tcpService = "ovkctrl";

    // False, with `error` set to the usage text, for an unknown option or an argument.
    bool Parse(int argc, char* const argv[], std::string& error);
    static const char* Usage();
};
