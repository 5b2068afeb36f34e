// The scale end to end: a scale at 0x6E is identified as model 96, goes online, and an
// application opens it by name, acquires it and reads the weight the script set, with the
// unstable flag in the record's status.
#include <cstring>
#include <string>

#include "SimulatedTerminal.h"

namespace {

constexpr uint32_t kOnline = 0x420D;
constexpr int kAcquire = 301;
// Slot 1, port 0x11, address 0x6E, device class 11 (scale).
constexpr uint32_t kScale = DeviceWord(1, 0x11, 0x6E, 11);

const char kTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x6e scale96\n";

const char kResources[] =
    "terminal.scale.slotNumber:   SLOT_1\n"
    "terminal.scale.portNumber:   PORT_1\n"
    "terminal.scale.deviceNumber: DEVICE_SCALE\n";

class ScaleE2E : public TerminalTest {};

TEST_F(ScaleE2E, TheApplicationReadsTheScriptedWeight) {
    ASSERT_NO_FATAL_FAILURE(StartTerminal(kTerminal, kResources));
    ASSERT_TRUE(WaitForEvent(kOnline, kScale, 20000)) << Seen();
    EXPECT_EQ(seen_.back().p2 & 0xFF, 2u) << Seen(); // model 96

    char name[] = "scale", cls[] = "PosScale";
    const int h = PosOpen(name, cls, nullptr, 0);
    ASSERT_GT(h, 0) << PosErrno();
    ASSERT_EQ(PosIOCtl(h, kAcquire, nullptr, 0), 0) << PosErrno();

    EXPECT_EQ(Sim("weight 1 0x11 0x6e 1234"), "ok weight 1234");
    unsigned char record[8] = {};
    ASSERT_EQ(PosRead(h, record, sizeof record), 8) << PosErrno();
    const unsigned char want[] = {0x00, 0x00, 0x00, 0x00, 0xD2, 0x04, 0x00, 0x00};
    EXPECT_EQ(std::memcmp(record, want, sizeof want), 0);

    EXPECT_EQ(Sim("unstable 1 0x11 0x6e on"), "ok unstable on");
    ASSERT_EQ(PosRead(h, record, sizeof record), 8) << PosErrno();
    const unsigned char unstable[] = {0x00, 0x00, 0x02, 0x00, 0xD2, 0x04, 0x00, 0x00};
    EXPECT_EQ(std::memcmp(record, unstable, sizeof unstable), 0);

    // The probe of the identifier, then the scale's own start-up and the client's configure.
    const std::string payloads = Sim("payloads 1 0x11 0x6e");
    EXPECT_NE(payloads.find(" 04 0080 "), std::string::npos) << payloads;
    EXPECT_NE(payloads.find(" 204c0000"), std::string::npos) << payloads;
    EXPECT_EQ(PosClose(h), 0) << PosErrno();
}

} // namespace
