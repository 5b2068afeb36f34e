// The M3 printer end to end: ovksim plays the printer at 0x34, the daemon loads its plug-in,
// and the application prints, chases, runs out of paper and resumes. On a double-byte printer
// whose code page is unset the daemon starts the font download program, which loads the
// font file into the printer's flash. The program alone: its usage and its time limit.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "SimulatedTerminal.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kOnline = 0x420D;
constexpr uint32_t kOffline = 0x420C;
constexpr uint32_t kChaseComplete = 0x4204;
constexpr uint32_t kPrinterError = 0x4205;
constexpr uint32_t kStatusChange = 0x4206;
constexpr int kAcquire = 301;
constexpr int kResume = 4903;

const char kResources[] =
    "terminal.receipt.slotNumber:   SLOT_1\n"
    "terminal.receipt.portNumber:   PORT_1\n"
    "terminal.receipt.deviceNumber: DEVICE_PRINTER_4\n";

const std::string kLoader = std::string(OVK_STAGING_ROOT) + "/usr/bin/ovkk7eld";

class M3E2E : public TerminalTest {
protected:
    void Start(const std::string& options) {
        // The download program and its font files, as the staging root has them.
        std::error_code ec;
        fs::create_directories(root_.at("/usr/bin"), ec);
        fs::create_directories(root_.at("/usr/share/pos/fonts"), ec);
        fs::create_symlink(kLoader, root_.at("/usr/bin/ovkk7eld"), ec);
        for (const char* font : {"k7e00850.fon", "k7e00932.fon", "k7e00949.fon"})
            fs::create_symlink(std::string(OVK_STAGING_ROOT) + "/usr/share/pos/fonts/" + font,
                               root_.at(std::string("/usr/share/pos/fonts/") + font), ec);
        // A download program that outlives the test ends soon.
        setenv("OVK_K7ELD_ONLINE_LIMIT_MS", "3000", 1);
        const std::string terminal = "slot 0 planar\n"
                                     "slot 1 rs485 type 5 kind 5 ports 2\n"
                                     "station 1 0x11 0x34 m3" + options + "\n";
        ASSERT_NO_FATAL_FAILURE(StartTerminal(terminal, kResources));
    }
    void Acquire() {
        ASSERT_TRUE(WaitForEvent(kOnline, DeviceWord(1, 0x11, 0x34, 3))) << Seen();
        char name[] = "receipt", cls[] = "PosPrinter";
        handle_ = PosOpen(name, cls, nullptr, 0);
        ASSERT_GT(handle_, 0) << PosErrno();
        ASSERT_EQ(PosIOCtl(handle_, kAcquire, nullptr, 0), 0) << PosErrno();
    }
    void TearDown() override {
        if (handle_ > 0) PosClose(handle_);
        TerminalTest::TearDown();
        unsetenv("OVK_K7ELD_ONLINE_LIMIT_MS");
    }
    int Write(std::string text) { return PosWrite(handle_, text.data(), static_cast<unsigned>(text.size())); }
    uint32_t Mine(uint32_t p1) const { return p1 | static_cast<uint32_t>(handle_); }

    int handle_ = 0;
};

TEST_F(M3E2E, PrintsALineAndChases) {
    ASSERT_NO_FATAL_FAILURE(Start(""));
    ASSERT_NO_FATAL_FAILURE(Acquire());
    ASSERT_EQ(Write("HELLO\n"), 6) << PosErrno();
    ASSERT_TRUE(WaitForReply("printed 1 0x11 0x34 cr", "[HELLO]")) << Sim("payloads 1 0x11 0x34");
    std::string frame = "010100010c48454c4c4f";
    for (int i = 0; i < 33; ++i) frame += "20";
    EXPECT_NE(Sim("payloads 1 0x11 0x34").find(" " + frame), std::string::npos);
    ASSERT_EQ(Write("\x1BG"), 2) << PosErrno();
    EXPECT_TRUE(WaitForEvent(kChaseComplete, Mine(0x10000))) << Seen();
}

