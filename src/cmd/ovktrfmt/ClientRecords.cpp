// The records of the remote API (254) and of the device layer's clients: raw-access (SDI)
// connections and messages (600-651) and keyboard-node requests (703-705).
// Every length word is bounded by the payload.
#include "CoreDecoders.h"

#include <string>

#include "Payload.h"
#include "NameTables.h"
#include "PrinterDecoder.h"
#include "TraceFormatter.h"

namespace {

const std::string kClientIndent(13, ' ');

std::string bytesText(const Payload& p, int at, int n) {
    return std::string(reinterpret_cast<const char*>(p.from(at)), static_cast<size_t>(p.clampCount(at, n)));
}

// The text of an element "<tag>...</tag>" in s; false when it is not there.
bool element(const std::string& s, const std::string& tag, std::string& value) {
    const size_t open = s.find("<" + tag + ">");
    if (open == std::string::npos) return false;
    const size_t from = open + tag.size() + 2;
    const size_t close = s.find("</" + tag + ">", from);
    if (close == std::string::npos) return false;
    value = s.substr(from, close - from);
    return true;
}

long hexValue(const std::string& s) { return std::strtol(s.c_str(), nullptr, 16); }

const char* responseName(int letter) {
    switch (letter) {
    case 'A': return "A - Last message acked";
    case 'B': return "B - Last ack lost";
    case 'C': return "C - Reset complete";
    case 'G': return "G - SNRM sent to the device";
    case 'L': return "L - Last message lost";
    case 'N': return "N - New message received";
    case 'P': return "P - Power On Reset automatically sent";
    case 'Q': return "Q - Command reset in progress";
    case 'R': return "R - Power on reset in progress";
    case 'S': return "S - Sequence reset in progress";
    default: return nullptr;
    }
}

const char* requestName(int request) {
    switch (request) {
    case 16: return "<rs485> - RS-485 Command";
    case 17: return "<ack> - Client ACK Response";
    case 32: return "<version> - Version Response";
    case 48: return "<status> - Status Request";
    case 64: return "<trace> - Trace Request";
    case 80: return "<open> - Open Request";
    case 96: return "<close> Close Request";
    case 255: return "Unknown Command";
    default: return "Invalid Command";
    }
}

const char* kbdRequestName(uint32_t request) {
    static const char* const names[] = {
        "FN_GET_SHIFT_STATE", "FN_SET_SHIFT_STATE", nullptr, nullptr, nullptr, nullptr, nullptr,
        "FN_GET_SLOT_INFO", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        "FN_CANCEL_MSR_READ", "FN_READ_MSR_DATA", "FN_READ_KBD_STATUS", "FN_TRAP_KEYS",
        "FN_QUERY_KEYBOARD", "FN_SET_DOUBLEKEYS", "FN_POS_LEDS", "FN_TONE", "FN_ENABLE_DISABLE",
        "FN_TYPEMATIC", "FN_TRACKS", "FN_CLICK", "FN_CODE_UPDATE", "FN_NUMPAD_ZERO",
        "FN_QUERY_CODE_UPDATE", "FN_MOUSE_ENABLE_DISABLE", "FN_MOUSE_ENABLE", "FN_MOUSE_DISABLE",
        "FN_KBD_DEV_INFO", "FN_MSR_DEV_INFO", "FN_TARVIK_FLASH_UPDATE", "FN_TARVIK_READ_CONFIG",
        "FN_TARVIK_WRITE_CONFIG"};
    if (request < 82 || request > 118) return "";
    const char* n = names[request - 82];
    return n ? n : "";
}

// 602-604, 608, 611: client id, the rc when it differs from the length, the message.
void clientMessage(TraceOutput& out, const Payload& p, const char* name) {
    out.header3(name, p.u8(0), p.u8(1), p.u8(2));
    const int length = p.u16(12);
    out.print("%sClientId=%d", kClientIndent.c_str(), p.i32(4));
    if (p.i32(8) != length) out.print(", rc=%d", p.i32(8));
    out.print("\n%s", out.infoOffset3().c_str());
    out.dumpMsgAsciiPrintable(p.from(14), p.clampCount(14, length));
    out.text("\n");
}

// 609, 610: a raw-access event message.
void sendRs485(TraceOutput& out, const Payload& p, const char* name) {
    out.header3(name, p.u8(0), p.u8(1), p.u8(2));
    const int length = p.u16(12);
    const int cid = p.i32(4);
    out.print("%sClientId=%d", kClientIndent.c_str(), cid);
    if (p.i32(8) != length) out.print(", rc=%d", p.i32(8));
    const Payload m(p.from(14), p.clampCount(14, length));
    auto be32 = [&](int at) { return static_cast<int>(m.u8(at) << 24 | m.u8(at + 1) << 16 | m.u8(at + 2) << 8 | m.u8(at + 3)); };
    const std::string indent = out.infoOffset3();
    const int letter = m.u8(7);
    const int messageId = be32(14), connectionId = be32(18);
    const int dataLength = m.u8(22) << 8 | m.u8(23);
    out.print(", ServerID=%d\n", be32(10));
    if (messageId) out.print("%s MessageID=%d\n", indent.c_str(), messageId);
    if (connectionId && connectionId != cid) out.print("%s ConnectionID=%d\n", indent.c_str(), connectionId);
    const char* response = responseName(letter);
    if (response)
        out.print("%s Response='%s'", indent.c_str(), response);
    else
        out.print("%s Response='%c - Unknown Response'", indent.c_str(), letter >= 0x20 && letter < 0x7F ? letter : '.');
    const int n = m.clampCount(24, dataLength);
    if (n > 0 && letter != 'A') {
        out.print("\n%s Data ='", indent.c_str());
        out.dumpMsg(m.from(24), n);
        out.print("'\n%s Ascii='", indent.c_str());
        out.dumpMsgAsciiPrintable(m.from(24), n);
        out.text("'\n");
    } else {
        out.print("\n%s Length=%d\n", indent.c_str(), 0);
    }
}

} // namespace

