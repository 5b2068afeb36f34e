// clients_bench: many clients at once. Client processes each loop a no-op PosIOCtl through
// the daemon; the figure is the 99th percentile of a request's round trip with 64 clients
// against that of one client alone. In the same run, the same for plain Unix socket-pair
// ping-pongs (each process with an echo thread of its own), which shows how much of the
// spread is the machine's own.
#include <benchmark/benchmark.h>

#include <sys/wait.h>

#include <thread>
#include <vector>

#include "BenchTerminal.h"
#include "ovkapi.h"

namespace {

constexpr int kRequests = 2000; // per client
constexpr int kMany = 64;

using Clock = std::chrono::steady_clock;

bool readAll(int fd, void* p, size_t n) {
    auto* b = static_cast<char*>(p);
    while (n > 0) {
        const ssize_t r = ::read(fd, b, n);
        if (r <= 0) return false;
        b += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

bool writeAll(int fd, const void* p, size_t n) {
    auto* b = static_cast<const char*>(p);
    while (n > 0) {
        const ssize_t r = ::write(fd, b, n);
        if (r <= 0) return false;
        b += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

// One client's loop: kRequests round trips, each timed (microseconds).
std::vector<double> daemonLoop() {
    std::vector<double> t;
    char appl[] = "ovkbench", res[] = "/etc/ovkbench.res";
    if (PosInitialize(appl, res, 0, 0, nullptr, 0) < 0) {
        std::fprintf(stderr, "PosInitialize failed: error %d\n", PosErrno());
        return t;
    }
    for (int i = 0; i < kRequests; ++i) {
        const auto start = Clock::now();
        if (PosIOCtl(0, POS_SYS_GET_VALUES, nullptr, 0) != 0) {
            std::fprintf(stderr, "PosIOCtl failed: error %d\n", PosErrno());
            break;
        }
        t.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    PosTerm();
    return t;
}

std::vector<double> plainLoop() {
    std::vector<double> t;
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return t;
    std::thread echo([fd = sv[1]] {
        char request[16];
        const char reply[20] = {};
        while (readAll(fd, request, sizeof request) && writeAll(fd, reply, sizeof reply)) {
        }
    });
    char request[16] = {}, reply[20];
    for (int i = 0; i < kRequests; ++i) {
        const auto start = Clock::now();
        if (!writeAll(sv[0], request, sizeof request) || !readAll(sv[0], reply, sizeof reply)) break;
        t.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    ::shutdown(sv[0], SHUT_RDWR);
    echo.join();
    ::close(sv[0]);
    ::close(sv[1]);
    return t;
}

// Runs `clients` processes of `loop` at once (started together) and gathers every sample.
std::vector<double> runClients(int clients, std::vector<double> (*loop)()) {
    int go[2], out[2];
    if (::pipe(go) != 0 || ::pipe(out) != 0) return {};
    std::vector<pid_t> pids;
    for (int c = 0; c < clients; ++c) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(go[1]);
            ::close(out[0]);
            char b;
            if (::read(go[0], &b, 1) != 1) _exit(1);
            std::vector<double> t = loop();
            const uint32_t n = static_cast<uint32_t>(t.size());
            // One write per client: PIPE_BUF does not hold it, so a lock file keeps them whole.
            std::vector<char> msg(sizeof n + n * sizeof(double));
            std::memcpy(msg.data(), &n, sizeof n);
            if (n) std::memcpy(msg.data() + sizeof n, t.data(), n * sizeof(double));
            struct flock lk{};
            lk.l_type = F_WRLCK;
            ::fcntl(out[1], F_SETLKW, &lk);
            writeAll(out[1], msg.data(), msg.size());
            _exit(0);
        }
        if (pid > 0) pids.push_back(pid);
    }
    ::close(go[0]);
    ::close(out[1]);
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // all have started
    for (size_t i = 0; i < pids.size(); ++i) writeAll(go[1], "g", 1);
    std::vector<double> all;
    for (size_t i = 0; i < pids.size(); ++i) {
        uint32_t n = 0;
        if (!readAll(out[0], &n, sizeof n)) break;
        std::vector<double> t(n);
        if (n && !readAll(out[0], t.data(), n * sizeof(double))) break;
        all.insert(all.end(), t.begin(), t.end());
    }
    for (pid_t p : pids) {
        int st;
        ::waitpid(p, &st, 0);
    }
    ::close(go[1]);
    ::close(out[0]);
    return all;
}

struct Figures {
    double one = 0, many = 0; // p99, microseconds
    size_t samples = 0;
};
Figures daemonFigures, plainFigures;

void measure(benchmark::State& state, std::vector<double> (*loop)(), Figures& f) {
    for (auto _ : state) {
        const std::vector<double> one = runClients(1, loop);
        const std::vector<double> many = runClients(kMany, loop);
        f.one = bench::Percentile(one, 99);
        f.many = bench::Percentile(many, 99);
        f.samples = many.size();
        if (one.size() != kRequests || many.size() != static_cast<size_t>(kRequests) * kMany)
            state.SkipWithError("a client failed");
    }
    state.counters["p99_1_us"] = f.one;
    state.counters["p99_64_us"] = f.many;
    state.counters["ratio"] = f.one > 0 ? f.many / f.one : 0;
}

void BM_DaemonClients(benchmark::State& state) { measure(state, daemonLoop, daemonFigures); }
void BM_PlainPingPongs(benchmark::State& state) { measure(state, plainLoop, plainFigures); }
BENCHMARK(BM_DaemonClients)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainPingPongs)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::Terminal t;
    if (!t.Start(false)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    const double daemonRatio = daemonFigures.one > 0 ? daemonFigures.many / daemonFigures.one : 0;
    const double plainRatio = plainFigures.one > 0 ? plainFigures.many / plainFigures.one : 0;
    std::printf("\n64 clients: p99 %.1f us against one client's %.1f us (ratio %.2f); plain "
                "socket pairs: %.1f us against %.1f us (ratio %.2f)\n\n",
                daemonFigures.many, daemonFigures.one, daemonRatio, plainFigures.many,
                plainFigures.one, plainRatio);
    bench::Row("64 clients looping no-op PosIOCtl: p99 vs one client's p99",
               bench::Fmt("%.2fx", daemonRatio), bench::Fmt("plain socket pairs %.2fx", plainRatio),
               "<= 2x, or <= 1.25x the plain ratio",
               daemonRatio > 0 && (daemonRatio <= 2.0 || daemonRatio <= 1.25 * plainRatio));
    benchmark::Shutdown();
    return 0;
}
