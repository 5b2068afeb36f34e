// A bench for the cash-drawer plug-in: a system object with an RS-485 slot 1 whose adapter
// captures every outgoing frame record, the unit at 1.11.54 in that slot, two client
// processes that record the events posted to every process, and virtual devices whose
// events go to a recording queue of their own. Frames from the unit are fed by hand (or by
// a simulated unit, see the wire tests) and the link's timers run on the settable clock.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ADAPTER.h"
#include "ALARM.h"
#include "CDP.h"
#include "COMD.h"
#include "CapturingAdapter.h"
#include "LinkRecords.h"
#include "ObjectSupport.h"
#include "Process.h"
#include "RecordingQueue.h"
#include "Slot.h"
#include "SlotInfoNode.h"
#include "TILL.h"
#include "TempRoot.h"
#include "ovkhost.h"
#include "sydevnode.h"

namespace tillbench {

using Bytes = std::vector<unsigned char>;

constexpr unsigned char kSlot = 1;
constexpr unsigned char kPort = 0x11;

// ---------------------------------------------------------------------------------------
// Events.

using Event = RecordedEvent;
using ClientProcess = RecordingProcess;

// ---------------------------------------------------------------------------------------
// Adapter, unit and slot.

// The unit, attached to the bench's adapter without the slot's start-up.
class BenchCDP : public CDP {
public:
    explicit BenchCDP(ADAPTER* adapter) : CDP(DeviceID(kSlot, kPort, TILL_DRAWER1_ADDRESS)) {
        adapter_ = adapter;
    }
    ~BenchCDP() override {
        adapter_ = nullptr;
        openCount_ = 0;
    }
};

// Slot 1: finds the bench's unit for 0x54 and the two pseudo-addresses.
class BenchSlot : public Slot {
public:
    BenchSlot(unsigned short adapterType, unsigned short slot) : Slot(adapterType, slot, "SioSlot") {}
    int Init() override { return 0; }
    int Term() override { return 0; }
    int FindAdapter(ADAPTER*& a) override {
        a = adapter;
        return a ? 0 : 327;
    }
    int FindPhysical(const DeviceID& id, PDEV*& d) override {
        d = nullptr;
        DeviceID mapped = id;
        MapApplAddrToSIO(mapped);
        if (unit && unit->GetDeviceID() == mapped) d = unit;
        return 0;
    }
    int WhoIsOnline(const MsgQueueInfo& q) override {
        if (unit) unit->TellQueueWhosOnline(&q);
        return 0;
    }
    ADAPTER* adapter = nullptr; // not owned
    PDEV* unit = nullptr;       // not owned
};

inline Slot* buildBenchSlot(unsigned short slotType, unsigned short adapterType, int slot) {
    if (slot != kSlot || slotType != SLOT_TYPE_RS485) return nullptr;
    return new BenchSlot(adapterType, static_cast<unsigned short>(slot));
}

// ---------------------------------------------------------------------------------------
// Virtual devices with their own recording queue.

template <class V>
class Client : public V {
public:
    Client(unsigned char device, int handle)
        : V(DeviceID(kSlot, kPort, device), handle) {
        this->destination_ = queue.destination();
    }
    ~Client() override {
        // A test may end with the device still held or open.
        if (this->IsHolding()) {
            this->Lock();
            int out = 0;
            this->IOCtl(POS_SYS_RELEASE_DEVICE, nullptr, 0, out);
            this->Unlock();
        }
        if (this->OpenCount() > 0) {
            int remaining = 0;
            this->Close(remaining);
        }
    }
    // As the request road calls the device: under its lock.
    int ioctl(int request, std::vector<PosArg> args = {}) {
        this->Lock();
        int out = 0;
        int rc = this->IOCtl(request, args.empty() ? nullptr : args.data(),
                             static_cast<int>(args.size()), out);
        this->Unlock();
        return rc;
    }
    int open(std::vector<PosArg> args = {}, const char* name = "drawer",
             const char* className = "PosDrawer") {
        return this->Open(reinterpret_cast<const unsigned char*>(name),
                          reinterpret_cast<const unsigned char*>(className),
                          args.empty() ? nullptr : args.data(), static_cast<int>(args.size()));
    }
    intptr_t get(const char* name) {
        PosArg a{name, -12345};
        this->Lock();
        int out = 0;
        const int rc = this->IOCtl(POS_SYS_GET_VALUES, &a, 1, out);
        this->Unlock();
        EXPECT_EQ(rc, 0) << name;
        return a.value;
    }
    void useDatabase(XrmDatabase db) { this->database_ = db; }
    RecordingQueue queue;
};

using Drawer = Client<TILL>;
using Alarm = Client<ALARM>;

// ---------------------------------------------------------------------------------------
// Frame records.

// A record from the unit.
inline Bytes inRecord(unsigned char control, const Bytes& data) {
    return linkrec::received(kPort, TILL_DRAWER1_ADDRESS, control, data);
}

using OutFrame = linkrec::Sent;

// A record to the unit, checked for the unit's port, address and wait times.
inline OutFrame decodeOut(const Bytes& rec) {
    const OutFrame f = linkrec::decodeSent(rec);
    EXPECT_TRUE(f.wellFormed);
    EXPECT_TRUE(f.checkOk);
    EXPECT_EQ(f.port, kPort);
    EXPECT_EQ(f.addressWait, 192); // the unit's address wait
    EXPECT_EQ(f.byteWait, 144);    // and byte wait
    EXPECT_EQ(f.address, TILL_DRAWER1_ADDRESS);
    return f;
}

// ---------------------------------------------------------------------------------------
// The bench.

class TillBench : public ::testing::Test {
protected:
    void SetUp() override {
        ovkhost::useManualClock(true);
        ovkhost::setClock(500000);
        ovkhost::clearCaptures();
        chSetDevNodeBackend(&node_);
        previousBuilder_ = SetSlotBuilder(buildBenchSlot);
        comd_ = std::make_unique<COMD>();
        ASSERT_EQ(pcomd, comd_.get());
        slot_ = static_cast<BenchSlot*>(comd_->GetSlot(kSlot));
        ASSERT_NE(slot_, nullptr);
        unit_ = std::make_unique<BenchCDP>(&adapter_);
        slot_->adapter = &adapter_;
        slot_->unit = unit_.get();
        ASSERT_EQ(comd_->AddProcess(&procA_), 0);
        ASSERT_EQ(comd_->AddProcess(&procB_), 0);
    }
    void TearDown() override {
        drawer1_.reset();
        drawer2_.reset();
        alarm_.reset();
        comd_->RemoveProcess(procA_.GetProcessId());
        comd_->RemoveProcess(procB_.GetProcessId());
        slot_->unit = nullptr;
        slot_->adapter = nullptr;
        unit_.reset();
        comd_.reset();
        SetSlotBuilder(previousBuilder_);
        chSetDevNodeBackend(nullptr);
        ovkhost::useManualClock(false);
    }

