#include "PrinterDecoder.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "TraceFormatter.h"

namespace {

struct Bit {
    uint8_t mask;
    bool whenClear;
    const char* text;
};

// The texts of the bits of one status byte; each on a new line with the 24-blank indent.
template <size_t N>
void statusByte(TraceOutput& out, uint8_t value, const Bit (&bits)[N]) {
    if (!value) return;
    for (const Bit& b : bits)
        if (((value & b.mask) != 0) != b.whenClear) out.print("\n%s%s", out.infoOffset().c_str(), b.text);
}

// A bounded reader over the data sent to the printer.
class Cursor {
public:
    Cursor(const uint8_t* data, int length) : data_(data), length_(length) {}
    bool done() const { return at_ >= length_; }
    int at() const { return at_; }
    int peek(int ahead = 0) const { return at_ + ahead < length_ ? data_[at_ + ahead] : 0; }
    int next() { return at_ < length_ ? data_[at_++] : 0; }
    void skip(long n) { at_ = n <= 0 ? at_ : n >= length_ - at_ ? length_ : at_ + static_cast<int>(n); }
    void toEnd() { at_ = length_; }
    const uint8_t* here() const { return data_ + at_; }
    int rest() const { return length_ - at_; }

private:
    const uint8_t* data_;
    int length_;
    int at_ = 0;
};

std::string fmt(const char* f, ...) __attribute__((format(printf, 1, 2)));
std::string fmt(const char* f, ...) {
    char buf[256];
    va_list args;
    va_start(args, f);
    std::vsnprintf(buf, sizeof buf, f, args);
    va_end(args);
    return buf;
}

struct Decoder {
    TraceFormatter& run;
    TraceOutput& out;
    CoreState& state;
    Cursor c;

    std::string lineCount() {
        if (!run.options().lineCounts) return "";
        state.sendLineCount = (state.sendLineCount + 1) % 255;
        return fmt(" >> Send Line Count %02x <<", state.sendLineCount);
    }

