// The touch access through the client library and the facade, against the scripted client
// library: the calls each operation makes, the screen's online event, the monitor thread's
// notifications, and the failure paths a daemon does not make.
#include <gtest/gtest.h>

#include <dirent.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CTouch6348IoRs485Imp.h"
#include "CTouchScreen6348.h"
#include "FakePosApi.h"
#include "TempRoot.h"

namespace {

constexpr uint32_t kOnline = 0x420D, kOffline = 0x420C, kStatus = 0x421B;
constexpr uint32_t Word(uint32_t slot, uint32_t port, uint32_t address, uint32_t type) {
    return slot << 24 | port << 16 | address << 8 | type;
}
const uint32_t kTouchWord = Word(1, 0x11, 0x5C, 13);
const char kRes[] = "/var/lib/misc/ovksys.res";
const char kConfDir[] = "/var/lib/misc";

// Counts its notifications and lets a test wait for them.
class Waiter : public Observer {
public:
    void Update() override {
        std::lock_guard<std::mutex> g(lock_);
        ++updates_;
        changed_.notify_all();
    }
    bool WaitFor(int count) {
        std::unique_lock<std::mutex> g(lock_);
        return changed_.wait_for(g, std::chrono::seconds(10), [&] { return updates_ >= count; });
    }
    int updates() {
        std::lock_guard<std::mutex> g(lock_);
        return updates_;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    int updates_ = 0;
};

int Threads() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ++n;
        closedir(d);
    }
    return n;
}

class TouchIoTest : public ::testing::Test {
protected:
    void SetUp() override {
        fakepos::Reset();
        tutilTest::RecordDelays(&delays_);
    }
    void TearDown() override { tutilTest::RecordDelays(nullptr); }

    // Initialised on the screen at slot 1, port 0x11, address 0x5C.
    void Ready(CTouch6348IoRs485Imp& io) {
        fakepos::QueueRecord(kOnline, kTouchWord, 13);
        char app[] = "touch", res[] = "/var/lib/misc/ovksys.res";
        ASSERT_EQ(io.Init6348Device(app, res, 2), 0);
        delays_.clear();
        fakepos::Reset();
    }
    std::vector<unsigned long> delays_;
};

TEST_F(TouchIoTest, InitialisationRetriesWhileTheDaemonIsAway) {
    struct Case {
        int tries;
        size_t calls;
    } cases[] = {{2, 3}, {0, 1}};
    for (const Case& c : cases) {
        fakepos::Reset();
        delays_.clear();
        fakepos::Always("PosInitialize", -1, 337);
        CTouch6348IoRs485Imp io;
        char app[] = "touch", res[] = "/var/lib/misc/ovksys.res";
        EXPECT_EQ(io.Init6348Device(app, res, c.tries), 337);
        const auto calls = fakepos::Calls("PosInitialize");
        ASSERT_EQ(calls.size(), c.calls) << c.tries;
        EXPECT_EQ(delays_, std::vector<unsigned long>(c.calls, 1));
        EXPECT_EQ(calls[0].name, "touch");
        EXPECT_EQ(calls[0].klass, "/var/lib/misc/ovksys.res");
        ASSERT_EQ(calls[0].args.size(), 1u);
        EXPECT_EQ(calls[0].args[0], std::make_pair(std::string("readTimeout"), intptr_t(500)));
        EXPECT_TRUE(fakepos::Calls("PosRead").empty());
    }
    // Another error ends at once: a second initialisation in the process.
    fakepos::Reset();
    delays_.clear();
    fakepos::Script("PosInitialize", -1, 304);
    CTouch6348IoRs485Imp io;
    char app[] = "touch", res[] = "r";
    EXPECT_EQ(io.Init6348Device(app, res, 2), 304);
    EXPECT_EQ(fakepos::Calls("PosInitialize").size(), 1u);
    EXPECT_TRUE(delays_.empty());
}