    CDP& unit() { return *unit_; }

    // Feeds one frame from the unit.
    void feed(unsigned char control, const Bytes& data = {}) {
        Bytes rec = inRecord(control, data);
        unit_->ProcessInput(rec.data(), static_cast<int>(rec.size()));
    }
    // An information frame from the unit that acknowledges everything the host sent.
    void reply(const Bytes& payload) {
        const int ns = unit_->GetReceiveSequence();
        const int nr = unit_->GetSendSequence();
        feed(static_cast<unsigned char>((nr & 7) << 5 | (ns & 7) << 1), payload);
    }
    // One adapter cycle after ms of settable time.
    void cycle(int ms = 0) {
        ovkhost::advanceClock(ms);
        unit_->ProcessOutput(chTime());
    }
    // Frames sent since the last call.
    std::vector<OutFrame> sent() {
        std::vector<OutFrame> out;
        for (const Bytes& rec : adapter_.frames) out.push_back(decodeOut(rec));
        adapter_.frames.clear();
        return out;
    }
    // The payloads of the information frames sent since the last call.
    std::vector<Bytes> commands() {
        std::vector<Bytes> out;
        for (const OutFrame& f : sent())
            if (f.info()) out.push_back(f.data);
        return out;
    }
    // Request online, link reset, the status request answered with `state` and the
    // pulse times accepted. Leaves no frames and no events behind.
    void bringUp(unsigned char state = 0x00) {
        feed(0x0F); // ROL
        feed(0x63); // NSA
        ASSERT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x80}}));
        reply({state, 0x18, 0x21});
        ASSERT_EQ(commands(), (std::vector<Bytes>{{0x80, 0x01, 0x38, 0x80, 0x01, 0x38, 0x80}}));
        reply({state, 0x08, 0x21});
        std::vector<OutFrame> rest = sent();
        ASSERT_EQ(rest.size(), 1u);
        EXPECT_EQ(rest[0].control & 0x1F, 0x01); // RR
        EXPECT_EQ(unit_->PendingMask(), 0u);
        queueA_.take();
        queueB_.take();
    }

    // Opened and acquired virtual devices.
    Drawer& drawer1(std::vector<PosArg> args = {}) {
        return open(drawer1_, TILL_DRAWER1_ADDRESS, 1, std::move(args));
    }
    Drawer& drawer2(std::vector<PosArg> args = {}) {
        return open(drawer2_, TILL_DRAWER2_ADDRESS, 2, std::move(args));
    }
    Alarm& alarm() {
        alarm_ = std::make_unique<Alarm>(TILL_ALARM_ADDRESS, 3);
        EXPECT_EQ(alarm_->open({}, "alarm", "PosAlarm"), 0);
        EXPECT_EQ(alarm_->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
        return *alarm_;
    }

    TempRoot root_;
    SlotInfoNode node_{5, kSlot}; // an RS-485 adapter of type 5 in slot 1
    SlotBuilder previousBuilder_ = nullptr;
    std::unique_ptr<COMD> comd_;
    BenchSlot* slot_ = nullptr;
    CapturingAdapter adapter_{"TillAdap"};
    std::unique_ptr<BenchCDP> unit_;
    RecordingQueue queueA_, queueB_;
    ClientProcess procA_{101, &queueA_};
    ClientProcess procB_{102, &queueB_};
    std::unique_ptr<Drawer> drawer1_, drawer2_;
    std::unique_ptr<Alarm> alarm_;

private:
    Drawer& open(std::unique_ptr<Drawer>& d, unsigned char device, int handle, std::vector<PosArg> args) {
        d = std::make_unique<Drawer>(device, handle);
        EXPECT_EQ(d->open(std::move(args)), 0);
        EXPECT_EQ(d->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
        return *d;
    }
};

} // namespace tillbench
