// memory_bench: the daemon's resident memory with ovksim playing the demo terminal: after a
// minute of idling, after 10,000 requests of one client, after bursts of 256 clients that
// each initialise, ask once and end, and once more half a minute later (it must stay flat).
// The baseline is the daemon's memory right after it started.
#include <benchmark/benchmark.h>

#include <sys/wait.h>

#include <vector>

#include "BenchTerminal.h"
#include "ovkapi.h"

namespace {

constexpr int kRequests = 10000;
constexpr int kBurstClients = 256;
constexpr int kBursts = 4;

bench::Terminal* terminal = nullptr;
double idleSeconds = 60, settleSeconds = 30;

struct Figures {
    double start = 0, idle = 0, requests = 0, bursts = 0, later = 0;
} mb;

// A client process: initialises, makes `requests` no-op requests, ends.
pid_t client(int requests) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    char appl[] = "ovkbench", res[] = "/etc/ovkbench.res";
    if (PosInitialize(appl, res, 0, 0, nullptr, 0) < 0) _exit(1);
    for (int i = 0; i < requests; ++i)
        if (PosIOCtl(0, POS_SYS_GET_VALUES, nullptr, 0) != 0) _exit(1);
    PosTerm();
    _exit(0);
}

bool wait(const std::vector<pid_t>& pids) {
    bool ok = true;
    for (pid_t p : pids) {
        int st = 0;
        ::waitpid(p, &st, 0);
        ok = ok && WIFEXITED(st) && WEXITSTATUS(st) == 0;
    }
    return ok;
}

void sleepSeconds(double s) { std::this_thread::sleep_for(std::chrono::duration<double>(s)); }

void BM_DaemonMemory(benchmark::State& state) {
    const pid_t daemon = terminal->DaemonPid();
    for (auto _ : state) {
        mb.start = bench::RssMb(daemon);
        sleepSeconds(idleSeconds);
        mb.idle = bench::RssMb(daemon);
        if (!wait({client(kRequests)})) state.SkipWithError("the request client failed");
        sleepSeconds(2); // the connection is reaped
        mb.requests = bench::RssMb(daemon);
        for (int b = 0; b < kBursts; ++b) {
            std::vector<pid_t> pids;
            for (int c = 0; c < kBurstClients; ++c) pids.push_back(client(1));
            if (!wait(pids)) state.SkipWithError("a burst client failed");
        }
        sleepSeconds(2);
        mb.bursts = bench::RssMb(daemon);
        sleepSeconds(settleSeconds);
        mb.later = bench::RssMb(daemon);
    }
    state.counters["start_MB"] = mb.start;
    state.counters["idle_MB"] = mb.idle;
    state.counters["requests_MB"] = mb.requests;
    state.counters["bursts_MB"] = mb.bursts;
    state.counters["later_MB"] = mb.later;
}
BENCHMARK(BM_DaemonMemory)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    // OVK_BENCH_QUICK=1 shortens the idle and settling times (for a quick look only).
    if (const char* q = std::getenv("OVK_BENCH_QUICK"); q && *q == '1') idleSeconds = settleSeconds = 5;
    bench::Terminal t;
    if (!t.Start(true)) return 1;
    terminal = &t;
    sleepSeconds(1);
    benchmark::RunSpecifiedBenchmarks();
    std::printf("\ndaemon RSS: %.1f MB at start, %.1f MB after %.0f s idle, %.1f MB after %d requests, "
                "%.1f MB after %d bursts of %d clients, %.1f MB %.0f s later\n\n",
                mb.start, mb.idle, idleSeconds, mb.requests, kRequests, mb.bursts, kBursts,
                kBurstClients, mb.later, settleSeconds);
    const double worst = std::max({mb.idle, mb.requests, mb.bursts, mb.later});
    bench::Row("daemon RSS: idle 60 s / after 10,000 requests / after bursts of 256 clients / 30 s later",
               bench::Fmt("%.1f", mb.idle) + bench::Fmt(" / %.1f", mb.requests) +
                   bench::Fmt(" / %.1f", mb.bursts) + bench::Fmt(" / %.1f MB", mb.later),
               bench::Fmt("%.1f MB at start", mb.start), "<= 20 MB, flat after the first minute",
               worst <= 20.0 && mb.later <= mb.bursts + 1.0);
    benchmark::Shutdown();
    return 0;
}
