// Record 8: events as the core posts them to the client processes.
#include "CoreDecoders.h"

#include <string>

#include "NameTables.h"
#include "Payload.h"
#include "ProbeTables.h"
#include "TraceOutput.h"

namespace {

struct Bit {
    uint32_t mask;
    const char* name;
};

struct Code {
    uint32_t value;
    const char* text;
};

const char* lookup(const Code* codes, size_t n, uint32_t value) {
    for (size_t i = 0; i < n; ++i)
        if (codes[i].value == value) return codes[i].text;
    return "";
}

// One line per printer condition of mp2, under a "Printer Status:" line.
void printerStatus(TraceOutput& out, uint32_t mp2) {
    static const Bit bits[] = {
        {0x1, "COVER_OPEN"},          {0x2, "TRANSPORT_ERROR"},      {0x4, "SJ_PAPER_ERROR"},
        {0x8, "DOCUMENT_AT_FRONT"},   {0x10, "DOCUMENT_AT_TOP"},     {0x20, "DOCUMENT_READY"},
        {0x40, "HEAD_PARKED"},        {0x100, "ERROR_PENDING"},      {0x200, "DI_FRONT_LOAD_ERROR"},
        {0x400, "DI_TOP_LOAD_ERROR"}, {0x800, "DATA_AVAIL"},         {0x1000, "PRINTER_OFFLINE"},
        {0x4000, "CR_PAPER_LOW"},     {0x8000, "SJ_PAPER_LOW"},      {0x10000, "CR_PAPER_OUT"},
        {0x20000, "SJ_PAPER_OUT"},    {0x40000, "CR_FEED_ERROR"},    {0x80000, "DI_FEED_ERROR"},
        {0x100000, "CR_COVER_OPEN"},  {0x200000, "DI_COVER_OPEN"},   {0x400000, "CUT_ERROR"},
        {0x800000, "CR_PAPER_JAM"},   {0x1000000, "EJ_ERROR"},       {0x2000000, "EJ_SUSPENDED"},
        {0x10000000, "BUFFER_EMPTY"}, {0x40000000, "OFFLINE_MODE"},  {0x80000000, "PRINTER_FAILING"},
    };
    const std::string indent = out.infoOffset3();
    std::string lines;
    for (const Bit& b : bits) {
        const bool set = (mp2 & b.mask) != 0;
        // The printer is offline when its online bit is clear.
        if (b.mask == 0x1000 ? !set : set) lines += indent + std::string(17, ' ') + b.name + "\n";
    }
    if (lines.empty()) return;
    out.print("%sPrinter Status:\n", indent.c_str());
    out.text(lines);
}

const Code kErrorReasons[] = {
    {1, "PosERROR_COVER_OPEN\n"},         {2, "PosERROR_TRANSPORT_ERROR\n"},
    {3, "PosERROR_CR_PRINT_HEAD_OPEN\n"}, {4, "PosERROR_SJ_PAPER_ERROR\n"},
    {5, "PosERROR_SJ_PRINT_HEAD_OPEN\n"}, {6, "PosERROR_EJ_ERROR\n"},
    {8, "PosERROR_DOCUMENT_INSERTED\n"},  {16, "PosERROR_DOCUMENT_NOT_INSERTED\n"},
    {32, "PosERROR_DOCUMENT_NOT_READY\n"}, {64, "PosERROR_DOCUMENT_NOT_EJECTED\n"},
    {128, "PosERROR_MICR_ERROR\n"},       {256, "PosERROR_CR_PAPER_ERROR\n"},
    {257, "PosERROR_CR_PAPER_JAM\n"},     {258, "PosERROR_CR_FEED_ERROR\n"},
    {512, "PosERROR_EEPROM_LOAD_ERROR\n"}, {1024, "PosERROR_EEPROM_FULL\n"},
    {4096, "PosERROR_COMMUNICATION_ERROR\n"}, {8192, "PosERROR_DI_FEED_ERROR\n"},
    {16384, "PosERROR_STARTUP_ERROR\n"},  {16385, "PosERROR_UNRECOVERABLE_ERROR\n"},
    {32768, "PosERROR_COMMAND_REJECTED\n"},
};

const Code kChangeReasons[] = {
    {1, "PosCHANGE_DOCUMENT_AT_TOP\n"}, {2, "PosCHANGE_AT_FRONT\n"},
    {4, "PosCHANGE_DOCUMENT_REGISTER\n"}, {8, "PosCHANGE_COVER\n"},
    {16, "PosCHANGE_CR_PAPER_LOW\n"},   {17, "PosCHANGE_CR_PAPER_OUT\n"},
    {18, "PosCHANGE_CR_OVERHEAT\n"},    {19, "PosCHANGE_PRINT_HEAD\n"},
    {20, "PosCHANGE_PARTIAL_CUT\n"},    {32, "PosCHANGE_SJ_PAPER_LOW\n"},
    {33, "PosCHANGE_SJ_PAPER_OUT\n"},   {34, "PosCHANGE_SJ_OVERHEAT\n"},
    {35, "PosCHANGE_SJ_PRINT_HEAD\n"},  {36, "PosCHANGE_CD_OPEN\n"},
    {37, "PosCHANGE_CD_CLOSED\n"},      {64, "PosCHANGE_TEST_MODE\n"},
    {128, "PosCHANGE_SJ_PAPER\n"},      {256, "PosCHANGE_EJ_SUSPENDED\n"},
    {257, "PosCHANGE_OFFLINE_MODE\n"},  {258, "PosCHANGE_BACKMARK_SENSOR\n"},
    {32768, "PosCHANGE_PRINTER_FAILING\n"},
};

template <size_t N>
const char* lookup(const Code (&codes)[N], uint32_t value) { return lookup(codes, N, value); }

} // namespace

