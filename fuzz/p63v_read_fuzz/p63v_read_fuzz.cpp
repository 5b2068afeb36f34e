// The model-6397 virtual printer's read path, flash and image escapes: arbitrary reports of
// the physical printer (TellVirt 3 and 11 to 17), text with the flash and image escapes,
// then a read in every mode. The first byte picks the state: bit 0 raw print mode, bit 1
// imaging, bit 2 a record length of 10 (else none). The rest is a run of items, each a kind
// byte, a length byte and that many bytes: kind 0-7 a report (3, 11-17), 8 a text write,
// 9 a read in the mode of its first byte into a buffer of the size of its second byte
// times 8.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "../FuzzRoot.h"
#include "ADAPTER.h"
#include "COMD.h"
#include "PRNT63P.h"
#include "PRNT63V.h"
#include "Slot.h"
#include "SlotInfoNode.h"
#include "ovkhost.h"
#include "sydevnode.h"

namespace {

constexpr unsigned char kSlot = 1;
const DeviceID kId(kSlot, 0x11, 0x35);

class NullAdapter : public ADAPTER {
public:
    NullAdapter() : ADAPTER(kSlot, 5, reinterpret_cast<const unsigned char*>("FuzzAdap")) {}
    int CloseDD() override { return 0; }
    int OpenDD() override { return 0; }
    int Run(int, int) override { return 0; }
    int RequestBuffer() override { return 0; }
    int SendFrame(const unsigned char*, int) override { return 0; }
    int Suspend() override { return 0; }
    int Resume() override { return 0; }
};

class FuzzSlot : public Slot {
public:
    FuzzSlot(unsigned short adapterType, unsigned short slot) : Slot(adapterType, slot, "SioSlot") {}
    int Init() override { return 0; }
    int Term() override { return 0; }
};

Slot* buildSlot(unsigned short slotType, unsigned short adapterType, int slot) {
    if (slot != kSlot || slotType != SLOT_TYPE_RS485) return nullptr;
    return new FuzzSlot(adapterType, static_cast<unsigned short>(slot));
}

NullAdapter* gAdapter = nullptr;

class Printer : public PRNT63P {
public:
    Printer() : PRNT63P(kId) {
        adapter_ = gAdapter;
        NowConfirmed();
    }
    ~Printer() override {
        owner_ = nullptr;
        adapter_ = nullptr;
        openCount_ = 0;
    }
    void Own(VDEV* v) { owner_ = v; }
};

// A virtual printer that holds the printer without the open and acquire of the request road.
class Fuzz63V : public PRNT63V {
public:
    Fuzz63V(Printer& p, unsigned char flags) : PRNT63V(kId, 1, reinterpret_cast<const unsigned char*>("PRNT63V")) {
        pdev_ = &p;
        SetStatusBits(VDEV_HOLDING);
        if (flags & 1) parm_.printMode = PRN63_MODE_RAW;
        imaging_ = flags & 2;
        printFeatures_ |= 0x1;
        flashAvailable_ = 65279;
        if (flags & 4) {
            recordLength_ = 10;
            maxRecords_ = flashAvailable_ / 10;
        }
    }
    ~Fuzz63V() override {
        ClearStatusBits(VDEV_HOLDING);
        DiscardMicrData(PRN63_READ_FLASH);
        pdev_ = nullptr;
    }
    void SetReadMode(unsigned short m) { parm_.readMode = m; }
};

void run(unsigned char flags, const uint8_t* data, size_t size) {
    Printer printer;
    Fuzz63V v(printer, flags);
    printer.Own(&v);
    static const int kCodes[] = {3, 11, 12, 13, 14, 15, 16, 17};
    static const unsigned short kModes[] = {1, 3, 4, 5, 153, 255, 0, 2};
    size_t at = 0;
    while (at + 2 <= size) {
        const unsigned kind = data[at];
        size_t n = data[at + 1];
        at += 2;
        if (n > size - at) n = size - at;
        // Each item in a buffer of its own size, so that a read past it is seen.
        std::unique_ptr<unsigned char[]> item(new unsigned char[n ? n : 1]);
        if (n) std::memcpy(item.get(), data + at, n);
        at += n;
        if (kind < 8) {
            v.TellVirt(&printer, kCodes[kind], n ? item.get() : nullptr, static_cast<int>(n));
        } else if (kind == 8) {
            int count = 0;
            v.WriteText(item.get(), static_cast<unsigned>(n), count);
            if (count < 0 || static_cast<size_t>(count) > n) __builtin_trap();
        } else if (n >= 2) {
            v.SetReadMode(kModes[item[0] & 7]);
            const size_t size8 = size_t(item[1]) * 8;
            std::unique_ptr<unsigned char[]> buf(new unsigned char[size8 ? size8 : 1]);
            int got = 0;
            v.Read(buf.get(), static_cast<unsigned>(size8), got);
            if (got < 0 || static_cast<size_t>(got) > size8) __builtin_trap();
        }
    }
    for (unsigned short mode : kModes) {
        v.SetReadMode(mode);
        unsigned char buf[4096];
        int got = 0;
        v.Read(buf, sizeof buf, got);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzroot::usePrivateRoot();
    ovkhost::useManualClock(true);
    chSetDevNodeBackend(new SlotInfoNode(5, kSlot));
    SetSlotBuilder(buildSlot);
    new COMD(); // the system object lives for the run (pcomd)
    gAdapter = new NullAdapter();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    run(data[0], data + 1, size - 1);
    return 0;
}
