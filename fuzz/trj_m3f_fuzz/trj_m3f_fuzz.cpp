// Arbitrary input to the TRJ and the fiscal M3 printers. The first byte picks the printer,
// the target and the state:
//   bit 0 clear: the TRJ printer; set: the fiscal M3 printer.
//   bit 1 clear: answers of the printer, a run of messages, each a length byte and that
//     many bytes (length 0xFF: the link lost the last message, 0xFE: the link acknowledged
//     it, 0xFD: the printer reset itself). Bits 2-3 pick the state before them: starting
//     up, online with print work queued and sent, online with a system command or download
//     outstanding, or in limp state (TRJ) with the print buffer held; bit 4 puts the id of
//     the outstanding command into byte 3 of each TRJ answer; bit 5 turns fiscal printing
//     off (fiscal M3) or RAS mode on (TRJ); bit 6 leaves the printer without a holder.
//   bit 1 set: writes to a holding virtual printer, each a length byte and that many bytes,
//     in the print mode of bits 2-4 (TRJ: direct, text, logo, logo definition, direct 32,
//     RAS, text on both stations with different fonts, an invalid mode; fiscal M3: fiscal,
//     text, logo, cheque, RAS, fiscal with fiscal printing off, text on the journal, an
//     invalid mode); bit 5 first defines characters from the data; bit 6 hands the data to
//     the printer as character and logo blocks (TRJ) or reads fiscal data back (fiscal M3).
#include <cstdint>
#include <string>
#include <vector>

#include "../FuzzFrames.h"
#include "../FuzzPrinter.h"
#include "PRNTM3F.h"
#include "PRNTTRJ.h"