TEST_F(TouchIoTest, OnlyTheTouchScreensOnlineEventIsTaken) {
    struct Record {
        uint32_t msg, p1, p2;
    };
    const std::vector<Record> offline = {{kOffline, kTouchWord, 13}};
    const std::vector<Record> otherDevice = {{kOnline, Word(1, 0x11, 0x4A, 13), 13}};
    const std::vector<Record> slot8 = {{kOnline, Word(8, 0x11, 0x5C, 13), 13}};
    const std::vector<Record> subtype = {{kOnline, kTouchWord, 0x10C}};
    for (const auto& records : {offline, otherDevice, slot8, subtype}) {
        fakepos::Reset();
        for (const Record& r : records) fakepos::QueueRecord(r.msg, r.p1, r.p2);
        CTouch6348IoRs485Imp io;
        char app[] = "touch", res[] = "r";
        EXPECT_EQ(io.Init6348Device(app, res, 2), -2);
        EXPECT_EQ(fakepos::Calls("PosRead").size(), records.size() + 1);
    }
    // The first fitting record wins, after others are dropped; 0x5D and the service byte
    // of the second parameter are fine.
    fakepos::Reset();
    fakepos::QueueRecord(kOffline, kTouchWord, 13);
    fakepos::QueueRecord(kOnline, Word(2, 0x12, 0x5D, 13), 0x10D);
    fakepos::QueueRecord(kOnline, kTouchWord, 13);
    CTouch6348IoRs485Imp io;
    char app[] = "touch", res[] = "r";
    EXPECT_EQ(io.Init6348Device(app, res, 2), 0);
    EXPECT_EQ(fakepos::Calls("PosRead").size(), 2u);
    fakepos::Reset();
    EXPECT_EQ(io.Open6348Device(), 0);
    const auto open = fakepos::Calls("PosOpen");
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(open[0].name, "TouchScreen6348");
    EXPECT_EQ(open[0].klass, "PosTouch");
    EXPECT_EQ(open[0].args, (std::vector<std::pair<std::string, intptr_t>>{
                                {"slotNumber", 2}, {"portNumber", 0x12}, {"deviceNumber", 0x5D}}));
}

TEST_F(TouchIoTest, ToneRequestsCarryTheirTable) {
    struct Case {
        int (CTouch6348IoRs485Imp::*set)(bool);
        bool on;
        intptr_t entry, exit, volume;
    } cases[] = {
        {&CTouch6348IoRs485Imp::Set6348ToneEntryClick, true, 1, 0, 3},
        {&CTouch6348IoRs485Imp::Set6348ToneEntryClick, false, 0, 0, 1},
        {&CTouch6348IoRs485Imp::Set6348ToneExitClick, true, 0, 1, 3},
        {&CTouch6348IoRs485Imp::Set6348ToneExitClick, false, 0, 0, 1},
        {&CTouch6348IoRs485Imp::Set6348ToneDisabled, true, 0, 0, 1},
        {&CTouch6348IoRs485Imp::Set6348ToneDisabled, false, 1, 1, 3},
    };
    CTouch6348IoRs485Imp io;
    for (const Case& c : cases) {
        fakepos::Reset();
        EXPECT_EQ((io.*c.set)(c.on), 0);
        const auto calls = fakepos::Calls("PosIOCtl");
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].request, 305);
        EXPECT_EQ(calls[0].args, (std::vector<std::pair<std::string, intptr_t>>{
                                     {"touchEntryClick", c.entry},
                                     {"touchExitClick", c.exit},
                                     {"touchClickVolume", c.volume}}));
    }
    // Getters: true only for the value 1; a failure gives false and the error code.
    fakepos::Reset();
    fakepos::SetValue("touchClickVolume", 1);
    fakepos::SetValue("touchEntryClick", 3);
    EXPECT_TRUE(io.Get6348ToneDisabled());
    EXPECT_FALSE(io.Get6348ToneEntryClick());
    EXPECT_EQ(fakepos::Calls("PosIOCtl")[0].args[0].first, "touchClickVolume");
    fakepos::Script("PosIOCtl:302", -1, 303);
    fakepos::SetValue("touchExitClick", 1);
    EXPECT_FALSE(io.Get6348ToneExitClick());
    EXPECT_EQ(io.GetRc(), 303);
}