    std::string esc() {
        const int cmd = c.next();
        switch (cmd) {
        case 0x00: {
            const int p = c.next();
            if (p == 0x80) return fmt("Buffered EC Request (#%d)", ++state.ecRequests);
            if (p == 0x20) return "Buffered Status Request";
            return "";
        }
        case 0x07: { const int a = c.next(); const int b = c.next(); return fmt("Beeper (Enable=%d, Volume=%d)", a, b); }
        case ' ': return fmt("Set inter-character spacing to %d", c.next());
        case '!': return fmt("Set print mode to %d", c.next());
        case '"': return fmt("Send checksum of flash EPROM sector (sector=%d)", c.next());
        case '#': return fmt("Erase flash EPROM sector (sector=%d)", c.next());
        case '$': { const int a = c.next(); const int b = c.next(); return fmt("Set left margin paramters (%02x.%02x)", a, b); }
        case '%': return c.next() ? "Select user-defined character set" : "Select resident character set";
        case '&': {
            const int page = c.next(), count = c.next(), bytes = c.next();
            std::string s = fmt("Download user-defined characters (codepage=%d, charCount=%d, charBytes=%d)", page, count, bytes);
            for (int i = 0; i < count && !c.done(); ++i) {
                s += fmt(" | Char: %02x:", c.next());
                for (int k = 0; k < bytes && !c.done(); ++k) s += fmt("%02x.", c.next());
            }
            return s;
        }
        case '\'': {
            const int count = c.next(), a = c.next(), b = c.next(), d = c.next();
            c.skip(count);
            return fmt("Flash storage write (count=%d, addr=%02x.%02x.%02x)", count, a, b, d);
        }
        case '(': {
            const int thermal = c.next(), count = c.next();
            std::string s = fmt("Download DBCS user-defined characters (thermal=%d, CharCount=%d", thermal, count);
            for (int i = 0; i < count && !c.done(); ++i) {
                const int hi = c.next(), lo = c.next();
                s += fmt(" | Char: %02x.%02x:", hi, lo);
            }
            return s + ")";
        }
        case ')': return fmt("Status sent to system (status=%02x)", c.next());
        case '*': {
            const int density = c.next(), width = c.next(), height = c.next();
            const long count = static_cast<long>(width) * height * 8;
            c.skip(count);
            return fmt("Select and print a graphics (logo) command (density=%d, width=%d, height=%d, count=%ld)",
                       density, width, height, count) + lineCount();
        }
        case '+': { const int ch = c.next(); return fmt("Select character for reprinted lines (char=%c)", ch >= 0x20 && ch < 0x7F ? ch : '.'); }
        case '-': return fmt("Set or cancel underline mode (enable=%d)", c.next());
        case '.': c.toEnd(); return "Continuation Command";
        case '/': return fmt("Set high quality print mode (quality=%d)", c.next());
        case '1': return "Select 1/8-inch line spacing";
        case '2': return "Select 1/6-inch line spacing";
        case '3': return fmt("Select line spacing using minimum units (size=%d)", c.next());
        case '4': {
            const int a = c.next(), b = c.next(), d = c.next(), e = c.next();
            if (a == 8 && b == 0xFF && d == 0xFF && e == 0xFF) return fmt("Retrieve Size of User Flash Storage p0=0x%x", a);
            return fmt("Retrieve the flash storage (count=%d, addr=%02x.%02x.%02x)", a, b, d, e);
        }
        case '5': return "Flip check";
        case '6': state.sendLineCount = 0; return "Reset line count";
        case '7': return "Hold printing until buffer is released";
        case '8': return fmt("Disable line count (disable=%d)", c.next());
        case '9': {
            int v[8];
            for (int& x : v) x = c.next();
            return fmt("Retrieve scanned image (location=%d, offset=%d, length=%d)", v[0] << 8 | v[1],
                       v[2] << 16 | v[3] << 8 | v[4], v[5] << 16 | v[6] << 8 | v[7]);
        }
        case ':': return fmt("Font fix matrix (matrix=%02x)", c.next());
        case '<': return fmt("Select print head location (position=%d)", c.next());
        case '>': {
            static const char* const types[] = {"optical only", "Scan and MICR/OCR read",
                                                "Optical full scan and re-ready document",
                                                "Full scan, MICR/OCR, and ready flip",
                                                "Partial Scan, MICR/OCR, and ready flip", "report MICR/OCR results"};
            const int t = c.next();
            return std::string("Start Scan (type='") + (t <= 5 ? std::string(types[t]) : fmt("unknown %d", t)) + "')";
        }
        case '@': return "Reinitialize the printer";
        case 'C': return fmt("Set sheet eject length (length=%d)", c.next());
        case 'D': {
            std::string s = "Set horizontal tab positions: ";
            while (!c.done()) {
                const int a = c.next(), b = c.next();
                if (a == 0 && b == 0) break;
                s += fmt("%02x.%02x.", a, b);
            }
            return s;
        }
        case 'G': return fmt("Set or cancel emphasized printing (on=%d)", c.next());
        case 'H': return fmt("Set or cancel invert mode (on=%d)", c.next());
        case 'I': return "MICR read";
        case 'J': return fmt("Print and feed paper using minimum units (units=%d)", c.next()) + lineCount();
        case 'K': return fmt("Print and feed paper reverse using minimum units (units=%d)", c.next()) + lineCount();
        case 'M': { const int n = c.next(), a = c.next(), b = c.next(); return fmt("MCT load: %s (%x.%x)", MctName(n), a, b); }
        case 'Q': return fmt("Retrieve Printer Usage Statistics (stat=0x%2x)", c.next());
        case 'R': return fmt("Set DBCS inter-character spacing to %d", c.next());
        case 'S': return fmt("MCT request: %s (Req# %d)", MctName(c.next()), state.mctRequests++);
        case 'U': return fmt("Set or cancel unidirectional printing (on=%d)", c.next());
        case 'V': return fmt("Set or cancel rotated character (on=%d)", c.next());
        case 'W': return fmt("Set or cancel double-wide mode (on=%d)", c.next());
        case '\\': { const int a = c.next(), b = c.next(); return fmt("Set relative position (%02x.%02x)", a, b); }
        case '_': return fmt("Set or cancel overline mode (on=%d)", c.next());
        case 'a': return fmt("Align positions (align=%d)", c.next());
        case 'c': {
            const int sub = c.next(), v = c.next();
            switch (sub) {
            case '0': return fmt("Set print station (station=%02x)", v);
            case '1': return fmt("Set print station parameters (station=%02x)", v);
            case '4': return fmt("Set error recovery function (recovery=%02x)", v);
            case '5': return fmt("Feed buttons (enable=%02x)", v);
            default: return "";
            }
        }
        case 'd': return fmt("Print and feed paper '%d' lines", c.next()) + lineCount();
        case 'e': return fmt("Print and feed paper '%d' lines - reversed", c.next()) + lineCount();
        case 'f': { const int a = c.next(), b = c.next(); return fmt("Define document wait time (%02x.%02x)", a, b); }
        case 'h': return fmt("Set or cancel double-high mode (on=%d)", c.next());
        case 'i': case 'm': return "Paper cut/DI eject";
        case 'p': { const int a = c.next(), b = c.next(), d = c.next(); return fmt("Generate drive pulse for cash drawer (%02x.%02x.%02x)", a, b, d); }
        case 'r': return fmt("Select Color Printing (Color=%d)", c.next());
        case 't': return fmt("Set code page (page=%d)", c.next());
        case 'v': return "Status request";
        case 'x': return "Exercise program";
        case '{': return fmt("Upside down mode (enable=%d)", c.next());
        default: return "";
        }
    }

