// A bench for the printer base: the slot bench with the test printer at 1.11.36 and test
// virtual printers whose events go to a recording queue of their own. Frames come by hand
// (feed, reply) or from the simulated test printer on a bus station (round).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "SlotBench.h"
#include "TestPrinter.h"
#include "testprintermodel.h"

namespace prntbench {

using testprinter::TestPrinterP;
using testprinter::TestPrinterV;

constexpr unsigned char kAddress = 0x36;

using BenchPrinter = OnAdapter<TestPrinterP, kAddress>;

// A test virtual printer with its own recording queue.
class Client : public BenchClient<TestPrinterV> {
public:
    explicit Client(int handle) : BenchClient(DeviceID(kSlot, kPort, kAddress), handle) {}
    int chase(unsigned short stations) {
        Lock();
        int rc = SetChase(stations);
        Unlock();
        return rc;
    }
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
};

class PrinterBench : public ModelBench<BenchPrinter, Client> {
protected:
    OMSGQUEUE& queue() { return *printer_->GetQueue(); }

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
    std::unique_ptr<bussim::DeviceModel> makeModel() override { return std::make_unique<bussim::TestPrinterModel>(); }
    bussim::TestPrinterModel& model() { return modelAs<bussim::TestPrinterModel>(); }
    void comeOnline() { ModelBench::comeOnline(50); }
};

} // namespace prntbench