TEST_F(TouchIoTest, OpenAcquireAndCloseKeepNoStaleHandle) {
    CTouch6348IoRs485Imp io;
    ASSERT_NO_FATAL_FAILURE(Ready(io));
    // A failed acquire closes the handle at once.
    fakepos::Script("PosIOCtl:301", -1, 307);
    EXPECT_EQ(io.Open6348Device(), 0);
    EXPECT_EQ(io.Acquire6348Device(), 307);
    EXPECT_EQ(io.GetDeviceHandle(), -1);
    ASSERT_EQ(fakepos::Calls("PosClose").size(), 1u);
    EXPECT_EQ(fakepos::Calls("PosClose")[0].handle, 1);
    // A failed release leaves the handle; the next open releases and closes it first.
    fakepos::Reset();
    EXPECT_EQ(io.Open6348Device(), 0);
    EXPECT_EQ(io.Acquire6348Device(), 0);
    fakepos::Script("PosIOCtl:304", -1, 303);
    EXPECT_EQ(io.Close6348Device(), 303);
    EXPECT_TRUE(fakepos::Calls("PosClose").empty());
    EXPECT_EQ(io.Open6348Device(), 0);
    auto calls = fakepos::Calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[calls.size() - 3].request, 304);
    EXPECT_EQ(calls[calls.size() - 2].function, "PosClose");
    EXPECT_EQ(calls[calls.size() - 2].handle, 1);
    EXPECT_EQ(calls.back().function, "PosOpen");
    EXPECT_EQ(io.GetDeviceHandle(), 2);
    // A closed handle is forgotten: a request after it does not reach a later device.
    EXPECT_EQ(io.Close6348Device(), 0);
    EXPECT_EQ(io.GetDeviceHandle(), -1);
    io.SwitchToMode(1);
    EXPECT_EQ(fakepos::Calls("PosIOCtl").back().handle, -1);
}

TEST_F(TouchIoTest, MonitorThreadRelaysStatusesAndDestructionSwitchesBack) {
    Waiter waiter;
    {
        CTouch6348IoRs485Imp io;
        ASSERT_NO_FATAL_FAILURE(Ready(io));
        EXPECT_EQ(io.GetCurrentMode(), -1); // no monitor thread yet
        ASSERT_EQ(io.Open6348Device(), 0);
        ASSERT_EQ(io.Acquire6348Device(), 0);
        fakepos::QueueRecord(kStatus, 0, 7);
        fakepos::QueueRecord(kStatus, 0, 1);
        const int before = Threads();
        EXPECT_TRUE(io.AddObserver(&waiter));
        EXPECT_EQ(delays_, std::vector<unsigned long>{1});
        Waiter second;
        EXPECT_FALSE(io.AddObserver(&second));
        EXPECT_EQ(Threads(), before + 1);
        ASSERT_TRUE(waiter.WaitFor(1));
        // Status 7 changed nothing and notified nobody; status 1 made the mode native.
        ASSERT_TRUE(second.WaitFor(1));
        EXPECT_EQ(waiter.updates(), 1);
        EXPECT_EQ(io.GetState(), 1);
        EXPECT_EQ(io.GetCurrentMode(), 0);
        EXPECT_TRUE(io.DeleteObserver(&second));
        fakepos::Reset();
    }
    EXPECT_EQ(fakepos::Requests(), (std::vector<int>{6706, 304}));
    EXPECT_EQ(fakepos::Calls("PosClose").size(), 1u);
}

TEST_F(TouchIoTest, DestructionWithoutNativeModeOnlyReleases) {
    auto io = std::make_unique<CTouch6348IoRs485Imp>();
    ASSERT_NO_FATAL_FAILURE(Ready(*io));
    ASSERT_EQ(io->Open6348Device(), 0);
    ASSERT_EQ(io->Acquire6348Device(), 0);
    fakepos::QueueRecord(kStatus, 0, 2);
    Waiter waiter;
    ASSERT_TRUE(io->AddObserver(&waiter));
    ASSERT_TRUE(waiter.WaitFor(1));
    EXPECT_EQ(io->GetCurrentMode(), 1);
    // Forced: the fixed wait (recorded, not slept), then the thread, told to stop, is
    // joined when it has ended and else let go; either way it ends.
    io->SetForceTerminate();
    delays_.clear();
    fakepos::Reset();
    io.reset();
    EXPECT_EQ(fakepos::Requests(), (std::vector<int>{304}));
    EXPECT_EQ(delays_, std::vector<unsigned long>{3});
    EXPECT_TRUE(tutilTest::WaitForMonitorsEnded(10000));
}

