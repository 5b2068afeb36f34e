// A terminal for the scanner plug-ins (LinkTerminal.h): one scanner at 1.11.4A with a
// simulated link station playing the scanner model, clients of the scanner's virtual class,
// and a lockstep pump for the link (no threads).
#pragma once

#include <cstring>
#include <memory>
#include <vector>

#include "LinkTerminal.h"
#include "SCP.h"
#include "SCV.h"
#include "scannermodel.h"

namespace scantest {

using Bytes = linktest::Bytes;
using Event = RecordedEvent;
using bussim::ScannerModel;
using linktest::kPort;
using linktest::kSlot;
using linktest::u;

constexpr uint8_t kAddress = 0x4A;

// The link slot, which also answers who is online and records the class an identifier asks
// for (none is made here).
class ScanSlot : public linktest::LinkSlot {
public:
    using LinkSlot::LinkSlot;
    long madeType = 0;
    int MakePhysical(const DeviceID&, long type, PDEV*& d) override {
        madeType = type;
        d = nullptr;
        return 321;
    }
    int WhoIsOnline(const MsgQueueInfo& q) override {
        if (device) device->TellQueueWhosOnline(&q);
        return 0;
    }
};

// A client's virtual scanner with its own recording queue; released and closed when it goes.
template <class V>
class Client : public linktest::LinkClient<V> {
public:
    explicit Client(int handle = 1, XrmDatabase db = nullptr)
        : linktest::LinkClient<V>(DeviceID(kSlot, kPort, kAddress), handle, db) {}
    int open(std::vector<PosArg> args = {}) { return this->openAs("scanner", "PosScanner", args); }
    intptr_t get(const char* name) {
        PosArg a{name, -12345};
        this->Lock();
        int out = 0;
        EXPECT_EQ(this->IOCtl(POS_SYS_GET_VALUES, &a, 1, out), 0) << name;
        this->Unlock();
        return a.value;
    }
    int read(Bytes& out, unsigned size = 4096) { return linktest::LinkClient<V>::read(out, size); }
};

class ScanTerminal : public linktest::LinkTerminal<ScannerModel, ScanSlot> {
public:
    ScanTerminal() : LinkTerminal(kAddress, "/etc/scan.res", false) {}

    template <class V>
    std::unique_ptr<Client<V>> MakeClient(int handle = 1) {
        return std::make_unique<Client<V>>(handle, database);
    }
};

} // namespace scantest