    std::string gs() {
        const int cmd = c.next();
        switch (cmd) {
        case '!': return fmt("Set character size for scalable fonts (scale=%02x)", c.next());
        case '*': {
            const int set = c.next(), n = c.next(), m = c.next();
            c.skip(static_cast<long>(n) * m * 8);
            return fmt("Download graphics (logo) commands (set=%d, n=%02x, m=%02x)", set, n, m);
        }
        case '/': { const int d = c.next(), l = c.next(); return fmt("Print predefined graphics (logo) command (density=%d, logo=%d)", d, l); }
        case ':': {
            const int message = c.next();
            while (!c.done() && !(c.peek() == 0x1D && c.peek(1) == ':')) c.next();
            c.skip(2);
            return fmt("Predefine messages (message=%d)", message);
        }
        case ';': return fmt("Enable two-color printing (enable=%d)", c.next());
        case 'H': return fmt("Select printing position for HRI (position=%d)", c.next());
        case 'I': return c.next() == 1 ? "Request printer id" : "";
        case 'J': {
            const int d = c.next(), n1 = c.next(), n2 = c.next();
            const long bytes = static_cast<long>(n1) * n2;
            c.skip(bytes);
            return fmt("Print Logo Inline (d=%d, n1=%d, n2=%d, bytes=%ld)", d, n1, n2, bytes);
        }
        case 'P': {
            std::string s = "Print PDF417 bar code (";
            while (!c.done() && c.peek() != 0) s += fmt("%02x.", c.next());
            c.skip(1);
            return s + ")";
        }
        case 'R': { const int a = c.next(), b = c.next(); return fmt("Select PDF417 Error Correction Codewords (level=0x%x.0x%x)", a, b); }
        case 'S': { const int h = c.next(), w = c.next(); return fmt("Select PDF417 Aspect Ration (height=%d, width=%d)", h, w); }
        case 'T': return fmt("Enable PDF417 Truncation (enable=%d)", c.next());
        case '^': return fmt("Print predefined messages (message=%d)", c.next());
        case 'f': return fmt("Select font for HRI (font=%d)", c.next());
        case 'h': return fmt("Select bar code height (height=%d)", c.next());
        case 'k': {
            std::string s = fmt("Print bar code (type=%d) ", c.next());
            while (!c.done() && c.peek() != 0) {
                const int ch = c.next();
                s += static_cast<char>(ch >= 0x20 && ch < 0x7F ? ch : '.');
            }
            c.skip(1);
            return s;
        }
        case 'w': return fmt("Select horizontol size of bar code (size=%d)", c.next());
        default: return "";
        }
    }

    void newLine() { out.print("\n%s |", out.indent(18).c_str()); }

