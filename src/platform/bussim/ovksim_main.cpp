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

// Runs one command on the simulator behind the control socket.
int runCommand(const std::string& socketPath, const std::string& command) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof addr.sun_path || command.find('\n') != std::string::npos) return usage();
    std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        std::fprintf(stderr, "ovksim: no simulator at %s\n", socketPath.c_str());
        if (fd >= 0) ::close(fd);
        return 1;
    }
    const std::string line = command + "\n";
    std::string reply;
    bool done = ::send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size());
    while (done) {
        pollfd p{fd, POLLIN, 0};
        char c;
        if (::poll(&p, 1, 10000) <= 0 || ::recv(fd, &c, 1, 0) != 1) {
            done = false;
            break;
        }
        if (c == '\n') break;
        reply += c;
    }
    ::close(fd);
    if (!done) {
        std::fprintf(stderr, "ovksim: no reply from %s\n", socketPath.c_str());
        return 1;
    }
    std::printf("%s\n", reply.c_str());
    return reply.compare(0, 2, "ok") == 0 ? 0 : 1;
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
        return runCommand(controlPath, command);
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