void FormatTcpCommand(TraceOutput& out, const Payload& p) {
    out.header("TcpCommand");
    const int length = p.u16(8);
    out.print("ClientId=%d, Port=%d, Request=%d, Length=%d", p.i32(0), p.u16(4), p.u16(6), length);
    const std::string text = bytesText(p, 12, length);
    const std::string indent = out.indent(8);
    std::string body, value;
    if (!element(text, "vusk", body)) {
        out.print("\n%sCommand='%s'\n", indent.c_str(), text.c_str());
        return;
    }
    if (element(body, "type", value) && hexValue(value) > 0)
        out.print("\n%sType=%s", indent.c_str(), GetTableEntry(TcpApiTable, static_cast<int32_t>(hexValue(value))));
    if (element(body, "pid", value) && hexValue(value) > 0)
        out.print("\n%sPid=%d", indent.c_str(), static_cast<int>(hexValue(value)));
    if (element(body, "address", value) && hexValue(value) > 0)
        out.print("\n%sAddress=0x%x", indent.c_str(), static_cast<unsigned>(hexValue(value)));
    if (element(body, "shared", value) && !value.empty())
        out.print("\n%sShared Memory=%s", indent.c_str(), value.c_str());
    if (element(body, "semaphore", value) && !value.empty())
        out.print("\n%sSemaphore=%s", indent.c_str(), value.c_str());
    if (element(body, "sequence", value) && hexValue(value) > 0)
        out.print("\n%sSequence=%d", indent.c_str(), static_cast<int>(hexValue(value)));
    if (element(body, "control", value)) out.print("\n%s%s", indent.c_str(), value.c_str());
    out.text("\n");
}

