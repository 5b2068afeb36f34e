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

// The resets of the link among them (set normal response mode, with or without the poll bit).
size_t LinkResets(const std::string& reply) {
    size_t n = 0;
    for (const std::string& frame : Frames(reply))
        if (frame.size() == 2 && (std::stoul(frame, nullptr, 16) & 0xEF) == 0x83) ++n;
    return n;
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
    const size_t resetsBefore = LinkResets(Sim("received 1 0x11 0x54"));
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(PosIOCtl(h, kAcquire, nullptr, 0), 0) << PosErrno();
        ASSERT_EQ(PosIOCtl(h, kSoundAlarm, nullptr, 0), 0) << PosErrno();
        ASSERT_EQ(PosIOCtl(h, kRelease, nullptr, 0), 0) << PosErrno();
        // The unit has taken this round's sound command and, after it, the silence command.
        // Counted are the commands the unit took: a frame the link repeats is one command.
        // Only a reset of the link (its answer came too late) may make the unit take a
        // command twice, as it cannot tell the frame sent again from a new one.
        const size_t want = static_cast<size_t>(round) + 1;
        std::string reply, frames;
        std::vector<std::string> taken;
        auto last = [&taken](const std::string& what) {
            const auto at = std::find(taken.rbegin(), taken.rend(), what);
            return at == taken.rend() ? -1L : static_cast<long>(taken.rend() - at) - 1;
        };
        auto count = [&taken](const std::string& what) {
            return static_cast<size_t>(std::count(taken.begin(), taken.end(), what));
        };
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (;;) {
            reply = Sim("payloads 1 0x11 0x54");
            std::istringstream in(reply);
            std::string word;
            in >> word >> word; // "ok" and the count
            taken.clear();
            while (in >> word) taken.push_back(word);
            if ((count("06") >= want && count("08") >= want && last("08") > last("06")) ||
                std::chrono::steady_clock::now() > end)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        frames = Sim("received 1 0x11 0x54");
        ASSERT_GE(count("06"), want) << reply;
        const size_t resets = LinkResets(frames);
        const size_t resetsNow = resets > resetsBefore ? resets - resetsBefore : 0;
        ASSERT_LE(count("06"), want + resetsNow) << reply << "\n" << frames;
        ASSERT_GE(count("08"), want) << reply;
        ASSERT_GT(last("08"), last("06")) << reply;
        EXPECT_NE(Sim("drawers 1 0x11 0x54").find("alarm=off"), std::string::npos)
            << Sim("drawers 1 0x11 0x54");
    }
    EXPECT_EQ(PosClose(h), 0) << PosErrno();
}

} // namespace
