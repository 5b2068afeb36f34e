// Arbitrary input to the M2 printer. The first byte picks the target and the state:
//   bit 0 clear: answers of the printer (a run of messages, each a length byte and that many
//     bytes), with commands queued on every station and one of them outstanding; bits 1-4
//     set exclusive DI, DI printing, journal hold and interleaving;
//   bit 0 set: writes to a holding virtual printer in the print mode of bits 1-2 (text,
//     logo, check, text with emphasis), each a length byte and that many bytes; bit 3 first
//     defines characters from the data (a name byte and 7 glyph bytes each).
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "../FuzzRoot.h"
#include "ADAPTER.h"
#include "COMD.h"
#include "PRNTM2.h"
#include "Slot.h"
#include "SlotInfoNode.h"
#include "ovkhost.h"
#include "sydevnode.h"

namespace {

constexpr unsigned char kSlot = 1;
const DeviceID kId(kSlot, 0x11, 0x30);

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

class Printer : public PRNTM2P {
public:
    Printer(unsigned char flags) : PRNTM2P(kId) {
        adapter_ = gAdapter;
        exclusiveDI_ = flags & 2 ? 1 : 0;
        diPrinting_ = flags & 4 ? 1 : 0;
        holdJournal_ = flags & 8 ? 1 : 0;
        interleaved_ = flags & 16 ? 1 : 0;
        NowConfirmed();
    }
    ~Printer() override {
        owner_ = nullptr;
        adapter_ = nullptr;
        openCount_ = 0;
    }
};

// A virtual printer that holds the printer without the system object's bookkeeping.
class Writer : public PRNTM2V {
public:
    Writer(Printer& p, unsigned short mode)
        : PRNTM2V(kId, 1, reinterpret_cast<const unsigned char*>("PRNTM2V")) {
        pdev_ = &p;
        SetStatusBits(VDEV_HOLDING);
        parm_.printMode = mode;
        parm_.printStation = mode == PRN_MODE_CHECK ? 4 : 1;
    }
    ~Writer() override {
        ClearStatusBits(VDEV_HOLDING);
        pdev_ = nullptr;
    }
};

void feed(const uint8_t* data, size_t size, const std::function<void(const unsigned char*, int)>& take) {
    size_t at = 0;
    while (at < size) {
        const size_t n = data[at++];
        const size_t len = n < size - at ? n : size - at;
        // Each message in a buffer of its own size, so that a read past it is seen.
        std::unique_ptr<unsigned char[]> msg(new unsigned char[len ? len : 1]);
        if (len) std::memcpy(msg.get(), data + at, len);
        take(msg.get(), static_cast<int>(len));
        at += len;
    }
}

void answers(unsigned char flags, const uint8_t* data, size_t size) {
    Printer printer(flags);
    static const unsigned short kRows[] = {M2_LINE_CR, M2_LINE_SJ, M2_LINE_DI, M2_RELEASE_DOC,
                                           M2_REGISTER_DOC, M2_CUT, M2_FEED_SJ};
    for (unsigned short row : kRows) {
        auto* command = new PRNTCMDM2;
        const unsigned char glyph[7] = {1, 2, 3, 4, 5, 6, 7};
        command->Set(row, nullptr, 1, 3, 7, glyph, 0, 0);
        if (printer.PutQueue(command) != 0) delete command;
    }
    printer.SendAnyPendingMessage();
    feed(data, size, [&](const unsigned char* m, int n) {
        printer.ClearStatusBits(PRNTP_AWAITING_ACK);
        printer.NewMsgRcvd(m, n);
    });
    const unsigned char text[M2_LINE_BYTES] = {};
    printer.ResumePrinting(text);
    printer.RetryPrinting(text);
}

void writes(unsigned char flags, const uint8_t* data, size_t size) {
    Printer printer(0);
    static const unsigned short kModes[] = {PRN_MODE_NORMAL, PRN_MODE_LOGO, PRNTM2V::PRN_MODE_CHECK,
                                            PRN_MODE_NORMAL};
    Writer writer(printer, kModes[(flags >> 1) & 3]);
    if (flags & 8) {
        // Definitions: a name byte and 7 glyph bytes each, at most 31.
        std::vector<PosArg> args;
        size_t at = 0;
        while (at + 8 <= size && args.size() < 31) {
            args.push_back({reinterpret_cast<const char*>(static_cast<uintptr_t>(data[at])),
                            reinterpret_cast<intptr_t>(data + at + 1)});
            at += 8;
        }
        int out = 0;
        writer.IOCtl(POS_PRN_DEFINE_CHARACTERS, args.data(), static_cast<int>(args.size()), out);
    }
    if (((flags >> 1) & 3) == 3) {
        int count = 0;
        writer.Write("\x1B" "E", 2, count);
    }
    feed(data, size, [&](const unsigned char* m, int n) {
        int count = 0;
        writer.Write(m, static_cast<unsigned>(n), count);
    });
    writer.SendWritePending();
    writer.SendCheckPending();
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
    const unsigned char flags = data[0];
    if (flags & 1) writes(flags, data + 1, size - 1);
    else answers(flags, data + 1, size - 1);
    return 0;
}
