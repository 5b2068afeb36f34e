// Device families end to end on a daemon (and ovksim) whose clock starts ten seconds before
// it wraps, past 2^31 ms and past 2^32 ms (the host clock's test-only start setting). Each
// family's time-out is armed before the wrap and ends after it: at its time, not before, and
// not never; the family works on after the wrap. In a sanitizer build a clock sum that
// overflows stops the daemon, and the run fails.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <tuple>

#include "NearWrap.h"
#include "SimulatedTerminal.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr uint32_t kOffline = 0x420C;
constexpr uint32_t kOnline = 0x420D;
constexpr uint32_t kTillClosed = 0x420E;
constexpr uint32_t kTillOpened = 0x420F;
constexpr uint32_t kXmitAbort = 0x4209;
constexpr uint32_t kXmitComplete = 0x420A;
constexpr int kAcquire = 301;
constexpr int kOpenTill = 5401;
constexpr int kTimeout = 329;
constexpr uint32_t kHandleBits = 0xFFFF;

class ClockWrapE2E;

// A family: its terminal, the application's resources, and what the test does with it.
struct Family {
    const char* name;
    const char* terminal;
    const char* resources;
    std::function<void(ClockWrapE2E&)> run;
};

void PrintTo(const Family& family, std::ostream* os) { *os << family.name; }

class ClockWrapE2E : public TerminalTest,
                     public ::testing::WithParamInterface<std::tuple<Family, uint32_t>> {
public:
    using TerminalTest::KillSimulator;
    using TerminalTest::Seen;
    using TerminalTest::seen_;
    using TerminalTest::Sim;
    using TerminalTest::StartSimulator;
    using TerminalTest::WaitForEvent;
    using TerminalTest::WaitForReply;

    void SetUp() override {
        const Family& family = std::get<0>(GetParam());
        ::setenv("OVK_TEST_CLOCK_START", std::to_string(std::get<1>(GetParam())).c_str(), 1);
        launched_ = Clock::now(); // the daemon's clock starts after this
        ASSERT_NO_FATAL_FAILURE(StartTerminal(family.terminal, family.resources));
        ready_ = Clock::now(); // and before this
    }
    void TearDown() override {
        TerminalTest::TearDown();
        ::unsetenv("OVK_TEST_CLOCK_START");
    }

    // Whether the daemon's clock certainly stands before the wrap at `t`: it started at the
    // chosen count no earlier than the launch.
    bool BeforeTheWrap(Clock::time_point t) const { return t - launched_ < milliseconds(nearwrap::kLead); }
    // Whether its clock has certainly passed the wrap by a second: it has run for 11 s once
    // 11 s have passed since it accepted its first client (it started before that).
    bool PastTheWrap() const { return Clock::now() - ready_ >= milliseconds(nearwrap::kLead + 1000); }
    // Reads events for a while, until the daemon's clock has passed the wrap.
    void WaitPastTheWrap() {
        while (!PastTheWrap()) WaitForEvent(0, 0, 200, 0xFFFFFFFF);
    }
    // A time-out armed at `armed` should have straddled the wrap; tell when it could not.
    void NoteIfNotStraddled(Clock::time_point armed) const {
        if (!BeforeTheWrap(armed))
            std::fprintf(stderr, "note: armed %lld ms after the launch, maybe after the wrap\n",
                         static_cast<long long>(std::chrono::duration_cast<milliseconds>(armed - launched_).count()));
    }

    Clock::time_point launched_{};
    Clock::time_point ready_{};
};

