// A bench for the printer base: a system object with an RS-485 slot 1 whose adapter
// captures every outgoing frame record, the test printer at 1.11.36 in that slot, two client
// processes that record the events posted to every process, and virtual printers whose
// events go to a recording queue of their own. Frames come by hand (feed, reply) or from the
// simulated test printer on a bus station (round), and the link's timers run on the
// settable clock.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ADAPTER.h"
#include "COMD.h"
#include "LinkRecords.h"
#include "Process.h"
#include "RecordingQueue.h"
#include "Slot.h"
#include "SlotInfoNode.h"
#include "TempRoot.h"
#include "TestPrinter.h"
#include "busstation.h"
#include "ovkhost.h"
#include "sydevnode.h"
#include "testprintermodel.h"

namespace prntbench {

using Bytes = std::vector<unsigned char>;
using Event = RecordedEvent;
using testprinter::TestPrinterP;
using testprinter::TestPrinterV;

constexpr unsigned char kSlot = 1;
constexpr unsigned char kPort = 0x11;
constexpr unsigned char kAddress = 0x36;

class CapturingAdapter : public ADAPTER {
public:
    CapturingAdapter() : ADAPTER(kSlot, 5, reinterpret_cast<const unsigned char*>("PrntAdap")) {}
    int CloseDD() override { return 0; }
    int OpenDD() override { return 0; }
    int Run(int, int) override { return 0; }
    int RequestBuffer() override {
        ++sendTurns;
        return turnResult;
    }
    int SendFrame(const unsigned char* record, int length) override {
        frames.emplace_back(record, record + length);
        return 0;
    }
    int Suspend() override { return 0; }
    int Resume() override { return 0; }

    std::vector<Bytes> frames;
    int sendTurns = 0;
    int turnResult = 0;
};

class BenchPrinter : public TestPrinterP {
public:
    explicit BenchPrinter(ADAPTER* adapter) : TestPrinterP(DeviceID(kSlot, kPort, kAddress)) {
        adapter_ = adapter;
    }
    ~BenchPrinter() override {
        adapter_ = nullptr;
        openCount_ = 0;
    }
};

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

inline Slot* buildBenchSlot(unsigned short slotType, unsigned short adapterType, int slot) {
    if (slot != kSlot || slotType != SLOT_TYPE_RS485) return nullptr;
    return new BenchSlot(adapterType, static_cast<unsigned short>(slot));
}

// A virtual printer with its own recording queue, driven as the request road drives it.
class Client : public TestPrinterV {
public:
    explicit Client(int handle) : TestPrinterV(DeviceID(kSlot, kPort, kAddress), handle) {
        destination_ = queue.destination();
    }
    ~Client() override {
        if (IsHolding()) {
            Lock();
            int out = 0;
            IOCtl(POS_SYS_RELEASE_DEVICE, nullptr, 0, out);
            Unlock();
        }
        if (OpenCount() > 0) {
            int remaining = 0;
            Close(remaining);
        }
    }
    int ioctl(int request, std::vector<PosArg> args = {}) {
        Lock();
        int out = 0;
        int rc = IOCtl(request, args.empty() ? nullptr : args.data(), static_cast<int>(args.size()), out);
        Unlock();
        return rc;
    }
    int open(std::vector<PosArg> args = {}) {
        return Open(reinterpret_cast<const unsigned char*>("printer"),
                    reinterpret_cast<const unsigned char*>("PosPrinter"),
                    args.empty() ? nullptr : args.data(), static_cast<int>(args.size()));
    }
    int write(const std::string& text) {
        Lock();
        int count = 0;
        int rc = Write(text.data(), static_cast<unsigned>(text.size()), count);
        Unlock();
        return rc;
    }
    int chase(unsigned short stations) {
        Lock();
        int rc = SetChase(stations);
        Unlock();
        return rc;
    }
    int set(std::vector<PosArg> args) { return ioctl(POS_SYS_SET_VALUES, std::move(args)); }
    intptr_t get(const char* name) {
        PosArg a{name, -12345};
        Lock();
        int out = 0;
        const int rc = IOCtl(POS_SYS_GET_VALUES, &a, 1, out);
        Unlock();
        EXPECT_EQ(rc, 0) << name;
        return a.value;
    }
    void useDatabase(XrmDatabase db) { database_ = db; }
    RecordingQueue queue;
};

class PrinterBench : public ::testing::Test {
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
        printer_ = std::make_unique<BenchPrinter>(&adapter_);
        slot_->adapter = &adapter_;
        slot_->printer = printer_.get();
        ASSERT_EQ(comd_->AddProcess(&procA_), 0);
    }
    void TearDown() override {
        clients_.clear();
        comd_->RemoveProcess(procA_.GetProcessId());
        slot_->printer = nullptr;
        slot_->adapter = nullptr;
        station_.reset();
        printer_.reset();
        comd_.reset();
        SetSlotBuilder(previousBuilder_);
        chSetDevNodeBackend(nullptr);
        ovkhost::useManualClock(false);
    }

