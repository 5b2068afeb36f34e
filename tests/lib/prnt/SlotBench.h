// The bench every printer test builds on: a system object with an RS-485 slot 1 whose adapter
// captures every outgoing frame record, one physical printer in that slot, a client process
// that records the events posted to every process, and virtual printers whose events go to a
// recording queue of their own. Frames come by hand (feed, reply) or from a simulated printer
// on a bus station (round), and the link's timers run on the settable clock.
//
// SlotBench holds what does not depend on the model; ModelBench<P, C> adds the physical
// printer P (an OnAdapter) and the virtual printers C (a BenchClient) of one model.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "COMD.h"
#include "CapturingAdapter.h"
#include "LinkRecords.h"
#include "RecordingQueue.h"
#include "SIODEVICE.h"
#include "Slot.h"
#include "SlotInfoNode.h"
#include "TempRoot.h"
#include "VDEV.h"
#include "busstation.h"
#include "ovkhost.h"
#include "printermodel.h"
#include "sydevnode.h"

namespace prntbench {

using Bytes = std::vector<unsigned char>;
using Event = RecordedEvent;

constexpr unsigned char kSlot = 1;
constexpr unsigned char kPort = 0x11;

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
        d = printer && printer->GetDeviceID() == id ? printer : nullptr;
        return 0;
    }
    int WhoIsOnline(const MsgQueueInfo& q) override {
        if (printer) printer->TellQueueWhosOnline(&q);
        return 0;
    }
    ADAPTER* adapter = nullptr; // not owned
    PDEV* printer = nullptr;    // not owned
};

// Whether an event with the message number is among the events.
inline bool hasEvent(const std::vector<Event>& events, uint32_t msg) {
    return std::any_of(events.begin(), events.end(), [msg](const Event& e) { return e.msg == msg; });
}

// The slot builder the bench installs: a BenchSlot for RS-485 slot 1, nothing elsewhere.
Slot* buildBenchSlot(unsigned short slotType, unsigned short adapterType, int slot);

// A physical printer of model P at Address on the bench's adapter. The bench owns the adapter
// and drops the printer without closing it, so the printer lets go of both when destroyed.
template <class P, unsigned char Address>
class OnAdapter : public P {
public:
    static constexpr unsigned char kLinkAddress = Address;
    explicit OnAdapter(ADAPTER* adapter, const DeviceID& id = DeviceID(kSlot, kPort, Address)) : P(id) {
        this->adapter_ = adapter;
    }
    ~OnAdapter() override {
        this->adapter_ = nullptr;
        this->openCount_ = 0;
    }
};

// A virtual printer of class V with its own recording queue, driven as the request road
// drives it (each call under its lock). Destroyed, it releases and closes what it still holds.
template <class V>
class BenchClient : public V {
public:
    template <class... Args>
    explicit BenchClient(Args&&... args) : V(std::forward<Args>(args)...) {
        this->destination_ = queue.destination();
    }
    ~BenchClient() override {
        if (this->IsHolding()) ioctl(POS_SYS_RELEASE_DEVICE);
        if (this->OpenCount() > 0) {
            int remaining = 0;
            this->Close(remaining);
        }
    }
    int open(std::vector<PosArg> args = {}, const char* name = "printer") {
        return this->Open(reinterpret_cast<const unsigned char*>(name), reinterpret_cast<const unsigned char*>("PosPrinter"),
                          args.empty() ? nullptr : args.data(), static_cast<int>(args.size()));
    }
    int ioctl(int request, std::vector<PosArg> args = {}) {
        this->Lock();
        int out = 0;
        const int rc = this->IOCtl(request, args.empty() ? nullptr : args.data(), static_cast<int>(args.size()), out);
        this->Unlock();
        return rc;
    }
    int write(const std::string& text, int* written = nullptr) {
        this->Lock();
        int count = 0;
        const int rc = this->Write(text.data(), static_cast<unsigned>(text.size()), count);
        this->Unlock();
        if (written) *written = count;
        return rc;
    }
    int set(std::vector<PosArg> args) { return ioctl(POS_SYS_SET_VALUES, std::move(args)); }
    RecordingQueue queue;
};

class SlotBench : public ::testing::Test {
protected:
    explicit SlotBench(unsigned char address) : address_(address) {}

