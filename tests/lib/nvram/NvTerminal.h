// A terminal for the NVRAM plug-ins (and other bus devices with a model of their own): the display tests' slot and wire adapter carry the
// frames of each bus NVRAM to a simulated station with an NVRAM model, the adapter also
// serves its own NVRAM from a simulated driver node, and a pump runs the link in lockstep
// on the settable clock while a client thread waits for the device's answer.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "DspTerminal.h"
#include "NVMMP.h"
#include "NVPOWERV.h"
#include "NVV.h"
#include "busengine.h"
#include "nvrammodel.h"

namespace nvtest {

using Bytes = std::vector<uint8_t>;
using dsptest::u;

// The wire adapter, with the adapter's own NVRAM served by a simulated driver node.
class NvAdapter : public dsptest::WireAdapter {
public:
    explicit NvAdapter(bussim::BusEngine& node) : WireAdapter(1), node_(node) {
        node_.open("/dev/ovkdcs", fd_);
    }
    void GetLocalNvramInfo(NvramInfoStruct& info) override {
        unsigned char rec[56] = {};
        rec[4] = 1;
        node_.ioctl(fd_, bussim::req::kNvramInfo, rec, sizeof rec);
        info.driverValue[0] = word(rec + 48);
        info.driverValue[1] = word(rec + 24);
        info.driverValue[2] = word(rec + 20);
        info.size = 1024;
        info.deviceClass = 8100;
        info.port = 0x11;
    }
    int NvramRead(void* record, int length) override { return transfer(bussim::req::kNvramRead, record, length); }
    int NvramWrite(void* record, int length) override {
        ++nvramWrites;
        return transfer(bussim::req::kNvramWrite, record, length);
    }
    int nvramWrites = 0;

private:
    static uint32_t word(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
    int transfer(unsigned long request, void* record, int length) {
        if (length != 2064) return 321;
        node_.ioctl(fd_, request, record, 2064);
        return static_cast<unsigned char*>(record)[0];
    }
    bussim::BusEngine& node_;
    int fd_ = -1;
};

class NvSlot : public dsptest::DspSlot {
public:
    NvSlot(unsigned short adapterType, unsigned short slot) : DspSlot(adapterType, slot) {}
    int FindAdapter(ADAPTER*& a) override {
        a = nvAdapter;
        return a ? 0 : 327;
    }
    int FindPhysical(const DeviceID& id, PDEV*& d) override {
        DeviceID key = id;
        if (key.device == POWER_ADDRESS_B) key.device = NVRAM_ADDRESS_B;
        return DspSlot::FindPhysical(key, d);
    }
    NvAdapter* nvAdapter = nullptr; // not owned
};

inline Slot* buildNvSlot(unsigned short slotType, unsigned short adapterType, int slotNumber) {
    if (slotNumber == 1 && slotType == SLOT_TYPE_RS485) return new NvSlot(adapterType, 1);
    return nullptr;
}

inline bussim::NvramModel::Options cop() { return {bussim::NvramModel::Kind::Cop, 0x10}; }
inline bussim::NvramModel::Options ocr() { return {bussim::NvramModel::Kind::Ocr, 0x10}; }

class NvTerminal {
public:
    static constexpr int kSlot = 1;
    static constexpr uint8_t kPort = 0x11;

