// Component 0: the records of the device server core, the client API entry points, the link
// and the devices. Filters: P (-P hides the device layer), S (-S hides the exchange-buffer
// records), A (the remote API records, shown only with -A), T (-T hides free text), W (write
// data: -P, or data that begins with a markup tag).
#include "RecordFormatters.h"

#include <string>

#include "CoreDecoders.h"
#include "NameTables.h"
#include "Payload.h"
#include "ProbeTables.h"
#include "TextRecord.h"
#include "TraceFormatter.h"

namespace {

enum class Filter { None, P, S, A, T, W };

bool hidden(const FormatOptions& o, Filter f, const Payload& p) {
    switch (f) {
    case Filter::P: return o.hideDevice;
    case Filter::S: return o.hideSio;
    case Filter::A: return !o.showTcp;
    case Filter::T: return o.hideText;
    case Filter::W: return o.hideDevice || p.u8(0) == '<';
    case Filter::None: return false;
    }
    return false;
}

Filter filterOf(uint32_t minor) {
    switch (minor) {
    case 42: return Filter::T;
    case 64: case 404: return Filter::None;
    case 100: case 101: case 102: case 28673: case 28674: case 28675: return Filter::S;
    case 250: case 251: case 252: case 253: case 254: case 255: return Filter::A;
    case 301: case 302: case 303: case 304: case 305: case 306: case 307: case 700: case 701:
    case 702: return Filter::W;
    case 200: case 201: case 400: case 401: case 402: case 403: case 405: case 406: case 407:
    case 408: return Filter::None; // the HID switch decides
    default: break;
    }
    if (minor <= 23 || (minor >= 32 && minor <= 44) || minor == 65 || (minor >= 72 && minor <= 78) ||
        minor == 1024 || (minor >= 600 && minor <= 651) || (minor >= 703 && minor <= 705))
        return Filter::P;
    return Filter::None;
}

// "rc=OK" and the success text, or the result's error name.
void result(TraceOutput& out, const Payload& p, const char* okText) {
    const int32_t rc = p.i32(0);
    if (rc == 0)
        out.print(okText, p.i32(4));
    else
        out.print("rc=%s", GetTableEntry(ErrnoTable, rc));
}

// Write and read data: the hex dump with the 9-blank indent, then the character dump with
// the 7-blank indent; with a copy label the dumps also go to the copy file.
void dataDump(TraceOutput& out, const Payload& p, const char* copyLabel, bool characters, bool indented) {
    if (copyLabel) {
        out.setCopyActive(true);
        out.copyOnly(copyLabel);
    }
    if (indented)
        out.dumpMsgOffset2(p.data(), p.length());
    else
        out.dumpMsg(p.data(), p.length());
    if (characters) {
        out.printBoth("\n");
        out.blankna();
        out.text(" |");
        out.dumpMsgAsciiOffset(p.data(), p.length());
    }
    out.printBoth("\n");
    out.setCopyActive(false);
}

const char* const kInitTerm[] = {"Reuse", "CRT", "Probe", "Heap", "Semaphore", "COMD"};

} // namespace

