// A terminal for the scanner plug-ins: the system object with an RS-485 slot 1 whose
// adapter carries the scanner's frames to a simulated link station playing the scanner
// model, a client process that receives the online events, clients of the scanner's
// virtual class with their own recording queue, and a lockstep pump for the link on the
// settable clock (no threads).
#pragma once

#include <gtest/gtest.h>

#include <cstring>
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
#include "SCP.h"
#include "SCV.h"
#include "SIODEVICE.h"
#include "SlotInfoNode.h"
#include "StubSlot.h"
#include "TempRoot.h"
#include "busstation.h"
#include "ovkhost.h"
#include "scannermodel.h"
#include "sydevnode.h"
#include "syresource.h"

namespace scantest {

using Bytes = std::vector<uint8_t>;
using Event = RecordedEvent;
using bussim::ScannerModel;

inline const unsigned char* u(const char* s) { return reinterpret_cast<const unsigned char*>(s); }

constexpr int kSlot = 1;
constexpr uint8_t kPort = 0x11;
constexpr uint8_t kAddress = 0x4A;

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

class ScanSlot : public StubSlot {
public:
    ScanSlot(unsigned short adapterType, unsigned short slot) : StubSlot(adapterType, slot, "SioSlot") {}
    WireAdapter adapter;
    PDEV* device = nullptr; // not owned
    long madeType = 0;      // the class an identifier asked for (none is made here)
    int MakePhysical(const DeviceID&, long type, PDEV*& d) override {
        madeType = type;
        d = nullptr;
        return 321;
    }
    int FindAdapter(ADAPTER*& a) override {
        a = &adapter;
        return 0;
    }
    int FindPhysical(const DeviceID& id, PDEV*& d) override {
        d = device && device->GetDeviceID() == id ? device : nullptr;
        return 0;
    }
    int WhoIsOnline(const MsgQueueInfo& q) override {
        if (device) device->TellQueueWhosOnline(&q);
        return 0;
    }
};

inline Slot* buildScanSlot(unsigned short slotType, unsigned short adapterType, int slotNumber) {
    if (slotNumber == kSlot && slotType == SLOT_TYPE_RS485) return new ScanSlot(adapterType, kSlot);
    return nullptr;
}

// A client's virtual scanner with its own recording queue; released and closed when it goes.
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
        return this->Open(u("scanner"), u("PosScanner"), args.empty() ? nullptr : args.data(),
                          static_cast<int>(args.size()));
    }
    // As the request road calls the device: under its lock.
    int ioctl(int request, std::vector<PosArg> args = {}) {
        this->Lock();
        int out = 0;
        int rc = this->IOCtl(request, args.empty() ? nullptr : args.data(), static_cast<int>(args.size()), out);
        this->Unlock();
        return rc;
    }
    intptr_t get(const char* name) {
        PosArg a{name, -12345};
        this->Lock();
        int out = 0;
        EXPECT_EQ(this->IOCtl(POS_SYS_GET_VALUES, &a, 1, out), 0) << name;
        this->Unlock();
        return a.value;
    }
    // A read of at most size bytes: the result, with the bytes in out.
    int read(Bytes& out, unsigned size = 4096) {
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

class ScanTerminal {
public:
    ScanTerminal() {
        ovkhost::useManualClock(true);
        ovkhost::setClock(100000);
        ovkhost::clearCaptures();
        chSetDevNodeBackend(&node_);
        previousBuilder_ = SetSlotBuilder(buildScanSlot);
        comd = std::make_unique<COMD>();
        slot = static_cast<ScanSlot*>(comd->GetSlot(kSlot));
        process = std::make_unique<RecordingProcess>(42, &events);
        comd->AddProcess(process.get());
    }
    ~ScanTerminal() {
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
    ScanTerminal(const ScanTerminal&) = delete;
    ScanTerminal& operator=(const ScanTerminal&) = delete;

    // The physical scanner of typeId at 1.11.4A, with a station playing the model.
    template <class P>
    P* Attach(unsigned short typeId, const ScannerModel::Options& options) {
        PDEV* p = nullptr;
        EXPECT_EQ(ObjectSupport::MakePhysicalObject(typeId, DeviceID(kSlot, kPort, kAddress), p), 0);
        if (!p) return nullptr;
        EXPECT_EQ(p->Init(), 0);
        p->Open();
        device.reset(p);
        slot->device = p;
        auto m = std::make_unique<ScannerModel>(options);
        model = m.get();
        station = std::make_unique<bussim::Station>(kPort, kAddress, std::move(m));
        slot->adapter.station = station.get();
        return dynamic_cast<P*>(p);
    }
    SIODEVICE& link() { return *static_cast<SIODEVICE*>(device.get()); }

    // One poll cycle: the station's answer goes to the device's link, else the device's
    // timers run; then the station ticks and 10 ms pass.
    void Cycle() {
        std::optional<bussim::LinkFrame> f = station->poll();
        if (f) {
            Bytes rec = linkrec::received(kPort, kAddress, f->control, f->data);
            link().ProcessInput(rec.data(), static_cast<int>(rec.size()));
        } else {
            link().ProcessOutput(chTime());
        }
        station->tick(chTime());
        ovkhost::advanceClock(10);
    }
    void Run(int cycles = 40) {
        for (int i = 0; i < cycles; ++i) Cycle();
    }
    // Cycles until the device is online (false when it does not come within max cycles).
    bool RunUntilOnline(int max = 1000) {
        for (int i = 0; i < max; ++i) {
            if (device->Confirmed(kAddress)) return true;
            Cycle();
        }
        return device->Confirmed(kAddress);
    }
    // The command payloads the model received, oldest first.
    std::vector<Bytes> Commands() const { return {model->received().begin(), model->received().end()}; }
    // A payload sent to the host as the scanner's next message.
    void Send(const Bytes& payload) { station->send(payload); }

    // Loads a resource file for the clients made after it.
    void Resources(const std::string& text) {
        root.write("/etc/scan.res", text);
        InitResources(database, root.at("/etc/scan.res").c_str());
    }
    template <class V>
    std::unique_ptr<Client<V>> MakeClient(int handle = 1) {
        return std::make_unique<Client<V>>(handle, database);
    }

    TempRoot root;
    std::unique_ptr<COMD> comd;
    ScanSlot* slot = nullptr;
    RecordingQueue events;
    std::unique_ptr<RecordingProcess> process;
    std::unique_ptr<PDEV> device;
    ScannerModel* model = nullptr;
    std::unique_ptr<bussim::Station> station;
    XrmDatabase database = nullptr;

private:
    SlotInfoNode node_{5};
    SlotBuilder previousBuilder_ = nullptr;
};

} // namespace scantest
