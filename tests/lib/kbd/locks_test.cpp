// The virtual keyboard of type 15100: hot keys, num and scroll lock, lock states kept over
// release and acquire, and the lock lights of the console or of X on the system keyboard
// (a fake console and a fake X library), which an RS-485 keyboard never touches.
#include <filesystem>

#include "FakeConsole.h"
#include "KBANPV.h"
#include "KBDSP.h"
#include "KbdBench.h"
#include "syload.h"

namespace kbdbench {
namespace {

struct FakeX {
    int reason;
    unsigned char locked;
    int lockResult;
    int getStateResult;
    unsigned int affect, values;
    int lockCalls;
};

// A system keyboard's virtual device, set up as its open would leave it, on the bench's
// physical keyboard.
class SystemKbanpv : public KBANPV {
public:
    SystemKbanpv(PDEV* pdev, int console, bool x) : KBANPV(DeviceID(0, 0, 0x81), 1) {
        pdev_ = pdev;
        console_ = console;
        systemKeyboard_ = 1;
        lockSync_ = 1;
        xMode_ = x ? 1 : 0;
    }
    ~SystemKbanpv() override {
        pdev_ = nullptr;
        console_ = -1;
    }
    void hold() { SetStatusBits(VDEV_HOLDING); }
    void release() { ClearStatusBits(VDEV_HOLDING); }
    int32_t lightsSent() const { return settings_.lights; }
    bool useDisplay() { return (display_ = getXDisplay()) != nullptr; }
};

class Locks : public KbdBench {
protected:
    void SetUp() override {
        KbdBench::SetUp();
        kbdSetConsole(&console_);
        console_.paths = {"/dev/console"};
        namespace fs = std::filesystem;
        for (const char* name : {"libX11.so", "libXt.so", "libXext.so"})
            fs::copy_file(FAKE_X11, root_.at(std::string("/usr/lib/") + name),
                          fs::copy_options::overwrite_existing);
    }
    void TearDown() override {
        kbdSetConsole(nullptr);
        KbdBench::TearDown();
    }
    FakeX& fakeX() {
        auto* x = static_cast<FakeX*>(chGetLibrarySymbol("libX11.so", "fakeX"));
        EXPECT_NE(x, nullptr);
        static FakeX none{};
        return x ? *x : none;
    }
    FakeConsole console_;
};

TEST_F(Locks, ConsoleModeScrollLockPushesXoffOnceAndXonOff) {
    ASSERT_NO_FATAL_FAILURE(bringUp());
    SystemKbanpv v(&kbd(), 42, false);
    console_.leds = 0x04; // caps lock on
    EXPECT_EQ(v.changeShiftState(42, POS_KBD_SET_SCROLL_LOCK_ON), 0);
    EXPECT_EQ(console_.pushed, "\x13");
    EXPECT_EQ(console_.leds, 0x05);
    EXPECT_EQ(v.lightsSent(), 0x50);
    EXPECT_EQ(v.changeShiftState(42, POS_KBD_SET_SCROLL_LOCK_ON), 0); // already on
    EXPECT_EQ(console_.pushed, "\x13");
    EXPECT_EQ(v.changeShiftState(42, POS_KBD_SET_SCROLL_LOCK_OFF), 0);
    EXPECT_EQ(console_.pushed, "\x13\x11");
    EXPECT_EQ(console_.leds, 0x04);
    EXPECT_EQ(v.lightsSent(), 0x40);
    // Num lock: the lock flags go in bits 0-2 (bits 4-6 would only be the defaults).
    EXPECT_EQ(v.changeShiftState(42, POS_KBD_SET_NUM_LOCK_ON), 0);
    EXPECT_EQ(console_.leds, 0x06);
    EXPECT_EQ(v.lightsSent(), 0x60);
    EXPECT_EQ(v.changeShiftState(42, POS_KBD_SET_NUM_LOCK_OFF), 0);
    EXPECT_EQ(console_.leds, 0x04);
    EXPECT_EQ(console_.pushed, "\x13\x11");

    // The request: the console first, then the keyboard; the bit follows.
    v.hold();
    int out = 0;
    EXPECT_EQ(v.IOCtl(POS_KBD_SET_NUM_LOCK_ON, nullptr, 0, out), 0);
    EXPECT_TRUE(v.TestStatusBits(KBANPV_NUM_LOCK_ON));
    EXPECT_EQ(console_.leds, 0x06);
    EXPECT_EQ(v.IOCtl(POS_KBD_SET_SCROLL_LOCK_ON, nullptr, 0, out), 0);
    EXPECT_EQ(console_.pushed, "\x13\x11\x13");
    // A console that refuses the lock flags fails the request and leaves the bit.
    EXPECT_EQ(v.changeShiftState(7, POS_KBD_SET_NUM_LOCK_OFF), 301);
    v.release();
}

TEST_F(Locks, XModeLocksTheModifiersThroughTheXLibrary) {
    ASSERT_NO_FATAL_FAILURE(bringUp());
    SystemKbanpv v(&kbd(), 42, true);
    ASSERT_EQ(v.LoadXLibs(), 0);
    FakeX& x = fakeX();
    x = FakeX{3, 0x02, 1, 0, 0, 0, 0}; // no XKB on the server; caps lock on
    EXPECT_FALSE(v.useDisplay());
    x.reason = 0;
    ASSERT_TRUE(v.useDisplay());
    EXPECT_EQ(v.setDriverShiftState(), 0);
    EXPECT_EQ(v.lightsSent(), 0x40);

    const struct {
        int code;
        unsigned int values;
        int32_t lights;
    } steps[] = {{4716, 0x12, 0x60}, {4718, 0x92, 0x70}, {4715, 0x82, 0x50}, {4717, 0x02, 0x40}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.code);
        EXPECT_EQ(v.changeShiftState(-1, step.code), 0);
        EXPECT_EQ(x.affect, 0x92u);
        EXPECT_EQ(x.values, step.values);
        EXPECT_EQ(v.lightsSent(), step.lights);
    }
    x.lockResult = 0;
    EXPECT_EQ(v.changeShiftState(-1, 4716), 301);
    x.lockResult = 2;
    EXPECT_EQ(v.changeShiftState(-1, 4716), 301);
    x.lockResult = 1;
    x.getStateResult = 1;
    EXPECT_EQ(v.setDriverShiftState(), 301);
    EXPECT_TRUE(console_.requests.empty()); // X mode leaves the console alone
}

TEST_F(Locks, AnRs485KeyboardNeverTouchesTheConsole) {
    ASSERT_NO_FATAL_FAILURE(bringUp());
    console_.leds = 0x01;
    {
        Client<KBANPV> c(DeviceID(kSlot, kPort, kAddress), 1);
        ASSERT_EQ(c.open(), 0);
        EXPECT_EQ(c.ConsoleFd(), 42);
        EXPECT_FALSE(c.SystemKeyboard());
        EXPECT_FALSE(c.XMode());
        ASSERT_EQ(c.ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
        for (int r : {4708, 4709, 4710, 4711, 4712, 4713, 4715, 4716, 4717, 4718}) EXPECT_EQ(c.ioctl(r), 0) << r;
        EXPECT_TRUE(c.TestStatusBits(KBANPV_SCROLL_LOCK_ON));
        EXPECT_TRUE(c.TestStatusBits(KBANPV_NUM_LOCK_ON));
        EXPECT_EQ(c.ioctl(POS_SYS_SET_VALUES, {{"keyboardLightsOn", 2}}), 0);
        EXPECT_TRUE(console_.requests.empty());
        EXPECT_EQ(console_.leds, 0x01);
        EXPECT_TRUE(console_.pushed.empty());
        ASSERT_EQ(c.ioctl(POS_SYS_RELEASE_DEVICE), 0);
        EXPECT_EQ(c.ioctl(4716), 315);
    }
    EXPECT_EQ(console_.closed, 1);
}

} // namespace
} // namespace kbdbench

