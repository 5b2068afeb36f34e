// A terminal for the plug-ins of one device on the RS-485 link: the system object with an
// RS-485 slot 1 whose adapter carries the device's frames to a simulated link station
// playing a bussim model, a client process that receives the online events, clients of the
// device's virtual class with their own recording queue, and a lockstep pump for the link on
// the settable clock. A family's terminal (ScaleTerminal.h, ScanTerminal.h) names the
// device's address, its model and its clients.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ADAPTER.h"
#include "COMD.h"
#include "LinkRecords.h"
#include "ObjectSupport.h"
#include "PDEV.h"
#include "Process.h"
#include "RecordingQueue.h"
#include "SIODEVICE.h"
#include "SlotInfoNode.h"
#include "StubSlot.h"
#include "TempRoot.h"
#include "busstation.h"
#include "ovkhost.h"
#include "sydevnode.h"
#include "syresource.h"

namespace linktest {

using Bytes = std::vector<uint8_t>;

inline const unsigned char* u(const char* s) { return reinterpret_cast<const unsigned char*>(s); }

constexpr int kSlot = 1;
constexpr uint8_t kPort = 0x11;

// The adapter: every frame goes to the station at once; information frames are kept.
class WireAdapter : public ADAPTER {
public:
    WireAdapter() : ADAPTER(kSlot, 5, u("WireAdap")) {}
    int CloseDD() override { return 0; }
    int OpenDD() override { return 0; }
    int Run(int, int) override { return 0; }
    int Suspend() override { return 0; }
    int Resume() override { return 0; }
    int RequestBuffer() override {
        ++sendTurns;
        return 0;
    }
    int SendFrame(const unsigned char* record, int length) override {
        if (!record || length < 9) return 321;
        bussim::LinkFrame frame;
        frame.control = record[6];
        frame.data.assign(record + 7, record + length - 2);
        if (bussim::ctl::isInfo(frame.control)) sentInfo.push_back(frame.data);
        if (loseInfoFrames > 0 && bussim::ctl::isInfo(frame.control)) {
            --loseInfoFrames;
            return 0;
        }
        // A swallowed command reaches the station empty: acknowledged, never answered.
        if (swallowCommands > 0 && bussim::ctl::isInfo(frame.control)) {
            --swallowCommands;
            frame.data.clear();
        }
        if (station) station->receive(frame);
        return 0;
    }
    bussim::Station* station = nullptr; // not owned
    std::vector<Bytes> sentInfo;
    int loseInfoFrames = 0;
    int swallowCommands = 0;
    int sendTurns = 0;
};

// Slot 1 with the adapter and the one device on it.
class LinkSlot : public StubSlot {
public:
    LinkSlot(unsigned short adapterType, unsigned short slot) : StubSlot(adapterType, slot, "SioSlot") {}
    WireAdapter adapter;
    PDEV* device = nullptr; // not owned
    int FindAdapter(ADAPTER*& a) override {
        a = &adapter;
        return 0;
    }
    int FindPhysical(const DeviceID& id, PDEV*& d) override {
        d = device && device->GetDeviceID() == id ? device : nullptr;
        return 0;
    }
};

// A client's virtual device of class V with its own recording queue; released and closed
// when it goes.
template <class V>
class LinkClient : public V {
public:
    LinkClient(const DeviceID& id, int handle, XrmDatabase db) : V(id, handle) {
        unsigned char noRanges[32] = {};
        this->InitializeEnvironment(noRanges, 858, 0, 42);
        this->StoreProcessInformation(42, nullptr, db);
        this->destination_ = queue.destination();
    }
    ~LinkClient() override {
        if (this->IsHolding()) ioctl(POS_SYS_RELEASE_DEVICE);
        if (this->OpenCount() > 0) {
            int remaining = 0;
            this->Close(remaining);
        }
    }
    // As the request road calls the device: under its lock.
    int ioctl(int request, std::vector<PosArg> args = {}) {
        this->Lock();
        int out = 0;
        int rc = this->IOCtl(request, args.empty() ? nullptr : args.data(), static_cast<int>(args.size()), out);
        this->Unlock();
        return rc;
    }
    // A read of at most size bytes: the result, with the bytes in out.
    int read(Bytes& out, unsigned size) {
        out.assign(size, 0);
        int count = 0;
        this->Lock();
        int rc = this->Read(out.data(), size, count);
        this->Unlock();
        out.resize(rc == 0 ? static_cast<size_t>(count) : 0);
        return rc;
    }
    RecordingQueue queue;

protected:
    int openAs(const char* name, const char* className, std::vector<PosArg>& args) {
        return this->Open(u(name), u(className), args.empty() ? nullptr : args.data(), static_cast<int>(args.size()));
    }
};

// The terminal with a device of model Model at 1.11.<address> in a slot of class SlotClass (a
// LinkSlot). With lockedCycles, each cycle runs under the device's lock, as the adapter's
// polling thread does, for tests whose requests wait on threads of their own.
template <class Model, class SlotClass>
class LinkTerminal {
public:
    LinkTerminal(uint8_t address, std::string resourceFile, bool lockedCycles)
        : address_(address), resourceFile_(std::move(resourceFile)), lockedCycles_(lockedCycles) {
        ovkhost::useManualClock(true);
        ovkhost::setClock(100000);
        ovkhost::clearCaptures();
        chSetDevNodeBackend(&node_);
        previousBuilder_ = SetSlotBuilder(buildSlot);
        comd = std::make_unique<COMD>();
        slot = static_cast<SlotClass*>(comd->GetSlot(kSlot));
        process = std::make_unique<RecordingProcess>(42, &events);
        comd->AddProcess(process.get());
    }
    ~LinkTerminal() {
        if (comd && process) comd->RemoveProcess(42);
        process.reset();
        if (slot) {
            slot->device = nullptr;
            slot->adapter.station = nullptr;
        }
        if (device) {
            device->Term();
            int remaining = 0;
            while (device->OpenCount() > 0 && device->DEVICE::Close(remaining) == 0) {}
        }
        device.reset();
        station.reset();
        DestroyResources(database);
        comd.reset();
        SetSlotBuilder(previousBuilder_);
        chSetDevNodeBackend(nullptr);
        ovkhost::useManualClock(false);
    }
    LinkTerminal(const LinkTerminal&) = delete;
    LinkTerminal& operator=(const LinkTerminal&) = delete;

