// What the benchmarks share: the daemon of the staging root under a private OVK_ROOT,
// optionally with ovksim playing the demo terminal (a cash drawer and an operator display on
// an RS-485 adapter), the simulator's control socket, the daemon's memory and CPU time (and
// the least an idle polling round costs on this machine, for comparison), and percentiles of
// a set of samples.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace bench {

namespace fs = std::filesystem;

// The demo terminal, and where a client finds its drawer and display.
inline const char kDemoTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x54 drawer\n"
    "station 1 0x11 0x22 oper\n";
inline const char kDemoResources[] =
    "ovkbench.drawer.slotNumber:   SLOT_1\n"
    "ovkbench.drawer.portNumber:   PORT_1\n"
    "ovkbench.drawer.deviceNumber: DEVICE_CASH_DRAWER_A\n";

// The staging root of the build; OVK_BENCH_STAGING names another (a copy of an earlier
// build's, to compare two builds on the same machine at the same time; run the benchmark
// with LD_LIBRARY_PATH at its usr/lib then).
inline std::string stagingRoot() {
    const char* other = std::getenv("OVK_BENCH_STAGING");
    return other && *other ? other : OVK_STAGING_ROOT;
}

inline bool sockAt(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

inline bool waitForSocket(const std::string& path) {
    for (int i = 0; i < 3000; ++i) {
        if (sockAt(path)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

inline pid_t spawn(const std::vector<std::string>& args, const std::string& log) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    return rc == 0 ? pid : -1;
}

inline void stop(pid_t& pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    int st;
    ::waitpid(pid, &st, 0);
    pid = -1;
}

class Terminal {
public:
    // withSimulator: ovksim plays the demo terminal (or the one given, with the resources of
    // the application "ovkbench") behind the daemon.
    bool Start(bool withSimulator, const char* terminal = kDemoTerminal, const char* resources = kDemoResources) {
        char tmpl[] = "/tmp/ovkbench.XXXXXX";
        if (!mkdtemp(tmpl)) return false;
        root_ = tmpl;
        for (const char* d : {"/etc", "/usr/lib", "/var/log", "/var/run", "/var/lib/misc", "/tmp", "/dev"})
            fs::create_directories(root_ + d);
        std::error_code ec;
        const fs::path staging(stagingRoot());
        for (const auto& e : fs::directory_iterator(staging / "usr/lib", ec))
            fs::create_symlink(e.path(), fs::path(root_ + "/usr/lib") / e.path().filename(), ec);
        fs::copy_file(staging / "etc/ovksys.conf", root_ + "/etc/ovksys.conf", ec);
        std::ofstream(root_ + "/etc/ovkbench.res") << resources;
        setenv("OVK_ROOT", root_.c_str(), 1);
        const std::string bin = staging.string() + "/usr/bin/";
        if (withSimulator) {
            std::ofstream(root_ + "/etc/ovksim.term") << terminal;
            sim_ = spawn({bin + "ovksim", "-t", root_ + "/etc/ovksim.term", "-l", root_ + "/var/log/ovksim.log"},
                         root_ + "/sim.out");
            if (sim_ < 0 || !waitForSocket(root_ + "/tmp/.ovksim")) {
                std::fprintf(stderr, "ovksim did not start\n");
                return false;
            }
        }
        daemon_ = spawn({bin + "ovkctrl", "-f"}, root_ + "/daemon.out");
        if (daemon_ < 0 || !waitForSocket(root_ + "/tmp/.ovkctrl")) {
            std::fprintf(stderr, "ovkctrl did not start\n");
            return false;
        }
        return true;
    }
    ~Terminal() {
        stop(daemon_);
        stop(sim_);
        std::error_code ec;
        if (!root_.empty()) fs::remove_all(root_, ec);
    }

    pid_t DaemonPid() const { return daemon_; }
    // What the daemon wrote to its standard output and error (its log lines among them).
    std::string DaemonOutput() const {
        std::ifstream in(root_ + "/daemon.out");
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    const std::string& Root() const { return root_; }

    // One command on the simulator's control socket; its reply line ("" on failure).
    std::string Sim(const std::string& line) {
        if (control_ < 0) {
            control_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un addr{};
            addr.sun_family = AF_UNIX;
            const std::string path = root_ + "/tmp/.ovksim";
            std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
            if (::connect(control_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
                ::close(control_);
                control_ = -1;
                return "";
            }
        }
        const std::string out = line + "\n";
        if (::send(control_, out.data(), out.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(out.size()))
            return "";
        std::string reply;
        char c;
        while (::recv(control_, &c, 1, 0) == 1) {
            if (c == '\n') return reply;
            reply += c;
        }
        return "";
    }

private:
    std::string root_;
    pid_t daemon_ = -1;
    pid_t sim_ = -1;
    int control_ = -1;
};

// Resident memory of a process, in MB.
inline double RssMb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

// User and system CPU time of a process, in seconds.
inline double CpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string f;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> f; ++i) {
        if (i == 14) utime = std::stoull(f);
        if (i == 15) stime = std::stoull(f);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// The share of one core a process used over `seconds` of wall time, in percent.
inline double IdleCpuPercent(pid_t pid, int seconds) {
    const double before = CpuSeconds(pid);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    return (CpuSeconds(pid) - before) * 100.0 / seconds;
}

// The same for two processes over the same `seconds`.
inline std::pair<double, double> IdleCpuPercent(pid_t a, pid_t b, int seconds) {
    const double beforeA = CpuSeconds(a), beforeB = CpuSeconds(b);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    return {(CpuSeconds(a) - beforeA) * 100.0 / seconds, (CpuSeconds(b) - beforeB) * 100.0 / seconds};
}

// The least an idle daemon can do on this machine, as a baseline measured in the same run:
// a process that wakes every 10 ms and makes the two exchanges of an idle round with a peer
// process (a 2,060-byte request answered by 2,064 bytes, then 2,064 answered by 2,060), as
// the polling thread does with the driver node. Started by Start(), ended by the destructor.
class IdleFloor {
public:
    bool Start() {
        int sv[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return false;
        peer_ = ::fork();
        if (peer_ == 0) {
            ::close(sv[0]);
            Serve(sv[1]);
            _exit(0);
        }
        round_ = ::fork();
        if (round_ == 0) {
            ::close(sv[1]);
            Rounds(sv[0]);
            _exit(0);
        }
        ::close(sv[0]);
        ::close(sv[1]);
        return peer_ > 0 && round_ > 0;
    }
    ~IdleFloor() {
        stop(round_);
        stop(peer_);
    }
    pid_t Pid() const { return round_; }

private:
    // The children only make system calls: nothing is allocated after the fork.
    static void Serve(int fd) {
        static char buf[4096];
        for (bool first = true;; first = !first) {
            const ssize_t in = first ? 2068 : 2064, out = first ? 2064 : 2060;
            if (::recv(fd, buf, in, MSG_WAITALL) != in || ::send(fd, buf, out, MSG_NOSIGNAL) != out) break;
        }
    }
    static void Rounds(int fd) {
        static char buf[4096];
        const timespec interval{0, 10 * 1000 * 1000};
        for (;;) {
            ::nanosleep(&interval, nullptr);
            if (::send(fd, buf, 2068, MSG_NOSIGNAL) != 2068 || ::recv(fd, buf, 2064, MSG_WAITALL) != 2064 ||
                ::send(fd, buf, 2064, MSG_NOSIGNAL) != 2064 || ::recv(fd, buf, 2060, MSG_WAITALL) != 2060)
                break;
        }
    }
    pid_t peer_ = -1;
    pid_t round_ = -1;
};

inline double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t i = static_cast<size_t>(p / 100.0 * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

inline double Median(std::vector<double> v) { return Percentile(std::move(v), 50); }

// One row of the summary table.
inline void Row(const char* figure, const std::string& value, const std::string& baseline,
                const char* target, bool met) {
    std::printf("| %s | %s | %s | %s | %s |\n", figure, value.c_str(), baseline.c_str(), target,
                met ? "met" : "NOT MET");
}

inline std::string Fmt(const char* format, double a) {
    char buf[128];
    std::snprintf(buf, sizeof buf, format, a);
    return buf;
}

} // namespace bench
