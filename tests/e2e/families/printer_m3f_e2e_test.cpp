// The fiscal M3 printer end to end: ovksim plays it at 0x38 and brings itself up with its own
// frame; the application reads the fiscal values, writes a fiscal command and reads the
// fiscal data back, sees a fiscal error and retries, and prints a text line.
#include <string>

#include "SimulatedTerminal.h"

namespace {

constexpr uint32_t kOnline = 0x420D;
constexpr uint32_t kDataAvail = 16912;
constexpr uint32_t kFiscalError = 16913;
constexpr uint32_t kFiscalStatus = 16914;
constexpr int kAcquire = 301;
constexpr int kGetValues = 302;
constexpr int kSetValues = 305;
constexpr int kRetry = 4904;
constexpr int kFiscalOff = 4906;

const char kTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x38 m3f ipl=0x25\n";

const char kResources[] =
    "terminal.fiscal.slotNumber:   SLOT_1\n"
    "terminal.fiscal.portNumber:   PORT_1\n"
    "terminal.fiscal.deviceNumber: DEVICE_PRINTER_FISCAL_3\n";

class FiscalE2E : public TerminalTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(StartTerminal(kTerminal, kResources));
        ASSERT_TRUE(WaitForEvent(kOnline, DeviceWord(1, 0x11, 0x38, 3))) << Seen();
        char name[] = "fiscal", cls[] = "PosPrinter";
        handle_ = PosOpen(name, cls, nullptr, 0);
        ASSERT_GT(handle_, 0) << PosErrno();
        ASSERT_EQ(PosIOCtl(handle_, kAcquire, nullptr, 0), 0) << PosErrno();
    }
    void TearDown() override {
        if (handle_ > 0) PosClose(handle_);
        TerminalTest::TearDown();
    }
    uint32_t Mine(uint32_t p1) const { return p1 | static_cast<uint32_t>(handle_); }
    int handle_ = 0;
};

TEST_F(FiscalE2E, BringsItselfUpAndWritesAndReadsFiscalData) {
    const std::string payloads = Sim("payloads 1 0x11 0x38");
    EXPECT_NE(payloads.find(" 1b66fc00"), std::string::npos) << payloads;
    EXPECT_NE(payloads.find(" 1b66f100"), std::string::npos) << payloads;
    PosArg values[] = {{"fiscalCountry", -1}, {"fiscalVersion", -1}};
    ASSERT_EQ(PosIOCtl(handle_, kGetValues, values, 2), 0) << PosErrno();
    EXPECT_EQ(values[0].value, 5);
    EXPECT_EQ(values[1].value, 2);
    PosArg notify[] = {{"fiscalNotify", 1}};
    ASSERT_EQ(PosIOCtl(handle_, kSetValues, notify, 1), 0) << PosErrno();
    EXPECT_EQ(Sim("fiscaldata 1 0x11 0x38 0102030405"), "ok fiscaldata 0102030405");
    unsigned char command[] = {0x01, 0x02};
    ASSERT_EQ(PosWrite(handle_, command, 2), 2) << PosErrno();
    ASSERT_TRUE(WaitForEvent(kDataAvail, Mine(0x10000))) << Seen();
    EXPECT_EQ(seen_.back().p2, 5u);
    ASSERT_TRUE(WaitForEvent(kFiscalStatus, 0, 10000, 0)) << Seen();
    EXPECT_NE(Sim("payloads 1 0x11 0x38").find(" 1b660102"), std::string::npos);
    unsigned char buffer[16] = {};
    EXPECT_EQ(PosRead(handle_, buffer, 4), -1);
    EXPECT_EQ(PosErrno(), 312);
    ASSERT_EQ(PosRead(handle_, buffer, 16), 5) << PosErrno();
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 5), std::string("\x01\x02\x03\x04\x05"));
    EXPECT_EQ(PosRead(handle_, buffer, 16), 0);
}

TEST_F(FiscalE2E, AFiscalErrorIsRetriedWithTheMarker) {
    EXPECT_EQ(Sim("fiscalrc 1 0x11 0x38 65"), "ok fiscalrc 65 1");
    unsigned char command[] = {0x01, 0x02};
    ASSERT_EQ(PosWrite(handle_, command, 2), 2) << PosErrno();
    ASSERT_TRUE(WaitForEvent(kFiscalError, Mine(0x410000))) << Seen();
    ASSERT_EQ(PosIOCtl(handle_, kRetry, nullptr, 0), 0) << PosErrno();
    EXPECT_TRUE(WaitForReply("payloads 1 0x11 0x38", " 1b660182"));
}

// The printer takes a fiscal command, acknowledges it and leaves before it answers. Back, it
// gets the command again only with the retry marker, never as a new one.
TEST_F(FiscalE2E, AFiscalCommandTakenBeforeAPowerOnGoesAgainWithTheMarker) {
    EXPECT_EQ(Sim("leave 1 0x11 0x38").substr(0, 2), "ok");
    unsigned char command[] = {0x01, 0x02};
    ASSERT_EQ(PosWrite(handle_, command, 2), 2) << PosErrno();
    ASSERT_TRUE(WaitForReply("payloads 1 0x11 0x38", " 1b660102")) << Sim("payloads 1 0x11 0x38");
    EXPECT_EQ(Sim("back 1 0x11 0x38").substr(0, 2), "ok");
    ASSERT_TRUE(WaitForReply("payloads 1 0x11 0x38", " 1b660182")) << Sim("payloads 1 0x11 0x38");
    const std::string payloads = Sim("payloads 1 0x11 0x38");
    const size_t first = payloads.find(" 1b660102");
    EXPECT_EQ(payloads.find(" 1b660102", first + 1), std::string::npos) << payloads;
}

TEST_F(FiscalE2E, TextLinesGoWrappedWithFiscalPrintingOff) {
    ASSERT_EQ(PosIOCtl(handle_, kFiscalOff, nullptr, 0), 0) << PosErrno();
    PosArg mode[] = {{"printMode", 1}};
    ASSERT_EQ(PosIOCtl(handle_, kSetValues, mode, 1), 0) << PosErrno();
    char text[] = "HELLO\n";
    ASSERT_EQ(PosWrite(handle_, text, 6), 6) << PosErrno();
    std::string frame = " 1b66e900010100010c48454c4c4f";
    for (int i = 0; i < 33; ++i) frame += "20";
    EXPECT_TRUE(WaitForReply("payloads 1 0x11 0x38", frame));
    EXPECT_TRUE(WaitForReply("printed 1 0x11 0x38 cr", "[HELLO]"));
}

} // namespace
