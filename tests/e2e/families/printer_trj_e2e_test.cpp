// The TRJ printer end to end: ovksim plays it at 0x32, the daemon loads its plug-in, and the
// application prints a line, chases it, sees a wrong answer id put the printer into limp
// state until a resume resets it, and gets its line printed (or is told) when the wake-up
// status request is rejected or answered with a wrong id.
#include <chrono>
#include <string>
#include <thread>

#include "SimulatedTerminal.h"

namespace {

constexpr uint32_t kOnline = 0x420D;
constexpr uint32_t kOffline = 0x420C;
constexpr uint32_t kChase = 16900;
constexpr uint32_t kError = 16901;
constexpr int kAcquire = 301;
constexpr int kResume = 4903;
constexpr int kWakeUp = 4950;
constexpr uint32_t kPrinter = DeviceWord(1, 0x11, 0x32, 3);

const char kTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x32 trj\n";

const char kResources[] =
    "terminal.thermal.slotNumber:   SLOT_1\n"
    "terminal.thermal.portNumber:   PORT_1\n"
    "terminal.thermal.deviceNumber: DEVICE_PRINTER_6677_THERMAL\n";

class TrjE2E : public TerminalTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(StartTerminal(kTerminal, kResources));
        ASSERT_TRUE(WaitForEvent(kOnline, kPrinter)) << Seen();
        EXPECT_EQ(seen_.back().p2 & 0xFF, 4u) << Seen(); // the device subtype
        char name[] = "thermal", cls[] = "PosPrinter";
        handle_ = PosOpen(name, cls, nullptr, 0);
        ASSERT_GT(handle_, 0) << PosErrno();
        ASSERT_EQ(PosIOCtl(handle_, kAcquire, nullptr, 0), 0) << PosErrno();
    }
    void TearDown() override {
        if (handle_ > 0) PosClose(handle_);
        TerminalTest::TearDown();
    }
    int Write(std::string text) { return PosWrite(handle_, text.data(), static_cast<unsigned>(text.size())); }
    uint32_t Mine(uint32_t p1) const { return p1 | static_cast<uint32_t>(handle_); }
    // The daemon's log lines that hold every one of `words`, once at least one is written.
    std::string LogLineWith(const std::vector<std::string>& words, int timeoutMs = 10000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const std::string log = root_.read("/var/log/ovkctrl.log");
            std::string found;
            size_t at = 0;
            while (at < log.size()) {
                size_t eol = log.find('\n', at);
                if (eol == std::string::npos) eol = log.size();
                const std::string line = log.substr(at, eol - at);
                bool all = true;
                for (const std::string& w : words) all = all && line.find(w) != std::string::npos;
                if (all) found += line + "\n";
                at = eol + 1;
            }
            if (!found.empty() || std::chrono::steady_clock::now() >= end) return found;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    int handle_ = 0;
};

TEST_F(TrjE2E, PrintsALineAndChasesIt) {
    ASSERT_EQ(Write("HELLO\n"), 6) << PosErrno();
    ASSERT_TRUE(WaitForReply("printed 1 0x11 0x32 cr", "[HELLO]")) << Sim("payloads 1 0x11 0x32");
    // The receipt print command (byte 6 the command id), then the line record.
    const std::string payloads = Sim("payloads 1 0x11 0x32");
    const size_t at = payloads.find("1b601b40001b5348454c4c4f1bff");
    ASSERT_NE(at, std::string::npos) << payloads;
    ASSERT_GE(at, 14u);
    EXPECT_EQ(payloads.substr(at - 14, 12), "010001000001") << payloads;
    ASSERT_EQ(Write("\x1BG"), 2) << PosErrno();
    EXPECT_TRUE(WaitForEvent(kChase, Mine(0x10000))) << Seen();
}

TEST_F(TrjE2E, AWrongIdKeepsThePrinterOnlineInLimpStateUntilAResumeResetsIt) {
    EXPECT_EQ(Sim("badid 1 0x11 0x32"), "ok badid 1");
    ASSERT_EQ(Write("A\n"), 2) << PosErrno();
    ASSERT_TRUE(WaitForEvent(kError, Mine(0x10000000))) << Seen();
    for (const Event& e : seen_) EXPECT_NE(e.msg, kOffline) << Seen();
    const std::string before = Sim("payloads 1 0x11 0x32");
    EXPECT_EQ(PosIOCtl(handle_, kResume, nullptr, 0), -1);
    EXPECT_EQ(PosErrno(), 317);
    ASSERT_TRUE(WaitForEvent(kOnline, kPrinter)) << Seen();
    const std::string after = Sim("payloads 1 0x11 0x32");
    const size_t reset = after.find(" 0040", before.size() > 20 ? before.size() - 20 : 0);
    ASSERT_NE(reset, std::string::npos) << after;
    const size_t ec = after.find(" 0080", reset);
    ASSERT_NE(ec, std::string::npos) << after;
    EXPECT_NE(after.find(" 000001", ec), std::string::npos) << after;
}

