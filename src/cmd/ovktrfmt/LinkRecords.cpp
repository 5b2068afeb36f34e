// The link records: adapter error messages (34) and the frames received (35, 43) and sent
// (36, 44). Every count taken from a frame is bounded by the payload.
#include "CoreDecoders.h"

#include <string>

#include "NameTables.h"
#include "Payload.h"
#include "PrinterDecoder.h"
#include "ProbeTables.h"
#include "TraceFormatter.h"

namespace {

constexpr int kPrinterSlot = 1, kPrinterPort = 0x11, kPrinterDevice = 0x35;
constexpr int kFiscalDevice = 0x38;
constexpr int kBroadcastDevice = 122;

bool isPrinter(int slot, int port, int device) {
    return slot == kPrinterSlot && port == kPrinterPort && device == kPrinterDevice;
}

// The message length of a frame: byte 1, or byte 2 << 8 | byte 1 when byte 2 is set.
int frameLength(const Payload& p) { return p.u8(2) ? (p.u8(2) << 8 | p.u8(1)) : p.u8(1); }

void warningBox(TraceOutput& out, int code) {
    static const char* const k15[] = {
        "!!!!!!!!!!!!!!! Warning !!!!!!!!!!!!!!!!!!", "!                                        !",
        "! If using a 6412 Adapter, make sure the !", "! adapter is not part number 58R7730 or  !",
        "! 58R7731                                !", "!                                        !",
        "!!!!!!!!!!!!!!! Warning !!!!!!!!!!!!!!!!!!"};
    static const char* const k80[] = {
        "!!!!!!!!!!!!!!! Warning !!!!!!!!!!!!!!!!!!", "!                                        !",
        "! Let ZQX know about the occurance       !", "!                                        !",
        "!!!!!!!!!!!!!!! Warning !!!!!!!!!!!!!!!!!!"};
    const std::string indent(34, ' ');
    out.text("\n");
    if (code == 0x15)
        for (const char* line : k15) out.print("%s%s\n", indent.c_str(), line);
    else
        for (const char* line : k80) out.print("%s%s\n", indent.c_str(), line);
}

} // namespace

void FormatAdapterError(TraceOutput& out, const Payload& p) {
    out.header2("R-Error Msg", p.u8(0));
    // The length byte may claim more than the record holds.
    const int n = p.clampCount(2, p.u8(1));
    out.dumpMsg(p.from(2), n);
    const int code = p.u8(2);
    out.print(" (%s)", GetTableEntry(Error2kTable, code));
    if (code == 0x15 || code == 0x80)
        warningBox(out, code);
    else
        out.text("\n");
}

void FormatReceivedFrame(TraceFormatter& run, const Payload& p) {
    TraceOutput& out = run.out();
    const int slot = p.u8(0), port = p.u8(3), device = p.u8(4), control = p.u8(5);
    if ((control & 0x11) == 0) {
        out.header3("R-IFrame", slot, port, device);
        out.print("       %x/%x  ", control & 0x0F, control >> 4);
        const int length = frameLength(p);
        const int n = p.clampCount(6, length - 4);
        out.dumpMsg(p.from(6), n);
        out.print(" (%02x.%02x)", p.u8(length + 2), p.u8(length + 3));
        if (isPrinter(slot, port, device)) {
            DecodePrinterStatus(run, p.from(6), n);
        } else {
            out.print("\n%s", out.infoOffset3().c_str());
            out.dumpMsgAscii(p.from(6), n);
            out.print(" (%02x.%02x)", p.u8(length + 2), p.u8(length + 3));
        }
        out.text("\n");
        return;
    }
    if ((control & 0x1F) == 1) {
        out.header3("R-RR", slot, port, device);
        out.print("        /%x  ", control >> 4);
    } else {
        const char* name = control == 0x0F ? "R-ROL" : control == 0x63 ? "R-NSA" : control == 0x87 ? "R-CMDR" : "R-UNKNOWN";
        out.header3(name, slot, port, device);
        out.text("        /   ");
    }
    out.print("(%02x.%02x)\n", p.u8(6), p.u8(7));
}

void FormatSentFrame(TraceFormatter& run, const Payload& p) {
    TraceOutput& out = run.out();
    const int slot = p.u8(0), port = p.u8(3), aWait = p.u8(4), bWait = p.u8(5), device = p.u8(6);
    const int control = p.u8(7);
    if ((control & 0x11) == 0) {
        out.header3("S-IFrame", slot, port, device);
        out.print(" %02x %02x %x/%x  ", aWait, bWait, control >> 4, control & 0x0F);
        const int length = frameLength(p);
        const int n = p.clampCount(8, length - 4);
        out.dumpMsg(p.from(8), n);
        out.print(" (%02x.%02x)\n", p.u8(length + 4), p.u8(length + 5));
        if (isPrinter(slot, port, device)) {
            DecodePrinterCommands(run, p.from(8), n);
        } else {
            out.text(out.infoOffset3());
            out.dumpMsgAscii(p.from(8), n);
            out.print(" (%02x.%02x)", p.u8(length + 4), p.u8(length + 5));
        }
        if (length > 3 && device == kFiscalDevice)
            out.print("\n%s%s", out.infoOffset3().c_str(), FiscalCommands[p.u8(8 + 2)]);
        out.text("\n");
        return;
    }
    if (control == 0x83) {
        out.header3("S-SNRM", slot, port, device);
        out.print(" %02x %02x  /   (%02x.%02x)\n", aWait, bWait, p.u8(8), p.u8(9));
        return;
    }
    if (control == 0x03) {
        const int length = p.u8(1);
        if (device == kBroadcastDevice) {
            out.header3("S-BcastNSI", slot, port, kBroadcastDevice);
            out.print(" %02x %02x  /   ", aWait, bWait);
            out.dumpMsg(p.from(8), p.clampCount(8, length - 2));
        } else {
            out.header3("S-NSI", slot, port, device);
            out.print(" %02x %02x  /   ", aWait, bWait);
            out.dumpMsg(p.from(8), p.clampCount(8, length - 4));
            out.print("  (%02x.%02x)", p.u8(length + 4), p.u8(length + 6));
        }
        if (p.u8(8) == 0x00 && p.u8(9) == 0x40) out.text("  PowerOnReset");
        out.text("\n");
        return;
    }
    out.header3("S-RR", slot, port, device);
    out.print(" %02x %02x %x/   (%02x.%02x)\n", aWait, bWait, control >> 4, p.u8(8), p.u8(9));
}
