// The touch-screen facade end to end: ovksim plays the controller with calibration at slot 1,
// port 0x11, address 0x5C, the daemon of the build serves it under a private root, and the
// facade in this process initialises the client library and drives the screen as the
// utility programs do.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CTouchScreen6348.h"
#include "SimulatedTerminal.h"

namespace {

const char kRes[] = "/var/lib/misc/ovksys.res";
const char kConfDir[] = "/var/lib/misc";
const char kTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x5c touchelo\n";
const char kScreen[] = " 1 0x11 0x5c";

// Keeps the facade's state at each notification.
class StateRecorder : public Observer {
public:
    explicit StateRecorder(CTouchScreen6348& screen) : screen_(screen) {}
    void Update() override {
        std::lock_guard<std::mutex> g(lock_);
        states_.push_back(screen_.GetState());
        changed_.notify_all();
    }
    // Waits for a notification with this state.
    bool WaitFor(int state) {
        std::unique_lock<std::mutex> g(lock_);
        return changed_.wait_for(g, std::chrono::seconds(15), [&] {
            for (int s : states_)
                if (s == state) return true;
            return false;
        });
    }
    std::string States() {
        std::lock_guard<std::mutex> g(lock_);
        std::string out;
        for (int s : states_) out += " " + std::to_string(s);
        return out;
    }

private:
    CTouchScreen6348& screen_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<int> states_;
};

class TouchScreenE2E : public TerminalTest {
protected:
    void StartScreen() {
        root_.write(kRes, "*touchEntryClick: OFF\n");
        ASSERT_NO_FATAL_FAILURE(StartTerminalWithoutClient(kTerminal, ""));
        // The daemon tells a new client of every device online: the screen must be so by then.
        ASSERT_TRUE(daemon_.WaitForOutput("(1.11.5c) online", 20000)) << daemon_.Output();
        screen_ = std::make_unique<CTouchScreen6348>(kRes, kConfDir, "touchutil");
        ASSERT_TRUE(screen_->IsDeviceReady()) << screen_->GetTouchIo()->GetRc();
    }
    // The payloads the controller received.
    std::string Payloads() { return Sim(std::string("payloads") + kScreen); }
    // The last configure command received, in hex.
    std::string LastConfigure() {
        const std::string p = Payloads();
        const size_t at = p.rfind(" 21");
        return at == std::string::npos ? "" : p.substr(at + 1, 8);
    }
    bool WaitForLastConfigure(const std::string& configure) {
        for (int i = 0; i < 250; ++i) {
            if (LastConfigure() == configure) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    void TearDown() override {
        screen_.reset();
        TerminalTest::TearDown();
    }
    std::unique_ptr<CTouchScreen6348> screen_;
};

TEST_F(TouchScreenE2E, ToneSettingReachesTheController) {
    ASSERT_NO_FATAL_FAILURE(StartScreen());
    ASSERT_EQ(screen_->SetToneEntryClick(true), 0) << screen_->GetTouchIo()->GetRc();
    EXPECT_TRUE(screen_->IsToneEntryClick());
    EXPECT_FALSE(screen_->IsToneExitClick());
    EXPECT_FALSE(screen_->IsToneDisabled());
    std::string last;
    EXPECT_TRUE(WaitForReply(std::string("payloads") + kScreen, " 215d", 5000, &last)) << last;
    // Each open starts from the resources ("*touchEntryClick: OFF", the click volume LOW by
    // default): the getters read that into the caches.
    ASSERT_EQ(screen_->GetToneEntryClick(), 0);
    EXPECT_FALSE(screen_->IsToneEntryClick());
    ASSERT_EQ(screen_->GetToneDisabled(), 0);
    EXPECT_TRUE(screen_->IsToneDisabled());
}

TEST_F(TouchScreenE2E, ModesRestoreAndCalibrationReportTheirStatus) {
    ASSERT_NO_FATAL_FAILURE(StartScreen());
    StateRecorder recorder(*screen_);
    ASSERT_TRUE(screen_->AddObserver(&recorder));
    EXPECT_EQ(screen_->GetCurrentMode(), 1);

    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(screen_->SwitchToMode(0), 0) << screen_->GetTouchIo()->GetRc();
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    ASSERT_TRUE(recorder.WaitFor(1)) << recorder.States();
    EXPECT_EQ(screen_->GetCurrentMode(), 0);
    EXPECT_EQ(LastConfigure(), "21510000") << Payloads();

    ASSERT_EQ(screen_->RestoreDefaults(), 0);
    ASSERT_TRUE(recorder.WaitFor(3)) << recorder.States();
    EXPECT_NE(Payloads().find(" 430301520d"), std::string::npos) << Payloads();

    ASSERT_EQ(screen_->Calibrate(), 0);
    std::string state;
    ASSERT_TRUE(WaitForReply(std::string("touchstate") + kScreen, "calibrating=1", 10000, &state)) << state;
    EXPECT_NE(Payloads().find(" 43040143580d"), std::string::npos) << Payloads();
    EXPECT_EQ(Sim(std::string("caldone") + kScreen), "ok caldone");
    ASSERT_TRUE(recorder.WaitFor(4)) << recorder.States();
    EXPECT_EQ(Sim(std::string("calpoint") + kScreen + " ok"), "ok calpoint ok");
    ASSERT_TRUE(recorder.WaitFor(5)) << recorder.States();

    ASSERT_EQ(screen_->SwitchToMode(1), 0);
    ASSERT_TRUE(recorder.WaitFor(2)) << recorder.States();
    EXPECT_EQ(screen_->GetCurrentMode(), 1);
    EXPECT_EQ(LastConfigure(), "21510001") << Payloads();
    EXPECT_EQ(screen_->CloseDevice(), 0);
    EXPECT_TRUE(screen_->DeleteObserver(&recorder));
}

TEST_F(TouchScreenE2E, DestroyedInNativeModeSwitchesBackAndReleases) {
    ASSERT_NO_FATAL_FAILURE(StartScreen());
    StateRecorder recorder(*screen_);
    ASSERT_TRUE(screen_->AddObserver(&recorder));
    ASSERT_EQ(screen_->SwitchToMode(0), 0);
    ASSERT_TRUE(recorder.WaitFor(1)) << recorder.States();
    screen_.reset();
    EXPECT_TRUE(WaitForLastConfigure("21510001")) << Payloads();
    // The screen is free: another handle acquires it.
    PosArg args[] = {{"slotNumber", 1}, {"portNumber", 0x11}, {"deviceNumber", 0x5C}};
    char name[] = "TouchScreen6348", cls[] = "PosTouch";
    const int handle = PosOpen(name, cls, args, 3);
    ASSERT_GT(handle, 0) << PosErrno();
    EXPECT_EQ(PosIOCtl(handle, 301, nullptr, 0), 0) << PosErrno();
    EXPECT_EQ(PosClose(handle), 0);
}

TEST_F(TouchScreenE2E, NotReadyWithoutResourceFileOrRs485) {
    ASSERT_NO_FATAL_FAILURE(StartTerminalWithoutClient(kTerminal, ""));
    CTouchScreen6348 noResources(kRes, kConfDir, "touchutil");
    EXPECT_FALSE(noResources.IsDeviceReady());
    root_.write(kRes, "*touchEntryClick: OFF\n");
    root_.write("/var/lib/misc/ovktutil.conf", "ConnectionType = USB\n");
    CTouchScreen6348 usb(kRes, kConfDir, "touchutil");
    EXPECT_FALSE(usb.IsDeviceReady());
}

// No daemon: three initialisations one second apart, then not ready.
TEST(TouchScreenNoDaemon, NotReadyAfterThreeTries) {
    TempRoot root;
    root.write(kRes, "*touchEntryClick: OFF\n");
    CTouchScreen6348 screen(kRes, kConfDir, "touchutil");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(screen.IsDeviceReady());
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(screen.GetTouchIo()->GetRc(), 337);
}

} // namespace
