// The USB records of the HID devices: writes (400, 405), reads (401, 406), feature reports
// got (402, 407) and set (403, 408). The records of the first form carry the device in byte 2
// and the data from byte 4 on (slot 8, port 0x11); those of the second carry slot, port and
// device in bytes 4 to 6 and the data from byte 8 on. Byte 3 is the usage byte in both.
#include "CoreDecoders.h"

#include <string>

#include "Payload.h"
#include "PrinterDecoder.h"
#include "TraceFormatter.h"

namespace {

constexpr int kPrinterDevice = 0x35;

struct UsbHead {
    int slot, port, device, usage, dataStart;
};

UsbHead usbHead(uint32_t minor, const Payload& p) {
    const int usage = p.u8(3);
    if (minor <= 403) return {8, 0x11, (usage & 0x80) ? 255 : p.u8(2), usage, 4};
    return {p.u8(4), p.u8(5), p.u8(6), usage, 8};
}

void prefix(TraceOutput& out, const char* name, const UsbHead& h) {
    out.header3(name, h.slot, h.port, h.device);
    out.print(" %02x %02x r=%x  ", 0, 0, h.usage & 0x0F);
}

void write(TraceFormatter& run, const Payload& p, const UsbHead& h) {
    TraceOutput& out = run.out();
    const bool printer = h.device == kPrinterDevice;
    // The printer's data begins with its length word, which does not count itself.
    const int n = printer ? p.clampCount(h.dataStart, p.u16(h.dataStart) + 2L) : p.restFrom(h.dataStart);
    const uint8_t* data = p.from(h.dataStart);
    out.dumpMsgOffset(data, n);
    out.text("\n");
    if (printer) {
        // The commands follow a 6-byte head.
        const int head = n < 6 ? n : 6;
        DecodePrinterCommands(run, data + head, n - head);
    } else {
        const std::string indent = out.indent(18) + " |";
        out.text(indent);
        out.dumpMsgAscii(data, n, indent);
    }
    out.text("\n");
}

void read(TraceFormatter& run, const Payload& p, const UsbHead& h) {
    TraceOutput& out = run.out();
    const int n = p.restFrom(h.dataStart);
    const uint8_t* data = p.from(h.dataStart);
    out.dumpMsg(data, n);
    if (h.device == kPrinterDevice) {
        DecodeUsbPrinterStatus(run, data, n);
    } else {
        out.print("\n%s", out.infoOffset3().c_str());
        out.dumpMsgAscii(data, n);
    }
    out.text("\n");
}

} // namespace

bool FormatUsbRecord(TraceFormatter& run, uint32_t minor, const Payload& p) {
    TraceOutput& out = run.out();
    if (minor < 400 || minor > 408 || minor == 404) return false;
    const UsbHead h = usbHead(minor, p);
    const int n = p.restFrom(h.dataStart);
    const uint8_t* data = p.from(h.dataStart);
    switch (minor) {
    case 400: case 405: prefix(out, "HIDWrite", h); write(run, p, h); break;
    case 401: case 406: prefix(out, "HIDRead", h); read(run, p, h); break;
    case 402: case 407:
        prefix(out, "HIDGetFeat", h);
        out.print("\n%sData:  ", out.infoOffset3().c_str());
        if (n > 0)
            out.dumpMsg(data, n);
        else
            out.text("<<< NO DATA >>>");
        out.text("\n");
        break;
    default: // 403, 408
        prefix(out, "HIDSetFeat", h);
        out.dumpMsg(data, n);
        out.text("\n");
        out.blank();
        out.dumpMsgAscii(data, n);
        out.text("\n");
        break;
    }
    return true;
}
