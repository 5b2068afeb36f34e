// A bench for the TRJ printer: its physical printer at 1.11.32 on a capturing adapter, frames
// by hand (feed, reply) or from the simulated TRJ printer on a bus station (round), and virtual printers whose events go to a recording queue of their
// own.
#pragma once

#include <string>
#include <vector>

#include "PRNTTRJ.h"
#include "PrinterBench.h"
#include "trjprintermodel.h"

namespace prntbench {

constexpr unsigned char kTrj = 0x32;

// A frame with its command id (byte 6) cleared: ids count for the whole process.
inline Bytes unsequenced(Bytes frame) {
    if (frame.size() > 6 && (frame[0] == 0x00 || frame[0] == 0x01)) frame[6] = 0;
    return frame;
}

class TrjPrinter : public PRNTTRJP {
public:
    explicit TrjPrinter(ADAPTER* adapter) : PRNTTRJP(DeviceID(kSlot, kPort, kTrj)) { adapter_ = adapter; }
    ~TrjPrinter() override {
        adapter_ = nullptr;
        openCount_ = 0;
    }
};

class TrjClient : public PRNTTRJV {
public:
    explicit TrjClient(int handle)
        : PRNTTRJV(DeviceID(kSlot, kPort, kTrj), handle, reinterpret_cast<const unsigned char*>("PRNTTRJV")) {
        destination_ = queue.destination();
    }
    ~TrjClient() override {
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
    int write(const std::string& s, int* written = nullptr) {
        Lock();
        int count = 0;
        int rc = Write(s.data(), static_cast<unsigned>(s.size()), count);
        Unlock();
        if (written) *written = count;
        return rc;
    }
    int set(std::vector<PosArg> args) { return ioctl(POS_SYS_SET_VALUES, std::move(args)); }
    RecordingQueue queue;
};

class TrjBench : public ::testing::Test {
protected:
    void SetUp() override {
        ovkhost::useManualClock(true);
        ovkhost::setClock(500000);
        ovkhost::clearCaptures();
        chSetDevNodeBackend(&node_);
        previousBuilder_ = SetSlotBuilder(buildBenchSlot);
        comd_ = std::make_unique<COMD>();
        slot_ = static_cast<BenchSlot*>(comd_->GetSlot(kSlot));
        ASSERT_NE(slot_, nullptr);
        printer_ = std::make_unique<TrjPrinter>(&adapter_);
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

    TrjPrinter& printer() { return *printer_; }
    OMSGQUEUETRJ& queue() { return *printer_->Queue(); }
    TrjClient& client(bool acquire = true) {
        clients_.push_back(std::make_unique<TrjClient>(static_cast<int>(clients_.size()) + 1));
        TrjClient& c = *clients_.back();
        EXPECT_EQ(c.Open(reinterpret_cast<const unsigned char*>("printer"),
                         reinterpret_cast<const unsigned char*>("PosPrinter"), nullptr, 0),
                  0);
        if (acquire) {
            EXPECT_EQ(c.ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
        }
        return c;
    }

    void feed(unsigned char control, const Bytes& data = {}) {
        Bytes rec = linkrec::received(kPort, kTrj, control, data);
        printer_->ProcessInput(rec.data(), static_cast<int>(rec.size()));
    }
    // An information frame that acknowledges everything sent.
    void reply(const Bytes& payload) {
        const int ns = printer_->GetReceiveSequence();
        const int nr = printer_->GetSendSequence();
        feed(static_cast<unsigned char>((nr & 7) << 5 | (ns & 7) << 1), payload);
    }
    // A receive-ready that acknowledges everything sent, without an answer.
    void ack() { feed(static_cast<unsigned char>((printer_->GetSendSequence() & 7) << 5 | 0x01)); }
    void cycle(int ms = 0) {
        ovkhost::advanceClock(ms);
        printer_->ProcessOutput(chTime());
    }
    std::vector<linkrec::Sent> sent() {
        std::vector<linkrec::Sent> out;
        for (const Bytes& rec : adapter_.frames) out.push_back(linkrec::decodeSent(rec));
        adapter_.frames.clear();
        return out;
    }
    std::vector<Bytes> commands() {
        std::vector<Bytes> out;
        for (const linkrec::Sent& f : sent())
            if (f.info()) out.push_back(f.data);
        return out;
    }
    // The 8 status bytes of an answer to the command with id: complete, ready, cut ready.
    static Bytes done(int id, unsigned char b0 = 0x80) { return {b0, 0, 0, static_cast<unsigned char>(id), 0, 0, 0x08, 0x80}; }
    // ROL, NSA, the EC level and the device information answered: online.
    void bringUp(unsigned char devtype = 0x11) {
        feed(0x0F);
        feed(0x63);
        std::vector<Bytes> c = commands();
        ASSERT_EQ(c.size(), 1u);
        ASSERT_EQ(unsequenced(c[0]), (Bytes{0x00, 0x80, 0, 0, 0, 0, 0}));
        reply({0x80, 0x02, 0x20, c[0][6], 0, 0, 0x08, 0x80});
        c = commands();
        ASSERT_EQ(c.size(), 1u);
        ASSERT_EQ(unsequenced(c[0]), (Bytes{0x00, 0x00, 0x01, 0, 0, 0, 0}));
        reply({0x80, 0x80, 0, c[0][6], 0, 0, 0x08, 0x80, 0, devtype, 0, 0, 0x30, 0, 0, 0, 0, 0});
        ASSERT_TRUE(printer_->Confirmed(kTrj));
        sent();
    }
    // A command of the table, into the printer's queue.
    void put(unsigned short code, const Bytes& data = {}, unsigned char value = 0) {
        auto* c = new PRNTCMDTRJ;
        ASSERT_EQ(c->Set(code, nullptr, value, static_cast<unsigned short>(data.size()), data.empty() ? nullptr : data.data()), 0);
        ASSERT_EQ(printer_->PutQueue(c), 0);
    }

    // --- the simulated TRJ printer on a bus station ---
    bussim::TrjPrinterModel& model() { return static_cast<bussim::TrjPrinterModel&>(station().model()); }
    bussim::Station& station() {
        if (!station_)
            station_ = std::make_unique<bussim::Station>(
                kPort, kTrj, std::make_unique<bussim::TrjPrinterModel>(bussim::TrjPrinterModel::Options{}));
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
    template <class F>
    bool until(F done, int rounds = 300) {
        for (int i = 0; i < rounds && !done(); ++i) round();
        return done();
    }
    void run(int rounds) {
        for (int i = 0; i < rounds; ++i) round();
    }
    void comeOnline() {
        ASSERT_TRUE(until([&] { return printer_->Confirmed(kTrj); }));
        run(5);
        queueA_.take();
    }

    TempRoot root_;
    SlotInfoNode node_{5, kSlot};
    SlotBuilder previousBuilder_ = nullptr;
    std::unique_ptr<COMD> comd_;
    BenchSlot* slot_ = nullptr;
    CapturingAdapter adapter_;
    std::unique_ptr<TrjPrinter> printer_;
    std::unique_ptr<bussim::Station> station_;
    RecordingQueue queueA_;
    RecordingProcess procA_{101, &queueA_};
    std::vector<std::unique_ptr<TrjClient>> clients_;
};

} // namespace prntbench