    explicit NvTerminal(const bussim::TerminalDescription& node = bussim::TerminalDescription::standard())
        : engine(node), adapter(engine) {
        ovkhost::useManualClock(true);
        ovkhost::setClock(1000);
        ovkhost::clearCaptures();
        chSetDevNodeBackend(&slotInfo_);
        previous_ = SetSlotBuilder(buildNvSlot);
        comd = std::make_unique<COMD>();
        slot = static_cast<NvSlot*>(comd->GetSlot(kSlot));
        slot->nvAdapter = &adapter;
        process = std::make_unique<RecordingProcess>(42, &queue);
        comd->AddProcess(process.get());
    }
    ~NvTerminal() {
        if (comd && process) comd->RemoveProcess(42);
        process.reset();
        slot->devices.clear();
        adapter.stations.clear();
        for (auto& d : devices_) {
            d.device->Term();
            int remaining = 0;
            while (d.device->OpenCount() > 0 && d.device->DEVICE::Close(remaining) == 0) {}
        }
        devices_.clear();
        comd.reset();
        SetSlotBuilder(previous_);
        chSetDevNodeBackend(nullptr);
        ovkhost::useManualClock(false);
    }
    NvTerminal(const NvTerminal&) = delete;
    NvTerminal& operator=(const NvTerminal&) = delete;

    // The physical device of typeId at address, initialised and open; with model options a
    // station for it goes on the bus.
    template <class P>
    P* Attach(unsigned short typeId, uint8_t address, const bussim::NvramModel::Options* model) {
        return AttachModel<P>(typeId, address, model ? std::make_unique<bussim::NvramModel>(*model) : nullptr);
    }
    // The same with any device model (or none).
    template <class P>
    P* AttachModel(unsigned short typeId, uint8_t address, std::unique_ptr<bussim::DeviceModel> model) {
        PDEV* p = nullptr;
        EXPECT_EQ(ObjectSupport::MakePhysicalObject(typeId, DeviceID(kSlot, kPort, address), p), 0);
        if (!p) return nullptr;
        Wired w;
        if (model) {
            w.model = model.get();
            w.station = std::make_unique<bussim::Station>(kPort, address, std::move(model));
            adapter.stations[address] = w.station.get();
        }
        initResult = p->Init();
        if (initResult != 0) {
            delete p;
            return nullptr;
        }
        p->Open();
        slot->devices.push_back(p);
        w.device.reset(p);
        devices_.push_back(std::move(w));
        return dynamic_cast<P*>(p);
    }
    bussim::NvramModel* Model(uint8_t address) { return ModelAs<bussim::NvramModel>(address); }
    template <class M>
    M* ModelAs(uint8_t address) {
        for (auto& d : devices_)
            if (d.device->GetDeviceID().device == address) return dynamic_cast<M*>(d.model);
        return nullptr;
    }
    bussim::Station* StationAt(uint8_t address) {
        for (auto& d : devices_)
            if (d.device->GetDeviceID().device == address) return d.station.get();
        return nullptr;
    }

    // One poll cycle, each device locked as the adapter manager locks it. With
    // pollTimeoutsWhenAway, a station taken away gives a poll time-out each cycle, as the
    // driver reports an address that does not answer.
    void Cycle() {
        if (beforeCycle) beforeCycle();
        for (auto& d : devices_) {
            if (!d.station) continue;
            auto* dev = static_cast<SIODEVICE*>(d.device.get());
            dev->Lock();
            std::optional<bussim::LinkFrame> f = d.station->poll();
            if (f) {
                Bytes rec = linkrec::received(kPort, dev->GetDeviceID().device, f->control, f->data);
                dev->ProcessInput(rec.data(), static_cast<int>(rec.size()));
            } else {
                if (pollTimeoutsWhenAway && !d.station->present()) {
                    const unsigned char timeout = 0x13;
                    dev->ProcessError(&timeout, 1);
                }
                dev->ProcessOutput(chTime());
            }
            dev->Unlock();
            d.station->tick(chTime());
        }
        ovkhost::advanceClock(10);
    }
    void Run(int cycles = 60) {
        for (int i = 0; i < cycles; ++i) Cycle();
    }
    // Runs `call` on a client thread, pumping the link until it returns.
    int Client(const std::function<int()>& call) {
        std::atomic<bool> done{false};
        int rc = -1;
        std::thread t([&] {
            rc = call();
            done = true;
        });
        while (!done) {
            Cycle();
            std::this_thread::yield();
        }
        t.join();
        return rc;
    }