    void SetUp() override;
    void TearDown() override;

    // The model's part of set-up and tear-down: the printer made and dropped, the virtual
    // printers dropped, and the simulated printer that station() puts on the bus.
    virtual void makePrinter() = 0;
    virtual SIODEVICE* link() = 0;
    virtual void dropPrinter() = 0;
    virtual void dropClients() = 0;
    virtual std::unique_ptr<bussim::DeviceModel> makeModel() { return nullptr; }
    // Every frame that round() hands to the station.
    virtual void seen(const linkrec::Sent&) {}

    // --- frames by hand ---
    void feed(unsigned char control, const Bytes& data = {});
    // An information frame from the printer that acknowledges everything sent.
    void reply(const Bytes& payload);
    void cycle(int ms = 0);
    // The frames sent since the last call, each well formed and to the printer's address.
    std::vector<linkrec::Sent> sent();
    // The data of the information frames among them.
    std::vector<Bytes> commands();

    // --- the simulated printer on a bus station ---
    bussim::Station& station();
    template <class M>
    M& modelAs() {
        return static_cast<M&>(station().model());
    }
    // One bus round: the frames handed over reach the station, it ticks and answers one
    // poll, then the printer's link timers run.
    void round(int ms = 10);
    void run(int rounds);
    // Rounds until the condition holds (at most `rounds`, untilRounds_ if not given).
    template <class F>
    bool until(F done) {
        return until(done, untilRounds_);
    }
    template <class F>
    bool until(F done, int rounds) {
        for (int i = 0; i < rounds && !done(); ++i) round();
        return done();
    }
    // Online on the station within `rounds`, five more rounds, the process's events read.
    void comeOnline(int rounds = 300);

    // The simulated printer rejects every command for `ms` of bus rounds, from just before
    // `work` is queued; the commands it took meanwhile. The rejects then stop.
    template <class F>
    uint64_t rejectedWithoutEnd(F work, int ms = 3000) {
        auto& printer = modelAs<bussim::PrinterModel>();
        printer.rejectNext(1000000);
        const uint64_t before = printer.commandCount();
        work();
        run(ms / 10);
        printer.rejectNext(0);
        return printer.commandCount() - before;
    }
    // What a printer may take in `ms` of rejects without end: the command, the resends at
    // once, then one a second (and one more for a client's own request).
    static uint64_t pacedBound(int ms = 3000) {
        return 2u + static_cast<uint64_t>(RejectPacer::kAtOnce) + static_cast<uint64_t>(ms / RejectPacer::kPaceMs) + 1u;
    }

    const unsigned char address_;
    int untilRounds_ = 300;
    TempRoot root_;
    SlotInfoNode node_{5, kSlot};
    SlotBuilder previousBuilder_ = nullptr;
    std::unique_ptr<COMD> comd_;
    BenchSlot* slot_ = nullptr;
    CapturingAdapter adapter_{"PrntAdap"};
    std::unique_ptr<bussim::Station> station_;
    RecordingQueue queueA_;
    RecordingProcess procA_{101, &queueA_};
};

// The bench with physical printer P (an OnAdapter) and virtual printers C, which are made
// from their handle and offer open(args, name) and ioctl(request) as BenchClient does.
template <class P, class C>
class ModelBench : public SlotBench {
protected:
    ModelBench() : SlotBench(P::kLinkAddress) {}

    void makePrinter() override { printer_ = std::make_unique<P>(&adapter_); }
    SIODEVICE* link() override { return printer_.get(); }
    void dropPrinter() override { printer_.reset(); }
    void dropClients() override { clients_.clear(); }

    P& printer() { return *printer_; }
    // A virtual printer that has opened the printer (and acquired it, unless told otherwise).
    C& client(bool acquire = true, std::vector<PosArg> args = {}) {
        clients_.push_back(std::make_unique<C>(static_cast<int>(clients_.size()) + 1));
        C& c = *clients_.back();
        EXPECT_EQ(c.open(std::move(args), deviceName_), 0);
        if (acquire) {
            EXPECT_EQ(c.ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
        }
        return c;
    }

    const char* deviceName_ = "printer";
    std::unique_ptr<P> printer_;
    std::vector<std::unique_ptr<C>> clients_;
};

} // namespace prntbench