TEST_F(M3E2E, PaperOutHoldsALineThatTheResumePrintsOnce) {
    ASSERT_NO_FATAL_FAILURE(Start(""));
    ASSERT_NO_FATAL_FAILURE(Acquire());
    EXPECT_EQ(Sim("paper 1 0x11 0x34 cr out"), "ok paper cr out");
    ASSERT_TRUE(WaitForEvent(kStatusChange, Mine(0x20000))) << Seen();
    ASSERT_EQ(Write("WAIT\n"), 5) << PosErrno();
    ASSERT_TRUE(WaitForEvent(kPrinterError, Mine(0x80000))) << Seen();
    EXPECT_EQ(Sim("paper 1 0x11 0x34 cr in"), "ok paper cr in");
    ASSERT_TRUE(WaitForEvent(kStatusChange, Mine(0x20000))) << Seen();
    EXPECT_EQ(Sim("printed 1 0x11 0x34 cr"), "ok 0");
    ASSERT_EQ(PosIOCtl(handle_, kResume, nullptr, 0), 0) << PosErrno();
    ASSERT_TRUE(WaitForReply("printed 1 0x11 0x34 cr", "[WAIT]"));
    ASSERT_EQ(Write("\x1BG"), 2) << PosErrno();
    ASSERT_TRUE(WaitForEvent(kChaseComplete, Mine(0x10000))) << Seen();
    EXPECT_EQ(Sim("printed 1 0x11 0x34 cr"), "ok 1 [WAIT]");
}