// The RS-232 transmit: held by the port, it is aborted at its deadline (the line time and
// 10 s after the daemon took it), then the next one completes.
void Rs232Transmit(ClockWrapE2E& t) {
    ASSERT_TRUE(t.WaitForEvent(kOnline, DeviceWord(1, 0x11, 0x64, 10), 20000)) << t.Seen();
    PosArg args[] = {{"slotNumber", 1}, {"portNumber", 0x11}, {"deviceNumber", 0x64}, {"baudRate", 9600},
                     {"dataBits", 8},   {"parity", 0},        {"stopBits", 10}};
    char name[] = "port", cls[] = "PosRs232";
    const int h = PosOpen(name, cls, args, 7);
    ASSERT_GT(h, 0) << PosErrno();
    ASSERT_EQ(PosIOCtl(h, kAcquire, nullptr, 0), 0) << PosErrno();
    ASSERT_TRUE(t.WaitForReply("payloads 1 0x11 0x64", " 01054e2700bf01"));
    ASSERT_EQ(t.Sim("hold 1 0x11 0x64 on"), "ok hold on");

    const auto written = Clock::now();
    char hello[] = "HELLO";
    ASSERT_EQ(PosWrite(h, hello, 5), 5) << PosErrno();
    t.NoteIfNotStraddled(written);
    ASSERT_TRUE(t.WaitForEvent(kXmitAbort, static_cast<uint32_t>(h), 60000, kHandleBits)) << t.Seen();
    EXPECT_GE(Clock::now() - written, milliseconds(10000)) << "aborted before its deadline";
    for (const Event& e : t.seen_) EXPECT_NE(e.msg, kXmitComplete) << t.Seen();

    ASSERT_EQ(t.Sim("hold 1 0x11 0x64 off"), "ok hold off");
    char again[] = "again";
    ASSERT_EQ(PosWrite(h, again, 5), 5) << PosErrno();
    ASSERT_TRUE(t.WaitForEvent(kXmitComplete, static_cast<uint32_t>(h), 20000, kHandleBits)) << t.Seen();
    EXPECT_NE(t.Sim("tx 1 0x11 0x64").find("616761696e"), std::string::npos);
    EXPECT_EQ(PosClose(h), 0) << PosErrno();
}

// The scale: a read of a silent scale ends with a time-out after its 15 s; meanwhile the
// scale's own command time-out has reset it; answering again, it gives its weight.
void ScaleRead(ClockWrapE2E& t) {
    ASSERT_TRUE(t.WaitForEvent(kOnline, DeviceWord(1, 0x11, 0x6E, 11), 20000)) << t.Seen();
    char name[] = "scale", cls[] = "PosScale";
    const int h = PosOpen(name, cls, nullptr, 0);
    ASSERT_GT(h, 0) << PosErrno();
    ASSERT_EQ(PosIOCtl(h, kAcquire, nullptr, 0), 0) << PosErrno();
    EXPECT_EQ(t.Sim("weight 1 0x11 0x6e 1234"), "ok weight 1234");
    EXPECT_EQ(t.Sim("mute 1 0x11 0x6e on"), "ok mute on");

    const auto asked = Clock::now();
    unsigned char record[8] = {};
    EXPECT_EQ(PosRead(h, record, sizeof record), -1);
    EXPECT_EQ(PosErrno(), kTimeout);
    t.NoteIfNotStraddled(asked);
    EXPECT_GE(Clock::now() - asked, milliseconds(15000)) << "timed out before 15 s";

    t.WaitPastTheWrap();
    EXPECT_EQ(t.Sim("mute 1 0x11 0x6e off"), "ok mute off");
    int rc = -1;
    const auto end = Clock::now() + std::chrono::seconds(60);
    while ((rc = PosRead(h, record, sizeof record)) != 8 && Clock::now() < end) {
    }
    ASSERT_EQ(rc, 8) << PosErrno();
    const unsigned char weight[] = {0x00, 0x00, 0x00, 0x00, 0xD2, 0x04, 0x00, 0x00};
    EXPECT_EQ(std::memcmp(record, weight, sizeof weight), 0);
    EXPECT_EQ(PosClose(h), 0) << PosErrno();
}

