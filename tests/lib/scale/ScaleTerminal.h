// A terminal for the scale plug-ins: the system object with an RS-485 slot 1 whose adapter
// carries the frames of one device at 1.11.6E to a simulated link station playing the scale
// model, a client process that receives the online events, clients of the scale's virtual
// class, and a pump for the link on the settable clock. A client's read waits for the scale
// with the device unlocked, so reads run on a thread of their own while the test pumps the
// link, taking the device lock as the adapter's polling thread does.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <string>
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
#include "VDEV.h"
#include "busstation.h"
#include "ovkclockwaits.h"
#include "ovkhost.h"
#include "scalemodel.h"
#include "sydevnode.h"
#include "syresource.h"

namespace scaletest {

using Bytes = std::vector<uint8_t>;
using Event = RecordedEvent;
using bussim::ScaleModel;

inline const unsigned char* u(const char* s) { return reinterpret_cast<const unsigned char*>(s); }

constexpr int kSlot = 1;
constexpr uint8_t kPort = 0x11;
constexpr uint8_t kAddress = 0x6E;

class WireAdapter : public ADAPTER {
public:
    WireAdapter() : ADAPTER(kSlot, 5, u("WireAdap")) {}
    int CloseDD() override { return 0; }
    int OpenDD() override { return 0; }
    int Run(int, int) override { return 0; }
    int Suspend() override { return 0; }
    int Resume() override { return 0; }
    int RequestBuffer() override { return 0; }
    int SendFrame(const unsigned char* record, int length) override {
        if (!record || length < 9) return 321;
        bussim::LinkFrame frame;
        frame.control = record[6];
        frame.data.assign(record + 7, record + length - 2);
        if (station) station->receive(frame);
        return 0;
    }
    bussim::Station* station = nullptr; // not owned
};

class ScaleSlot : public StubSlot {
public:
    ScaleSlot(unsigned short adapterType, unsigned short slot) : StubSlot(adapterType, slot, "SioSlot") {}
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

inline Slot* buildScaleSlot(unsigned short slotType, unsigned short adapterType, int slotNumber) {
    if (slotNumber == kSlot && slotType == SLOT_TYPE_RS485) return new ScaleSlot(adapterType, kSlot);
    return nullptr;
}

// A client's virtual scale, released and closed when it goes.
template <class V>
class Client : public V {
public:
    explicit Client(int handle = 1, XrmDatabase db = nullptr) : V(DeviceID(kSlot, kPort, kAddress), handle) {
        unsigned char noRanges[32] = {};
        this->InitializeEnvironment(noRanges, 858, 0, 42);
        this->StoreProcessInformation(42, nullptr, db);
        this->destination_ = queue.destination();
    }
    ~Client() override {
        if (this->IsHolding()) ioctl(POS_SYS_RELEASE_DEVICE);
        if (this->OpenCount() > 0) {
            int remaining = 0;
            this->Close(remaining);
        }
    }
    int open(std::vector<PosArg> args = {}) {
        return this->Open(u("scale"), u("PosScale"), args.empty() ? nullptr : args.data(),
                          static_cast<int>(args.size()));
    }
    int ioctl(int request, std::vector<PosArg> args = {}) {
        this->Lock();
        int out = 0;
        int rc = this->IOCtl(request, args.empty() ? nullptr : args.data(), static_cast<int>(args.size()), out);
        this->Unlock();
        return rc;
    }
    int read(Bytes& out, unsigned size = 8) {
        out.assign(size, 0);
        int count = 0;
        this->Lock();
        int rc = this->Read(out.data(), size, count);
        this->Unlock();
        out.resize(rc == 0 ? static_cast<size_t>(count) : 0);
        return rc;
    }
    RecordingQueue queue;
};

class ScaleTerminal {
public:
    ScaleTerminal() {
        ovkhost::useManualClock(true);
        ovkhost::setClock(100000);
        ovkhost::clearCaptures();
        chSetDevNodeBackend(&node_);
        previousBuilder_ = SetSlotBuilder(buildScaleSlot);
        comd = std::make_unique<COMD>();
        slot = static_cast<ScaleSlot*>(comd->GetSlot(kSlot));
        process = std::make_unique<RecordingProcess>(42, &events);
        comd->AddProcess(process.get());
    }
    ~ScaleTerminal() {
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
    ScaleTerminal(const ScaleTerminal&) = delete;
    ScaleTerminal& operator=(const ScaleTerminal&) = delete;

    // The device of typeId at 1.11.6E (a scale or the identifier), with a station playing
    // the model.
    PDEV* Attach(unsigned short typeId, const ScaleModel::Options& options) {
        PDEV* p = nullptr;
        EXPECT_EQ(ObjectSupport::MakePhysicalObject(typeId, DeviceID(kSlot, kPort, kAddress), p), 0);
        if (!p) return nullptr;
        EXPECT_EQ(p->Init(), 0);
        p->Open();
        device.reset(p);
        slot->device = p;
        auto m = std::make_unique<ScaleModel>(options);
        model = m.get();
        station = std::make_unique<bussim::Station>(kPort, kAddress, std::move(m));
        slot->adapter.station = station.get();
        return p;
    }
    SIODEVICE& link() { return *static_cast<SIODEVICE*>(device.get()); }

    void Cycle() {
        device->Lock();
        std::optional<bussim::LinkFrame> f = station->poll();
        if (f) {
            Bytes rec = linkrec::received(kPort, kAddress, f->control, f->data);
            link().ProcessInput(rec.data(), static_cast<int>(rec.size()));
        } else {
            link().ProcessOutput(chTime());
        }
        station->tick(chTime());
        device->Unlock();
        ovkhost::advanceClock(10);
    }
    void Run(int cycles = 40) {
        for (int i = 0; i < cycles; ++i) Cycle();
    }
    bool RunUntilOnline(int max = 1000) {
        for (int i = 0; i < max && !device->Confirmed(kAddress); ++i) Cycle();
        return device->Confirmed(kAddress);
    }
    // Runs a request that waits for the scale on a thread of its own and pumps the link
    // until it is done (at most max cycles): its result.
    template <class F>
    int WhilePumping(F request, int max = 3000) {
        std::future<int> done = std::async(std::launch::async, request);
        for (int i = 0; i < max; ++i) {
            if (done.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready) break;
            // Give the request time to queue its command and wait before each cycle.
            done.wait_for(std::chrono::milliseconds(1));
            Cycle();
        }
        return done.get();
    }
    // The same, moving the clock on only while the request sleeps on it, so that its time-out
    // falls at its exact time however late its thread runs: its result.
    template <class F>
    int WhileAsleep(F request, int max = 3000) {
        std::future<int> done = std::async(std::launch::async, request);
        for (int i = 0; i < max; ++i) {
            // The request works, or has not yet reached its wait: a bounded real wait for it.
            for (int w = 0; w < 10000 && ovkhost::clockWaitsAsleep() == 0; ++w)
                if (done.wait_for(std::chrono::milliseconds(1)) == std::future_status::ready) break;
            if (done.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready) break;
            Cycle();
        }
        return done.get();
    }
    std::vector<Bytes> Commands() const { return {model->received().begin(), model->received().end()}; }
    void Send(const Bytes& payload) { station->send(payload); }

    void Resources(const std::string& text) {
        root.write("/etc/scale.res", text);
        InitResources(database, root.at("/etc/scale.res").c_str());
    }
    template <class V>
    std::unique_ptr<Client<V>> MakeClient(int handle = 1) {
        return std::make_unique<Client<V>>(handle, database);
    }

    TempRoot root;
    std::unique_ptr<COMD> comd;
    ScaleSlot* slot = nullptr;
    RecordingQueue events;
    std::unique_ptr<RecordingProcess> process;
    std::unique_ptr<PDEV> device;
    ScaleModel* model = nullptr;
    std::unique_ptr<bussim::Station> station;
    XrmDatabase database = nullptr;

private:
    SlotInfoNode node_{5};
    SlotBuilder previousBuilder_ = nullptr;
};

} // namespace scaletest
