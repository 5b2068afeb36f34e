// A terminal for the display plug-ins: a private root with the code-page font files, the
// system object with an RS-485 slot 1 whose adapter carries the frames of each display to
// a simulated link station with a display model, a client process that receives the
// online events, and a lockstep pump for the link (settable clock, no threads).
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <map>
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
#include "displaymodel.h"
#include "ovkhost.h"
#include "ovknls.h"
#include "sydevnode.h"
#include "syresource.h"

namespace dsptest {

using Bytes = std::vector<uint8_t>;

inline const unsigned char* u(const char* s) { return reinterpret_cast<const unsigned char*>(s); }

// ---------------------------------------------------------------------------------------
// The bus: every display address of slot 1 may have a station. Frames the devices send go
// to their station at once, unless the test asks to lose them.

class WireAdapter : public ADAPTER {
public:
    explicit WireAdapter(int slot) : ADAPTER(slot, 5, u("WireAdap")) {}

    int ValidatePort(int port) override { return port == 0x11 || port == 0x22 ? 0 : 328; }
    int CloseDD() override { return 0; }
    int OpenDD() override { return 0; }
    int Run(int, int) override { return 0; }
    int Suspend() override { return 0; }
    int Resume() override { return 0; }
    int RequestBuffer() override {
        ++sendTurns;
        return sendTurnResult;
    }
    // The outgoing record: length (2), port, address wait, byte wait, address, control,
    // data, two check bytes.
    int SendFrame(const unsigned char* record, int length) override {
        if (!record || length < 9) return 321;
        const uint8_t address = record[5];
        bussim::LinkFrame frame;
        frame.control = record[6];
        frame.data.assign(record + 7, record + length - 2);
        lastTiming[address] = {record[3], record[4]};
        const bool info = bussim::ctl::isInfo(frame.control);
        if (info) sentInfo.push_back(frame.data);
        if (info && loseInfoFrames > 0) {
            --loseInfoFrames;
            lost.push_back(frame.data);
            return 0;
        }
        auto it = stations.find(address);
        if (it != stations.end()) it->second->receive(frame);
        return 0;
    }

    std::map<uint8_t, bussim::Station*> stations; // not owned
    std::map<uint8_t, std::pair<uint8_t, uint8_t>> lastTiming; // address and byte wait
    std::vector<Bytes> sentInfo; // data of every information frame sent
    int loseInfoFrames = 0;
    std::vector<Bytes> lost;
    int sendTurns = 0;
    int sendTurnResult = 0;
};

// Slot 1: its adapter and its devices; every other slot operation does nothing.
class DspSlot : public StubSlot {
public:
    DspSlot(unsigned short adapterType, unsigned short slot)
        : StubSlot(adapterType, slot, "SioSlot"), adapter(slot) {}

    std::vector<PDEV*> devices; // not owned
    WireAdapter adapter;

    int FindAdapter(ADAPTER*& a) override {
        a = &adapter;
        return 0;
    }
    int FindPhysical(const DeviceID& id, PDEV*& d) override {
        d = nullptr;
        if (id.slot != slotNumber_) return 326;
        for (PDEV* p : devices)
            if (p->GetDeviceID() == id) d = p;
        return 0;
    }
    int WhoIsOnline(const MsgQueueInfo& q) override {
        for (PDEV* p : devices) p->TellQueueWhosOnline(&q);
        return 0;
    }
};

inline Slot* buildDspSlot(unsigned short slotType, unsigned short adapterType, int slotNumber) {
    if (slotNumber == 1 && slotType == SLOT_TYPE_RS485) return new DspSlot(adapterType, 1);
    return nullptr;
}

// Events of the client process (a RecordingProcess on a RecordingQueue).
using Event = RecordedEvent;

// ---------------------------------------------------------------------------------------
// Virtual devices of a test: released and closed before they are deleted.

struct VdevCloser {
    void operator()(VDEV* v) const {
        if (!v) return;
        int ignored = 0;
        if (v->IsHolding()) v->IOCtl(POS_SYS_RELEASE_DEVICE, nullptr, 0, ignored);
        if (v->GetPhysical()) v->Close(ignored);
        delete v;
    }
};
template <class V>
using VdevPtr = std::unique_ptr<V, VdevCloser>;

// ---------------------------------------------------------------------------------------
// The terminal.

class DspTerminal {
public:
    static constexpr int kSlot = 1;
    static constexpr uint8_t kPort = 0x11;

    DspTerminal() {
        ovkhost::useManualClock(true);
        ovkhost::setClock(1000);
        ovkhost::clearCaptures();
        for (const int* cp = nlsCodePages; *cp; ++cp) WriteFont(*cp);
        chSetDevNodeBackend(&node_);
        previousBuilder_ = SetSlotBuilder(buildDspSlot);
        comd = std::make_unique<COMD>();
        slot = static_cast<DspSlot*>(comd->GetSlot(kSlot));
        process = std::make_unique<RecordingProcess>(42, &queue);
        comd->AddProcess(process.get());
    }
    ~DspTerminal() {
        if (comd && process) comd->RemoveProcess(42);
        process.reset();
        if (slot) {
            slot->devices.clear();
            slot->adapter.stations.clear();
        }
        for (auto& d : devices_) {
            d.device->Term();
            int remaining = 0;
            while (d.device->OpenCount() > 0 && d.device->DEVICE::Close(remaining) == 0) {}
        }
        devices_.clear();
        DestroyResources(database_);
        database_ = nullptr;
        comd.reset();
        SetSlotBuilder(previousBuilder_);
        chSetDevNodeBackend(nullptr);
        ovkhost::useManualClock(false);
    }
    DspTerminal(const DspTerminal&) = delete;
    DspTerminal& operator=(const DspTerminal&) = delete;