    BenchPrinter& printer() { return *printer_; }
    OMSGQUEUE& queue() { return *printer_->GetQueue(); }

    // A client that has opened the printer (and acquired it, unless told otherwise).
    Client& client(bool acquire = true, std::vector<PosArg> args = {}) {
        clients_.push_back(std::make_unique<Client>(static_cast<int>(clients_.size()) + 1));
        Client& c = *clients_.back();
        EXPECT_EQ(c.open(std::move(args)), 0);
        if (acquire) {
            EXPECT_EQ(c.ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
        }
        return c;
    }

    // --- frames by hand ---
    void feed(unsigned char control, const Bytes& data = {}) {
        Bytes rec = linkrec::received(kPort, kAddress, control, data);
        printer_->ProcessInput(rec.data(), static_cast<int>(rec.size()));
    }
    // An information frame from the printer that acknowledges everything sent.
    void reply(const Bytes& payload) {
        const int ns = printer_->GetReceiveSequence();
        const int nr = printer_->GetSendSequence();
        feed(static_cast<unsigned char>((nr & 7) << 5 | (ns & 7) << 1), payload);
    }
    void cycle(int ms = 0) {
        ovkhost::advanceClock(ms);
        printer_->ProcessOutput(chTime());
    }
    std::vector<linkrec::Sent> sent() {
        std::vector<linkrec::Sent> out;
        for (const Bytes& rec : adapter_.frames) {
            linkrec::Sent f = linkrec::decodeSent(rec);
            EXPECT_TRUE(f.wellFormed && f.checkOk);
            EXPECT_EQ(f.address, kAddress);
            out.push_back(f);
        }
        adapter_.frames.clear();
        return out;
    }
    std::vector<Bytes> commands() {
        std::vector<Bytes> out;
        for (const linkrec::Sent& f : sent())
            if (f.info()) out.push_back(f.data);
        return out;
    }
    // ROL, NSA, the status request answered: the printer is online.
    void bringUp() {
        feed(0x0F);
        feed(0x63);
        ASSERT_EQ(commands(), (std::vector<Bytes>{{testprinter::kStatus}}));
        reply({0x01, 0x00});
        ASSERT_TRUE(printer_->Confirmed(kAddress));
        sent();
    }

    // --- the simulated test printer on a bus station ---
    bussim::TestPrinterModel& model() { return static_cast<bussim::TestPrinterModel&>(station().model()); }
    bussim::Station& station() {
        if (!station_)
            station_ = std::make_unique<bussim::Station>(kPort, kAddress,
                                                         std::make_unique<bussim::TestPrinterModel>());
        return *station_;
    }
    // One bus round: the frames handed over reach the station, it ticks and answers one
    // poll, then the printer's link timers run.
    void round(int ms = 10) {
        bussim::Station& st = station();
        for (const Bytes& rec : adapter_.frames) {
            linkrec::Sent f = linkrec::decodeSent(rec);
            st.receive(bussim::LinkFrame{f.control, Bytes(f.data.begin(), f.data.end()), false});
        }
        adapter_.frames.clear();
        ovkhost::advanceClock(ms);
        st.tick(chTime());
        if (std::optional<bussim::LinkFrame> answer = st.poll())
            feed(answer->control, Bytes(answer->data.begin(), answer->data.end()));
        printer_->ProcessOutput(chTime());
    }
    void run(int rounds) {
        for (int i = 0; i < rounds; ++i) round();
    }
    void comeOnline() {
        for (int i = 0; i < 50 && !printer_->Confirmed(kAddress); ++i) round();
        ASSERT_TRUE(printer_->Confirmed(kAddress));
        run(5);
        queueA_.take();
    }

    TempRoot root_;
    SlotInfoNode node_{5, kSlot};
    SlotBuilder previousBuilder_ = nullptr;
    std::unique_ptr<COMD> comd_;
    BenchSlot* slot_ = nullptr;
    CapturingAdapter adapter_;
    std::unique_ptr<BenchPrinter> printer_;
    std::unique_ptr<bussim::Station> station_;
    RecordingQueue queueA_;
    RecordingProcess procA_{101, &queueA_};
    std::vector<std::unique_ptr<Client>> clients_;
};

} // namespace prntbench
