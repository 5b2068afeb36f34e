// The model-6397 virtual printer's text escape sequences: ESC, a selector byte and its
// arguments. Every handler reads only within the write: when the arguments it needs are not
// all there, it consumes what remains and does nothing.
#include <algorithm>
#include <cstring>

#include "PRNT63V.h"
#include "ovkhost.h"

namespace {

constexpr unsigned char kEsc = 0x1B;

// The value of a digit byte (offset by 0x30).
unsigned digit(unsigned char b) { return static_cast<unsigned char>(b - 0x30); }

// n digit bytes, the first in the highest position.
uint32_t digits(const unsigned char* p, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | digit(p[i]);
    return v;
}

} // namespace

int PRNT63V::Escape(const unsigned char* p, int count, int& error) {
    error = 0;
    int rc = 0;          // the result of what the escape sent
    bool counts = false; // only the commands of G, P, O and L stop the write
    const unsigned char selector = p[0];
    const int args = count - 1; // argument bytes available after the selector
    sWriteBuffer& b = Cur();
    int used = 0;
    bool flush = false;
    switch (selector) {
    case 0x0E:
        b.pitch = 15;
        b.doubleWide = 1;
        break;
    case 0x17:
        b.pitch = 15;
        b.doubleHigh = 1;
        break;
    case kEsc: {
        const unsigned char c = Translate(kEsc);
        rc = AddCharToWriteBuffer(c ? c : ' ');
        break;
    }
    case '!': used = EscapeBang(p, count); break;
    case '"': used = EscapeSelectColor(p, count); break;
    case '#':
        if (args < 1) return 0;
        b.doubleWide = p[1] >> 4;
        b.doubleHigh = p[1] & 0x0f;
        used = 1;
        break;
    case '$': used = EscapeSelectUDF(p, count); break;
    case '5':
        if ((printFeatures_ & 0x2) && OnDI()) rc = AddCmdToWriteBuffer(42);
        flush = true;
        break;
    case ':':
        if (!dbcsActive_) {
            b.printMode = static_cast<uint8_t>((b.printMode & ~3) | 1);
            b.pitch = 12;
            b.doubleWide = b.doubleHigh = 0;
        }
        break;
    case ';':
        b.printMode = static_cast<uint8_t>(b.printMode & ~3);
        b.doubleWide = b.doubleHigh = 0;
        if (!dbcsActive_) b.pitch = 15;
        break;
    case '<':
        if (!dbcsActive_) {
            b.printMode = static_cast<uint8_t>(b.printMode & ~3);
            b.pitch = 17;
            b.doubleWide = b.doubleHigh = 0;
        }
        break;
    case '=':
        if (args < 1) return 0;
        rc = EscapeCPL(p[1]);
        used = 1;
        break;
    case '>':
        if (!dbcsActive_ && !OnDI() && thermal_) {
            b.printMode = static_cast<uint8_t>((b.printMode & ~3) | 2);
            b.pitch = 20;
            b.doubleWide = b.doubleHigh = 0;
        }
        break;
    case '?':
        if (args < 1) return 0;
        if (!OnDI() && thermal_ && p[1] != b.fixFontMatrix) {
            b.fixFontMatrix = p[1];
            rc = SetFixFontMatrix();
        }
        used = 1;
        break;
    case 'A':
        if (args < 1) return 0;
        rc = EscapePrintAlignment(p[1]);
        used = 1;
        break;
    case 'B': {
        if (args >= 1 && p[1] == 'D') {
            const int r = EscapeBitmapLoad(p, count, error);
            if (r < 0) return 0; // the logo unit's: dropped like an unknown escape
            used = r;
        } else {
            used = EscapeBitmap(p, count);
        }
        break;
    }
    case 'C': used = EscapePassThrough(p, count); break;
    case 'E': b.printMode |= 0x08; break;
    case 'F': b.printMode = static_cast<uint8_t>(b.printMode & ~0x08); break;
    case 'G':
        rc = SetChase(parm_.printStation);
        counts = true;
        break;
    case 'I': used = EscapeInterCharacterSpacing(p, count); break;
    case 'L':
        counts = true;
        if (OnDI()) {
            if ((modelId_ == 136 || modelId_ == 200) && ecLevel_ <= 107) rc = AddCmdToWriteBuffer(43);
            if (rc == 0) rc = AddCmdToWriteBuffer(39);
        }
        break;
    case 'M':
        if (OnDI()) {
            rc = SendWritePending();
            if (rc == 0) {
                Cur().commandCode = 44;
                rc = SendWritePending();
            }
            stationAfterWrite_ = true;
        }
        break;
    case 'O':
        counts = true;
        if (OnReceipt()) rc = AddCmdToWriteBuffer(45);
        break;
    case 'P':
        counts = true;
        if (OnReceipt()) {
            if (args >= 2 && p[1] == kEsc && p[2] == 'G') {
                rc = SetChase(parm_.printStation);
                used = 2;
            }
            if (rc == 0) rc = SendWritePending();
            if (rc == 0) rc = AddCmdToWriteBuffer(40);
        }
        break;
    case 'R':
        if ((printFeatures_ & 0x1) && OnDI()) rc = AddCmdToWriteBuffer(41);
        flush = true;
        break;
    case 'S': {
        if (args < 1) return 0;
        const long station = static_cast<long>(digit(p[1]));
        if (station != parm_.printStation && validatePrintStation(station) == 0)
            rc = SetPrintStationChanged(static_cast<int>(station), settings_.diOrientation);
        used = 1;
        break;
    }
    case 'T': {
        if (args < 1) return 0;
        const long mode = p[1] < 0x21 ? p[1] : static_cast<long>(digit(p[1]));
        if (validateTransactionMode(mode) == 0) rc = TransactionMode(static_cast<int>(mode));
        used = 1;
        break;
    }
    case 'W': {
        if (args < 2) return args;
        const long width = static_cast<long>(digits(p + 1, 2));
        if (width != parm_.diWidth && validateDIWidth(width) == 0) {
            parm_.diWidth = static_cast<unsigned short>(width);
            rc = SetLeftMargin(PRN63_DI);
        }
        used = 2;
        break;
    }
    case 'X': {
        if (args < 1) return 0;
        const long mode = static_cast<long>(digit(p[1]));
        if (mode != parm_.printMode && validateMode(mode) == 0) {
            TransactionMode(0);
            rc = SetPrintMode(static_cast<unsigned short>(mode));
        }
        used = 1;
        break;
    }
    case 'a':
        if (args < 1) return 0;
        if (digit(p[1]) <= 2) rc = EscapePrintAlignment(static_cast<unsigned char>(digit(p[1])));
        used = 1;
        break;
    case 'c': {
        if (args < 2) return args;
        const auto cp = static_cast<unsigned short>(digits(p + 1, 2));
        if (cp != codePage_) rc = SetCodePage(cp);
        used = 2;
        break;
    }
    case 'f':
        if (args < 4) return args;
        rc = EscapeSetLineFeedDistance(digits(p + 1, 4));
        used = 4;
        break;
    case 'h':
        if (args < 1) return 0;
        if (p[1] == '1') {
            chaseOnPaperLoaded_ = true;
            rc = Tell(60, nullptr, 0);
        } else if (p[1] == '0') {
            chaseOnPaperLoaded_ = false;
            rc = Tell(61, nullptr, 0);
        }
        used = 1;
        break;
    case 'k': used = EscapePrintBarcode(p, count); break;
    case 'l': used = EscapePrintPDF417(p, count); break;
    case 'm': {
        if (args < 4) return args;
        const uint32_t margin = digits(p + 1, 4);
        if (pageModeActive_ && margin != settings_.leftMarginCR && validateleftMarginCR(static_cast<long>(margin)) == 0) {
            settings_.leftMarginCR = margin;
            rc = SetLeftMargin(PRN63_CR);
        }
        used = 4;
        break;
    }
    case 'n': {
        if (args < 1) return 0;
        const long orientation = static_cast<long>(digit(p[1]));
        if (orientation != settings_.diOrientation && validatediOrientation(orientation) == 0)
            rc = SetPrintStationChanged(parm_.printStation, static_cast<int>(orientation));
        used = 1;
        break;
    }
    case 'p':
        if (args < 2) return args;
        if (!(OnDI() && settings_.diOrientation == 1)) rc = AddPatchedCmd(37, 2, p + 1, 2);
        used = 2;
        break;
    case 'q':
        if (args < 1) return 0;
        rc = AddPatchedCmd(38, 2, p + 1, 1);
        used = 1;
        break;
    case 'r': {
        const int r = EscapeReadFlash(p, count, error);
        if (r < 0) return 0;
        used = r;
        break;
    }
    case 's': used = EscapeInlineLogo(p, count); break;
    case 't':
        if (!OnDI()) rc = AddCmdToWriteBuffer(89);
        break;
    case 'u': {
        if (args < 1) return 0;
        const long value = static_cast<long>(digit(p[1]));
        if (value != settings_.upsideDown && validatePrintUpsideDown(value) == 0) {
            settings_.upsideDown = static_cast<unsigned short>(value);
            if (thermal_) {
                const auto byte = static_cast<unsigned char>(value);
                rc = AddPatchedCmd(94, 2, &byte, 1);
            }
        }
        used = 1;
        break;
    }
    case 'w': {
        const int r = EscapeWriteFlash(p, count, error);
        if (r < 0) return 0;
        used = r;
        break;
    }
    case 'z':
        if (args >= 1) {
            rc = OpenCashDrawer(p[1]);
            used = 1;
        }
        flush = true;
        break;
    case 0x90: used = EscapePageMode(p, count); break;
    default:
        if (selector >= 0x80 && selector <= 0x87) {
            const int r = EscapeImage(p, count, error);
            if (r < 0) return 0;
            used = r;
            flush = true;
            break;
        }
        return 0; // no handler: the escape is dropped
    }
    if (counts && error == 0) error = rc;
    if (flush) {
        const int flushed = SendWritePending();
        if (error == 0) error = flushed;
    }
    return std::clamp(used, 0, args);
}

