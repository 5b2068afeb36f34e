// ovkctrl_bench: what the daemon adds to a request's round trip. It starts the daemon of the
// staging root under a private OVK_ROOT and measures a no-op PosIOCtl on handle 0 (a 16-byte
// request, a 20-byte reply) through the client library and the daemon; in the same run, a
// plain ping-pong of 16 and 20 bytes over a Unix socket pair between two threads. It prints
// both and their ratio.
#include <benchmark/benchmark.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <thread>

#include "BenchTerminal.h"
#include "ovkapi.h"

namespace {

constexpr size_t kRequestBytes = 16; // an IOCtl request without arguments
constexpr size_t kReplyBytes = 20;   // a reply without data

void BM_PosIOCtlThroughDaemon(benchmark::State& state) {
    for (auto _ : state) {
        if (PosIOCtl(0, POS_SYS_GET_VALUES, nullptr, 0) != 0) {
            state.SkipWithError(("PosIOCtl failed: error " + std::to_string(PosErrno())).c_str());
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
            if (r.error_occurred) {
                failed = true;
                continue;
            }
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
    bool failed = false;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::Terminal daemon;
    if (!daemon.Start(false)) return 1;
    char appl[] = "ovkbench";
    char res[] = "ovkbench.res";
    if (PosInitialize(appl, res, 0, 0, nullptr, 0) < 0) {
        std::fprintf(stderr, "PosInitialize failed: error %d\nthe daemon's output:\n%s", PosErrno(),
                     daemon.DaemonOutput().c_str());
        return 1;
    }
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PosTerm();
    if (reporter.failed) std::fprintf(stderr, "the daemon's output:\n%s", daemon.DaemonOutput().c_str());

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