    void decode() {
        out.print("%s |", out.indent(18).c_str());
        while (!c.done()) {
            const int b = c.next();
            switch (b) {
            case 0x0A:
                if (run.options().lineCounts) {
                    state.sendLineCount = (state.sendLineCount + 1) % 255;
                    out.print("\\n\n >> Send Line Count %02x <<\n", state.sendLineCount);
                } else {
                    out.text("\\n\n");
                }
                out.print("%s |", out.indent(18).c_str());
                break;
            case 0x0D: out.text("\\r"); break;
            case 0x00:
                if (c.peek() == 1) {
                    c.skip(2);
                    out.text("Request Device Info");
                    newLine();
                } else {
                    out.text(".");
                }
                break;
            case 0x01:
                if (c.peek() == 'D' && c.peek(1) == 'N') {
                    out.text("RZ-3/4/5 firmware update");
                    c.toEnd();
                } else if (c.peek() == 'E' && c.peek(1) == 'T') {
                    out.text("RZ-3/4/5 firmware erase");
                    c.toEnd();
                } else {
                    out.text(".");
                }
                break;
            case 0x10:
                if (c.peek() == 0x05) {
                    c.next();
                    static const struct { int sub; const char* text; } dle[] = {
                        {0x31, "Release print buffer"}, {0x32, "Cancel print buffer"},
                        {0x34, "EC request; send status"}, {0x40, "Reset printer"},
                        {0x41, "Enable unsolicited status"}, {0x42, "Disable unsolicited status"},
                        {0x43, "Disable transparent XON/XOFF"}};
                    const int sub = c.next();
                    const char* text = "";
                    for (const auto& d : dle)
                        if (d.sub == sub) text = d.text;
                    out.print("  (%s)", text);
                    newLine();
                } else {
                    out.text(".");
                }
                break;
            case 0x1B: out.print("  (%s)", esc().c_str()); newLine(); break;
            case 0x1D: out.print("  (%s)", gs().c_str()); newLine(); break;
            default: out.print("%c", b >= 0x20 && b < 0x7F ? b : '.');
            }
        }
    }
};

} // namespace

const char* MctName(int number) {
    static const struct { int from, to; const char* name; } names[] = {
        {0, 0, "Document ready advance"}, {1, 1, "Matrix of double-byte code page"},
        {2, 2, "Matrix of user defined thermal code page 1"}, {3, 3, "Matrix of user defined thermal code page 2"},
        {4, 4, "Matrix of user defined impact code page 1"}, {5, 5, "Matrix of user defined impact code page 2"},
        {6, 6, "Left to right print offset"}, {8, 8, "Reset of document sensor threshold"},
        {9, 9, "Override of thermal algorithms"}, {11, 11, "Document line feed speed"},
        {12, 12, "Customer receipt line feed speed"}, {13, 13, "Cutter motor step width"},
        {15, 15, "Pulse width of DI line feed motor during a MICR command"}, {16, 16, "Printer setup"},
        {17, 17, "Printer setup 2"}, {18, 18, "Pulse width of DI line feed motor during a Flip check command"},
        {19, 19, "Thermal head pulse at 0 degrees C"}, {20, 20, "Thermal head pulse parameters"},
        {21, 21, "Steps used to cut"}, {22, 22, "MICR sample rate"},
        {23, 23, "Matrix of user defined thermal code page 3"}, {24, 24, "Matrix of user defined thermal code page 4"},
        {25, 25, "Document wait times"}, {26, 26, "Eject steps/reprint character"},
        {27, 27, "Landscape bottom margin"}, {28, 28, "Landscape right to left offset"},
        {80, 95, "Reserved for drivers"}, {96, 104, "Reserved for manufacturing"},
        {105, 105, "Printer serial number (byte 1 and 2)"}, {106, 106, "Printer serial number (byte 3 and 4)"},
        {107, 107, "Printer serial number (byte 5 and 6)"}, {108, 108, "Printer serial number (byte 7 and 8)"},
        {109, 109, "Number of home errors (read only)"}, {110, 110, "Number of MICR misreads (read only)"},
        {111, 111, "Total number of MICR reads (read only)"}, {121, 121, "User flash storage sector check sum"},
        {122, 122, "Predefined messages sector check sum"}, {123, 123, "User defined thermal sector check sum"},
        {124, 124, "User defined impact sector check sum"}, {125, 125, "Downloaded graphics sector check sum"},
        {126, 126, "Printer's model number"}};
    for (const auto& n : names)
        if (number >= n.from && number <= n.to) return n.name;
    return "Reserved";
}

