// The console program's command line.
#include "CCommandLineProcessor.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

CCommandLineProcessor::CCommandLineProcessor() {
    std::memset(m_szProgramName, ' ', sizeof m_szProgramName);
    m_szProgramName[0] = '\0';
}

int CCommandLineProcessor::ProcessCmdLine(int argc, char* argv[]) {
    if (argc > 0 && argv && argv[0])
        std::snprintf(m_szProgramName, sizeof m_szProgramName, "%s", argv[0]);
    if (argc <= 1) return SHOW_MENU;
    if (argc > 2) return COMMAND_NOT_RECOGNIZED;

    opterr = 0;
    optind = 0; // a fresh scan, also when called again
    int rc = COMMAND_NOT_RECOGNIZED;
    switch (getopt(argc, argv, "t:crh")) {
    case 'c': rc = CALIBRATE_TOUCHSCREEN; break;
    case 'r': rc = RESET_TOUCHSCREEN; break;
    case 'h': rc = COMMAND_SUCCESS; break;
    case 't':
        // The value is everything after the "t", the colon included.
        if (std::strcmp(optarg, ":touchdown") == 0)
            rc = ENABLE_TOUCHDOWN_TONE;
        else if (std::strcmp(optarg, ":liftoff") == 0)
            rc = ENABLE_LIFTOFF_TONE;
        else if (std::strcmp(optarg, ":disable") == 0)
            rc = DISABLE_TONE;
        break;
    case '?':
        if (optopt == 't') return MISSING_ARGUMENT;
        return COMMAND_NOT_RECOGNIZED;
    default: return COMMAND_NOT_RECOGNIZED;
    }
    // One option only, and nothing after it ("-cr" is not one option).
    if (getopt(argc, argv, "t:crh") != -1 || optind != argc) return COMMAND_NOT_RECOGNIZED;
    return rc;
}

void CCommandLineProcessor::DisplayUsage(int rc) const {
    std::printf("rc = %d\n", rc);
    std::printf("Usage:%s <OPTION>\n", m_szProgramName);
    std::printf("where options includes:\n");
    std::printf("-c           : calibrate touch screen\n");
    std::printf("-r           : reset to default touch setting\n");
    std::printf("-t:touchdown : enable touchdown click tone\n");
    std::printf("-t:liftoff   : enable liftoff click tone\n");
    std::printf("-t:disable   : disable click tone\n");
    std::printf("-h           : help\n");
    std::fflush(stdout);
}

void CCommandLineProcessor::OutputTextToScreen(const char* text) {
    std::printf("%s\n", text);
    std::fflush(stdout);
}
