// The scanners end to end. The table-top scanner at 0x4A is identified through the test
// identifier (the simulated scanner answers its probe with model 96's class), goes online
// as model 96, and an application opens it by name, acquires and unlocks it; a scripted
// label arrives as the scan-data event and one read returns its record. A hand-held
// scanner 2 at 0x4B is told apart by the hand-held identifier, goes online as model 2, and
// a scan read in three blocks reaches the application as one event and one read.
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

constexpr uint32_t kHandHeld = DeviceWord(1, 0x11, 0x4B, 4);

const char kHandHeldTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x4b hh2\n";

const char kHandHeldResources[] =
    "terminal.scanner.slotNumber:    SLOT_1\n"
    "terminal.scanner.portNumber:    PORT_1\n"
    "terminal.scanner.deviceNumber:  DEVICE_SCANNER_B\n"
    "terminal.scanner.blockReadMode: 3\n";

TEST_F(ScannerE2E, AHandHeldScannerIsIdentifiedAndReadsThreeBlocksAsOneScan) {
    ASSERT_NO_FATAL_FAILURE(StartTerminal(kHandHeldTerminal, kHandHeldResources));
    ASSERT_TRUE(WaitForEvent(kOnline, kHandHeld, 20000)) << Seen();
    EXPECT_EQ(seen_.back().p2 & 0xFF, 2u) << Seen(); // model 2

    char name[] = "scanner", cls[] = "PosScanner";
    const int h = PosOpen(name, cls, nullptr, 0);
    ASSERT_GT(h, 0) << PosErrno();
    ASSERT_EQ(PosIOCtl(h, kAcquire, nullptr, 0), 0) << PosErrno();
    ASSERT_EQ(PosIOCtl(h, kUnlock, nullptr, 0), 0) << PosErrno();
    std::string state;
    // Enabled, and configured for block reads of three (byte 2: the group, mode 3).
    ASSERT_TRUE(WaitForReply("scanner 1 0x11 0x4b", "enabled=1", 10000, &state)) << state;
    ASSERT_TRUE(WaitForReply("scanner 1 0x11 0x4b", "config=200023000000", 10000, &state)) << state;

    EXPECT_EQ(Sim("scan 1 0x11 0x4b 01020304050607000c 00010203040506050c 09080706050403010c"),
              "ok scan of 3 messages");
    ASSERT_TRUE(WaitForEvent(kScanData, static_cast<uint32_t>(h), 10000, kHandleBits)) << Seen();
    EXPECT_EQ(seen_.back().p2, 48u);

    unsigned char buffer[64] = {};
    ASSERT_EQ(PosRead(h, buffer, sizeof buffer), 48) << PosErrno();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(buffer[16 * i + 1], 0x20) << i; // EAN-8
        EXPECT_EQ(buffer[16 * i + 4], i == 2 ? 1 : 0) << i;
    }
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer) + 8, 8), "12345670");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer) + 40, 8), "98765431");

    // The identifier's probes: model 20's configure twice (the first answer is the power-on
    // status), then model 2's group, accepted.
    const std::string payloads = Sim("payloads 1 0x11 0x4b");
    EXPECT_NE(payloads.find(" 3180 3180 200070000000 "), std::string::npos) << payloads;
    EXPECT_EQ(PosClose(h), 0) << PosErrno();
}

} // namespace