int FormatCoreRecord(TraceFormatter& run, uint32_t minor, const uint8_t* payload, int length,
                     const char*, const char*, const char*) {
    TraceOutput& out = run.out();
    const FormatOptions& o = run.options();
    const Payload p(payload, length);
    CoreState& state = run.core();

    if (minor >= 400 && minor <= 408) state.hid = true;
    if ((minor == 200 || minor == 201) && state.hid) {
        if (!o.cumulative) return 1;
        out.text("\n");
        return 0;
    }
    if (minor == 42) {
        std::string text = p.text(0, p.length());
        RemoveFinalLineFeed(text);
        const bool sycomd = text.size() > 6 && text.compare(0, 7, "SYCOMD:") == 0;
        if (o.hideText && !sycomd) return 1;
        if (sycomd) state.sendLineCount = state.receiveLineCount = 0;
        out.header("Text");
        out.print("%s\n", text.c_str());
        return 0;
    }
    if (hidden(o, filterOf(minor), p)) return 1;

    switch (minor) {
    case 1:
        out.header(">>PosInit");
        // The count is the fourth word: {name, resource file, arguments, count, 0, 0}.
        out.print("Application Name=%lx, ResourceFile=%lx, nargs=%d\n", static_cast<unsigned long>(p.u32(0)),
                  static_cast<unsigned long>(p.u32(4)), p.i32(12));
        break;
    case 2:
        out.header(">>PosOpen");
        out.print("Device Name=0x%lx, DeviceClass=0x%lx, nargs=%d\n", static_cast<unsigned long>(p.u32(0)),
                  static_cast<unsigned long>(p.u32(4)), p.i32(12));
        break;
    case 3:
        out.header(">>PosClose");
        out.print("Handle=%ld\n", static_cast<long>(p.i32(0)));
        break;
    case 4: case 5:
        out.header(minor == 4 ? ">>PosRead" : ">>PosWrite");
        out.print("Handle=%d, Buffer=0x%lx, Length=%d\n", p.i32(0), static_cast<unsigned long>(p.u32(4)), p.i32(8));
        break;
    case 6:
        out.header(">>PosIOCtl");
        out.print("Handle=%d, %s, nargs=%d\n", p.i32(0), GetTableEntry(IOCtlTable, p.i32(4)), p.i32(12));
        break;
    case 7: out.header(">>PosTerm"); out.text("\n"); break;
    case 8: FormatEvent(out, p); break;
    case 17: case 19: case 22:
        out.header(minor == 17 ? "<<PosInit" : minor == 19 ? "<<PosClose" : "<<PosIOCtl");
        result(out, p, "rc=OK");
        out.text("\n");
        break;
    case 18:
        // A failure names the result (the second word is the handle, 0).
        out.header("<<PosOpen");
        result(out, p, "rc=OK, Handle=%d");
        out.text("\n");
        break;
    case 20:
        out.header("<<PosRead");
        result(out, p, "rc=OK, Bytes Read=%d");
        out.text("\n");
        break;
    case 21:
        out.header("<<PosWrite");
        result(out, p, "rc=OK, Bytes Written=%d");
        out.text("\n");
        break;
    case 23: out.header("<<PosTerm"); out.text("\n"); break;
    case 32:
        out.header2("R-EC Level", p.u8(0));
        out.print("EC=%02x\n", p.u8(1));
        break;
    case 33: out.header2("R-8051 Memory Dump", p.u8(0)); out.text("\n"); break;
    case 34: FormatAdapterError(out, p); break;
    case 35: case 43: FormatReceivedFrame(run, p); break;
    case 36: case 44: FormatSentFrame(run, p); break;
    case 37: out.header2("S-Mfg Tests Cmplt", p.i32(0)); out.text("\n"); break;
    case 38: out.header2("S-Tests Cmplt", p.i32(0)); out.text("\n"); break;
    case 39:
        out.header2("Poll List", p.u8(0));
        for (int j = 0; j < 48 && p.u8(1 + 2 * j) != 0; ++j) {
            out.print("%d=", j);
            out.dumpMsg(p.from(1 + 2 * j), p.clampCount(1 + 2 * j, 2));
            out.text(" ");
        }
        out.text("\n");
        break;
    case 40: out.header2("R-Wrap Tests Cmplt", p.i32(0)); out.text("\n"); break;
    case 41: out.header("Buffer Returned"); out.text("\n"); break;
    case 64:
        out.header("Error Log");
        out.print("%s%s\n", std::string(19, ' ').c_str(), GetProbeTableEntry(p.i32(0)));
        out.blank();
        out.print(" Major: %s\n", GetTableEntry(ErrnoTable, p.i32(4)));
        out.blank();
        out.print(" Minor: 0x%lx(%ld)\n", static_cast<unsigned long>(p.u32(8)), static_cast<long>(p.i32(8)));
        break;
    case 65:
        out.header("System Probe Error");
        out.print("RC=0x%lx(%ld)\n", static_cast<unsigned long>(p.u32(0)), static_cast<long>(p.i32(0)));
        break;
    case 72: case 73: case 74: case 75: case 76: case 77:
        out.header("InitTerm");
        out.print("%s\n", kInitTerm[minor - 72]);
        break;
    case 78: out.header("Exit List"); out.text("\n"); break;
    case 100: case 28675: out.header("sio"); out.text("RequestBuffer\n"); break;
    case 101: case 28673:
        out.header("sio");
        out.text("GotBuffer");
        FormatExchangeBuffer(out, p, false);
        break;
    case 102: case 28674:
        out.header("sio");
        out.text("ReturnBuffer");
        FormatExchangeBuffer(out, p, true);
        break;
    case 200: case 201:
        out.header3(minor == 200 ? "HIDWrite" : "HIDRead", 8, 0x11, 0x35);
        out.print(" %02x %02x %x/%x  ", 0, 0, 0, 0);
        out.dumpMsg(p.data(), p.length());
        out.text("\n");
        out.blank();
        out.dumpMsgAscii(p.data(), p.length());
        out.text("\n");
        break;
    case 250: case 251:
        out.header(minor == 250 ? "TcpCreate" : "TcpDestroy");
        out.print("ClientId=%d, Socket=%x, Parent=%x\n", p.i32(0), p.u32(4), p.u32(8));
        break;
    case 252: {
        out.header("TcpWrite");
        const int n = p.clampCount(10, p.u16(8));
        out.print("ClientId=%d, rc=%d, Length=%d\n", p.i32(0), p.i32(4), p.u16(8));
        out.blank();
        out.print("Data='%s'\n", std::string(reinterpret_cast<const char*>(p.from(10)), static_cast<size_t>(n)).c_str());
        break;
    }
    case 253:
        out.header("TcpPort");
        out.print("API Socket Port is %d\n", p.i32(0));
        break;
    case 254: FormatTcpCommand(out, p); break;
    case 255:
        out.header("TcpEvent");
        out.print("ClientId=%d, Port=%d, MsgId=%d, mp1=0x%x, mp2=0x%x\n", p.i32(0), p.u16(4), p.i32(6),
                  p.u32(10), p.u32(14));
        break;
    case 301: out.header("WriteText"); dataDump(out, p, ">>WriteText\n", true, true); break;
    case 302: out.header("WriteLogo"); dataDump(out, p, nullptr, false, true); break;
    case 303: out.header("WriteLoadMsg"); dataDump(out, p, ">>WriteLoadMsg\n", true, false); break;
    case 304: out.header("WriteLoadLogo"); dataDump(out, p, nullptr, false, false); break;
    case 305: out.header("WriteRaw"); dataDump(out, p, ">>WriteRaw\n", true, false); break;
    case 306: out.header("WriteRas"); dataDump(out, p, ">>WriteRas\n", false, false); break;
    case 307: out.header("ReadData"); dataDump(out, p, nullptr, true, true); break;
    case 404: case 1024: out.header("Hex"); dataDump(out, p, nullptr, true, false); break;
    case 700: case 701: out.header("KbdRead"); dataDump(out, p, nullptr, true, true); break;
    case 702: out.header("MsrRead"); dataDump(out, p, nullptr, true, true); break;
    default:
        if (FormatUsbRecord(run, minor, p) || FormatDeviceRecord(run, minor, p)) break;
        out.header("Unknown");
        out.print(" minorCode=%d\n", static_cast<int>(minor));
    }
    return 0;
}
