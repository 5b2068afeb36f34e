// A terminal for the touch plug-ins: the system object on the simulated bus (slot 1, two
// ports) with the touch plug-ins linked in, the sniffer and the adapter manager driven in
// lockstep with the settable clock, a simulated touch controller at 1.11.5C, a client
// process that records the events posted to every process, virtual touch devices with
// their own recording queue, and the mouse emulation's pointer device recorded under the
// test's private root.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "COMD.h"
#include "CoreFakes.h"
#include "DiscoveryFakes.h"
#include "ObjectSupport.h"
#include "Oracle_5C_5D.h"
#include "RecordingQueue.h"
#include "SIOAM.h"
#include "TCH95P.h"
#include "TCH95V.h"
#include "TCHELOP.h"
#include "TempRoot.h"
#include "TouchMouse.h"
#include "busengine.h"
#include "ovkhost.h"
#include "touchmodel.h"

namespace touchbus {

using Bytes = std::vector<uint8_t>;
using bussim::TouchModel;

constexpr unsigned char kSlot = 1;
constexpr unsigned char kPort = 0x11;
constexpr unsigned char kAddress = 0x5C;

inline const unsigned char* u(const char* s) { return reinterpret_cast<const unsigned char*>(s); }

// A client's touch screen with a recording queue of its own, called as the request road
// calls it: under its lock.
class Screen : public TCH95V {
public:
    explicit Screen(int handle) : TCH95V(DeviceID(kSlot, kPort, kAddress), handle) {
        destination_ = queue.destination();
    }
    ~Screen() override {
        if (IsHolding()) ioctl(POS_SYS_RELEASE_DEVICE);
        if (OpenCount() > 0) {
            int remaining = 0;
            Close(remaining);
        }
    }
    int open(std::vector<PosArg> args = {}) {
        return Open(u("terminal"), u("PosTouch"), args.empty() ? nullptr : args.data(),
                    static_cast<int>(args.size()));
    }
    int ioctl(int request, std::vector<PosArg> args = {}) {
        Lock();
        int out = 0;
        const int rc = IOCtl(request, args.empty() ? nullptr : args.data(),
                             static_cast<int>(args.size()), out);
        Unlock();
        return rc;
    }
    int set(const char* name, intptr_t value) { return ioctl(POS_SYS_SET_VALUES, {{name, value}}); }
    intptr_t get(const char* name) {
        std::vector<PosArg> a{{name, -12345}};
        Lock();
        int out = 0;
        const int rc = IOCtl(POS_SYS_GET_VALUES, a.data(), 1, out);
        Unlock();
        EXPECT_EQ(rc, 0) << name;
        return a[0].value;
    }
    void useDatabase(XrmDatabase db) { database_ = db; }
    RecordingQueue queue;
};

class BusAdapter : public SIOAM {
public:
    BusAdapter(int slot, short type) : SIOAM(slot, type, "BUSSIO") {}
};

class TouchBusTest : public ::testing::Test {
protected:
    void SetUp() override {
        ovkhost::useManualClock(true);
        ovkhost::setClock(5000);
        ovkhost::clearCaptures();
        ResetLoadedFlagsForTest();
        discovery::markAdapterRowsLoaded();
        for (long type : {1700L, 29200L, 29400L}) discovery::markRowLoaded(kAddress, type);
        chSetDevNodeBackend(&engine_);
        // The pointer device as the library would make it under this root: the recorder.
        TouchMousePointer().Reopen();
        TouchMouseOffline();
    }
    void TearDown() override {
        screens_.clear();
        if (comd_) comd_->RemoveProcess(process_.GetProcessId());
        comd_.reset();
        chSetDevNodeBackend(nullptr);
        ovkhost::useManualClock(false);
        ResetLoadedFlagsForTest();
        TouchMouseOffline();
    }

