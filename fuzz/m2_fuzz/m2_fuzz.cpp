// Arbitrary input to the M2 printer. The first byte picks the target and the state:
//   bit 0 clear: answers of the printer (a run of messages, each a length byte and that many
//     bytes), with commands queued on every station and one of them outstanding; bits 1-4
//     set exclusive DI, DI printing, journal hold and interleaving;
//   bit 0 set: writes to a holding virtual printer in the print mode of bits 1-2 (text,
//     logo, check, text with emphasis), each a length byte and that many bytes; bit 3 first
//     defines characters from the data (a name byte and 7 glyph bytes each).
#include <cstdint>

#include "../FuzzFrames.h"
#include "../FuzzPrinter.h"
#include "PRNTM2.h"

namespace {

const DeviceID kId(fuzzbus::kSlot, 0x11, 0x30);

class Printer : public fuzzprinter::Printer<PRNTM2P> {
public:
    explicit Printer(unsigned char flags) : fuzzprinter::Printer<PRNTM2P>(kId) {
        exclusiveDI_ = flags & 2 ? 1 : 0;
        diPrinting_ = flags & 4 ? 1 : 0;
        holdJournal_ = flags & 8 ? 1 : 0;
        interleaved_ = flags & 16 ? 1 : 0;
    }
};

using Writer = fuzzprinter::Writer<PRNTM2V>;

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
    fuzzframes::forEachFrame(data, size, [&](unsigned char* m, int n) {
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
    const unsigned short mode = kModes[(flags >> 1) & 3];
    Writer writer(printer, kId, "PRNTM2V", mode, mode == PRNTM2V::PRN_MODE_CHECK ? 4 : 1);
    // Definitions: a name byte and 7 glyph bytes each, at most 31.
    if (flags & 8) fuzzprinter::defineCharacters(writer, data, size, 8, 1, 31);
    if (((flags >> 1) & 3) == 3) {
        int count = 0;
        writer.Write("\x1B" "E", 2, count);
    }
    fuzzprinter::writeFrames(writer, data, size);
    writer.SendWritePending();
    writer.SendCheckPending();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzbus::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzclock::restart();
    if (size < 1) return 0;
    const unsigned char flags = data[0];
    if (flags & 1) writes(flags, data + 1, size - 1);
    else answers(flags, data + 1, size - 1);
    return 0;
}