namespace kbdbench {
namespace {

TEST_F(KbdBench, TheSystemKeyboardStandInAnswersEveryRequestAndKeepsTheLights) {
    OnBench<KBDSP> planar(&adapter_);
    ASSERT_EQ(planar.Open(nullptr), 0);
    EXPECT_TRUE(planar.TestStatusBits(PDEV_ONLINE));
    EXPECT_EQ(planar.GetDeviceSubtype(), 3);
    EXPECT_EQ(planar.GetVdevType(), KBANPV_TYPE_ID);
    KbdSettingsRecord record{};
    record.lights = 0x60;
    for (int request : {1, 4, 6, 9, 13, 23, 24, 99})
        EXPECT_EQ(planar.TellPhys(nullptr, request, reinterpret_cast<unsigned char*>(&record), sizeof record), 0);
    EXPECT_EQ(planar.Requests(), (std::vector<int>{1, 4, 6, 9, 13, 23, 24, 99}));
    EXPECT_EQ(planar.ConsoleLights(), 0x60);
    EXPECT_TRUE(adapter_.frames.empty()); // no link
    planar.ProcessOutput(chTimeAdd(chTime(), 60000));
    EXPECT_TRUE(adapter_.frames.empty());
    EXPECT_TRUE(planar.TestStatusBits(PDEV_ONLINE));
    int remaining = 0;
    planar.Close(nullptr, remaining);
}

} // namespace
} // namespace kbdbench