void FormatEvent(TraceOutput& out, const Payload& p) {
    const uint32_t msg = p.u32(0), mp1 = p.u32(4), mp2 = p.u32(8);
    const int32_t msgId = static_cast<int32_t>(msg);
    out.header("Event");
    if (msg == 0x420C || msg == 0x420D) {
        out.print("%s - %s, %s, %s\n", GetTableEntry(QMsgTable, msgId),
                  GetTableEntry(SlotTable, static_cast<int32_t>(mp1 >> 24)),
                  GetTableEntry(PortTable, static_cast<int32_t>((mp1 >> 16) & 0xFF)),
                  GetTableEntry(TypeTable, static_cast<int32_t>(mp1 & 0xFF)));
        const int device = static_cast<int>((mp1 >> 8) & 0xFF);
        out.blank();
        out.print("%*sDevice: %s  (Subtype: %s)\n", 25, "", GetTableEntry(DevTable, device),
                  GetSubtypeEntry(device, static_cast<int>(mp2 & 0xFF)));
        return;
    }
    out.print("Handle=%d, %s ", static_cast<int>(mp1 & 0xFFFF), GetTableEntry(QMsgTable, msgId));
    out.print("(mp1=0x%08lx, mp2=0x%08lx)", static_cast<unsigned long>(mp1), static_cast<unsigned long>(mp2));
    const std::string in = out.infoOffset3();
    const char* indent = in.c_str();
    const uint32_t reason = mp1 >> 16;
    switch (msg) {
    case 0x4201: {
        out.print("\n%s", indent);
        if (reason != 1) {
            out.text("Unknown change\n");
            return;
        }
        static const char* const positions[] = {"'Unknown'\n", "'Manager'\n", "'Operator'\n", "'Inactive'\n",
                                                "'System'\n",  "'PC Mode'\n", "'Account'\n"};
        const uint32_t pos = mp2 & 0xFFFF;
        out.print("Keylock changed state, Position=%s", positions[pos <= 6 ? pos : 0]);
        return;
    }
    case 0x4202: {
        const uint32_t flags = mp2 >> 16;
        const uint32_t ch = reason;
        const int shown = (flags & 0x01) && ch >= 0x20 && ch < 0x7F ? static_cast<int>(ch) : ' ';
        out.print("\n%sScanCode=0x%x(%d), CharCode=0x%x(%c)\n", indent, mp2 & 0xFF,
                  static_cast<int>(mp2 & 0xFF), ch, shown);
        if (flags & 0x01) out.print("%sCharacter is valid (PosKC_CHAR)\n", indent);
        if (flags & 0x04) out.print("%sScanCode is valid (PosKC_SCANCODE)\n", indent);
        if (flags & 0x08) out.print("%sShift Key (PosKC_SHIFT)\n", indent);
        if (flags & 0x10) out.print("%sControl key (PosKC_CTRL)\n", indent);
        if (flags & 0x20) out.print("%sAlt key (PosKC_ALT)\n", indent);
        out.print("%s%s", indent, (flags & 0x40) ? "Key up (PosKC_KEYUP)\n" : "Key down\n");
        if (flags & 0x8000) out.print("%sFat finger (PosKC_FATFINGER)\n", indent);
        return;
    }
    case 0x4203: case 0x4208:
        out.print("\n%sLength=%d\n", indent, static_cast<int>(mp2 & 0xFFFF));
        return;
    case 0x4204: {
        out.print("\n%s", indent);
        switch (reason) {
        case 1: out.text("Station='Receipt'\n"); break;
        case 2: out.text("Station='Journal'\n"); break;
        case 4: out.text("Station='Slip'\n"); break;
        default: out.print("Station='Unknown 0x%x(%d)'\n", reason, static_cast<int>(reason));
        }
        printerStatus(out, mp2);
        return;
    }
    case 0x4205:
        out.print("\n%sError Reason:  %s", indent, lookup(kErrorReasons, reason));
        printerStatus(out, mp2);
        return;
    case 0x4206:
        out.print("\n%sChange Reason:  %s", indent, lookup(kChangeReasons, reason));
        printerStatus(out, mp2);
        return;
    case 0x420B:
        out.print(" Length=%d\n", static_cast<int>(mp2 & 0xFFFF));
        return;
    case 0x4210: {
        out.print("\n%s", indent);
        static const char* const sources[] = {"", "Fiscal Data", "MICR Data", "Flash Data", "Scan Complete",
                                              "Scan Data"};
        if (reason >= 1 && reason <= 5)
            out.print("Source='%s'\n", sources[reason]);
        else
            out.print("Source='Unknown 0x%x(%d)'\n", reason, static_cast<int>(reason));
        out.print("%sLength=%ld\n", indent, static_cast<long>(static_cast<int32_t>(mp2)));
        return;
    }
    case 0x4211:
        out.print("\n%sError:           0x%x(%d)%s\n", indent, reason, static_cast<int>(reason),
                  GetFiscalTableEntry(static_cast<int32_t>(reason)));
        printerStatus(out, mp2);
        return;
    case 0x4212:
        out.print("\n%sFiscal Command:  %s\n", indent, FiscalCommands[mp2 & 0xFF]);
        return;
    case 0x4216:
        out.print("\n%sX-Pos=%d, Y-Pos=%d\n", indent, static_cast<int>(mp2 >> 16), static_cast<int>(mp2 & 0xFFFF));
        out.print("%s%s", indent, (reason & 0x01) ? "Button one down (PosTOUCH_BUTTON1_DOWN)\n" : "Button one up\n");
        if (reason & 0x10) out.print("%sTouch error (PosTOUCH_ERROR)\n", indent);
        return;
    case 0x421B:
        out.print("\n%sStatus:  %s\n", indent, mp2 == 1 ? "Success" : "Failed");
        return;
    case 0x421C:
        out.print("\n%sAddress:  %08x\n", indent, mp2);
        return;
    default:
        out.text("\n");
    }
}
