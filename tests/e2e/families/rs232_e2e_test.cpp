// The RS-232 port end to end: an application opens the port at 0x64 with its line settings
// and acquires it (the port gets the setup command), transmits and is told the transmit
// completed, reads the blocks the port received, a line break announced first, and sends a
// break, after which its transmits go out and complete.
#include <sstream>
#include <string>

#include "SimulatedTerminal.h"

namespace {

constexpr uint32_t kOnline = 0x420D;
constexpr uint32_t kBreak = 0x4207;
constexpr uint32_t kData = 0x4208;
constexpr uint32_t kComplete = 0x420A;
constexpr int kAcquire = 301;
constexpr int kSendBreak = 5901;

std::string terminal(const std::string& options = "") {
    return "slot 0 planar\n"
           "slot 1 rs485 type 5 kind 5 ports 2\n"
           "station 1 0x11 0x64 rs232" + options + "\n";
}

class Rs232E2E : public TerminalTest {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(Start(terminal())); }
    void Start(const std::string& description) {
        ASSERT_NO_FATAL_FAILURE(StartTerminal(description, ""));
        ASSERT_TRUE(WaitForEvent(kOnline, DeviceWord(1, 0x11, 0x64, 10))) << Seen();
        PosArg args[] = {{"slotNumber", 1}, {"portNumber", 0x11}, {"deviceNumber", 0x64},
                         {"baudRate", 9600},  {"dataBits", 8},      {"parity", 0},
                         {"stopBits", 10}};
        char name[] = "port", cls[] = "PosRs232";
        handle_ = PosOpen(name, cls, args, 7);
        ASSERT_GT(handle_, 0) << PosErrno();
        ASSERT_EQ(PosIOCtl(handle_, kAcquire, nullptr, 0), 0) << PosErrno();
        ASSERT_TRUE(WaitForReply("payloads 1 0x11 0x64", " 01054e2700bf01")) << Sim("payloads 1 0x11 0x64");
    }
    void TearDown() override {
        if (handle_ > 0) PosClose(handle_);
        TerminalTest::TearDown();
    }
    int handle_ = -1;
};

TEST_F(Rs232E2E, TransmitReachesTheLineAndCompletes) {
    char hello[] = "HELLO";
    ASSERT_EQ(PosWrite(handle_, hello, 5), 5) << PosErrno();
    ASSERT_TRUE(WaitForEvent(kComplete, static_cast<uint32_t>(handle_), 10000, 0xFFFF)) << Seen();
    EXPECT_EQ(Sim("tx 1 0x11 0x64"), "ok 48454c4c4f");
}

TEST_F(Rs232E2E, ReceivedBlocksAreReadWhole) {
    ASSERT_EQ(Sim("rx 1 0x11 0x64 68690D"), "ok queued 3 bytes");
    ASSERT_TRUE(WaitForEvent(kData, static_cast<uint32_t>(handle_), 10000, 0xFFFF)) << Seen();
    EXPECT_EQ(seen_.back().p2, 7u);
    unsigned char block[16] = {};
    ASSERT_EQ(PosRead(handle_, block, sizeof block), 7) << PosErrno();
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block), 7), std::string("\0\0\x03\0hi\r", 7));

    // A break on the line comes before the data that carried it.
    ASSERT_EQ(Sim("rxline 1 0x11 0x64 41 0x40"), "ok queued 1 bytes");
    const size_t from = seen_.size();
    ASSERT_TRUE(WaitForEvent(kData, static_cast<uint32_t>(handle_), 10000, 0xFFFF)) << Seen();
    bool breakFirst = false;
    for (size_t i = from; i + 1 < seen_.size(); ++i) breakFirst = breakFirst || seen_[i].msg == kBreak;
    EXPECT_TRUE(breakFirst) << Seen();
    ASSERT_EQ(PosRead(handle_, block, sizeof block), 5) << PosErrno();
}

// The port answers a break as in progress and again once it is over; a quick port finishes
// the break before its first answer. Either way the break command goes out once, and the
// transmits after it reach the line and complete.
class Rs232BreakE2E : public Rs232E2E, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(Start(terminal(GetParam()))); }
    // How many commands the port received with exactly these bytes.
    int Received(const std::string& hex) {
        std::istringstream words(Sim("payloads 1 0x11 0x64"));
        int n = 0;
        for (std::string w; words >> w;) n += w == hex;
        return n;
    }
};

TEST_P(Rs232BreakE2E, TheBreakGoesOutOnceAndLaterTransmitsComplete) {
    const uint32_t mine = static_cast<uint32_t>(handle_);
    ASSERT_EQ(PosIOCtl(handle_, kSendBreak, nullptr, 0), 0) << PosErrno();
    char first[] = "AB";
    ASSERT_EQ(PosWrite(handle_, first, 2), 2) << PosErrno();
    ASSERT_TRUE(WaitForEvent(kComplete, mine, 10000, 0xFFFF)) << Seen() << Sim("payloads 1 0x11 0x64");
    char second[] = "CD";
    ASSERT_EQ(PosWrite(handle_, second, 2), 2) << PosErrno();
    ASSERT_TRUE(WaitForEvent(kComplete, mine, 10000, 0xFFFF)) << Seen() << Sim("payloads 1 0x11 0x64");
    EXPECT_EQ(Sim("tx 1 0x11 0x64"), "ok 41424344");
    EXPECT_EQ(Received("022f"), 1) << Sim("payloads 1 0x11 0x64"); // the default control byte 0x27 | 0x08
}

INSTANTIATE_TEST_SUITE_P(Ports, Rs232BreakE2E, ::testing::Values("", " quickbreak=1"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param[0] ? "QuickPort" : "BreakingPort");
                         });

} // namespace
