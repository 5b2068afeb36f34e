// Touch screens end to end: the identifier picks the controller model, the application opens
// the screen by name with default resources and acquires it; a touch scripted through ovksim
// reaches it as touch data and moves the daemon's pointer device (recorded in uinput.log,
// since the private root has no uinput node); on the controller with calibration a
// calibration reports its point and its end.
#include <string>

#include "SimulatedTerminal.h"

namespace {

constexpr uint32_t kOnline = 0x420D;
constexpr uint32_t kTouchData = 0x4216;
constexpr uint32_t kTouchStatus = 0x421B;
constexpr int kAcquire = 301;
constexpr int kCalibrate = 6703;
constexpr uint32_t kHandleBits = 0xFFFF;
constexpr uint32_t kTouch = DeviceWord(1, 0x11, 0x5C, 13);

const char kResources[] =
    "terminal.touch.slotNumber:   SLOT_1\n"
    "terminal.touch.portNumber:   PORT_1\n"
    "terminal.touch.deviceNumber: DEVICE_TOUCH_SCREEN\n";

std::string Terminal(const std::string& station) {
    return "slot 0 planar\n"
           "slot 1 rs485 type 5 kind 5 ports 2\n"
           "station 1 0x11 0x5c " + station + "\n";
}

class TouchE2E : public TerminalTest {
protected:
    // Starts the terminal, waits for the screen's online event and checks its subtype;
    // opens the screen by name and acquires it.
    void Ready(const std::string& station, uint32_t subtype) {
        ASSERT_NO_FATAL_FAILURE(StartTerminal(Terminal(station), kResources));
        ASSERT_TRUE(WaitForEvent(kOnline, kTouch, 20000)) << Seen();
        EXPECT_EQ(seen_.back().p2, subtype);
        char name[] = "touch", cls[] = "PosTouch";
        handle_ = PosOpen(name, cls, nullptr, 0);
        ASSERT_GT(handle_, 0) << PosErrno();
        ASSERT_EQ(PosIOCtl(handle_, kAcquire, nullptr, 0), 0) << PosErrno();
    }
    // Waits for an event of the screen and gives its second parameter.
    bool WaitForScreenEvent(uint32_t msg, uint32_t& p2) {
        if (!WaitForEvent(msg, static_cast<uint32_t>(handle_), 10000, kHandleBits)) return false;
        p2 = seen_.back().p2;
        return true;
    }
    int handle_ = 0;
};

TEST_F(TouchE2E, TouchReachesTheApplicationAndThePointerDevice) {
    ASSERT_NO_FATAL_FAILURE(Ready("touch95 id=16 features=0x50 ec=2", 2));
    EXPECT_EQ(Sim("touch 1 0x11 0x5c 0x20 0x10"), "ok touch 32 16");
    uint32_t p2 = 0;
    ASSERT_TRUE(WaitForScreenEvent(kTouchData, p2)) << Seen();
    EXPECT_EQ(seen_.back().p1, 0x10000u | static_cast<uint32_t>(handle_));
    EXPECT_EQ(p2, 0x00200010u);
    const std::string log = root_.read("/var/log/uinput.log");
    EXPECT_EQ(log.rfind("create tchuinput\n", 0), 0u) << log;
    const size_t x = log.find("EV_ABS ABS_X 31101\nEV_ABS ABS_Y 19812\n");
    EXPECT_NE(x, std::string::npos) << log;
    EXPECT_NE(log.find("EV_KEY BTN_LEFT 1\nEV_SYN SYN_REPORT 0\n", x), std::string::npos) << log;
    // The controller got its start-up commands.
    const std::string payloads = Sim("payloads 1 0x11 0x5c");
    EXPECT_NE(payloads.find(" 21512200"), std::string::npos) << payloads;
    EXPECT_NE(payloads.find(" 24200708"), std::string::npos) << payloads;
    EXPECT_EQ(PosClose(handle_), 0) << PosErrno();
}

TEST_F(TouchE2E, CalibrationReportsItsPointAndItsEnd) {
    ASSERT_NO_FATAL_FAILURE(Ready("touchelo", 13));
    ASSERT_EQ(PosIOCtl(handle_, kCalibrate, nullptr, 0), 0) << PosErrno();
    std::string state;
    ASSERT_TRUE(WaitForReply("touchstate 1 0x11 0x5c", "calibrating=1", 10000, &state)) << state;
    EXPECT_EQ(Sim("calpoint 1 0x11 0x5c ok"), "ok calpoint ok");
    uint32_t p2 = 0;
    ASSERT_TRUE(WaitForScreenEvent(kTouchStatus, p2)) << Seen();
    EXPECT_EQ(p2, 5u);
    EXPECT_EQ(Sim("caldone 1 0x11 0x5c"), "ok caldone");
    ASSERT_TRUE(WaitForScreenEvent(kTouchStatus, p2)) << Seen();
    EXPECT_EQ(p2, 4u);
    EXPECT_NE(Sim("payloads 1 0x11 0x5c").find(" 43040143580d"), std::string::npos);
    EXPECT_EQ(PosClose(handle_), 0) << PosErrno();
}

} // namespace
