// ovkctrl_bench: what the daemon adds to a request's round trip. It starts the daemon of the
// staging root under a private OVK_ROOT and measures a no-op PosIOCtl on handle 0 (a 16-byte
// request, a 20-byte reply) through the client library and the daemon; in the same run, a
// plain ping-pong of 16 and 20 bytes over a Unix socket pair between two threads. It prints
// both and their ratio.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>

#include "ovkapi.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr size_t kRequestBytes = 16; // an IOCtl request without arguments
constexpr size_t kReplyBytes = 20;   // a reply without data

// The daemon under a private root.
class Daemon {
public:
    bool Start() {
        char tmpl[] = "/tmp/ovkbench.XXXXXX";
        if (!mkdtemp(tmpl)) return false;
        root_ = tmpl;
        for (const char* d : {"/etc", "/usr/lib", "/var/log", "/var/run", "/tmp", "/dev"})
            fs::create_directories(root_ + d);
        std::error_code ec;
        const fs::path staging(OVK_STAGING_ROOT);
        for (const auto& e : fs::directory_iterator(staging / "usr/lib", ec))
            fs::create_symlink(e.path(), fs::path(root_ + "/usr/lib") / e.path().filename(), ec);
        fs::copy_file(staging / "etc/ovksys.conf", root_ + "/etc/ovksys.conf", ec);
        setenv("OVK_ROOT", root_.c_str(), 1);

        const std::string program = staging.string() + "/usr/bin/ovkctrl";
        const std::string log = root_ + "/daemon.log";
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&fa, 1, 2);
        char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("-f"), nullptr};
        const int rc = posix_spawn(&pid_, argv[0], &fa, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&fa);
        if (rc != 0) {
            std::fprintf(stderr, "cannot start %s\n", program.c_str());
            pid_ = -1;
            return false;
        }
        const std::string socket = root_ + "/tmp/.ovkctrl";
        for (int i = 0; i < 3000; ++i) {
            struct stat st;
            if (::lstat(socket.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    ~Daemon() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int st;
            ::waitpid(pid_, &st, 0);
        }
        std::error_code ec;
        if (!root_.empty()) fs::remove_all(root_, ec);
    }

private:
    std::string root_;
    pid_t pid_ = -1;
};

void BM_PosIOCtlThroughDaemon(benchmark::State& state) {
    for (auto _ : state) {
        if (PosIOCtl(0, POS_SYS_GET_VALUES, nullptr, 0) != 0) {
            state.SkipWithError("PosIOCtl failed");
            break;
        }
    }
}
BENCHMARK(BM_PosIOCtlThroughDaemon)->Unit(benchmark::kMicrosecond)->UseRealTime();

bool readAll(int fd, char* p, size_t n) {
    while (n > 0) {
        const ssize_t r = ::read(fd, p, n);
        if (r <= 0) return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

bool writeAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t r = ::write(fd, p, n);
        if (r <= 0) return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

void BM_UnixSocketPingPong(benchmark::State& state) {
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) {
        state.SkipWithError("socketpair failed");
        return;
    }
    std::thread echo([fd = sv[1]] {
        char request[kRequestBytes];
        const char reply[kReplyBytes] = {};
        while (readAll(fd, request, sizeof request) && writeAll(fd, reply, sizeof reply)) {
        }
    });
    char request[kRequestBytes] = {};
    char reply[kReplyBytes];
    for (auto _ : state) {
        if (!writeAll(sv[0], request, sizeof request) || !readAll(sv[0], reply, sizeof reply)) {
            state.SkipWithError("ping-pong failed");
            break;
        }
    }
    ::shutdown(sv[0], SHUT_RDWR);
    echo.join();
    ::close(sv[0]);
    ::close(sv[1]);
}
BENCHMARK(BM_UnixSocketPingPong)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The console output, and the real time of each benchmark for the summary: the median of
// the repetitions when there are several, else the one run's mean.
class Reporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.error_occurred) continue;
            const std::string& name = r.run_name.function_name;
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
                times[name] = r.GetAdjustedRealTime();
                medians.insert(name);
            } else if (r.run_type == Run::RT_Iteration && !medians.count(name)) {
                times[name] = r.GetAdjustedRealTime();
            }
        }
    }
    std::set<std::string> medians;
    std::map<std::string, double> times; // microseconds
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Daemon daemon;
    if (!daemon.Start()) {
        std::fprintf(stderr, "the daemon did not start\n");
        return 1;
    }
    char appl[] = "ovkbench";
    char res[] = "ovkbench.res";
    if (PosInitialize(appl, res, 0, 0, nullptr, 0) < 0) {
        std::fprintf(stderr, "PosInitialize failed: error %d\n", PosErrno());
        return 1;
    }
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PosTerm();

    const auto daemonTime = reporter.times.find("BM_PosIOCtlThroughDaemon");
    const auto plainTime = reporter.times.find("BM_UnixSocketPingPong");
    if (daemonTime != reporter.times.end() && plainTime != reporter.times.end() && plainTime->second > 0) {
        std::printf("\nno-op PosIOCtl through the daemon: %8.2f us\n", daemonTime->second);
        std::printf("Unix-socket ping-pong (16/20 B):   %8.2f us\n", plainTime->second);
        const double ratio = daemonTime->second / plainTime->second;
        std::printf("ratio:                             %8.2f\n\n", ratio);
        std::printf("| no-op PosIOCtl through the daemon vs a Unix-socket ping-pong (median) | %.2fx (%.1f us) | "
                    "%.1f us | <= 2.0x | %s |\n",
                    ratio, daemonTime->second, plainTime->second, ratio <= 2.0 ? "met" : "NOT MET");
    }
    benchmark::Shutdown();
    return 0;
}
