// ovksim: the simulated terminal for end-to-end runs. It serves the bus driver node
// $OVK_ROOT/dev/ovkdcs and the planar keyboard node $OVK_ROOT/dev/ovkikbps as Unix sockets
// that the core's driver-node helpers forward to, and takes scripting commands on a control
// socket ($OVK_ROOT/tmp/.ovksim unless -c names another), one line each.
//
//   ovksim [-t terminal-file] [-c control-socket] [-l log-file]
//   ovksim [-c control-socket] -x "command"
//
// Without -t the terminal is the system board at slot 0 and a two-port RS-485 adapter
// (type 5) at slot 1, with no stations. "ovksim ready" goes to standard output once the
// sockets accept connections; SIGTERM or SIGINT ends it. Memory of the adapters and of the
// NVRAM stations is kept in $OVK_ROOT/var/lib/ovksim/ and read back at the next start. With -x it runs one command on a
// simulator that is running and prints its reply (status 0 for "ok", 1 otherwise).
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "ovkhost.h"
#include "ovksimconfig.h"
#include "ovksimcontrol.h"
#include "ovksimlog.h"
#include "ovksimserver.h"
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

int usage() {
    std::fprintf(stderr, "usage: ovksim [-t terminal-file] [-c control-socket] [-l log-file]\n"
                         "       ovksim [-c control-socket] -x command\n");
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    std::string terminalPath, controlPath, logPath, command;
    bool client = false;
    int opt;
    while ((opt = ::getopt(argc, argv, "t:c:l:x:h")) != -1) {
        switch (opt) {
        case 't': terminalPath = optarg; break;
        case 'c': controlPath = optarg; break;
        case 'l': logPath = optarg; break;
        case 'x':
            command = optarg;
            client = true;
            break;
        default: return usage();
        }
    }
    if (optind != argc) return usage();
    if (controlPath.empty()) controlPath = ovkPath("/tmp/.ovksim");
    if (client) {
        if (!terminalPath.empty() || !logPath.empty()) return usage();
        const int rc = simctl::runCommand("ovksim", controlPath, command);
        return rc < 0 ? usage() : rc;
    }

    bussim::SimLog log;
    if (!logPath.empty() && !log.open(logPath)) {
        std::fprintf(stderr, "ovksim: cannot open the log %s\n", logPath.c_str());
        return 1;
    }
    bussim::TerminalFile file;
    if (terminalPath.empty()) {
        file.terminal = bussim::TerminalDescription::standard();
        file.keyboard.id = 0;
    } else {
        std::string error;
        if (!bussim::loadTerminalFile(terminalPath, file, error)) {
            std::fprintf(stderr, "ovksim: %s\n", error.c_str());
            log.line(error);
            return 1;
        }
        log.line("terminal description " + terminalPath);
    }

    bussim::ModelRegistry models;
    bussim::registerBuiltinModels(models);
    bussim::Simulator simulator(file, std::move(models), [&log](const std::string& line) { log.line(line); });
    std::string error;
    if (!simulator.persistIn(ovkPath("/var/lib/ovksim"), error)) {
        std::fprintf(stderr, "ovksim: %s\n", error.c_str());
        log.line(error);
        return 1;
    }
    if (!simulator.attachStations(file.stations, error)) {
        std::fprintf(stderr, "ovksim: %s: %s\n", terminalPath.c_str(), error.c_str());
        log.line(error);
        return 1;
    }

    bussim::SimServer server(simulator, log);
    bussim::SimServer::Paths paths{ovkPath("/dev/ovkdcs"), ovkPath("/dev/ovkikbps"), controlPath};
    if (!server.start(paths, error)) {
        std::fprintf(stderr, "ovksim: %s\n", error.c_str());
        log.line(error);
        return 1;
    }
    g_wakeFd = server.wakeFd();
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::printf("ovksim ready\n");
    std::fflush(stdout);
    server.run();
    g_wakeFd = -1;
    server.stop();
    log.line("stopped");
    return 0;
}