bool FormatDeviceRecord(TraceFormatter& run, uint32_t minor, const Payload& p) {
    TraceOutput& out = run.out();
    const std::string indent = out.infoOffset3();
    switch (minor) {
    case 600:
        out.header3("ClientCreate", p.u8(0), p.u8(1), p.u8(2));
        out.print("%sClientId=%d, Socket=%x, Parent=%x\n", kClientIndent.c_str(), p.i32(4), p.u32(8), p.u32(12));
        return true;
    case 601: case 607:
        out.header(minor == 601 ? "ClientDestroy" : "ClientClose");
        out.print("%sClientId=%d, Pid=%d, Tid=%d\n", kClientIndent.c_str(), p.i32(4), p.i32(36), p.i32(40));
        out.blank();
        out.print(" MonitorMode=%d", p.i32(16));
        if (minor == 607) {
            out.text("\n");
            out.blank();
            out.print(" AsciiConversion=%d", p.i32(20));
        }
        out.text("\n");
        return true;
    case 602: clientMessage(out, p, "SdiVersion"); return true;
    case 603: clientMessage(out, p, "SdiOpen"); return true;
    case 604: clientMessage(out, p, "SdiClose"); return true;
    case 608: clientMessage(out, p, "SdiResponse"); return true;
    case 611: clientMessage(out, p, "ResentMessage"); return true;
    case 605:
        out.header("ClientVersion");
        out.print("%sClientId=%d, Pid=%d, Tid=%d\n", kClientIndent.c_str(), p.i32(4), p.i32(36), p.i32(40));
        out.print("%s Version=%d, Release=%d, Maintenance=%d\n", out.infoOffset3().c_str(), p.i32(24), p.i32(28), p.i32(32));
        return true;
    case 606:
        out.header("ClientOpen");
        out.print("%sClientId=%d, Mode='%s'\n", kClientIndent.c_str(), p.i32(4), p.i32(16) == 'M' ? "Monitor" : "Normal");
        out.blank();
        out.print(" AsciiConversion=%d\n", p.i32(20));
        return true;
    case 609: sendRs485(out, p, "SendRs485"); return true;
    case 610: sendRs485(out, p, "SendRs485Fail"); return true;
    case 612: {
        out.header3("Rs485Command", p.u8(0), p.u8(1), p.u8(2));
        out.print("%sClientId=%d, AWait=0x%x, BWait=0x%x\n", kClientIndent.c_str(), p.i32(8), p.u8(4), p.u8(5));
        out.print("%s MessageID=%d\n", indent.c_str(), p.i32(16));
        const int flags = p.u16(20);
        out.print("%s QueueID=%s, Flags=(", indent.c_str(), p.u32(12) ? "High" : "Normal");
        if (flags & 0x0002) out.text(" Buffered");
        if (flags & 0x0004) out.text(" NoAck");
        if (flags & 0x0008) out.text(" NoBusy");
        if (flags & 0x8000) out.text(" Retransmitted");
        if (flags == 0) out.text(" None");
        out.text(" )\n");
        const int command = p.u8(3);
        switch (command) {
        case 'D': out.print("%s Command='D - Discard queued data'\n", indent.c_str()); break;
        case 'R': out.print("%s Command='R - Restart after error'\n", indent.c_str()); break;
        case 'W': out.print("%s Command='W - Write data'\n", indent.c_str()); break;
        default: out.print("%s Command='%c - Invalid Command'\n", indent.c_str(), command >= 0x20 && command < 0x7F ? command : '.');
        }
        const int length = p.u16(22);
        const int n = p.clampCount(24, length);
        if (n > 0) {
            out.print("%s Data ='", indent.c_str());
            out.dumpMsg(p.from(24), n);
            out.print("'\n%s Ascii='", indent.c_str());
            out.dumpMsgAsciiPrintable(p.from(24), n);
            out.text("'\n");
        } else {
            out.print("%s Length=%d\n", indent.c_str(), length);
        }
        return true;
    }
    case 613: {
        out.header3("SdiWrite", p.u8(0), p.u8(1), p.u8(2));
        const int length = p.u16(12);
        out.print("%sClientId=%d, Length=%d, rc=%d\n", kClientIndent.c_str(), p.i32(4), length, p.i32(8));
        out.text(indent);
        out.dumpMsg(p.from(14), p.clampCount(14, length));
        out.print("\n%s", indent.c_str());
        out.dumpMsgAsciiPrintable(p.from(14), p.clampCount(14, length));
        out.text("\n");
        return true;
    }
    case 614: {
        out.header3("AckReceived", p.u8(0), p.u8(1), p.u8(2));
        const int length = p.u16(12);
        const std::string text = bytesText(p, 14, length);
        out.print("%sClientId=%d, MessageID=%d, Response='%s'", kClientIndent.c_str(), p.i32(4), p.i32(8),
                  text.c_str());
        out.print("\n%s%sData=", indent.c_str(), kClientIndent.c_str());
        out.dumpMsgAsciiPrintable(p.from(14), p.clampCount(14, length));
        out.text("\n");
        return true;
    }
    case 630:
        out.header("QueryDevice");
        out.print(" ServerPort=%d\n", p.i32(0));
        return true;
    case 631: {
        out.header("QueryCommand");
        const std::string text = p.text(8, p.length());
        out.print("%sClientId=%d\n", kClientIndent.c_str(), p.i32(4));
        out.print("%s Command='%s'\n", indent.c_str(), text.c_str());
        out.print("%s%sData=", indent.c_str(), kClientIndent.c_str());
        out.dumpMsgAsciiPrintable(p.from(8), p.clampCount(8, static_cast<long>(text.size())));
        out.text("\n");
        return true;
    }
    case 650:
        out.header("VirtualDevice");
        out.print(" Tcp/Ip Port=%d\n", p.i32(4));
        return true;
    case 651: {
        out.header3("ClientCommand", p.u8(0), p.u8(1), p.u8(2));
        const int length = p.u16(12);
        out.print("%sClientId=%d\n", kClientIndent.c_str(), p.i32(4));
        out.print("%s Request='%s'\n", indent.c_str(), requestName(p.u16(10)));
        out.print("%s Data='", indent.c_str());
        out.dumpMsgAsciiPrintable(p.from(16), p.clampCount(16, length));
        out.text("'\n");
        return true;
    }
    case 703: case 704: case 705: {
        out.header(minor == 705 ? "MsrIoctl" : "KbdIoctl");
        const uint32_t code = p.u32(0);
        out.print("Request=%s ", kbdRequestName(p.u32(4)));
        switch (code) {
        case 0xC0086B01: out.print("LEDS=%d", p.u8(18)); break;
        case 0xC0086B02: case 0xC0086B03:
            out.print("State=%d NLS=%d", static_cast<int16_t>(p.u16(12)), p.u8(14));
            break;
        case 0xC0086B05: out.print("Tone1=0x%x Tone2=%d", p.u8(18), p.u8(19)); break;
        case 0xC0086B06: out.print("Enabled=%d", p.u8(18)); break;
        case 0xC0086B07: case 0xC0086B08: out.print("Enabled=%d", p.u16(18)); break;
        case 0xC0086B0B: out.print("TrapKeys=%d", p.u16(18)); break;
        case 0xC0106B09:
            out.print("Track1=%d, Track2=%d, Track3=%d, TrackJ=%d", p.u16(18), p.u16(20), p.u16(22), p.u16(24));
            break;
        case 0xC0106B0C:
            out.print("ID=0x%x, SubType=%d, Type=%d, KbdEC=0x%x, MsrEC=0x%x", p.u16(16), p.u16(18), p.u16(20),
                      p.u8(22), p.u8(23));
            break;
        default: break;
        }
        out.print(" rc=%d\n", p.i32(8));
        return true;
    }
    default: return false;
    }
}
