// The operator display end to end: an application opens it by name (resolved through its
// resource file) or by slot, port and device number, acquires it and writes; the simulated
// display receives the row command and shows the line.
#include <cstdio>
#include <string>

#include "SimulatedTerminal.h"

namespace {

constexpr uint32_t kOnline = 0x420D;
constexpr int kAcquire = 301;
constexpr int kNotAcquired = 315;
constexpr int kClassDeviceMismatch = 319;
// Slot 1, port 0x11, address 0x22, device class 2 (display).
constexpr uint32_t kDisplay = DeviceWord(1, 0x11, 0x22, 2);

const char kTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x22 oper\n";

const char kResources[] =
    "terminal.operator.slotNumber:   SLOT_1\n"
    "terminal.operator.portNumber:   PORT_1\n"
    "terminal.operator.deviceNumber: DEVICE_OPERATOR_DISPLAY_A\n";

// The row-1 command for a text of at most 20 characters: 81 28, then the characters padded
// with spaces (the operator display's byte map leaves letters as they are).
std::string RowOneCommand(const std::string& text) {
    std::string hex = "8128";
    char b[3];
    for (size_t i = 0; i < 20; ++i) {
        std::snprintf(b, sizeof b, "%02x", i < text.size() ? static_cast<unsigned char>(text[i]) : 0x20);
        hex += b;
    }
    return hex;
}

class DisplayE2E : public TerminalTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(StartTerminal(kTerminal, kResources));
        ASSERT_TRUE(WaitForEvent(kOnline, kDisplay)) << Seen();
    }

    // Acquires the display, writes `text` and checks what the simulated display received and
    // shows.
    void WriteAndCheck(int handle, const std::string& text) {
        char buffer[32];
        ASSERT_LT(text.size(), sizeof buffer);
        text.copy(buffer, text.size());
        // Not acquired yet: the write is refused.
        EXPECT_EQ(PosWrite(handle, buffer, static_cast<unsigned>(text.size())), -1);
        EXPECT_EQ(PosErrno(), kNotAcquired);
        ASSERT_EQ(PosIOCtl(handle, kAcquire, nullptr, 0), 0) << PosErrno();
        ASSERT_EQ(PosWrite(handle, buffer, static_cast<unsigned>(text.size())),
                  static_cast<int>(text.size()))
            << PosErrno();

        // The display's record holds the row command as one payload.
        std::string payloads;
        EXPECT_TRUE(WaitForReply("payloads 1 0x11 0x22", " " + RowOneCommand(text), 10000, &payloads))
            << payloads;
        const size_t at = payloads.find(" " + RowOneCommand(text));
        if (at != std::string::npos) {
            const size_t end = at + 1 + RowOneCommand(text).size();
            EXPECT_TRUE(end == payloads.size() || payloads[end] == ' ') << payloads;
        }
        std::string shown = text;
        shown.resize(20, ' ');
        EXPECT_EQ(Sim("text 1 0x11 0x22 0"), "ok [" + shown + "]");
    }
};

TEST_F(DisplayE2E, OpenedByNameTheDisplayShowsTheLine) {
    char name[] = "operator", cls[] = "PosDisplay";
    const int h = PosOpen(name, cls, nullptr, 0);
    ASSERT_GT(h, 0) << PosErrno();
    ASSERT_NO_FATAL_FAILURE(WriteAndCheck(h, "HELLO"));
    EXPECT_EQ(PosClose(h), 0) << PosErrno();
}

TEST_F(DisplayE2E, OpenedBySlotPortAndDeviceNumber) {
    PosArg at[] = {{"slotNumber", 1}, {"portNumber", 0x11}, {"deviceNumber", 0x22}};
    char name[] = "display", drawer[] = "PosDrawer", cls[] = "PosDisplay";
    // The address is a display's: another class is refused there.
    EXPECT_EQ(PosOpen(name, drawer, at, 3), -1);
    EXPECT_EQ(PosErrno(), kClassDeviceMismatch);

    const int h = PosOpen(name, cls, at, 3);
    ASSERT_GT(h, 0) << PosErrno();
    ASSERT_NO_FATAL_FAILURE(WriteAndCheck(h, "WORLD 42"));
    EXPECT_EQ(PosClose(h), 0) << PosErrno();
}

} // namespace