    void WriteFont(int codePage) {
        unsigned char bytes[512];
        ASSERT_EQ(nlsCodePageFile(codePage, bytes), 0);
        char name[40];
        std::snprintf(name, sizeof name, "/usr/share/pos/fonts/cp%05d.fon", codePage);
        root.write(name, std::string(reinterpret_cast<char*>(bytes), sizeof bytes));
    }

    // Creates the physical device registered under typeId at address and attaches it to
    // the slot's adapter; with a model, a station for it goes on the bus.
    template <class P>
    P* Attach(unsigned short typeId, uint8_t address,
              std::optional<bussim::DisplayModel::Options> model = std::nullopt) {
        PDEV* p = nullptr;
        const DeviceID id(kSlot, kPort, address);
        EXPECT_EQ(ObjectSupport::MakePhysicalObject(typeId, id, p), 0);
        if (!p) return nullptr;
        EXPECT_EQ(p->Init(), 0);
        p->Open();
        slot->devices.push_back(p);
        Wired w;
        w.device.reset(p);
        if (model) {
            auto m = std::make_unique<bussim::DisplayModel>(*model);
            w.model = m.get();
            w.station = std::make_unique<bussim::Station>(kPort, address, std::move(m));
            slot->adapter.stations[address] = w.station.get();
        }
        devices_.push_back(std::move(w));
        return dynamic_cast<P*>(p);
    }

    // The same with a device model of another kind (the graphic display's) on the station.
    template <class P>
    P* AttachModel(unsigned short typeId, uint8_t address, std::unique_ptr<bussim::DeviceModel> model) {
        P* p = Attach<P>(typeId, address);
        if (!p || !model) return p;
        Wired& w = devices_.back();
        w.anyModel = model.get();
        w.station = std::make_unique<bussim::Station>(kPort, address, std::move(model));
        slot->adapter.stations[address] = w.station.get();
        return p;
    }
    template <class M>
    M* ModelAs(uint8_t address) {
        for (auto& d : devices_)
            if (d.device->GetDeviceID().device == address) return dynamic_cast<M*>(d.anyModel);
        return nullptr;
    }

    bussim::DisplayModel* Model(uint8_t address) {
        for (auto& d : devices_)
            if (d.device->GetDeviceID().device == address) return d.model;
        return nullptr;
    }
    bussim::Station* StationAt(uint8_t address) {
        for (auto& d : devices_)
            if (d.device->GetDeviceID().device == address) return d.station.get();
        return nullptr;
    }

    // One poll cycle for every device: the station's answer goes to the device's link;
    // without one the device's timers run.
    void Cycle() {
        for (auto& d : devices_) {
            auto* dev = static_cast<SIODEVICE*>(d.device.get());
            std::optional<bussim::LinkFrame> f;
            if (d.station) f = d.station->poll();
            if (f) {
                Bytes rec = InputRecord(dev->GetDeviceID(), f->control, f->data);
                dev->ProcessInput(rec.data(), static_cast<int>(rec.size()));
            } else {
                dev->ProcessOutput(chTime());
            }
            if (d.station) d.station->tick(chTime());
        }
        ovkhost::advanceClock(10);
    }
    void Run(int cycles = 40) {
        for (int i = 0; i < cycles; ++i) Cycle();
    }

    // A received frame record: L (2), port, address, control, data, check (2).
    static Bytes InputRecord(const DeviceID& id, uint8_t control, const Bytes& data) {
        return linkrec::received(id.port, id.device, control, data);
    }

    // Opens a virtual device of typeId for the device at address, as the process would:
    // environment (code page, lead-byte ranges), process information, then Open.
    template <class V>
    VdevPtr<V> OpenVirtual(unsigned short typeId, uint8_t address, int* rc,
                                   unsigned short codePage = 858, const char* resources = nullptr,
                                   std::vector<PosArg> args = {}, const unsigned char* ranges = nullptr) {
        VDEV* v = nullptr;
        EXPECT_EQ(ObjectSupport::MakeVirtualObject(typeId, DeviceID(kSlot, kPort, address), 1, v), 0);
        VdevPtr<V> out(dynamic_cast<V*>(v));
        if (!out) {
            delete v;
            return nullptr;
        }
        unsigned char noRanges[32] = {};
        out->InitializeEnvironment(const_cast<unsigned char*>(ranges ? ranges : noRanges), codePage,
                                   0, 42);
        if (resources) {
            root.write("/etc/dsp.res", resources);
            InitResources(database_, root.at("/etc/dsp.res").c_str());
        }
        out->StoreProcessInformation(42, nullptr, database_);
        *rc = out->Open(u("display"), u("PosDisplay"), args.empty() ? nullptr : args.data(),
                        static_cast<int>(args.size()));
        return out;
    }
    std::vector<Event> OnlineEvents() const {
        std::vector<Event> out;
        for (const Event& e : queue.events())
            if (e.msg == POSM_SYS_DEVICE_ONLINE) out.push_back(e);
        return out;
    }

    TempRoot root;
    std::unique_ptr<COMD> comd;
    DspSlot* slot = nullptr;
    RecordingQueue queue;
    std::unique_ptr<RecordingProcess> process;

private:
    struct Wired {
        std::unique_ptr<PDEV> device;
        bussim::DisplayModel* model = nullptr;
        bussim::DeviceModel* anyModel = nullptr;
        std::unique_ptr<bussim::Station> station;
    };
    SlotInfoNode node_{5}; // an RS-485 adapter of type 5 in slot 1
    SlotBuilder previousBuilder_ = nullptr;
    std::vector<Wired> devices_;
    XrmDatabase database_ = nullptr;
};

} // namespace dsptest
