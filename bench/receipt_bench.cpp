// receipt_bench: receipt printing through the daemon. With ovksim playing an M3 printer behind
// the daemon, a client holds it and writes N receipt lines (38 characters, CR, LF; one
// PosWrite each), then ESC G; the figure is lines per second until the chase event, and the
// simulator's counts confirm that N lines were printed. A line is one bus exchange (the
// printer takes one command at a time), so the figure rests on the polling pace of the
// daemon. The baseline in the same run is the round trip of a no-op request (PosIOCtl of
// the printer's values).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "BenchTerminal.h"
#include "ovkapi.h"

namespace {

constexpr int kLines = 2000;
constexpr uint32_t kOnline = 0x420D;
constexpr uint32_t kChaseComplete = 0x4204;
constexpr int kAcquire = 301;

const char kTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x34 m3\n";
const char kResources[] =
    "ovkbench.receipt.slotNumber:   SLOT_1\n"
    "ovkbench.receipt.portNumber:   PORT_1\n"
    "ovkbench.receipt.deviceNumber: DEVICE_PRINTER_4\n";

bench::Terminal* terminal = nullptr;
int printer = 0;
std::vector<double> rates;
std::vector<double> roundTrips;
uint64_t printedBefore = 0;
bool countsOk = true;

using Clock = std::chrono::steady_clock;

bool waitFor(uint32_t msg, int seconds) {
    const auto deadline = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < deadline) {
        _POSQMSG m;
        if (PosRead(0, &m, sizeof m) == static_cast<int>(sizeof m) && m.msg == msg) return true;
    }
    return false;
}

// The receipt lines the simulator has printed.
uint64_t printedLines() {
    const std::string counts = terminal->Sim("counts 1 0x11 0x34");
    const size_t at = counts.find("cr=");
    return at == std::string::npos ? 0 : std::stoull(counts.substr(at + 3));
}

void BM_ReceiptLines(benchmark::State& state) {
    std::string line(38, 'R');
    line += "\r\n";
    for (auto _ : state) {
        const auto start = Clock::now();
        for (int i = 0; i < kLines; ++i) {
            if (PosWrite(printer, line.data(), static_cast<unsigned>(line.size())) != static_cast<int>(line.size())) {
                state.SkipWithError(("write failed: error " + std::to_string(PosErrno()) + " at line " + std::to_string(i)).c_str());
                return;
            }
        }
        char chase[] = "\x1BG";
        if (PosWrite(printer, chase, 2) != 2 || !waitFor(kChaseComplete, 60)) {
            state.SkipWithError("no chase event");
            return;
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        rates.push_back(kLines / seconds);
        state.SetIterationTime(seconds);
        const uint64_t printed = printedLines();
        if (printed - printedBefore != static_cast<uint64_t>(kLines)) countsOk = false;
        printedBefore = printed;
    }
    state.counters["lines/s"] = rates.empty() ? 0 : rates.back();
}
BENCHMARK(BM_ReceiptLines)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_NoOpRoundTrip(benchmark::State& state) {
    for (auto _ : state) {
        const auto start = Clock::now();
        PosArg a[] = {{"printMode", 0}};
        if (PosIOCtl(printer, POS_SYS_GET_VALUES, a, 1) < 0) {
            state.SkipWithError("get values failed");
            return;
        }
        roundTrips.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
}
BENCHMARK(BM_NoOpRoundTrip)->Iterations(2000);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::Terminal t;
    if (!t.Start(true, kTerminal, kResources)) return 1;
    terminal = &t;
    char appl[] = "ovkbench", res[] = "/etc/ovkbench.res";
    PosArg init[] = {{"readTimeout", 200}};
    if (PosInitialize(appl, res, 0, 0, init, 1) < 0) {
        std::fprintf(stderr, "PosInitialize failed: error %d\n", PosErrno());
        return 1;
    }
    char name[] = "receipt", cls[] = "PosPrinter";
    bool acquired = false;
    for (int i = 0; !acquired && i < 100; ++i) {
        if (printer <= 0) printer = PosOpen(name, cls, nullptr, 0);
        acquired = printer > 0 && PosIOCtl(printer, kAcquire, nullptr, 0) == 0;
        if (!acquired) waitFor(kOnline, 1);
    }
    if (!acquired) {
        std::fprintf(stderr, "the printer is not there: error %d\n", PosErrno());
        return 1;
    }
    // The font load of the acquire is done before the measurement.
    char chase[] = "\x1BG";
    PosWrite(printer, chase, 2);
    waitFor(kChaseComplete, 30);
    printedBefore = printedLines();
    benchmark::RunSpecifiedBenchmarks();
    PosTerm();

    const double rate = bench::Median(rates), rt = bench::Median(roundTrips);
    std::printf("\nreceipt lines to the chase event: median %.0f lines/s over %zu runs of %d lines; "
                "counts %s\n\n", rate, rates.size(), kLines, countsOk ? "confirm every line" : "DIFFER");
    bench::Row("receipt lines, M3 printer, 2000 lines to the chase event", bench::Fmt("%.0f lines/s", rate),
               bench::Fmt("no-op request round trip p50 %.0f us", rt), ">= 5000 lines/s",
               countsOk && !rates.empty() && rate >= 5000);
    benchmark::Shutdown();
    return 0;
}