namespace {

// The status bytes both the link frames and the USB reports carry: s0, s1, s2 and s4 of the
// frame's message, and the line count byte (s5 of a frame).
void statusBytes(TraceFormatter& run, int s0, int s1, int s2, int s4, int lineCount,
                 const char* firmwareError) {
    TraceOutput& out = run.out();
    CoreState& state = run.core();
    static const Bit b0[] = {{0x01, false, "Command loaded"}, {0x02, false, "Receipt - right home"},
                             {0x04, false, "Receipt - left home"}, {0x08, true, "Slip - no home"},
                             {0x20, false, "Ribbon cover open"}, {0x40, false, "Receipt - print error"},
                             {0x80, false, "Command reject"}};
    static const Bit b1[] = {{0x01, true, "Document ready"}, {0x02, true, "Document under front sensor"},
                             {0x04, true, "Document under top sensor"}, {0x10, false, "Print buffer held"},
                             {0x20, false, "Open throat position"}, {0x40, false, "Buffer empty"},
                             {0x80, false, "Buffer full"}};
    const Bit b2[] = {{0x01, false, "Memory sector is full"}, {0x02, false, "Home error"},
                      {0x04, false, "Document error"}, {0x08, false, "Flash EPROM load error"},
                      {0x20, false, "User flash sector is full"}, {0x40, false, firmwareError}};
    const std::string indent = out.infoOffset();
    statusByte(out, static_cast<uint8_t>(s0), b0);
    statusByte(out, static_cast<uint8_t>(s1), b1);
    statusByte(out, static_cast<uint8_t>(s2), b2);
    if ((s2 & 0x80) && lineCount == state.printerLineCount)
        out.print("\n%sCommand complete (erase flash EPROM or flip check)", indent.c_str());
    state.printerLineCount = lineCount;
    if (s4) {
        if (s4 & 0x01) out.print("\n%sPrinter ID available", indent.c_str());
        if (s4 & 0x02) out.print("\n%sEC level available (#%d)", indent.c_str(), ++state.ecLevels);
        if (s4 & 0x04) out.print("\n%sMICR data available", indent.c_str());
        if (s4 & 0x08) out.print("\n%sMCT data available (Rsp# %d)", indent.c_str(), state.mctResponses++);
        if (s4 & 0x10) out.print("\n%sUser flash data available", indent.c_str());
        if (s4 & 0x40) out.print("\n%sImage Scan Complete", indent.c_str());
        if (s4 & 0x80) out.print("\n%sImage Data Attached", indent.c_str());
    }
}

} // namespace

void DecodePrinterStatus(TraceFormatter& run, const uint8_t* m, int length) {
    auto byte = [&](int i) { return i < length ? m[i] : 0; };
    static const Bit b6[] = {{0x01, false, "Back-Mark Sensor set"}, {0x02, false, "Lost +24V (below +20V)"},
                             {0x04, false, "PDF417 bar code generation problem"}, {0x08, false, "Cash drawer open"},
                             {0x10, false, "Printer key pressed"}, {0x40, false, "Document station selected"},
                             {0x80, false, "Document feed error"}};
    statusBytes(run, byte(0), byte(1), byte(2), byte(4), byte(5), "Firmware error");
    statusByte(run.out(), static_cast<uint8_t>(byte(6)), b6);
}

void DecodeUsbPrinterStatus(TraceFormatter& run, const uint8_t* d, int length) {
    TraceOutput& out = run.out();
    CoreState& state = run.core();
    auto byte = [&](int i) { return i < length ? d[i] : 0; };
    const std::string indent = out.infoOffset();
    if (run.options().lineCounts) out.print("\n%s >> Receive Line Count %02x <<", indent.c_str(), byte(9));
    static const Bit card[] = {{0x01, false, "USB command complete"}, {0x02, true, "USB card not communicating"},
                               {0x40, false, "USB flash update in progress"}, {0x80, false, "USB command reject"}};
    statusByte(out, static_cast<uint8_t>(byte(0)), card);
    if (byte(1) == 0x70) out.print("\n%sUSB printer card RESET!!!!!", indent.c_str());
    if (byte(1) == 0x72) out.print("\n%sUSB printer card NOT COMMUNICATING!!!!!", indent.c_str());
    statusBytes(run, byte(4), byte(5), byte(6), byte(8), byte(9), "Firmware error (running from boot sector)");
    state.receiveLineCount = byte(9);
    if (run.options().lineCounts && (byte(5) & 0x40)) state.sendLineCount = byte(9);
    static const Bit b10[] = {{0x04, false, "PDF417 bar code generation problem"}, {0x08, true, "Cash drawer closed"},
                              {0x10, false, "Printer key pressed"}, {0x40, false, "Document station selected"},
                              {0x80, false, "Document feed error"}};
    statusByte(out, static_cast<uint8_t>(byte(10)), b10);
}

void DecodePrinterCommands(TraceFormatter& run, const uint8_t* data, int length) {
    Decoder d{run, run.out(), run.core(), Cursor(data, length)};
    d.decode();
}