    // A virtual device of typeId for the device at address, opened as the process would.
    template <class V>
    dsptest::VdevPtr<V> Open(unsigned short typeId, uint8_t address, int* rc, std::vector<PosArg> args = {}) {
        VDEV* v = nullptr;
        EXPECT_EQ(ObjectSupport::MakeVirtualObject(typeId, DeviceID(kSlot, kPort, address), 1, v), 0);
        dsptest::VdevPtr<V> out(dynamic_cast<V*>(v));
        if (!out) {
            delete v;
            return nullptr;
        }
        unsigned char noRanges[32] = {};
        out->InitializeEnvironment(noRanges, 858, 0, 42);
        out->StoreProcessInformation(42, nullptr, database_);
        *rc = out->Open(u("nvram"), u("PosNvram"), args.empty() ? nullptr : args.data(),
                        static_cast<int>(args.size()));
        return out;
    }
    // An NVV opened and acquired in `mode`.
    dsptest::VdevPtr<NVV> Nvram(uint8_t address, int mode = NVRAM_MODE_DIRECT, int cursor = 0) {
        int rc = -1;
        auto v = Open<NVV>(NVV_TYPE_ID, address, &rc, {{"nvramMode", mode}, {"nvramCursor", cursor}});
        EXPECT_EQ(rc, 0);
        if (v) {
            EXPECT_EQ(Ioctl(*v, POS_SYS_ACQUIRE_DEVICE), 0);
        }
        return v;
    }
    static void Release(VDEV& v) { EXPECT_EQ(Ioctl(v, POS_SYS_RELEASE_DEVICE), 0); }
    // An I/O control as the request road makes it: under the device's lock.
    static int Ioctl(VDEV& v, int request, std::vector<PosArg> args = {}) {
        int out = 0;
        v.Lock();
        const int rc = v.IOCtl(request, args.empty() ? nullptr : args.data(), static_cast<int>(args.size()), out);
        v.Unlock();
        return rc;
    }
    int Write(NVV& v, const std::string& data) {
        return Client([&] {
            int n = 0;
            v.Lock();
            int rc = v.Write(data.data(), static_cast<unsigned>(data.size()), n);
            v.Unlock();
            return rc;
        });
    }
    // The record read, or the error code as "#<code>".
    std::string Read(NVV& v, unsigned size = 2048) {
        std::string buffer(size, '\0');
        int n = 0;
        const int rc = Client([&] {
            v.Lock();
            int r = v.Read(&buffer[0], size, n);
            v.Unlock();
            return r;
        });
        if (rc != 0) return "#" + std::to_string(rc);
        return buffer.substr(0, static_cast<size_t>(n));
    }

    bussim::BusEngine engine;
    NvAdapter adapter;
    TempRoot root;
    std::unique_ptr<COMD> comd;
    NvSlot* slot = nullptr;
    RecordingQueue queue;
    std::unique_ptr<RecordingProcess> process;
    int initResult = 0;
    bool pollTimeoutsWhenAway = false;
    // Run at the start of every cycle, no device locked (a test's fault at its moment).
    std::function<void()> beforeCycle;

private:
    struct Wired {
        std::unique_ptr<PDEV> device;
        bussim::DeviceModel* model = nullptr;
        std::unique_ptr<bussim::Station> station;
    };
    SlotInfoNode slotInfo_{5};
    SlotBuilder previous_ = nullptr;
    std::vector<Wired> devices_;
    XrmDatabase database_ = nullptr;
};

// Hex of bytes, spaced ("03 00 01").
inline std::string Hex(const Bytes& b) {
    std::string out;
    char t[4];
    for (size_t i = 0; i < b.size(); ++i) {
        std::snprintf(t, sizeof t, i ? " %02X" : "%02X", b[i]);
        out += t;
    }
    return out;
}

} // namespace nvtest
