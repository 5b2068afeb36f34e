// The cash drawers end to end: an application opens a drawer, acquires it and opens it; the
// simulated unit springs the drawer open and reports it, the application gets the opened
// event; a script closes the drawer through ovksim and the application gets the closed event.
#include <algorithm>
#include <chrono>
#include <thread>
#include <sstream>
#include <string>
#include <vector>

#include "SimulatedTerminal.h"

namespace {

constexpr uint32_t kOnline = 0x420D;
constexpr uint32_t kTillClosed = 0x420E;
constexpr uint32_t kTillOpened = 0x420F;
constexpr int kAcquire = 301;
constexpr int kRelease = 304;
constexpr int kSoundAlarm = 5403;
constexpr int kOpenTill = 5401;
// The drawer events carry the handle in the low 16 bits of p1.
constexpr uint32_t kHandleBits = 0xFFFF;

const char kTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x54 drawer\n";

const char kResources[] =
    "terminal.till.slotNumber:   SLOT_1\n"
    "terminal.till.portNumber:   PORT_1\n"
    "terminal.till.deviceNumber: DEVICE_CASH_DRAWER_A\n";

// The frames of a "received" reply ("ok 1.11.54=N,cc:data,cc,..."), oldest first, each
// as "control:data" or "control".
std::vector<std::string> Frames(const std::string& reply) {
    std::vector<std::string> out;
    std::istringstream in(reply);
    std::string frame;
    std::getline(in, frame, ','); // "ok <station>=<count>"
    while (std::getline(in, frame, ',')) out.push_back(frame);
    return out;
}

// The data of the information frames among them.
std::vector<std::string> FrameData(const std::string& reply) {
    std::vector<std::string> out;
    for (const std::string& frame : Frames(reply)) {
        const size_t colon = frame.find(':');
        if (colon != std::string::npos) out.push_back(frame.substr(colon + 1));
    }
    return out;
}

size_t IndexOf(const std::vector<std::string>& v, const std::string& item) {
    return static_cast<size_t>(std::find(v.begin(), v.end(), item) - v.begin());
}

class DrawerE2E : public TerminalTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(StartTerminal(kTerminal, kResources));
        // Drawer 2 (0x83) comes online with drawer 1; both are class 6 (cash drawer).
        ASSERT_TRUE(WaitForEvent(kOnline, DeviceWord(1, 0x11, 0x83, 6))) << Seen();
    }

    // Opens the drawer behind `handle` and waits for the opened event, then closes drawer
    // `number` of the simulated unit by script and waits for the closed event.
    void OpenThenCloseByScript(int handle, int number) {
        ASSERT_EQ(PosIOCtl(handle, kAcquire, nullptr, 0), 0) << PosErrno();
        ASSERT_EQ(PosIOCtl(handle, kOpenTill, nullptr, 0), 0) << PosErrno();
        ASSERT_TRUE(WaitForEvent(kTillOpened, static_cast<uint32_t>(handle), 10000, kHandleBits)) << Seen();
        const std::string drawer = "drawer" + std::to_string(number) + "=open";
        EXPECT_NE(Sim("drawers 1 0x11 0x54").find(drawer), std::string::npos);

        EXPECT_EQ(Sim("close 1 0x11 0x54 " + std::to_string(number)),
                  "ok close drawer " + std::to_string(number));
        ASSERT_TRUE(WaitForEvent(kTillClosed, static_cast<uint32_t>(handle), 10000, kHandleBits)) << Seen();
    }
};

TEST_F(DrawerE2E, DrawerOpenedByNameReportsOpenedThenClosedByScript) {
    char name[] = "till", cls[] = "PosDrawer";
    const int h = PosOpen(name, cls, nullptr, 0);
    ASSERT_GT(h, 0) << PosErrno();
    ASSERT_NO_FATAL_FAILURE(OpenThenCloseByScript(h, 1));
    // The unit got the open command for drawer 1, and none for drawer 2.
    const std::string reply = Sim("received 1 0x11 0x54");
    const std::vector<std::string> data = FrameData(reply);
    EXPECT_GE(std::count(data.begin(), data.end(), "01"), 1) << reply;
    EXPECT_EQ(std::count(data.begin(), data.end(), "02"), 0) << reply;
    EXPECT_EQ(PosClose(h), 0) << PosErrno();
}

TEST_F(DrawerE2E, SecondDrawerOpensWithTheClientsPulseWidth) {
    PosArg args[] = {{"slotNumber", 1}, {"portNumber", 0x11}, {"deviceNumber", 0x83},
                     {"pulseWidth", 100}};
    char name[] = "second", cls[] = "PosDrawer";
    const int h = PosOpen(name, cls, args, 4);
    ASSERT_GT(h, 0) << PosErrno();
    ASSERT_NO_FATAL_FAILURE(OpenThenCloseByScript(h, 2));
    // 100 ms for drawer 2 (0x0186A0 microseconds) with drawer 1's default 80 ms, then the
    // open command for drawer 2.
    const std::string reply = Sim("received 1 0x11 0x54");
    const std::vector<std::string> data = FrameData(reply);
    const size_t pulse = IndexOf(data, "800138800186a0");
    const size_t open = IndexOf(data, "02");
    EXPECT_LT(pulse, data.size()) << reply;
    EXPECT_LT(open, data.size()) << reply;
    EXPECT_LT(pulse, open) << reply;
    EXPECT_EQ(PosClose(h), 0) << PosErrno();
}

// The alarm sounded and released at once, while the sound command is still on its way: the
// silence follows it, and the unit is left silent.
TEST_F(DrawerE2E, AlarmSoundedAndReleasedAtOnceEndsSilent) {
    ASSERT_TRUE(WaitForEvent(kOnline, DeviceWord(1, 0x11, 0x84, 7))) << Seen();
    PosArg args[] = {{"slotNumber", 1}, {"portNumber", 0x11}, {"deviceNumber", 0x84}};
    char name[] = "alarm", cls[] = "PosAlarm";
    const int h = PosOpen(name, cls, args, 3);
    ASSERT_GT(h, 0) << PosErrno();
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(PosIOCtl(h, kAcquire, nullptr, 0), 0) << PosErrno();
        ASSERT_EQ(PosIOCtl(h, kSoundAlarm, nullptr, 0), 0) << PosErrno();
        ASSERT_EQ(PosIOCtl(h, kRelease, nullptr, 0), 0) << PosErrno();
        // The unit has taken this round's sound command and, after it, the silence command.
        auto count = [](const std::string& text, const std::string& what) {
            size_t n = 0;
            for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
            return n;
        };
        const size_t want = static_cast<size_t>(round) + 1;
        std::string reply;
        for (int i = 0; i < 500; ++i) {
            reply = Sim("received 1 0x11 0x54");
            if (count(reply, ":06") >= want && count(reply, ":08") >= want &&
                reply.rfind(":08") > reply.rfind(":06"))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_EQ(count(reply, ":06"), want) << reply;
        ASSERT_GE(count(reply, ":08"), want) << reply;
        ASSERT_GT(reply.rfind(":08"), reply.rfind(":06")) << reply;
        EXPECT_NE(Sim("drawers 1 0x11 0x54").find("alarm=off"), std::string::npos)
            << Sim("drawers 1 0x11 0x54");
    }
    EXPECT_EQ(PosClose(h), 0) << PosErrno();
}

} // namespace