// The cash drawer behind a lost bus: the daemon opens the node again every second while the
// clock wraps; once ovksim is back the drawer comes online again and opens.
void DrawerLostBus(ClockWrapE2E& t) {
    const uint32_t drawer = DeviceWord(1, 0x11, 0x54, 6);
    ASSERT_TRUE(t.WaitForEvent(kOnline, drawer, 20000)) << t.Seen();
    t.KillSimulator();
    ASSERT_TRUE(t.WaitForEvent(kOffline, drawer, 20000)) << t.Seen();
    t.NoteIfNotStraddled(Clock::now());
    t.WaitPastTheWrap();
    ASSERT_NO_FATAL_FAILURE(t.StartSimulator());
    ASSERT_TRUE(t.WaitForEvent(kOnline, drawer, 30000)) << t.Seen();

    char name[] = "till", cls[] = "PosDrawer";
    const int h = PosOpen(name, cls, nullptr, 0);
    ASSERT_GT(h, 0) << PosErrno();
    ASSERT_EQ(PosIOCtl(h, kAcquire, nullptr, 0), 0) << PosErrno();
    ASSERT_EQ(PosIOCtl(h, kOpenTill, nullptr, 0), 0) << PosErrno();
    ASSERT_TRUE(t.WaitForEvent(kTillOpened, static_cast<uint32_t>(h), 10000, kHandleBits)) << t.Seen();
    EXPECT_EQ(t.Sim("close 1 0x11 0x54 1"), "ok close drawer 1");
    ASSERT_TRUE(t.WaitForEvent(kTillClosed, static_cast<uint32_t>(h), 10000, kHandleBits)) << t.Seen();
    EXPECT_EQ(PosClose(h), 0) << PosErrno();
}

// The model-6397 printer taken away: its link time-outs take it offline, across the wrap;
// brought back, it comes online again.
void PrinterAway(ClockWrapE2E& t) {
    const uint32_t printer = DeviceWord(1, 0x11, 0x35, 3);
    ASSERT_TRUE(t.WaitForEvent(kOnline, printer, 20000)) << t.Seen();
    ASSERT_EQ(t.Sim("away 1 0x11 0x35"), "ok taken away 1.11.35");
    t.NoteIfNotStraddled(Clock::now());
    ASSERT_TRUE(t.WaitForEvent(kOffline, printer, 60000)) << t.Seen();
    t.WaitPastTheWrap();
    ASSERT_EQ(t.Sim("back 1 0x11 0x35"), "ok brought back 1.11.35");
    ASSERT_TRUE(t.WaitForEvent(kOnline, printer, 60000)) << t.Seen();
}

const char kRs232Terminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x64 rs232\n";

const char kScaleTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x6e scale96\n";
const char kScaleResources[] =
    "terminal.scale.slotNumber:   SLOT_1\n"
    "terminal.scale.portNumber:   PORT_1\n"
    "terminal.scale.deviceNumber: DEVICE_SCALE\n";

const char kDrawerTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x54 drawer\n";
const char kDrawerResources[] =
    "terminal.till.slotNumber:   SLOT_1\n"
    "terminal.till.portNumber:   PORT_1\n"
    "terminal.till.deviceNumber: DEVICE_CASH_DRAWER_A\n";

const char kPrinterTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x35 p6397\n";

const Family kFamilies[] = {
    {"Rs232Transmit", kRs232Terminal, "", Rs232Transmit},
    {"ScaleRead", kScaleTerminal, kScaleResources, ScaleRead},
    {"DrawerLostBus", kDrawerTerminal, kDrawerResources, DrawerLostBus},
    {"PrinterAway", kPrinterTerminal, "", PrinterAway},
};

TEST_P(ClockWrapE2E, TheTimeOutEndsAtItsTimeAcrossTheWrap) {
    std::get<0>(GetParam()).run(*this);
}

INSTANTIATE_TEST_SUITE_P(
    Families, ClockWrapE2E, ::testing::Combine(::testing::ValuesIn(kFamilies), nearwrap::kStarts),
    [](const ::testing::TestParamInfo<std::tuple<Family, uint32_t>>& info) {
        return std::string(std::get<0>(info.param).name) + "_" +
               nearwrap::StartName(::testing::TestParamInfo<uint32_t>(std::get<1>(info.param), 0));
    });

} // namespace
