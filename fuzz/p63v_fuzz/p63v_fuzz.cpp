// Arbitrary writes to a holding model-6397 virtual printer. The first byte picks the print
// mode (bits 0-2: text, logo, flash data, load logo, RAS, raw, text, text) and the printer:
// bit 3 thermal, bit 4 double-byte mode (lead bytes 0x81-0x9F), bit 5 page mode active,
// bit 6 the document station, bit 7 a model id of 0. The rest is a run of writes, each a
// length byte and that many bytes; a write whose length byte is 0xFF is instead a tab-stop
// text (up to the next 0 byte or the end) given to SetValues.
#include <cstdint>
#include <cstring>
#include <memory>

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

// The physical printer takes the commands into its queue; nothing goes on a link.
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
};

// A virtual printer that holds the printer without the system object's bookkeeping.
class Writer : public PRNT63V {
public:
    Writer(Printer& p, unsigned char flags) : PRNT63V(kId, 1, reinterpret_cast<const unsigned char*>("PRNT63V")) {
        pdev_ = &p;
        SetStatusBits(VDEV_HOLDING);
        static const unsigned short kModes[8] = {PRN63_MODE_TEXT, PRN63_MODE_LOGO, PRN63_MODE_FLASH,
                                                 PRN63_MODE_LOAD_LOGO, PRN63_MODE_RAS, PRN63_MODE_RAW,
                                                 PRN63_MODE_TEXT, PRN63_MODE_TEXT};
        modelId_ = flags & 0x80 ? 0 : 8;
        ecLevel_ = 0x40;
        thermal_ = flags & 0x08;
        imaging_ = true;
        printFeatures_ = 0x3;
        pageModeSupported_ = true;
        pageModeActive_ = flags & 0x20;
        if (modelId_) {
            for (sWriteBuffer& b : buffers_) b.capacity = sWriteBuffer::kSize;
            transactionWindow_ = kWindowKnown;
        }
        if (flags & 0x10) {
            const unsigned char ranges[32] = {0x81, 0x9F};
            dbcs_.Build(ranges);
            dbcsActive_ = true;
        }
        if (flags & 0x40) {
            parm_.printStation = PRN63_DI;
            current_ = &buffers_[2];
        }
        parm_.printMode = kModes[flags & 7];
    }
    ~Writer() override {
        transactionActive_ = false;
        ClearStatusBits(VDEV_HOLDING);
        pdev_ = nullptr;
    }
};

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
    Printer printer;
    Writer writer(printer, data[0]);
    size_t at = 1;
    while (at < size) {
        const size_t n = data[at++];
        if (n == 0xFF) {
            // A tab-stop text, terminated here.
            size_t end = at;
            while (end < size && data[end] != 0) ++end;
            std::unique_ptr<char[]> text(new char[end - at + 1]);
            std::memcpy(text.get(), data + at, end - at);
            text[end - at] = '\0';
            PosArg arg{"printTabStops", reinterpret_cast<intptr_t>(text.get())};
            writer.SetValues(&arg, 1);
            writer.SetTabStops(text.get());
            char back[PRN63_TAB_TEXT_MIN];
            writer.GetTabStops(back, sizeof back);
            at = end + 1;
            continue;
        }
        const size_t len = n < size - at ? n : size - at;
        // Each write in a buffer of its own size, so that a read past it is seen.
        std::unique_ptr<unsigned char[]> msg(new unsigned char[len ? len : 1]);
        if (len) std::memcpy(msg.get(), data + at, len);
        int count = 0;
        writer.Write(len ? msg.get() : nullptr, static_cast<unsigned>(len), count);
        at += len;
    }
    writer.SendWritePending();
    return 0;
}
