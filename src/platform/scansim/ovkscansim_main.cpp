// ovkscansim: a simulated line scanner on a serial line. The line is a pty whose slave is
// linked as $OVK_ROOT/dev/ttyS<N-1> for port N; scripting commands come on a control socket
// ($OVK_ROOT/tmp/.ovkscansim unless -c names another), one line each, as with ovksim.
// "ovkscansim ready" goes to standard output once both accept; SIGTERM or SIGINT ends it.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "linescanner.h"
#include "ovkhost.h"
#include "scansimserver.h"
#include "simcontrol.h"

namespace {

volatile sig_atomic_t g_wakeFd = -1;

void onSignal(int) {
    if (g_wakeFd >= 0) {
        const char b = 1;
        ssize_t ignored = ::write(g_wakeFd, &b, 1);
        (void)ignored;
    }
}

const char kHelp[] =
    "usage: ovkscansim [-p port] [-b speed] [-f firmware] [-i identifier] [-c control-socket]\n"
    "       ovkscansim [-c control-socket] -x command\n"
    "A line scanner on a pty linked as $OVK_ROOT/dev/ttyS<port-1>, numbered as ovkscantool's -p.\n"
    "  -p port        port number 1 to 99 (default 4: ttyS3)\n"
    "  -b speed       speed it starts at: 19200 (default), 57600, 38400, 9600, 4800, 2400, 1200\n"
    "  -f firmware    firmware version text it reports\n"
    "  -i identifier  hardware identifier it reports, 0 to 0xFFFF (default 0x0001)\n"
    "  -c socket      control socket (default $OVK_ROOT/tmp/.ovkscansim)\n"
    "  -x command     runs one command on the running simulator and prints its reply\n"
    "Commands: scan <UPCA|UPCE|EAN8|EAN13|code> <digits>, frames, state, noack, garbage.\n";

int usage() {
    std::fputs(kHelp, stderr);
    return 2;
}

bool number(const char* text, unsigned long max, unsigned long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtoul(text, &end, 0);
    return *text && *text != '-' && !*end && errno == 0 && value <= max;
}

} // namespace

int main(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        }
    }
    scansim::LineScanner::Options options;
    std::string controlPath, command;
    unsigned long port = 4, value = 0;
    bool client = false, serverOption = false;
    int opt;
    while ((opt = ::getopt(argc, argv, "p:b:f:i:c:x:h")) != -1) {
        switch (opt) {
        case 'p':
            if (!number(optarg, 99, port) || port == 0) return usage();
            serverOption = true;
            break;
        case 'b':
            if (!number(optarg, 1000000, value) || scansim::LineScanner::speedCode(static_cast<unsigned>(value)) < 0)
                return usage();
            options.speed = static_cast<unsigned>(value);
            serverOption = true;
            break;
        case 'f':
            options.firmware = optarg;
            serverOption = true;
            break;
        case 'i':
            if (!number(optarg, 0xFFFF, value)) return usage();
            options.hardwareId = static_cast<uint16_t>(value);
            serverOption = true;
            break;
        case 'c': controlPath = optarg; break;
        case 'x':
            command = optarg;
            client = true;
            break;
        case 'h':
            std::fputs(kHelp, stdout);
            return 0;
        default: return usage();
        }
    }
    if (optind != argc) return usage();
    if (controlPath.empty()) controlPath = ovkPath("/tmp/.ovkscansim");
    if (client) {
        if (serverOption) return usage();
        const int rc = simctl::runCommand("ovkscansim", controlPath, command);
        return rc < 0 ? usage() : rc;
    }

    scansim::LineScanner scanner(options);
    scansim::ScanSimServer server(scanner);
    std::string error;
    if (!server.start(ovkPath("/dev/ttyS" + std::to_string(port - 1)), controlPath, error)) {
        std::fprintf(stderr, "ovkscansim: %s\n", error.c_str());
        return 1;
    }
    g_wakeFd = server.wakeFd();
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::printf("ovkscansim ready\n");
    std::fflush(stdout);
    server.run();
    g_wakeFd = -1;
    server.stop();
    return 0;
}