int PRNT63V::EscapeBang(const unsigned char* p, int count) {
    if (count < 2) return 0;
    sWriteBuffer& b = Cur();
    const unsigned char n = p[1];
    const bool on = n >= 1 && n <= 6;
    const bool off = n >= 0x81 && n <= 0x86;
    if (!on && !off) return 1;
    switch (n & 0x7f) {
    case 1: b.doubleHigh = on; break;
    case 2: b.doubleWide = on; break;
    case 3: b.printMode = static_cast<uint8_t>(on ? b.printMode | 0x80 : b.printMode & ~0x80); break;
    case 4: b.printMode = static_cast<uint8_t>(on ? b.printMode | 0x04 : b.printMode & ~0x04); break;
    case 5: b.printMode = static_cast<uint8_t>(on ? b.printMode | 0x40 : b.printMode & ~0x40); break;
    case 6:
        if (b.rotate != static_cast<uint8_t>(on)) {
            b.rotate = on;
            SetRotateMode();
        }
        break;
    default: break;
    }
    return 1;
}

int PRNT63V::EscapeSelectColor(const unsigned char* p, int count) {
    if (count < 2) return 0;
    sWriteBuffer& b = Cur();
    if (!OnDI() && thermal_ && p[1] != b.color) {
        b.color = p[1];
        SetColorPrint();
    }
    return 1;
}

