// The SRJ printer end to end: ovksim plays the printer at 0x37, the daemon loads its plug-in,
// and the application prints a line and sees the cover open and close again.
#include <string>

#include "SimulatedTerminal.h"

namespace {

constexpr uint32_t kOnline = 0x420D;
constexpr uint32_t kOffline = 0x420C;
constexpr uint32_t kStatusChange = 16902;
constexpr int kAcquire = 301;
constexpr uint32_t kPrinter = DeviceWord(1, 0x11, 0x37, 3);

const char kTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x37 srj\n";

const char kResources[] =
    "terminal.srj.slotNumber:   SLOT_1\n"
    "terminal.srj.portNumber:   PORT_1\n"
    "terminal.srj.deviceNumber: DEVICE_PRINTER_6677\n";

class SrjE2E : public TerminalTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(StartTerminal(kTerminal, kResources));
        ASSERT_TRUE(WaitForEvent(kOnline, kPrinter)) << Seen();
        EXPECT_EQ(seen_.back().p2 & 0xFF, 2u) << Seen(); // model 2
        char name[] = "srj", cls[] = "PosPrinter";
        handle_ = PosOpen(name, cls, nullptr, 0);
        ASSERT_GT(handle_, 0) << PosErrno();
        ASSERT_EQ(PosIOCtl(handle_, kAcquire, nullptr, 0), 0) << PosErrno();
    }
    void TearDown() override {
        if (handle_ > 0) PosClose(handle_);
        TerminalTest::TearDown();
    }
    int Write(std::string text) { return PosWrite(handle_, text.data(), static_cast<unsigned>(text.size())); }

    int handle_ = 0;
};

TEST_F(SrjE2E, PrintsALineOfTheReceiptsWidth) {
    ASSERT_EQ(Write("HELLO\n"), 6) << PosErrno();
    const std::string line = "HELLO" + std::string(25, ' ');
    ASSERT_TRUE(WaitForReply("printed 1 0x11 0x37 cr", "[" + line + "]")) << Sim("payloads 1 0x11 0x37");
    // The print command (byte 6 the sequence number), the line, then its one-line feed.
    const std::string payloads = Sim("payloads 1 0x11 0x37");
    const size_t at = payloads.find(Hex(line));
    ASSERT_NE(at, std::string::npos) << payloads;
    ASSERT_GE(at, 14u);
    EXPECT_EQ(payloads.substr(at - 14, 12), "010001000000") << payloads;
    EXPECT_NE(payloads.find(" 0100000001", at), std::string::npos) << payloads;
    EXPECT_NE(payloads.find(" 0100000001" "01", at), std::string::npos) << payloads;
}

TEST_F(SrjE2E, AnOpenCoverTakesThePrinterOfflineAndClosingItResetsThePrinter) {
    EXPECT_EQ(Sim("cover 1 0x11 0x37 open"), "ok cover open");
    EXPECT_TRUE(WaitForEvent(kStatusChange, 0x80000u | static_cast<uint32_t>(handle_))) << Seen();
    EXPECT_TRUE(WaitForEvent(kOffline, kPrinter)) << Seen();
    EXPECT_EQ(Sim("cover 1 0x11 0x37 closed"), "ok cover closed");
    EXPECT_TRUE(WaitForReply("payloads 1 0x11 0x37", " 004000000000")) << Sim("payloads 1 0x11 0x37");
    EXPECT_TRUE(WaitForEvent(kOnline, kPrinter)) << Seen();
}

} // namespace
