// The model-6397 printer's virtual side end to end: an application opens the printer by
// name through the daemon, prints a line and cuts, chases, sees paper out and a rejected
// command (which the resume answers), reads a setting, and gets its chase after a spell of
// rejects.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>

#include "SimulatedTerminal.h"

namespace {

constexpr uint32_t kOnline = 0x420D;
constexpr uint32_t kChaseComplete = 16900;
constexpr uint32_t kPrinterError = 16901;
constexpr uint32_t kStatusChange = 16902;
constexpr int kAcquire = 301;
constexpr int kGetValues = 302;
constexpr int kResume = 4903;
constexpr uint32_t kPrinter = DeviceWord(1, 0x11, 0x35, 3);

const char kTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x35 p6397\n";

const char kResources[] =
    "terminal.printer.slotNumber:   SLOT_1\n"
    "terminal.printer.portNumber:   PORT_1\n"
    "terminal.printer.deviceNumber: DEVICE_PRINTER_6397\n";

class P6397VE2E : public TerminalTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(StartTerminal(kTerminal, kResources));
        ASSERT_TRUE(WaitForEvent(kOnline, kPrinter, 20000)) << Seen();
        char name[] = "printer", cls[] = "PosPrinter";
        handle_ = PosOpen(name, cls, nullptr, 0);
        ASSERT_GT(handle_, 0) << PosErrno();
    }
    void TearDown() override {
        if (handle_ > 0) PosClose(handle_);
        TerminalTest::TearDown();
    }
    int Write(std::string bytes) { return PosWrite(handle_, bytes.data(), static_cast<unsigned>(bytes.size())); }
    uint32_t Mine(uint32_t p1) const { return p1 | static_cast<uint32_t>(handle_); }
    std::string Payloads() { return Sim("payloads 1 0x11 0x35"); }
    // Every command the printer got, taken or refused.
    long Commands() {
        const std::string counts = Sim("counts 1 0x11 0x35");
        const size_t at = counts.find("commands=");
        return at == std::string::npos ? -1 : std::stol(counts.substr(at + 9));
    }
    bool Chased() const {
        return std::any_of(seen_.begin(), seen_.end(), [this](const Event& e) {
            return e.msg == kChaseComplete && e.p1 == Mine(0x10000);
        });
    }

    int handle_ = 0;
};

TEST_F(P6397VE2E, PrintsALineCutsAndChases) {
    EXPECT_EQ(Write("HELLO\n"), -1);
    EXPECT_EQ(PosErrno(), 315);
    ASSERT_EQ(PosIOCtl(handle_, kAcquire, nullptr, 0), 0) << PosErrno();
    ASSERT_EQ(Write("HELLO\n"), 6) << PosErrno();
    ASSERT_EQ(Write("\x1bP"), 2) << PosErrno();
    ASSERT_TRUE(WaitForReply("payloads 1 0x11 0x35", " 48454c4c4f0a 1b6d")) << Payloads();
    const std::string payloads = Payloads();
    const std::string tail = " 48454c4c4f0a 1b6d";
    ASSERT_GE(payloads.size(), tail.size());
    EXPECT_EQ(payloads.substr(payloads.size() - tail.size()), tail) << payloads;

    ASSERT_EQ(Write("\x1bG"), 2) << PosErrno();
    EXPECT_TRUE(WaitForEvent(kChaseComplete, Mine(0x10000))) << Seen();

    char tabs[32] = {};
    PosArg values[] = {{"printTabStops", reinterpret_cast<intptr_t>(tabs)}};
    ASSERT_EQ(PosIOCtl(handle_, kGetValues, values, 1), 0) << PosErrno();
    EXPECT_STREQ(reinterpret_cast<const char*>(values[0].value), "100,200,300");
}

TEST_F(P6397VE2E, PaperOutReachesTheApplication) {
    ASSERT_EQ(PosIOCtl(handle_, kAcquire, nullptr, 0), 0) << PosErrno();
    EXPECT_EQ(Sim("paper 1 0x11 0x35 cr out"), "ok paper cr out");
    EXPECT_TRUE(WaitForEvent(kStatusChange, Mine(0x10000))) << Seen();
}

TEST_F(P6397VE2E, ARejectedCommandReachesTheApplicationAndTheResumeAnswersIt) {
    ASSERT_EQ(PosIOCtl(handle_, kAcquire, nullptr, 0), 0) << PosErrno();
    // The set-up frame has been answered.
    ASSERT_EQ(Write("READY\n"), 6) << PosErrno();
    ASSERT_TRUE(WaitForReply("payloads 1 0x11 0x35", " 52454144590a")) << Payloads();
    EXPECT_EQ(Sim("reject 1 0x11 0x35"), "ok reject 1");
    ASSERT_EQ(Write("AGAIN\n"), 6) << PosErrno();
    ASSERT_TRUE(WaitForEvent(kPrinterError, Mine(0x80000000u))) << Seen();
    EXPECT_EQ(PosIOCtl(handle_, kResume, nullptr, 0), 0) << PosErrno();
    // Printing goes on after the resume.
    ASSERT_EQ(Write("NEXT\n"), 5) << PosErrno();
    EXPECT_TRUE(WaitForReply("payloads 1 0x11 0x35", " 4e4558540a")) << Payloads();
}

// A receipt (three lines, then the cut with its chase) while the printer refuses every
// command, the application resuming on each printer error: the chase goes again about once
// a second, and once the refusals stop its event comes.
TEST_F(P6397VE2E, AReceiptsChaseComesOnceTheRejectsStop) {
    ASSERT_EQ(PosIOCtl(handle_, kAcquire, nullptr, 0), 0) << PosErrno();
    ASSERT_EQ(Write("READY\n"), 6) << PosErrno();
    ASSERT_TRUE(WaitForReply("payloads 1 0x11 0x35", " 52454144590a")) << Payloads();
    EXPECT_EQ(Sim("reject 1 0x11 0x35 1000000"), "ok reject 1000000");
    const long before = Commands();
    for (const char* line : {"LINE1\n", "LINE2\n", "LINE3\n"}) ASSERT_EQ(Write(line), 6) << PosErrno();
    ASSERT_EQ(Write("\x1bP\x1bG"), 4) << PosErrno();
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(2000);
    while (std::chrono::steady_clock::now() < end) {
        if (WaitForEvent(kPrinterError, Mine(0x80000000u), 100)) {
            EXPECT_EQ(PosIOCtl(handle_, kResume, nullptr, 0), 0);
        }
    }
    const long refused = Commands() - before;
    EXPECT_GE(refused, 4);
    EXPECT_LE(refused, 4 + 2 + 1) << Payloads(); // three at once, then one a second
    EXPECT_FALSE(Chased()) << Seen();
    EXPECT_EQ(Sim("reject 1 0x11 0x35 0"), "ok reject 0");
    EXPECT_TRUE(Chased() || WaitForEvent(kChaseComplete, Mine(0x10000), 10000)) << Seen();
}

} // namespace