// The wake-up (a status request) goes before the line and is rejected: the printer is reset
// once, with the reject logged by the printer's own unit, and the line is printed after it.
TEST_F(TrjE2E, ARejectedWakeUpResetsThePrinterAndTheLineIsPrinted) {
    EXPECT_EQ(Sim("reject 1 0x11 0x32 1"), "ok reject 1");
    ASSERT_EQ(PosIOCtl(handle_, kWakeUp, nullptr, 0), 0) << PosErrno();
    ASSERT_EQ(Write("A\n"), 2) << PosErrno();
    ASSERT_TRUE(WaitForReply("printed 1 0x11 0x32 cr", "ok 1 [A]")) << Sim("payloads 1 0x11 0x32");
    const std::string payloads = Sim("payloads 1 0x11 0x32");
    const size_t wakeUp = payloads.find(" 0020");
    ASSERT_NE(wakeUp, std::string::npos) << payloads;
    EXPECT_NE(payloads.find(" 0040", wakeUp), std::string::npos) << payloads;
    EXPECT_NE(LogLineWith({"error id=20421 ", "src=@(#)prnttrjp.cpp"}), "") << root_.read("/var/log/ovkctrl.log");
    for (const Event& e : seen_) EXPECT_NE(e.msg, kError) << Seen();
}

// Rejected twice, the wake-up asks the application to resume; the resume prints the line.
TEST_F(TrjE2E, AWakeUpRejectedTwiceAsksForAResumeThatPrintsTheLine) {
    EXPECT_EQ(Sim("reject 1 0x11 0x32 2"), "ok reject 2");
    ASSERT_EQ(PosIOCtl(handle_, kWakeUp, nullptr, 0), 0) << PosErrno();
    ASSERT_EQ(Write("A\n"), 2) << PosErrno();
    ASSERT_TRUE(WaitForEvent(kError, Mine(0x20000))) << Seen() << Sim("payloads 1 0x11 0x32");
    ASSERT_TRUE(WaitForReply("payloads 1 0x11 0x32", " 0040")) << Sim("payloads 1 0x11 0x32");
    const int rc = PosIOCtl(handle_, kResume, nullptr, 0);
    // 317: still coming back from the reset, carried out then.
    EXPECT_TRUE(rc == 0 || PosErrno() == 317) << PosErrno();
    EXPECT_TRUE(WaitForReply("printed 1 0x11 0x32 cr", "ok 1 [A]")) << Sim("payloads 1 0x11 0x32");
}

// The answer to the wake-up carries a wrong id: as for any other command, the printer limps
// online and the application is asked to resume, which resets it and prints the line.
TEST_F(TrjE2E, AWrongIdOnTheWakeUpLimpsAndTheResumePrintsTheLine) {
    EXPECT_EQ(Sim("badid 1 0x11 0x32"), "ok badid 1");
    ASSERT_EQ(PosIOCtl(handle_, kWakeUp, nullptr, 0), 0) << PosErrno();
    ASSERT_EQ(Write("A\n"), 2) << PosErrno();
    ASSERT_TRUE(WaitForEvent(kError, Mine(0x10000000))) << Seen() << Sim("payloads 1 0x11 0x32");
    for (const Event& e : seen_) EXPECT_NE(e.msg, kOffline) << Seen();
    EXPECT_EQ(PosIOCtl(handle_, kResume, nullptr, 0), -1);
    EXPECT_EQ(PosErrno(), 317);
    EXPECT_TRUE(WaitForReply("printed 1 0x11 0x32 cr", "ok 1 [A]")) << Sim("payloads 1 0x11 0x32");
}

// The application told of an error (its line rejected twice) closes without resuming; the
// next one opens, acquires and prints: its receipt holds its own line alone.
TEST_F(TrjE2E, AnErrorLeftByItsApplicationIsNotTheNextOnesAndOnlyItsLineIsPrinted) {
    EXPECT_EQ(Sim("reject 1 0x11 0x32 2"), "ok reject 2");
    ASSERT_EQ(Write("A\n"), 2) << PosErrno();
    ASSERT_TRUE(WaitForEvent(kError, Mine(0x20000))) << Seen() << Sim("payloads 1 0x11 0x32");
    ASSERT_EQ(PosClose(handle_), 0) << PosErrno();
    handle_ = 0;
    char name[] = "thermal", cls[] = "PosPrinter";
    for (int i = 0; i < 100 && handle_ <= 0; ++i) {
        handle_ = PosOpen(name, cls, nullptr, 0);
        if (handle_ <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_GT(handle_, 0) << PosErrno();
    ASSERT_EQ(PosIOCtl(handle_, kAcquire, nullptr, 0), 0) << PosErrno();
    const size_t from = seen_.size();
    ASSERT_EQ(Write("B\n"), 2) << PosErrno();
    ASSERT_TRUE(WaitForReply("printed 1 0x11 0x32 cr", "[B]")) << Seen() << Sim("payloads 1 0x11 0x32");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(Sim("printed 1 0x11 0x32 cr"), "ok 1 [B]");
    for (size_t i = from; i < seen_.size(); ++i) EXPECT_NE(seen_[i].msg, kError) << Seen();
}

} // namespace
