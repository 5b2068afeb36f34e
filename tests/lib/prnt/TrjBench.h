// A bench for the TRJ printer: the slot bench with its physical printer at 1.11.32, frames by
// hand (feed, reply, ack) or from the simulated TRJ printer on a bus station (round), and
// virtual printers whose events go to a recording queue of their own.
#pragma once

#include <string>
#include <vector>

#include "PRNTTRJ.h"
#include "SlotBench.h"
#include "trjprintermodel.h"

namespace prntbench {

constexpr unsigned char kTrj = 0x32;

// A frame with its command id (byte 6) cleared: ids count for the whole process.
inline Bytes unsequenced(Bytes frame) {
    if (frame.size() > 6 && (frame[0] == 0x00 || frame[0] == 0x01)) frame[6] = 0;
    return frame;
}

using TrjPrinter = OnAdapter<PRNTTRJP, kTrj>;

class TrjClient : public BenchClient<PRNTTRJV> {
public:
    explicit TrjClient(int handle)
        : BenchClient(DeviceID(kSlot, kPort, kTrj), handle, reinterpret_cast<const unsigned char*>("PRNTTRJV")) {}
};

class TrjBench : public ModelBench<TrjPrinter, TrjClient> {
protected:
    OMSGQUEUETRJ& queue() { return *printer_->Queue(); }

    // A receive-ready that acknowledges everything sent, without an answer.
    void ack() { feed(static_cast<unsigned char>((printer_->GetSendSequence() & 7) << 5 | 0x01)); }
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
    std::unique_ptr<bussim::DeviceModel> makeModel() override {
        return std::make_unique<bussim::TrjPrinterModel>(bussim::TrjPrinterModel::Options{});
    }
    bussim::TrjPrinterModel& model() { return modelAs<bussim::TrjPrinterModel>(); }
};

} // namespace prntbench