    // Puts a controller on the bus and starts the system: the sniffer finds it, the
    // identifier asks it, and the class it names takes over.
    void Start(const TouchModel::Options& options) {
        auto model = std::make_unique<TouchModel>(options);
        model_ = model.get();
        ASSERT_NE(engine_.attach(kSlot, kPort, kAddress, std::move(model)), nullptr);
        comd_ = std::make_unique<COMD>();
        comd_->AddProcess(&process_);
        slot_ = pcomd->GetSlot(kSlot);
        ASSERT_NE(slot_, nullptr);
    }
    static TouchModel::Options Touch95(uint8_t id = 16, uint8_t features = 0x50, uint8_t ec = 2) {
        TouchModel::Options o;
        o.id = id;
        o.features = features;
        o.ecLevel = ec;
        return o;
    }
    static TouchModel::Options Elo(uint8_t id = 19) {
        TouchModel::Options o;
        o.kind = TouchModel::Kind::Elo;
        o.id = id;
        return o;
    }
    // Start, then run until the controller's online event.
    void StartOnline(const TouchModel::Options& options) {
        ASSERT_NO_FATAL_FAILURE(Start(options));
        ASSERT_TRUE(RunUntil([&] { return Online(); }, 30000)) << "never online";
        RunIdle();
    }

    void Cycle() {
        ovkhost::advanceClock(10);
        slot_->ServiceAdapter(0);
    }
    template <class Cond>
    bool RunUntil(Cond cond, int max) {
        for (int i = 0; i < max; ++i) {
            if (cond()) return true;
            Cycle();
        }
        return cond();
    }
    // Runs until the controller has nothing to do (or 3000 cycles).
    void RunIdle() {
        int quiet = 0;
        for (int i = 0; i < 3000 && quiet < 20; ++i) {
            TCHP* d = Touch();
            quiet = d && d->PendingMask() == 0 && !d->Busy() ? quiet + 1 : 0;
            Cycle();
        }
    }

    PDEV* DeviceAt() { return discovery::deviceAt(slot_, DeviceID(kSlot, kPort, kAddress)); }
    TCHP* Touch() { return dynamic_cast<TCHP*>(DeviceAt()); }
    TCH95P* T95() { return dynamic_cast<TCH95P*>(DeviceAt()); }
    TCHELOP* Elop() { return dynamic_cast<TCHELOP*>(DeviceAt()); }
    bool Online() {
        for (const PostedEvent& e : queue_.events())
            if (e.msg == POSM_SYS_DEVICE_ONLINE && e.p1 == 0x01115C0Du) return true;
        return false;
    }

    // The commands the controller received since the last call.
    std::vector<Bytes> Commands() {
        const auto& all = model_->commands();
        std::vector<Bytes> out(all.begin() + static_cast<long>(seenCommands_), all.end());
        seenCommands_ = all.size();
        return out;
    }

    // A client's screen, opened (with arguments) and, when asked, acquired.
    Screen& OpenScreen(std::vector<PosArg> args = {}, bool acquire = true, int handle = 1) {
        screens_.push_back(std::make_unique<Screen>(handle));
        Screen& s = *screens_.back();
        EXPECT_EQ(s.open(std::move(args)), 0);
        if (acquire) {
            EXPECT_EQ(s.ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
        }
        return s;
    }

    // Runs a call on the device under its lock, as the link's thread would.
    template <class F>
    auto Locked(F f) {
        TCHP* d = Touch();
        d->Lock();
        auto r = f(d);
        d->Unlock();
        return r;
    }

    // The pointer device's record.
    std::vector<ovkuinput::Event> PointerEvents() {
        const ovkuinput::Recorder* r = TouchMousePointer().Node().recorder();
        return r ? r->events() : std::vector<ovkuinput::Event>{};
    }

    TempRoot root_;
    bussim::BusEngine engine_;
    TestQueue queue_;
    TestProcess process_{99, &queue_};
    std::unique_ptr<COMD> comd_;
    Slot* slot_ = nullptr;
    TouchModel* model_ = nullptr;
    size_t seenCommands_ = 0;
    std::vector<std::unique_ptr<Screen>> screens_;
};

} // namespace touchbus