int PRNT63V::EscapeSelectUDF(const unsigned char* p, int count) {
    if (count < 2) return 0;
    const unsigned char n = p[1];
    if ((thermal_ || modelId_ == 0 || modelId_ == 6) && n <= 4) Cur().udf = n == 0 ? 255 : n - 1;
    return 1;
}

int PRNT63V::EscapePrintAlignment(unsigned char value) {
    if (value > 2 || value == settings_.alignment) return 0;
    settings_.alignment = value;
    return AddPatchedCmd(30, 2, &value, 1);
}

int PRNT63V::EscapeSetLineFeedDistance(uint32_t value) {
    if (pageModeActive_ || validateLineFeedCR(static_cast<long>(value)) != 0) return 0;
    uint32_t* feed = nullptr;
    switch (parm_.printStation) {
    case PRN63_CR: feed = &parm_.lineFeedCR; break;
    case PRN63_SJ: feed = &parm_.lineFeedSJ; break;
    case PRN63_DI: feed = &parm_.lineFeedDI; break;
    default: return 0;
    }
    if (*feed == value) return 0;
    *feed = value;
    return SetLineSpacing(-1);
}

// ESC B D|P len-hi len-lo data... one more byte.
int PRNT63V::EscapeBitmap(const unsigned char* p, int count) {
    const int args = count - 1;
    if (args < 4) return args;
    const unsigned length = p[2] << 8 | p[3];
    const int need = static_cast<int>(length) + 4;
    if (args < need) return args; // the data are not all in this write
    if (length == 0 || p[1] != 'P') return need;
    const unsigned char* data = p + 4;
    int rc = ValidateLogoCommand(data, length);
    if (rc == 0) rc = SendWritePending();
    int written = 0;
    if (rc == 0) WriteOther(data, length, written, 1, 17, 0);
    return need;
}

// ESC C b ...
int PRNT63V::EscapePassThrough(const unsigned char* p, int count) {
    if (count < 2) return 0;
    const unsigned char b = p[1];
    if (b != kEsc) {
        AddBytes(&b, 1);
        return 1;
    }
    const int args = count - 1;
    const unsigned char marker = args >= 4 ? p[4] : 0;
    if (marker == 'a') {
        if (args < 7) return args;
        unsigned char align = p[7];
        if (align >= 208 && align <= 212) align = static_cast<unsigned char>(align - 208);
        AddPatchedCmd(30, 2, &align, 1);
        return 7;
    }
    if (marker == '9') {
        DiscardMicrData(5);
    } else if (marker == '>') {
        DiscardMicrData(12);
        DiscardMicrData(13);
        DiscardMicrData(17);
        MakeFree(16);
    } else {
        MakeFree(16);
    }
    AddBytes(&b, 1);
    return 1;
}