TEST_F(TouchIoTest, AForcedEndLeavesABlockedMonitorThreadWithoutTheObject) {
    auto io = std::make_unique<CTouch6348IoRs485Imp>();
    ASSERT_NO_FATAL_FAILURE(Ready(*io));
    Waiter waiter;
    fakepos::HoldReads();
    ASSERT_TRUE(io->AddObserver(&waiter));
    ASSERT_TRUE(fakepos::WaitForHeldRead());
    // What the blocked read brings once let go would notify the object's observers.
    fakepos::QueueRecord(kStatus, 0, 1);
    io->SetForceTerminate();
    delays_.clear();

    // Destruction keeps its fixed bound although the thread is still blocked. Should it wait
    // for the thread instead, the read is let go after a generous limit so that the test
    // ends (and fails).
    std::mutex lock;
    std::condition_variable changed;
    bool destroyed = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> g(lock);
        if (!changed.wait_for(g, std::chrono::seconds(30), [&] { return destroyed; })) fakepos::ReleaseReads();
    });
    io.reset();
    const bool stillBlocked = fakepos::HeldReads() > 0;
    {
        std::lock_guard<std::mutex> g(lock);
        destroyed = true;
    }
    changed.notify_all();
    watchdog.join();
    EXPECT_TRUE(stillBlocked);
    EXPECT_EQ(delays_, std::vector<unsigned long>{3});

    // Let go, the thread ends without touching the destroyed object: no notification.
    fakepos::ReleaseReads();
    ASSERT_TRUE(tutilTest::WaitForMonitorsEnded(10000));
    EXPECT_EQ(waiter.updates(), 0);
}

