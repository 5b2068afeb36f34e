// Arbitrary input to the M3 printer. The first byte picks the target and the state:
//   bit 0 clear: answers of the printer (a run of messages, each a length byte and that many
//     bytes), with commands queued on every station, a settings query, a raw query, a font
//     block and a MICR read, one of them outstanding (bits 5-7 pick which goes first);
//     bits 1-4 set exclusive DI, DI printing, journal hold and interleaving;
//   bit 0 set: writes to a holding virtual printer in the print mode of bits 1-2 (text,
//     logo, cheque, RAS), each a length byte and that many bytes; bit 3 first defines
//     characters from the data (a code byte and 12 glyph bytes each); bit 4 makes it a
//     double-byte printer in double-byte mode.
#include <cstdint>
#include <cstring>

#include "../FuzzFrames.h"
#include "../FuzzPrinter.h"
#include "PRNTM3.h"

namespace {

const DeviceID kId(fuzzbus::kSlot, 0x11, 0x34);

class Printer : public fuzzprinter::Printer<PRNTM3P> {
public:
    explicit Printer(unsigned char flags) : fuzzprinter::Printer<PRNTM3P>(kId) {
        exclusiveDI_ = flags & 2 ? 1 : 0;
        diPrinting_ = flags & 4 ? 1 : 0;
        holdJournal_ = flags & 8 ? 1 : 0;
        interleaved_ = flags & 16 ? 1 : 0;
    }
};

class Writer : public fuzzprinter::Writer<PRNTM3V> {
public:
    Writer(Printer& p, unsigned short mode)
        : fuzzprinter::Writer<PRNTM3V>(p, kId, "PRNTM3V", mode, mode == PRN_MODE_CHECK ? 4 : 1) {}
    // A double-byte capable printer in double-byte mode, with lead bytes 0x81-0x9F.
    void UseDoubleByte() {
        const unsigned char ranges[32] = {0x81, 0x9F};
        dbcs_.Build(ranges);
        M3Configuration c{};
        c.model = 4;
        c.dbcsMode = 1;
        c.quoteFirst = 9;
        c.quoteSecond = 2;
        c.closeWord = 3;
        config_ = c;
        dbcsFlag_ = true;
    }
};

void answers(unsigned char flags, const uint8_t* data, size_t size) {
    Printer printer(flags);
    static const unsigned short kCodes[] = {M3_LINE_CR, M3_LINE_SJ, M3_LINE_DI_07, M3_RELEASE_FORWARD,
                                            M3_REGISTER_FORWARD, M3_CUT, M3_FEED_SJ, M3_RAW_CR,
                                            M3_READ_DOLLAR, M3_MICR_READ};
    const unsigned first = (flags >> 5) & 7;
    for (size_t i = 0; i < sizeof kCodes / sizeof kCodes[0]; ++i) {
        const unsigned short code = kCodes[(i + first) % (sizeof kCodes / sizeof kCodes[0])];
        auto* command = new PRNTCMDM3;
        const unsigned char line[5] = {0x0B, 0x24, 0x00, 0x01, 0x19};
        command->Set(code, nullptr, 1, 3, code == M3_RAW_CR ? 3 : 5, line, 0, 0);
        if (printer.PutQueue(command) != 0) delete command;
    }
    unsigned char font[M3_FONT_BYTES] = {};
    printer.LoadFont(font);
    printer.SystemCommand(16);
    printer.SendAnyPendingMessage();
    fuzzframes::forEachFrame(data, size, [&](unsigned char* m, int n) {
        printer.ClearStatusBits(PRNTP_AWAITING_ACK);
        printer.NewMsgRcvd(m, n);
        printer.ClearStatusBits(PRNTP_AWAITING_ACK);
        printer.SendAnyPendingMessage();
    });
    unsigned char text[M3_TEXT_AREA] = {};
    std::memset(text, 'R', sizeof text);
    printer.TellPhys(nullptr, PRN_TP_RESUME, text, sizeof text);
    printer.TellPhys(nullptr, PRN_TP_RETRY, text, sizeof text);
}

void writes(unsigned char flags, const uint8_t* data, size_t size) {
    Printer printer(0);
    static const unsigned short kModes[] = {PRN_MODE_NORMAL, PRN_MODE_LOGO, PRNTM3V::PRN_MODE_CHECK,
                                            PRNTM3V::PRN_MODE_RAS};
    Writer writer(printer, kModes[(flags >> 1) & 3]);
    if (flags & 16) writer.UseDoubleByte();
    // Definitions: a code byte and 12 glyph bytes each, at most 25.
    if (flags & 8) fuzzprinter::defineCharacters(writer, data, size, 13, 1, 25);
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