// ESC I s p v
int PRNT63V::EscapeInterCharacterSpacing(const unsigned char* p, int count) {
    const int args = count - 1;
    if (args < 3) return args;
    if (pageModeActive_) return 3;
    sWriteBuffer& b = p[1] == 'D' ? buffers_[2] : (p[1] == 'L' || p[1] == 'S') ? buffers_[1] : buffers_[0];
    uint8_t* slot = nullptr;
    switch (p[2]) {
    case 12: slot = &b.spacing12; break;
    case 15: slot = &b.spacing15; break;
    case 17: slot = &b.spacing17; break;
    case 20: slot = &b.spacing20; break;
    default: return 3;
    }
    if (*slot != p[3]) {
        *slot = p[3];
        b.pitchSent = 0;
    }
    return 3;
}

// ESC k t w h hp hf data
int PRNT63V::EscapePrintBarcode(const unsigned char* p, int count) {
    const bool accepted = (modelId_ != 0 && ecLevel_ > 27) || (printFeatures_ & 0x200) || parm_.printStation == PRN63_CR;
    if (!accepted) return 0;
    const int args = count - 1;
    const unsigned char* a = p + 1;
    if (args < 6) return args;
    const unsigned char type = a[0];
    unsigned dataLength = 0;
    if (type == 9) {
        const unsigned char l = a[5];
        if (l != 255) {
            if (count < l + 7) return args;
            dataLength = l;
        }
    } else {
        while (5 + dataLength < static_cast<unsigned>(args) && a[5 + dataLength] != 0) ++dataLength;
    }
    const unsigned need = std::max(150u, dataLength);
    if (Cur().Free() < need) {
        tprintf("Make sure %d bytes are available for barcode (available=%d)\n", need, Cur().Free());
        SendWritePending();
    }
    unsigned char width = a[1];
    if (type == 4 && width == 3 && dataLength > 8) width = 2;
    AddPatchedCmd(32, 2, &width, 1);
    AddPatchedCmd(33, 2, a + 2, 1);
    AddPatchedCmd(34, 2, a + 3, 1);
    AddPatchedCmd(35, 2, a + 4, 1);
    AddPatchedCmd(31, 2, a + 0, 1);
    sWriteBuffer& b = Cur();
    auto put = [&](unsigned char c) {
        if (b.length >= b.capacity) return false;
        b.data[b.length++] = c;
        return true;
    };
    int index = 5;
    if (type == 9) {
        index = 6;
        if (a[5] != 255) {
            put(a[5]);
            for (unsigned i = 0; i < dataLength && put(a[6 + i]); ++i) ++index;
        }
        return index;
    }
    for (unsigned i = 0; i < dataLength && put(a[5 + i]); ++i) ++index;
    if (index < args && a[index] == 0) ++index; // the terminator
    put(0);
    return index;
}

// ESC l x ...
int PRNT63V::EscapePrintPDF417(const unsigned char* p, int count) {
    const int args = count - 1;
    if (args < 1) return 0;
    const unsigned char* a = p + 1;
    switch (a[0]) {
    case 'R': {
        if (args < 3) return args;
        const unsigned rc = a[1] << 8 | a[2];
        if (rc <= 400) {
            pdfRows_ = a[1];
            pdfColumns_ = a[2];
        }
        return 3;
    }
    case 'S':
        if (args < 3) return args;
        if (a[1] >= '1' && a[1] <= '9' && a[2] >= '1' && a[2] <= 0xAF) {
            pdfSecurity_ = static_cast<unsigned short>(a[1] - 0x30);
            pdfRatio_ = static_cast<unsigned short>(a[2] - 0x30);
        }
        return 3;
    case 'T':
        if (args < 2) return args;
        pdfTruncate_ = a[1] == '1';
        return 2;
    case 'P': {
        // The data run to a 0 byte, which must be in this write.
        int end = 1;
        while (end < args && a[end] != 0) ++end;
        if (end >= args) return args;
        if (!(parm_.printStation == PRN63_CR || parm_.printStation == PRN63_SJ)) return end + 1;
        SendWritePending();
        const unsigned char rowsColumns[2] = {static_cast<unsigned char>(pdfRows_), static_cast<unsigned char>(pdfColumns_)};
        const unsigned char security[2] = {static_cast<unsigned char>(pdfSecurity_), static_cast<unsigned char>(pdfRatio_)};
        const auto truncate = static_cast<unsigned char>(pdfTruncate_);
        AddPatchedCmd(79, 2, rowsColumns, 2);
        AddPatchedCmd(80, 2, security, 2);
        AddPatchedCmd(81, 2, &truncate, 1);
        SendWritePending();
        AddCmdToWriteBuffer(78);
        sWriteBuffer& b = Cur();
        int index = 1;
        while (index < end && b.length + 1 < b.capacity) b.data[b.length++] = a[index++];
        if (b.length < b.capacity) b.data[b.length++] = 0;
        return index == end ? end + 1 : index;
    }
    default: return 0;
    }
}

