#include "Options.h"

#include <cstdio>
#include <cstring>

#include "QueueReader.h"

void PrintHelp() {
    static const char* const lines[] = {
        "",
        "Options:",
        "",
        "-noauto        = Don't automatically check the POS input queue before and",
        "                 after asking for the user's input.",
        "",
        "-nothread      = Don't start a thread to continuously read the queue.  This",
        "                 '-noauto' option also causes this option to be activated.",
        "",
        "-help          = Display this help information.",
    };
    std::printf("\n\n");
    std::printf("Syntax: %s [option] [...] \n", "OVKTSTR");
    for (const char* line : lines) std::printf("%-77s\n", line);
    std::printf("\n\n");
}

int ParseOptions(int argc, char** argv) {
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "-noauto") == 0) {
            RunThread = 0;
            AutoCheckQueue = 0;
        } else if (std::strcmp(a, "-nothread") == 0) {
            RunThread = 0;
        } else if (std::strcmp(a, "?") == 0 || std::strcmp(a, "-?") == 0 || std::strcmp(a, "-help") == 0) {
            status = 1;
        } else {
            std::printf("Unknown option '%s'\n\n", a);
            status = 2;
        }
    }
    if (status) PrintHelp();
    return status;
}