namespace {

const DeviceID kTrjId(fuzzbus::kSlot, 0x11, 0x32);
const DeviceID kFiscalId(fuzzbus::kSlot, 0x11, 0x38);

// A virtual printer of either model holding the printer, reading in mode 2.
template <class V>
class Writer : public fuzzprinter::Writer<V> {
public:
    Writer(PDEV& p, const DeviceID& id, unsigned short mode, unsigned short stations)
        : fuzzprinter::Writer<V>(p, id, "Writer", mode, stations) {
        this->parm_.readMode = 2;
    }
};

using TrjPrinter = fuzzprinter::Printer<PRNTTRJP>;
using FiscalPrinter = fuzzprinter::Printer<PRNTM3FP>;
using TrjWriter = Writer<PRNTTRJV>;
using FiscalWriter = Writer<PRNTM3FV>;

// The link events, each a length byte: 0xFF the link lost the last message, 0xFE it
// acknowledged it, 0xFD the printer reset itself; any other length is a message (event -1).
template <class Take>
void feed(const uint8_t* data, size_t size, Take&& take) {
    fuzzframes::forEachFrame(
        data, size, 0xFD,
        [&](unsigned char event, const uint8_t*, size_t) {
            take(static_cast<int>(event), nullptr, 0);
            return size_t(0);
        },
        [&](unsigned char* m, int n) { take(-1, m, n); });
}

template <class P>
void linkEvent(P& printer, int event, const unsigned char* m, int n) {
    printer.ClearStatusBits(PRNTP_AWAITING_ACK);
    switch (event) {
    case 0xFF: printer.LastMsgLost(nullptr, 0); break;
    case 0xFE: printer.LastMsgAcked(); break;
    case 0xFD: printer.PowerOnResetInProgress(); break;
    default: printer.NewMsgRcvd(m, n); break;
    }
    printer.ClearStatusBits(PRNTP_AWAITING_ACK);
    printer.SendAnyPendingMessage();
}

int write(VDEV& v, const std::string& s) {
    int count = 0;
    return v.Write(s.data(), static_cast<unsigned>(s.size()), count);
}

void trjAnswers(unsigned char flags, const uint8_t* data, size_t size) {
    TrjPrinter printer(kTrjId);
    TrjWriter writer(printer, kTrjId, flags & 0x20 ? 128 : 1, 3);
    if (!(flags & 0x40)) printer.Hold(&writer);
    if (flags & 0x20) writer.ConfigPhysical();
    const unsigned state = (flags >> 2) & 3;
    if (state == 0) {
        printer.NowNotConfirmed();
        printer.PowerOnResetInProgress();
        printer.ClearStatusBits(PRNTP_AWAITING_ACK);
        printer.SendAnyPendingMessage();
    } else {
        write(writer, "AB\nCD\x1B" "G\x1BP");
        if (state == 2) {
            std::vector<unsigned char> blocks(2 * TRJ_BLOCK + 5, 0x5A);
            printer.TellPhys(nullptr, TRJ_TP_DEFINE_UDC, blocks.data(), static_cast<int>(blocks.size()));
            printer.SystemCommand(7);
            printer.ClearStatusBits(PRNTP_AWAITING_ACK);
            printer.SendAnyPendingMessage();
        } else {
            // Two in flight.
            printer.SendAnyPendingMessage();
            printer.LastMsgAcked();
            printer.SendAnyPendingMessage();
        }
        if (state == 3) {
            const unsigned char held[TRJ_STATUS_BYTES] = {0x80, 0x01, 0, 0, 0x10, 0, 0x08, 0x80};
            printer.NewMsgRcvd(held, TRJ_STATUS_BYTES);
        }
    }
    feed(data, size, [&](int event, unsigned char* m, int n) {
        if (event < 0 && (flags & 0x10) && n >= 4) {
            OMSGQUEUETRJ* q = printer.Queue();
            PRNTCMD* c = q->GetOutstandingSystemRequest(-1);
            if (!c) c = q->GetOutstandingPendingRequest(-1);
            m[3] = static_cast<unsigned char>(PRNTCMDTRJ::IdOf(c));
        }
        linkEvent(printer, event, m, n);
    });
    const unsigned char text[] = "RESUME";
    printer.ResumePrinting(text);
    printer.RetryPrinting(text);
    printer.SendAnyPendingMessage();
}

void trjWrites(unsigned char flags, const uint8_t* data, size_t size) {
    TrjPrinter printer(kTrjId);
    static const unsigned short kModes[] = {0, 1, 2, 16, 32, 128, 1, 7};
    const unsigned pick = (flags >> 2) & 7;
    TrjWriter writer(printer, kTrjId, kModes[pick], pick == 6 ? 3 : 1);
    printer.Hold(&writer);
    int out = 0;
    if (pick == 6) {
        writer.Stations(1);
        write(writer, "\x1B<");
        writer.Stations(3);
    }
    // Definitions of 74 bytes each, at most 70 (more than are taken).
    if (flags & 0x20) fuzzprinter::defineCharacters(writer, data, size, 74, 0, 70);
    if (flags & 0x40) {
        fuzzframes::withCopy(data, size, [&](unsigned char* copy, size_t n) {
            printer.TellPhys(nullptr, TRJ_TP_DEFINE_UDC, copy, static_cast<int>(n));
            printer.TellPhys(nullptr, TRJ_TP_DEFINE_LOGO, copy, static_cast<int>(n));
        });
    }
    writer.IOCtl(POS_PRN_HOLD_PRINTING, nullptr, 0, out);
    feed(data, size, [&](int, unsigned char* m, int n) {
        int count = 0;
        writer.Write(m, static_cast<unsigned>(n), count);
    });
    writer.IOCtl(POS_PRN_RELEASE_PRINTING, nullptr, 0, out);
    writer.IOCtl(4950, nullptr, 0, out);
}

void fiscalAnswers(unsigned char flags, const uint8_t* data, size_t size) {
    FiscalPrinter printer(kFiscalId);
    FiscalWriter writer(printer, kFiscalId, 4, 1);
    if (!(flags & 0x40)) printer.Hold(&writer);
    if (flags & 0x20) printer.DisableFiscalPrinting();
    const unsigned state = (flags >> 2) & 3;
    if (state == 0) {
        printer.NowNotConfirmed();
        printer.PowerOnResetInProgress();
    } else {
        const unsigned char fiscal[] = {0x01, 0x02, 0x03};
        int count = 0;
        writer.Write(fiscal, sizeof fiscal, count);
        writer.Mode(1);
        write(writer, "HELLO\n");
        writer.Mode(4);
        if (state == 2) printer.SystemCommand(3);
        if (state == 3) printer.SetStatusBits(M3F_LIMP);
    }
    printer.ClearStatusBits(PRNTP_AWAITING_ACK);
    printer.SendAnyPendingMessage();
    feed(data, size, [&](int event, unsigned char* m, int n) { linkEvent(printer, event, m, n); });
    const unsigned char text[] = "RESUME";
    printer.ResumePrinting(text);
    printer.RetryPrinting(text);
    unsigned char buffer[64];
    int count = 0;
    writer.Read(buffer, sizeof buffer, count);
}

void fiscalWrites(unsigned char flags, const uint8_t* data, size_t size) {
    FiscalPrinter printer(kFiscalId);
    static const unsigned short kModes[] = {4, 1, 2, 64, 128, 4, 1, 9};
    const unsigned pick = (flags >> 2) & 7;
    FiscalWriter writer(printer, kFiscalId, kModes[pick], pick == 6 ? 2 : 1);
    printer.Hold(&writer);
    int out = 0;
    if (pick == 5) writer.IOCtl(POS_PRN_DISABLE_FISCAL_PRINTING, nullptr, 0, out);
    // Definitions: a code byte and 12 glyph bytes each, at most 25.
    if (flags & 0x20) fuzzprinter::defineCharacters(writer, data, size, 13, 1, 25);
    feed(data, size, [&](int, unsigned char* m, int n) {
        int count = 0;
        writer.Write(m, static_cast<unsigned>(n), count);
        if (flags & 0x40) {
            unsigned char buffer[32];
            writer.Read(buffer, static_cast<unsigned>(n % 33), count);
        }
    });
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
    switch (flags & 3) {
    case 0: trjAnswers(flags, data + 1, size - 1); break;
    case 1: fiscalAnswers(flags, data + 1, size - 1); break;
    case 2: trjWrites(flags, data + 1, size - 1); break;
    default: fiscalWrites(flags, data + 1, size - 1); break;
    }
    return 0;
}
