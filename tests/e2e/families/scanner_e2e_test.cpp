// The table-top scanner end to end: the scanner at 0x4A is identified through the test
// identifier (the simulated scanner answers its probe with model 96's class), goes online
// as model 96, and an application opens it by name, acquires and unlocks it; a scripted
// label arrives as the scan-data event and one read returns its record.
#include <cstring>
#include <string>

#include "SimulatedTerminal.h"

namespace {

constexpr uint32_t kOnline = 0x420D;
constexpr uint32_t kScanData = 0x420B;
constexpr int kAcquire = 301;
constexpr int kUnlock = 306;
constexpr uint32_t kHandleBits = 0xFFFF;
// Slot 1, port 0x11, address 0x4A, device class 4 (scanner).
constexpr uint32_t kScanner = DeviceWord(1, 0x11, 0x4A, 4);

const char kTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x4a scan96 ident=13400\n";

const char kResources[] =
    "terminal.scanner.slotNumber:   SLOT_1\n"
    "terminal.scanner.portNumber:   PORT_1\n"
    "terminal.scanner.deviceNumber: DEVICE_SCANNER_A\n";

class ScannerE2E : public TerminalTest {};

TEST_F(ScannerE2E, AScriptedLabelIsReadByTheApplication) {
    ASSERT_NO_FATAL_FAILURE(StartTerminal(kTerminal, kResources, FAMILY_TEST_PLUGINS, {"libovkso4a.so.0"}));
    ASSERT_TRUE(WaitForEvent(kOnline, kScanner, 20000)) << Seen();
    EXPECT_EQ(seen_.back().p2 & 0xFF, 4u) << Seen(); // model 96

    char name[] = "scanner", cls[] = "PosScanner";
    const int h = PosOpen(name, cls, nullptr, 0);
    ASSERT_GT(h, 0) << PosErrno();
    ASSERT_EQ(PosIOCtl(h, kAcquire, nullptr, 0), 0) << PosErrno();
    ASSERT_EQ(PosIOCtl(h, kUnlock, nullptr, 0), 0) << PosErrno();
    std::string state;
    ASSERT_TRUE(WaitForReply("scanner 1 0x11 0x4a", "enabled=1", 10000, &state)) << state;

    EXPECT_EQ(Sim("label 1 0x11 0x4a upca 012345678901"), "ok label upca 012345678901");
    ASSERT_TRUE(WaitForEvent(kScanData, static_cast<uint32_t>(h), 10000, kHandleBits)) << Seen();
    EXPECT_EQ(seen_.back().p2, 20u);

    unsigned char buffer[64] = {};
    ASSERT_EQ(PosRead(h, buffer, sizeof buffer), 20) << PosErrno();
    const unsigned char head[] = {0x00, 0x80, 0x00, 0x00, 0x01, 0x00, 0x0C, 0x00};
    EXPECT_EQ(std::memcmp(buffer, head, sizeof head), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer) + 8, 12), "012345678901");

    // The probe, the start-up of model 96 in order, then the beep and the enable (the
    // enable goes first when the client unlocked before the beep went out).
    const std::string payloads = Sim("payloads 1 0x11 0x4a");
    EXPECT_NE(payloads.find(" 01 0080 12 20020000d900510403a20000 21 "), std::string::npos) << payloads;
    EXPECT_NE(payloads.find(" 14"), std::string::npos) << payloads;
    EXPECT_NE(payloads.find(" 11"), std::string::npos) << payloads;
    EXPECT_EQ(PosClose(h), 0) << PosErrno();
}

} // namespace