// Paper out holds the line and the application resumes four times a second all along. Paper
// in, the next resume sends the line and the printer leaves the bus with it unanswered (it
// printed it). At its return the line is not printed again: the application is told (a lost
// frame), and its resumes drop the line.
TEST_F(M3E2E, AHeldLineInFlightWhenTheBusGoesIsPrintedOnceThroughResumesAndTheReturn) {
    ASSERT_NO_FATAL_FAILURE(Start(""));
    ASSERT_NO_FATAL_FAILURE(Acquire());
    auto resumeFor = [&](int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            PosIOCtl(handle_, kResume, nullptr, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
    };
    EXPECT_EQ(Sim("paper 1 0x11 0x34 cr out"), "ok paper cr out");
    ASSERT_TRUE(WaitForEvent(kStatusChange, Mine(0x20000))) << Seen();
    ASSERT_EQ(Write("LINE1\n"), 6) << PosErrno();
    ASSERT_TRUE(WaitForEvent(kPrinterError, Mine(0x80000))) << Seen();
    resumeFor(750);
    EXPECT_EQ(Sim("printed 1 0x11 0x34 cr"), "ok 0");
    EXPECT_EQ(Sim("paper 1 0x11 0x34 cr in"), "ok paper cr in");
    ASSERT_TRUE(WaitForEvent(kStatusChange, Mine(0x20000))) << Seen();
    EXPECT_EQ(Sim("leave 1 0x11 0x34").substr(0, 2), "ok");
    ASSERT_EQ(PosIOCtl(handle_, kResume, nullptr, 0), 0) << PosErrno();
    ASSERT_TRUE(WaitForReply("printed 1 0x11 0x34 cr", "ok 1 [LINE1]", 5000)) << Seen();
    resumeFor(1000);
    EXPECT_EQ(Sim("back 1 0x11 0x34").substr(0, 2), "ok");
    resumeFor(2000);
    ASSERT_TRUE(WaitForEvent(kOnline, DeviceWord(1, 0x11, 0x34, 3))) << Seen();
    char told[32];
    std::snprintf(told, sizeof told, " %04x/%08x/", kPrinterError, Mine(0x10000000));
    EXPECT_NE(Seen().find(told), std::string::npos) << Seen();
    ASSERT_EQ(Write("LINE2\n"), 6) << PosErrno();
    ASSERT_TRUE(WaitForReply("printed 1 0x11 0x34 cr", "[LINE2]")) << Sim("printed 1 0x11 0x34 cr");
    EXPECT_EQ(Sim("printed 1 0x11 0x34 cr"), "ok 2 [LINE1] [LINE2]");
}

// The cover open holds A's two lines; A closes, B opens and acquires, the cover closes: only
// B's line prints, once.
TEST_F(M3E2E, LinesHeldByTheCoverLeaveWithTheirApplicationAndTheNextPrintsItsOwn) {
    ASSERT_NO_FATAL_FAILURE(Start(""));
    ASSERT_NO_FATAL_FAILURE(Acquire());
    // A journal line last: a receipt line waits for the head to move, which the cover holds.
    PosArg journal[] = {{"printStation", 2}};
    ASSERT_EQ(PosIOCtl(handle_, 305, journal, 1), 0) << PosErrno();
    ASSERT_EQ(Write("J\n"), 2) << PosErrno();
    ASSERT_TRUE(WaitForReply("printed 1 0x11 0x34 sj", "[J]")) << Sim("payloads 1 0x11 0x34");
    PosArg receipt[] = {{"printStation", 1}};
    ASSERT_EQ(PosIOCtl(handle_, 305, receipt, 1), 0) << PosErrno();
    EXPECT_EQ(Sim("cover 1 0x11 0x34 open"), "ok cover open");
    ASSERT_TRUE(WaitForEvent(kStatusChange, Mine(0x80000))) << Seen();
    ASSERT_EQ(Write("A1\n"), 3) << PosErrno();
    ASSERT_EQ(Write("A2\n"), 3) << PosErrno();
    ASSERT_EQ(PosClose(handle_), 0) << PosErrno();
    char name[] = "receipt", cls[] = "PosPrinter";
    handle_ = PosOpen(name, cls, nullptr, 0);
    ASSERT_GT(handle_, 0) << PosErrno();
    ASSERT_EQ(PosIOCtl(handle_, kAcquire, nullptr, 0), 0) << PosErrno();
    EXPECT_EQ(Sim("cover 1 0x11 0x34 closed"), "ok cover closed");
    ASSERT_TRUE(WaitForEvent(kStatusChange, Mine(0x80000))) << Seen();
    ASSERT_EQ(Write("B\n"), 2) << PosErrno();
    ASSERT_TRUE(WaitForReply("printed 1 0x11 0x34 cr", "[B]", 3000)) << Seen() << Sim("printed 1 0x11 0x34 cr");
    EXPECT_EQ(Sim("printed 1 0x11 0x34 cr"), "ok 1 [B]");
}

TEST_F(M3E2E, AnUnsetCodePageStartsTheFontDownload) {
    ASSERT_NO_FATAL_FAILURE(Start(" dbcs=1 codepage=0xffff"));
    ASSERT_TRUE(WaitForEvent(kOnline, DeviceWord(1, 0x11, 0x34, 3))) << Seen();
    std::string flash;
    ASSERT_TRUE(WaitForReply("flash 1 0x11 0x34", "records=95", 20000, &flash)) << Sim("payloads 1 0x11 0x34");
    EXPECT_NE(flash.find("codepage=850"), std::string::npos) << flash;
    EXPECT_NE(flash.find("erased=1"), std::string::npos) << flash;
    ASSERT_TRUE(WaitForReply("payloads 1 0x11 0x34", " 0119", 10000));
    const std::string payloads = Sim("payloads 1 0x11 0x34");
    size_t at = 0;
    for (int id = 0x15; id <= 0x29; ++id) {
        char query[8];
        std::snprintf(query, sizeof query, " 0b%02x00", id);
        const size_t found = payloads.find(query, at);
        ASSERT_NE(found, std::string::npos) << query << " in " << payloads;
        at = found;
    }
    at = payloads.find(" 0118", at);
    ASSERT_NE(at, std::string::npos);
    at = payloads.find(" 0a2400", at);
    ASSERT_NE(at, std::string::npos);
    at = payloads.find(" 090000", at);
    ASSERT_NE(at, std::string::npos);
    EXPECT_NE(payloads.find(" 0119", at), std::string::npos);
}

// The program alone, without a daemon.
TEST(K7eld, UsageAndTheOnlineLimit) {
    TempRoot root;
    ChildProcess child;
    ASSERT_TRUE(child.Start({kLoader}, root.at("/err1")));
    EXPECT_EQ(child.Wait(), 1);
    EXPECT_NE(root.read("/err1").find("Usage:  OVKK7ELD -P port-number -S slot-number "), std::string::npos);
    ASSERT_TRUE(child.Start({kLoader, "-P", "17", "-C"}, root.at("/err2")));
    EXPECT_EQ(child.Wait(), 1);
    ASSERT_TRUE(child.Start({kLoader, "-?"}, root.at("/err3")));
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_NE(root.read("/err3").find("-V   Verify characters"), std::string::npos);

    // Nothing online: the program gives up after its limit (shortened here) with status 0.
    setenv("OVK_K7ELD_ONLINE_LIMIT_MS", "300", 1);
    ASSERT_TRUE(child.Start({kLoader, "-P", "17", "-S", "1", "-C", "-Q"}, root.at("/err4")));
    EXPECT_EQ(child.Wait(15000), 0);
    unsetenv("OVK_K7ELD_ONLINE_LIMIT_MS");
    const std::string log = root.read("/var/log/ovkk7eld.log");
    EXPECT_NE(log.find("Could not open"), std::string::npos) << log; // no fonts in this root
    EXPECT_NE(log.find("Model 7E printer not online"), std::string::npos) << log;
}

} // namespace
