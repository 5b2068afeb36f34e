// Arbitrary writes to a holding model-6397 virtual printer. The first byte picks the print
// mode (bits 0-2: text, logo, flash data, load logo, RAS, raw, text, text) and the printer:
// bit 3 thermal, bit 4 double-byte mode (lead bytes 0x81-0x9F), bit 5 page mode active,
// bit 6 the document station, bit 7 a model id of 0. The rest is a run of writes, each a
// length byte and that many bytes; a write whose length byte is 0xFF is instead a tab-stop
// text (up to the next 0 byte or the end) given to SetValues.
#include <cstdint>
#include <cstring>
#include <memory>

#include "../FuzzFrames.h"
#include "../FuzzPrinter.h"
#include "PRNT63P.h"
#include "PRNT63V.h"

namespace {

const DeviceID kId(fuzzbus::kSlot, 0x11, 0x35);

// The physical printer takes the commands into its queue; nothing goes on a link.
using Printer = fuzzprinter::Printer<PRNT63P>;

// The virtual printer in the print mode and state the flags pick.
class Writer : public fuzzprinter::Writer<PRNT63V> {
public:
    Writer(Printer& p, unsigned char flags) : fuzzprinter::Writer<PRNT63V>(p, kId, "PRNT63V") {
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
    ~Writer() override { transactionActive_ = false; }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzbus::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzclock::restart();
    if (size < 1) return 0;
    Printer printer(kId);
    Writer writer(printer, data[0]);
    const auto tabStops = [&](unsigned char, const uint8_t* rest, size_t restSize) {
        // A tab-stop text, up to the next 0 byte or the end.
        size_t end = 0;
        while (end < restSize && rest[end] != 0) ++end;
        std::unique_ptr<char[]> text(new char[end + 1]);
        std::memcpy(text.get(), rest, end);
        text[end] = '\0';
        PosArg arg{"printTabStops", reinterpret_cast<intptr_t>(text.get())};
        writer.SetValues(&arg, 1);
        writer.SetTabStops(text.get());
        char back[PRN63_TAB_TEXT_MIN];
        writer.GetTabStops(back, sizeof back);
        return end + 1;
    };
    fuzzframes::forEachFrame(data + 1, size - 1, 0xFF, tabStops, [&](unsigned char* m, int n) {
        int count = 0;
        writer.Write(n ? m : nullptr, static_cast<unsigned>(n), count);
    });
    writer.SendWritePending();
    return 0;
}
