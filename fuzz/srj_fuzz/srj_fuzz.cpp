// Arbitrary input to the SRJ printer. The first byte picks the target and the state:
//   bit 0 clear: answers of the printer (a run of messages, each a length byte and that many
//     bytes), with commands queued on every station and one of them outstanding; bits 1-3
//     set exclusive DI, DI printing and journal hold; bit 4 first sends a status with a
//     document sensed and registered, bits 5-7 pick the outstanding command's station;
//   bit 0 set: writes to a holding virtual printer in the print mode of bits 1-2 (text,
//     logo, text on receipt and journal, an unknown mode), each a length byte and that many
//     bytes; bit 3 first defines characters from the data (two code bytes and 42 pattern
//     bytes each); bit 4 hands the whole data to the printer as character definitions.
#include <cstdint>

#include "../FuzzFrames.h"
#include "../FuzzPrinter.h"
#include "PRNTSRJ.h"

namespace {

const DeviceID kId(fuzzbus::kSlot, 0x11, 0x37);

class Printer : public fuzzprinter::Printer<PRNTSRJP> {
public:
    explicit Printer(unsigned char flags) : fuzzprinter::Printer<PRNTSRJP>(kId) {
        exclusiveDI_ = flags & 2 ? 1 : 0;
        diPrinting_ = flags & 4 ? 1 : 0;
        holdJournal_ = flags & 8 ? 1 : 0;
    }
};

using Writer = fuzzprinter::Writer<PRNTSRJV>;

void answers(unsigned char flags, const uint8_t* data, size_t size) {
    Printer printer(flags);
    if (flags & 0x10) {
        const unsigned char sensed[SRJ_STATUS_BYTES] = {0x00, 0x00, 0, 0, 0, 0, 0xC4, 0xC0};
        printer.NewMsgRcvd(sensed, SRJ_STATUS_BYTES);
    }
    static const unsigned short kCodes[] = {SRJ_PRINT_CR, SRJ_PRINT_SJ, SRJ_PRINT_DI, SRJ_PRINT_CR_SJ,
                                            SRJ_RELEASE_DOC, SRJ_REGISTER_DOC, SRJ_CUT, SRJ_FEED_SJ};
    const unsigned first = (flags >> 5) & 7;
    for (unsigned i = 0; i < 8; ++i) {
        auto* command = new PRNTCMDSRJ;
        const unsigned char text[4] = {'A', 'B', 'C', 'D'};
        command->Set(kCodes[(first + i) & 7], nullptr, 1, 0, 4, text, 0, 0);
        if (printer.PutQueue(command) != 0) delete command;
    }
    printer.SendAnyPendingMessage();
    fuzzframes::forEachFrame(data, size, [&](unsigned char* m, int n) {
        printer.ClearStatusBits(PRNTP_AWAITING_ACK);
        printer.NewMsgRcvd(m, n);
        printer.ClearStatusBits(PRNTP_AWAITING_ACK);
        printer.SendAnyPendingMessage();
    });
    const unsigned char text[] = "RESUME";
    printer.ResumePrinting(text);
    printer.RetryPrinting(text);
}

void writes(unsigned char flags, const uint8_t* data, size_t size) {
    Printer printer(0);
    const unsigned modeBits = (flags >> 1) & 3;
    static const unsigned short kModes[] = {PRN_MODE_NORMAL, PRN_MODE_LOGO, PRN_MODE_NORMAL, 64};
    Writer writer(printer, kId, "PRNTSRJV", kModes[modeBits], modeBits == 2 ? 3 : 1);
    // Definitions: two code bytes and 42 pattern bytes each, at most 130.
    if (flags & 8) fuzzprinter::defineCharacters(writer, data, size, 44, 2, 130);
    if (flags & 0x10) {
        fuzzframes::withCopy(data, size, [&](unsigned char* copy, size_t n) {
            printer.TellPhys(nullptr, SRJ_TP_DEFINE_UDC, copy, static_cast<int>(n));
        });
    }
    fuzzprinter::writeFrames(writer, data, size);
    writer.SendWritePending();
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