// ESC s t w1 w2 image
int PRNT63V::EscapeInlineLogo(const unsigned char* p, int count) {
    const int args = count - 1;
    if (args < 3) return args;
    const unsigned char type = p[1];
    const unsigned width = p[2] << 8 | p[3];
    if (width == 0 || type > 1) return 3;
    const unsigned size = 24 * std::max(1u, (width + 7) / 8);
    const int need = static_cast<int>(size) + 3;
    if (args < need) return args;
    if (parm_.printStation == PRN63_CR && thermal_ && width <= Cur().lineWidth) {
        int written = 0;
        SendWritePending();
        WriteOther(p + 4, size, written, 1, 88, StationCommand());
    }
    return need;
}

// ESC 0x90 s ...
int PRNT63V::EscapePageMode(const unsigned char* p, int count) {
    const int args = count - 1;
    if (parm_.printStation != PRN63_CR || args < 1) return 0;
    const unsigned char s = p[1];
    const unsigned char* a = p + 2;
    const int have = args - 1; // bytes after the sub-code
    auto withBytes = [&](unsigned short code, int n) {
        if (have < n) return args;
        if (pageModeActive_) AddPatchedCmd(code, 2, a, static_cast<unsigned short>(n));
        return n + 1;
    };
    switch (s) {
    case 1:
        if (pageModeSupported_ && !pageModeActive_) {
            AddCmdToWriteBuffer(144);
            pageModeActive_ = true;
        }
        return 1;
    case 2:
        if (pageModeActive_) AddCmdToWriteBuffer(145);
        return 1;
    case 3:
    case 4:
        if (pageModeActive_) {
            AddCmdToWriteBuffer(s == 3 ? 146 : 147);
            pageModeActive_ = false;
        }
        return 1;
    case 5: return withBytes(148, 2);
    case 6: return withBytes(149, 2);
    case 7:
        if (have < 8) return args;
        if (pageModeActive_) {
            SendWritePending();
            AddCmdToWriteBuffer(150);
            AddBytes(a, 8);
            SendWritePending();
        }
        return 9;
    case 8: return withBytes(151, 1);
    case 9:
        if (pageModeActive_) AddCmdToWriteBuffer(152);
        return 1;
    case 16: return withBytes(153, 4);
    case 17: return withBytes(154, 2);
    case 18: return withBytes(155, 2);
    case 19: return withBytes(156, 1);
    default: return 1;
    }
}

// Logos for ESC B P and print mode 2.
int PRNT63V::ValidateLogoCommand(const unsigned char* data, unsigned int n) {
    const unsigned short station = parm_.printStation;
    if (station == PRN63_SJ || station == PRN63_CRSJ || (station == PRN63_DI && settings_.diOrientation == 1))
        return POSERR_PRN_INVALID_STATION;
    if (!data || n < 4) return POSERR_PRN_INCORRECT_DATA_FORMAT;
    const unsigned t = data[0], x = data[1], y = data[2];
    if (t > 2 || n != x * y * 8 + 3) return POSERR_PRN_INCORRECT_DATA_FORMAT;
    unsigned limit = 8003;
    if (modelId_ == 0) limit = 3403;
    else if (ecLevel_ <= 53 && !(printFeatures_ & 0x200)) limit = 4003;
    if (n > limit) return POSERR_PRN_INCORRECT_DATA_FORMAT;
    if (station == PRN63_DI) {
        if (x >= (t == 0 ? 60u : 30u) || y > 5) return POSERR_PRN_INCORRECT_DATA_FORMAT;
    } else if (t == 0) {
        if (x > 72) return POSERR_PRN_INCORRECT_DATA_FORMAT;
    } else if (x >= 37) {
        return POSERR_PRN_INCORRECT_DATA_FORMAT;
    }
    return 0;
}