    // The physical device of typeId, with a station playing the model.
    template <class P = PDEV>
    P* Attach(unsigned short typeId, const typename Model::Options& options) {
        PDEV* p = nullptr;
        EXPECT_EQ(ObjectSupport::MakePhysicalObject(typeId, DeviceID(kSlot, kPort, address_), p), 0);
        if (!p) return nullptr;
        EXPECT_EQ(p->Init(), 0);
        p->Open();
        device.reset(p);
        slot->device = p;
        auto m = std::make_unique<Model>(options);
        model = m.get();
        station = std::make_unique<bussim::Station>(kPort, address_, std::move(m));
        slot->adapter.station = station.get();
        return dynamic_cast<P*>(p);
    }
    SIODEVICE& link() { return *static_cast<SIODEVICE*>(device.get()); }

    // One poll cycle: the station's answer goes to the device's link, else the device's
    // timers run; then the station ticks and 10 ms pass. With pollTimeoutsWhenAway, a station
    // taken away gives a poll time-out each cycle, as the driver reports an address that does
    // not answer.
    void Cycle() {
        if (lockedCycles_) device->Lock();
        std::optional<bussim::LinkFrame> f = station->poll();
        if (f) {
            Bytes rec = linkrec::received(kPort, address_, f->control, f->data);
            link().ProcessInput(rec.data(), static_cast<int>(rec.size()));
        } else {
            if (pollTimeoutsWhenAway && !station->present()) {
                const unsigned char timeout = 0x13;
                link().ProcessError(&timeout, 1);
            }
            link().ProcessOutput(chTime());
        }
        station->tick(chTime());
        if (lockedCycles_) device->Unlock();
        ovkhost::advanceClock(10);
    }
    void Run(int cycles = 40) {
        for (int i = 0; i < cycles; ++i) Cycle();
    }
    // Cycles until the device is online (false when it does not come within max cycles).
    bool RunUntilOnline(int max = 1000) {
        for (int i = 0; i < max && !device->Confirmed(address_); ++i) Cycle();
        return device->Confirmed(address_);
    }
    // The command payloads the model received, oldest first.
    std::vector<Bytes> Commands() const { return {model->received().begin(), model->received().end()}; }
    // A payload sent to the host as the device's next message.
    void Send(const Bytes& payload) { station->send(payload); }

    // Loads a resource file for the clients made after it.
    void Resources(const std::string& text) {
        root.write(resourceFile_, text);
        InitResources(database, root.at(resourceFile_).c_str());
    }

    TempRoot root;
    std::unique_ptr<COMD> comd;
    SlotClass* slot = nullptr;
    RecordingQueue events;
    std::unique_ptr<RecordingProcess> process;
    std::unique_ptr<PDEV> device;
    Model* model = nullptr;
    std::unique_ptr<bussim::Station> station;
    XrmDatabase database = nullptr;
    bool pollTimeoutsWhenAway = false;

private:
    static Slot* buildSlot(unsigned short slotType, unsigned short adapterType, int slotNumber) {
        if (slotNumber == kSlot && slotType == SLOT_TYPE_RS485) return new SlotClass(adapterType, kSlot);
        return nullptr;
    }

    uint8_t address_;
    std::string resourceFile_;
    bool lockedCycles_;
    SlotInfoNode node_{5};
    SlotBuilder previousBuilder_ = nullptr;
};

} // namespace linktest