TEST_F(TouchIoTest, ReadFailureEndsTheThreadAndANewObserverStartsAnother) {
    CTouch6348IoRs485Imp io;
    fakepos::Script("PosRead", -1, 303);
    Waiter a, b;
    ASSERT_TRUE(io.AddObserver(&a));
    ASSERT_TRUE(fakepos::WaitForReads(1));
    EXPECT_TRUE(io.DeleteObserver(&a));
    // The thread has ended ("VuskLin failed"): the next first observer starts one again.
    for (int i = 0; i < 1000 && io.GetCurrentMode() != -1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(io.GetCurrentMode(), -1);
    fakepos::QueueRecord(kStatus, 0, 5);
    ASSERT_TRUE(io.AddObserver(&b));
    ASSERT_TRUE(b.WaitFor(1));
    EXPECT_EQ(io.GetState(), 5);
}

class FacadeTest : public TouchIoTest {
protected:
    void SetUp() override {
        TouchIoTest::SetUp();
        root_.write(kRes, "*touchEntryClick: OFF\n");
    }
    std::unique_ptr<CTouchScreen6348> Ready() {
        auto screen = std::make_unique<CTouchScreen6348>(kRes, kConfDir, "touchutil");
        fakepos::QueueRecord(kOnline, kTouchWord, 13);
        EXPECT_TRUE(screen->IsDeviceReady());
        fakepos::Reset();
        delays_.clear();
        return screen;
    }
    TempRoot root_;
};

TEST_F(FacadeTest, ReadinessRunsItsFourSteps) {
    auto screen = std::make_unique<CTouchScreen6348>(kRes, kConfDir, "touchutil");
    fakepos::QueueRecord(kOnline, kTouchWord, 13);
    EXPECT_TRUE(screen->IsDeviceReady());
    EXPECT_EQ(fakepos::Calls("PosInitialize")[0].name, "touchutil");
    EXPECT_EQ(fakepos::Requests(), (std::vector<int>{301, 304}));
    EXPECT_EQ(fakepos::Calls("PosClose").size(), 1u);

    // No resource file: not ready before any client call.
    fakepos::Reset();
    std::remove(root_.at(kRes).c_str());
    auto other = std::make_unique<CTouchScreen6348>(kRes, kConfDir, "touchutil");
    EXPECT_FALSE(other->IsDeviceReady());
    EXPECT_TRUE(fakepos::Calls().empty());
}

TEST_F(FacadeTest, UsbConnectionHasNoDevice) {
    root_.write("/var/lib/misc/ovktutil.conf", "ConnectionType = USB\n");
    CTouchScreen6348 screen(kRes, kConfDir, "touchutil");
    EXPECT_EQ(screen.GetRc(), 1);
    EXPECT_EQ(screen.GetTouchIo(), nullptr);
    EXPECT_FALSE(screen.IsDeviceReady());
    EXPECT_EQ(screen.SetToneEntryClick(true), 1);
    EXPECT_EQ(screen.GetToneExitClick(), 1);
    EXPECT_EQ(screen.SwitchToMode(0), 1);
    EXPECT_EQ(screen.Calibrate(), 1);
    EXPECT_EQ(screen.RestoreDefaults(), 1);
    EXPECT_EQ(screen.CloseDevice(), 1);
    EXPECT_EQ(screen.GetCurrentMode(), -1);
    EXPECT_TRUE(fakepos::Calls().empty());
}

TEST_F(FacadeTest, ToneCachesAndAFailedToneRequestReleasesTheScreen) {
    auto screen = Ready();
    ASSERT_EQ(screen->SetToneEntryClick(true), 0);
    ASSERT_EQ(screen->SetToneExitClick(true), 0);
    EXPECT_FALSE(screen->IsToneEntryClick());
    EXPECT_TRUE(screen->IsToneExitClick());
    EXPECT_FALSE(screen->IsToneDisabled());
    EXPECT_EQ(fakepos::Requests(), (std::vector<int>{301, 305, 304, 301, 305, 304}));

    // The tone request fails after the acquire: the screen is released and closed all the
    // same, the caches stay, and the next operation acquires again.
    fakepos::Reset();
    fakepos::Script("PosIOCtl:305", -1, 314);
    EXPECT_EQ(screen->SetToneDisabled(true), 1);
    EXPECT_EQ(fakepos::Requests(), (std::vector<int>{301, 305, 304}));
    EXPECT_EQ(fakepos::Calls("PosClose").size(), 1u);
    EXPECT_TRUE(screen->IsToneExitClick());
    EXPECT_EQ(screen->GetTouchIo()->GetRc(), 314);
    fakepos::SetValue("touchClickVolume", 1);
    EXPECT_EQ(screen->GetToneDisabled(), 0);
    EXPECT_TRUE(screen->IsToneDisabled());
    // A failed getter releases too.
    fakepos::Reset();
    fakepos::Script("PosIOCtl:302", -1, 314);
    EXPECT_EQ(screen->GetToneEntryClick(), 1);
    EXPECT_EQ(fakepos::Requests(), (std::vector<int>{301, 302, 304}));
}

TEST_F(FacadeTest, NativeSwitchWaitsAndKeepsTheScreen) {
    auto screen = Ready();
    EXPECT_EQ(screen->GetCurrentMode(), -1);
    ASSERT_EQ(screen->SwitchToMode(0), 0);
    EXPECT_EQ(delays_, std::vector<unsigned long>{4});
    EXPECT_EQ(fakepos::Requests(), (std::vector<int>{301, 6705}));
    EXPECT_EQ(screen->Calibrate(), 0);
    EXPECT_EQ(screen->RestoreDefaults(), 0);
    EXPECT_EQ(screen->SwitchToMode(1), 0);
    EXPECT_EQ(screen->CloseDevice(), 0);
    EXPECT_EQ(fakepos::Requests(), (std::vector<int>{301, 6705, 6703, 6704, 6706, 304}));
    // A failing step gives RC_FAIL and the device's own code stays readable.
    fakepos::Script("PosIOCtl:6706", -1, 303);
    EXPECT_EQ(screen->SwitchToMode(1), 1);
    EXPECT_EQ(screen->GetTouchIo()->GetRc(), 303);
    fakepos::Script("PosIOCtl:301", -1, 307);
    delays_.clear();
    EXPECT_EQ(screen->SwitchToMode(0), 1);
    EXPECT_TRUE(delays_.empty());
}

TEST_F(FacadeTest, ObserversOfTheFacadeShareOneRegistration) {
    auto screen = Ready();
    Waiter a, b;
    EXPECT_TRUE(screen->AddObserver(&a));
    EXPECT_FALSE(screen->AddObserver(&b));
    EXPECT_EQ(screen->GetTouchIo()->GetNumObservers(), 1);
    // Removing one of two leaves the other listening.
    EXPECT_TRUE(screen->DeleteObserver(&a));
    EXPECT_EQ(screen->GetTouchIo()->GetNumObservers(), 1);
    fakepos::QueueRecord(kStatus, 0, 3);
    ASSERT_TRUE(b.WaitFor(1));
    EXPECT_EQ(screen->GetState(), 3);
    EXPECT_EQ(a.updates(), 0);
    // The last one gone, the facade stops listening; the thread runs on, and a new first
    // observer starts no second one.
    EXPECT_TRUE(screen->DeleteObserver(&b));
    EXPECT_EQ(screen->GetTouchIo()->GetNumObservers(), 0);
    const int threads = Threads();
    EXPECT_TRUE(screen->AddObserver(&a));
    EXPECT_EQ(Threads(), threads);
    EXPECT_EQ(screen->GetCurrentMode(), 1);
}

} // namespace
