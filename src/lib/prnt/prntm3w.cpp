// The M3 virtual printer's writing: text with escape sequences into station lines (single-
// or double-byte), logos in even and odd passes, cheque text as 8x16 bitmaps through the
// logo path, RAS data, and the control sequences of the add-on document module.
#include <algorithm>
#include <cstring>
#include <new>

#include "PRNTM3.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)prntm3w.cpp 1.1";

enum : uint32_t {
    kLogLineNoMemory = 19416,
    kLogBadMode = 19425,
    kLogDbcsNoMemory = 19428,
    kLogCheckNoMemory = 19429,
};

constexpr unsigned char kEsc = 0x1B;
constexpr int kCheckGlyphs = 18;
constexpr int kWaitStep = 50;

const unsigned char kVersion[6] = {'^', '@', 'L', '\r', kEsc, 'G'};
const unsigned char kFront[6] = {'/', 'F', '\n', '\r', kEsc, 'G'};
const unsigned char kRegister[10] = {'\n', '\n', '\n', '\n', '\n', '\n', '\n', '\r', kEsc, 'G'};
const unsigned char kFrontLine[4] = {'\n', '\r', kEsc, 'G'};

bool startsWith(const unsigned char* data, unsigned long length, const unsigned char* what, size_t n) {
    return data && length >= n && std::memcmp(data, what, n) == 0;
}

} // namespace

// ---------------------------------------------------------------------------------------
// Write.

int PRNTM3V::Write(const void* buffer, unsigned int length, int& count) {
    count = 0;
    int rc = RequireHolding();
    if (rc != 0) return rc;
    if (length > kMaxWrite) return 318;
    const auto* data = static_cast<const unsigned char*>(buffer);
    if (!data) length = 0;
    switch (parm_.printMode) {
    case PRN_MODE_NORMAL: return WriteText(data, length, count);
    case PRN_MODE_LOGO: return WriteLogo(data, length, count);
    case PRN_MODE_CHECK: return WriteCheck(data, length, count);
    case PRN_MODE_RAS: return WriteRAS(data, length, count);
    default:
        clErrorLog(kLogBadMode, 311, parm_.printMode, kTag, this, sizeof(PRNTM3V));
        return 311;
    }
}

int PRNTM3V::WriteRAS(const unsigned char* data, unsigned long length, int& written) {
    written = 0;
    unsigned short code = M3_RAW_CR;
    if (parm_.printStation == 2) code = M3_RAW_SJ;
    else if (parm_.printStation == 4) code = M3_RAW_DI;
    const int rc = PrnCmdWithFeed(code, 0, 0, static_cast<unsigned short>(length), data, 0, 0);
    if (rc == 0) written = static_cast<int>(length);
    return rc;
}

// ---------------------------------------------------------------------------------------
// The add-on module's sequences.

template <class Done>
bool PRNTM3V::WaitFor(int tries, Done done) {
    auto* printer = dynamic_cast<PRNTP*>(pdev_);
    const int holds = printer ? printer->UnlockFully() : 0;
    bool ok = done();
    for (int i = 0; i < tries && !ok; ++i) {
        chSleep(kWaitStep);
        ok = done();
    }
    if (printer) printer->Relock(holds);
    return ok;
}

void PRNTM3V::FlushPassThrough(int& rc) {
    if (rc == 0) rc = SendWritePending();
}

// Recognises the module's sequences at the start of data; true when the data were taken.
bool PRNTM3V::AddOnSequence(const unsigned char* data, unsigned long length, int& written, int& rc) {
    const unsigned short station = parm_.printStation;
    if (station == 1 && startsWith(data, length, kVersion, sizeof kVersion)) {
        tprintf("Processing Epson P7 Module Version Information request\n");
        versionInProgress_ = true;
        micrArrived_ = false;
        lastStatusWord_ = 0;
        tprintf("Discarding any bufferred commands (before processing)\n");
        Tell(PRN_TP_DISCARD, nullptr, 0);
        SetChase(station);
        for (unsigned char c : {'^', '@', 'L'}) line_[lineLength_++] = Translate(c);
        tprintf("Sending '^@L' to P7\n");
        FlushPassThrough(rc);
        std::fill(std::begin(column_), std::end(column_), 0);
        tprintf("Waiting for document ready\n");
        if (WaitFor(40, [this] { return (lastStatusWord_ & 0x20) != 0; })) tprintf("Document now ready\n");
        parm_.printStation = 4;
        Tell(PRN_TP_ENABLE_DI, nullptr, 0);
        tprintf("Sending MICR read request\n");
        MicrRead();
        tprintf("Waiting for MICR read\n");
        if (WaitFor(40, [this] { return micrArrived_; })) tprintf("MICR Data now available\n");
        tprintf("Releasing document\n");
        ReleaseDocument(parm_.feedDirection);
        parm_.printStation = 1;
        Tell(PRN_TP_DISABLE_DI, nullptr, 0);
        tprintf("Waiting for document to be released\n");
        if (WaitFor(40, [this] { return (lastStatusWord_ & 0x20) == 0; })) tprintf("Document released\n");
        versionInProgress_ = false;
        tprintf("Discarding any bufferred commands (after processing)\n");
        written = static_cast<int>(length);
        return true;
    }
    if (station == 2 && startsWith(data, length, kVersion, sizeof kVersion)) {
        tprintf("Processing Epson P7 Firmware Download request\n");
        Tell(M3_TP_FIRMWARE_MODE, nullptr, 0);
        return false;
    }
    if (station == 4 && startsWith(data, length, kFront, sizeof kFront)) {
        tprintf("Processing Epson P7 Document Front request\n");
        documentFront_ = true;
        fRegisterDocument = 0;
        DiLineCount = 0;
        WaitFor(400, [this] {
            QueueState state{};
            return Tell(PRN_TP_QUERY_QUEUE, &state, sizeof state) != 0 || state.sent == 0;
        });
        parm_.diWidth = 1;
        Tell(M3_TP_DOCUMENT_FRONT, nullptr, 0);
        for (unsigned char c : {'/', 'F'}) line_[lineLength_++] = Translate(c);
        tprintf("Sending '/F' to P7\n");
        FlushPassThrough(rc);
        chaseComplete_ = false;
        SetChase(station);
        tprintf("Waiting for '/F' to be sent to P7 module\n");
        if (WaitFor(40, [this] { return chaseComplete_; })) tprintf("'/F' sent to P7 completed\n");
        written = static_cast<int>(length);
        return true;
    }
    if (documentFront_ && !fRegisterDocument && !startsWith(data, length, kFrontLine + 2, 2)) {
        auto post = [this](uint32_t msg, uint32_t p1, uint32_t p2) {
            PRNTMSG m;
            m.msg = msg;
            m.p1 = p1;
            m.p2 = p2;
            SendUserAMessage(&m);
        };
        if (startsWith(data, length, kRegister, sizeof kRegister)) {
            RegisterDocument(parm_.feedDirection);
            fRegisterDocument = 1;
            post(POSM_PRN_CHASE_COMPLETE, 0x40000, 0);
            feedPending_ = true;
            FlushPassThrough(rc);
            ++DiLineCount;
        } else if (startsWith(data, length, kFrontLine, sizeof kFrontLine)) {
            post(POSM_PRN_STATUS_CHANGE, 0x20000, 0x3070);
            post(POSM_PRN_STATUS_CHANGE, 0x10000, 0x3040);
            post(POSM_PRN_STATUS_CHANGE, 0x40000, 0x3040);
            post(POSM_PRN_CHASE_COMPLETE, 0x40000, 0x3040);
            post(POSM_PRN_STATUS_CHANGE, 0x20000, 0x3078);
            post(POSM_PRN_STATUS_CHANGE, 0x10000, 0x3078);
            post(POSM_PRN_STATUS_CHANGE, 0x40000, 0x3078);
        } else if (length >= 2 && data[length - 2] == kEsc && data[length - 1] == 'G') {
            chaseComplete_ = false;
            SetChase(station);
            WaitFor(40, [this] { return chaseComplete_; });
        }
        written = static_cast<int>(length);
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------
// Text.

int PRNTM3V::WriteText(const unsigned char* data, unsigned long length, int& written) {
    written = 0;
    if (!line_) return 315;
    clTrace(93, 301, data, static_cast<int>(length), 0);
    int rc = 0;
    if (AddOnSequence(data, length, written, rc)) return rc;
    const bool dbcs = config_.model == 4 && config_.dbcsMode == 1 && dbcsFlag_;
    const unsigned short stations = parm_.printStation;
    for (unsigned long i = 0; i < length; ++i) {
        const unsigned char c = data[i];
        if (escapePending_) {
            escapePending_ = false;
            auto mode = [&](int m) {
                if (m != fontMode_) rc = SendWritePending();
                fontMode_ = m;
            };
            switch (c) {
            case 0x0E: mode(3); break;
            case 0x17: mode(2); break;
            case '<':
                if ((ecLevel_ == 35 || ecLevel_ == 59 || ecLevel_ == 60) && config_.model != 4) mode(4);
                else rc = 311;
                break;
            case ':': mode(1); break;
            case ';': mode(0); break;
            case 'E':
                if (!emphasis_) rc = SendWritePending();
                emphasis_ = 1;
                break;
            case 'F':
                if (emphasis_) rc = SendWritePending();
                emphasis_ = 0;
                break;
            case 'G':
                if ((rc = SendWritePending()) == 0) rc = SetChase(stations);
                if (rc == 0 && documentFront_ && ecLevel_ == 0xFF) {
                    chaseComplete_ = false;
                    WaitFor(40, [this] { return chaseComplete_; });
                }
                break;
            case 'L':
                if (stations & 4)
                    if ((rc = SendWritePending()) == 0) rc = RegisterDocument(parm_.feedDirection);
                break;
            case 'M':
                if (stations & 4) {
                    if (documentFront_) {
                        feedPending_ = true;
                        parm_.diWidth = 0;
                    }
                    if ((rc = SendWritePending()) == 0) rc = ReleaseDocument(parm_.feedDirection);
                    documentFront_ = false;
                }
                break;
            case 'O':
                if (stations & 1)
                    if ((rc = SendWritePending()) == 0) rc = AdvancePaperToTearBar();
                break;
            case 'P':
                if (stations & 1)
                    if ((rc = SendWritePending()) == 0) rc = CutPaper();
                break;
            case 'R':
                if (stations & 4)
                    if ((rc = SendWritePending()) == 0) rc = MicrRead();
                break;
            default:
                break;
            }
        } else if (c == kEsc) {
            escapePending_ = true;
        } else if (dbcs && isdbcs1(c) && i + 1 < length) {
            if (lineLength_ > 126) rc = SendWritePending();
            if (rc == 0) {
                line_[lineLength_++] = c;
                line_[lineLength_++] = data[++i];
            }
        } else if (c == '\n') {
            if (!documentFront_ || DiLineCount++ < 8) {
                feedPending_ = true;
                rc = SendWritePending();
            }
        } else if (c == '\r') {
            if (i + 1 < length && data[i + 1] == '\n') {
                ++i;
                feedPending_ = true;
            }
            rc = SendWritePending();
            for (unsigned short s = 0; s < 3; ++s)
                if (stations & stationBits_[s]) column_[s] = usedTenths_[s] = 0;
        } else if (dbcs) {
            // A pair needs two bytes: flush first when they do not fit.
            if (lineLength_ > 126) rc = SendWritePending();
            if (rc == 0) {
                line_[lineLength_++] = fontMode_ == 3 ? 0x0E : fontMode_ == 2 ? 0x0F : 0;
                line_[lineLength_++] = Translate(c);
            }
        } else {
            const bool wide = fontMode_ == 2 || fontMode_ == 3;
            if (lineLength_ > (wide ? 126 : 127)) rc = SendWritePending();
            const unsigned char t = Translate(c);
            if (rc == 0 && t != 0) {
                if (wide) line_[lineLength_++] = 0x0E;
                line_[lineLength_++] = t;
            }
        }
        if (rc != 0) return rc;
        written = static_cast<int>(i + 1);
    }
    return 0;
}

// The print command of a station for the font mode and emphasis, and its line width.
int PRNTM3V::CommandFor(unsigned short s, int& width, bool dbcs) const {
    int row = s == PRN_STATION_SJ ? 1 : 0;
    const bool wide = s == PRN_STATION_DI && parm_.diWidth == 1;
    if (s == PRN_STATION_DI) row = wide ? 3 : 2;
    const int entry = fontMode_ + 5 * emphasis_;
    int code = arPRINT_INFO[row][entry];
    if (s == PRN_STATION_DI && parm_.feedDirection == 1) code = arREVERSE_CMDS[(wide ? 10 : 0) + entry];
    if (dbcs) width = fontMode_ == 1 ? arPRINT_INFO[row][11] : fontMode_ == 4 ? 0 : arPRINT_INFO[row][10];
    else width = fontMode_ == 1 ? arPRINT_INFO[row][11] : fontMode_ == 4 ? arPRINT_INFO[row][15] : arPRINT_INFO[row][10];
    return code;
}

int PRNTM3V::SendSBCSWritePending() {
    if (!line_ || (lineLength_ == 0 && !feedPending_)) return 0;
    int rc = 0;
    const bool wide = fontMode_ == 2 || fontMode_ == 3;
    unsigned char out[kLine];
    for (unsigned short s = 0; s < 3 && rc == 0; ++s) {
        if (!(parm_.printStation & stationBits_[s])) continue;
        int width = 0;
        const auto code = static_cast<unsigned short>(CommandFor(s, width, false));
        if (width <= 0) break;
        int pos = 0, remaining = lineLength_;
        while (column_[s] + remaining > width && rc == 0) {
            const int n = width - column_[s];
            std::memset(out, ' ', sizeof out);
            std::memcpy(out + column_[s], line_ + pos, static_cast<size_t>(n));
            if (wide && out[width - 1] == 0x0E) out[width - 1] = ' ';
            rc = PrnCmdWithFeed(code, s, LineFeed(s), static_cast<unsigned short>(width), out, 0, 0);
            pos += n;
            remaining -= n;
            column_[s] = 0;
        }
        if (rc != 0 || (remaining == 0 && !feedPending_)) continue;
        std::memset(out, ' ', sizeof out);
        std::memcpy(out + column_[s], line_ + pos, static_cast<size_t>(remaining));
        column_[s] += remaining;
        if (column_[s] >= width) column_[s] = 0;
        rc = PrnCmdWithFeed(code, s, feedPending_ ? LineFeed(s) : 0, static_cast<unsigned short>(width), out, 0, 0);
        // A fed line: the next text starts at the left edge of the new line.
        if (feedPending_) column_[s] = 0;
    }
    std::memset(line_, ' ', kLine);
    lineLength_ = 0;
    feedPending_ = false;
    return rc;
}

int PRNTM3V::SendDBCSWritePending() {
    if (!line_ || (lineLength_ == 0 && !feedPending_)) return 0;
    int rc = 0;
    for (unsigned short s = 0; s < 3 && rc == 0; ++s) {
        if (!(parm_.printStation & stationBits_[s])) continue;
        int width = 0;
        const auto code = static_cast<unsigned short>(CommandFor(s, width, true));
        if (width <= 0) break;
        const int capacity = width * 10;
        if (dbcsLineSize_ < 4 * width) {
            auto* grown = new (std::nothrow) unsigned char[4 * width];
            if (!grown) {
                clErrorLog(kLogDbcsNoMemory, 305, 0, kTag, this, sizeof(PRNTM3V));
                rc = 305;
                break;
            }
            delete[] dbcsLine_;
            dbcsLine_ = grown;
            dbcsLineSize_ = 4 * width;
        }
        // A partly used line continues: what was printed becomes double-byte blanks.
        int used = usedTenths_[s];
        int bytes = 0;
        std::memset(dbcsLine_, 0, static_cast<size_t>(dbcsLineSize_));
        for (int p = 0; p < column_[s] && bytes + 2 <= dbcsLineSize_; ++p) {
            dbcsLine_[bytes++] = 0x81;
            dbcsLine_[bytes++] = 0x40;
        }
        auto cost = [this](unsigned char first) {
            if (first == 0) return 10;
            if (first == 0x0E || first == 0x0F) return 20;
            const int quote = config_.quoteFirst;
            const int base = config_.closeWord + config_.quoteSecond;
            if (quote == 9) return (fontMode_ == 2 || fontMode_ == 3) ? 2 * base : base;
            if (quote == 16) return emphasis_ ? base : 2 * base;
            return 0;
        };
        for (int p = 0; p + 1 < lineLength_ && rc == 0; p += 2) {
            const int c = cost(line_[p]);
            if (used + c > capacity || bytes + 2 > dbcsLineSize_) {
                rc = PrnCmdWithFeed(code, s, LineFeed(s), static_cast<unsigned short>(bytes), dbcsLine_, 0, 0);
                std::memset(dbcsLine_, 0, static_cast<size_t>(dbcsLineSize_));
                bytes = 0;
                used = 0;
            }
            dbcsLine_[bytes++] = line_[p];
            dbcsLine_[bytes++] = line_[p + 1];
            used += c;
        }
        if (rc != 0) break;
        const bool text = bytes > column_[s] * 2;
        column_[s] = bytes / 2;
        usedTenths_[s] = used;
        if (used >= capacity || feedPending_) column_[s] = usedTenths_[s] = 0;
        if (text || feedPending_)
            rc = PrnCmdWithFeed(code, s, feedPending_ ? LineFeed(s) : 0, static_cast<unsigned short>(std::max(bytes, 2)),
                                dbcsLine_, 0, 0);
    }
    std::memset(line_, 0, kLine);
    lineLength_ = 0;
    feedPending_ = false;
    return rc;
}

// ---------------------------------------------------------------------------------------
// Logos.

int PRNTM3V::WriteLogo(const unsigned char* data, unsigned long length, int& written) {
    written = 0;
    unsigned short codes[2] = {0, 0};
    int width = 380;
    unsigned short s = PRN_STATION_CR;
    switch (parm_.printStation) {
    case 0: return 0;
    case 1: codes[0] = M3_LOGO_CR_EVEN; codes[1] = M3_LOGO_CR_ODD; break;
    case 4:
        s = PRN_STATION_DI;
        if (parm_.diWidth == 1) {
            width = 880;
            codes[0] = parm_.feedDirection == 1 ? 60 : 52;
        } else {
            codes[0] = parm_.feedDirection == 1 ? 44 : 36;
        }
        codes[1] = static_cast<unsigned short>(codes[0] + 1);
        break;
    default: return POSERR_PRN_INVALID_STATION;
    }
    if (!work_) return 315;
    const int scan = static_cast<int>(std::min<unsigned long>(static_cast<unsigned long>(width), data ? length : 0));
    bool has[2] = {false, false};
    for (int i = 0; i < scan; ++i)
        if (data[i]) has[i % 2] = true;
    // The commands of a pass: one for width 380, up to three for 880.
    const int perPass = width == 380 ? 1 : 1 + (scan > 380 ? 1 : 0) + (scan > 500 ? 1 : 0);
    int toFollow = (has[0] ? perPass : 0) + (has[1] ? perPass : 0);
    int rc = 0;
    for (int parity = 0; parity < 2 && rc == 0; ++parity) {
        if (!has[parity]) continue;
        std::memset(work_, 0, kWork);
        int j = 0;
        for (int i = parity; i < scan; i += 2) {
            if (width == 880 && i >= 500 && j < 380) j = 380;
            if (j < kWork) work_[j++] = data[i];
        }
        static const int kOffsets[3] = {0, 190, 380};
        static const unsigned char kThird[3] = {0, 39, 51};
        for (int k = 0; k < perPass && rc == 0; ++k) {
            --toFollow;
            rc = PrnCmdWithFeed(codes[parity], s, toFollow == 0 ? LineFeed(s) : 0, 190, work_ + kOffsets[k],
                                static_cast<unsigned short>(toFollow), kThird[k]);
        }
    }
    written = static_cast<int>(length);
    return rc;
}

// ---------------------------------------------------------------------------------------
// Cheques.

int PRNTM3V::WriteCheck(const unsigned char* data, unsigned long length, int& written) {
    written = 0;
    if (parm_.printStation != 4) return POSERR_PRN_INVALID_STATION;
    if (config_.model == 4 && config_.dbcsMode == 1 && dbcsFlag_) return POSERR_PRN_INVALID_MODE;
    if (!check_) {
        clErrorLog(kLogCheckNoMemory, 305, 0, kTag, this, sizeof(PRNTM3V));
        return 305;
    }
    int rc = 0;
    for (unsigned long i = 0; i < length; ++i) {
        const unsigned char c = data[i];
        if (escapePending_) {
            escapePending_ = false;
            switch (c) {
            case 'G':
                if ((rc = SendCheckPending()) == 0) rc = SetChase(parm_.printStation);
                break;
            case 'L':
                if ((rc = SendCheckPending()) == 0) rc = RegisterDocument(parm_.feedDirection);
                break;
            case 'M':
                if ((rc = SendCheckPending()) == 0) rc = ReleaseDocument(parm_.feedDirection);
                break;
            default:
                break;
            }
        } else if (c == kEsc) {
            escapePending_ = true;
        } else if (c == '\n') {
            checkFeedPending_ = true;
            rc = SendCheckPending();
        } else if (c == '\r') {
            if (i + 1 < length && data[i + 1] == '\n') {
                ++i;
                checkFeedPending_ = true;
            }
            rc = SendCheckPending();
            checkColumn_ = 0;
        } else {
            if (checkLength_ > 127) rc = SendCheckPending();
            if (rc == 0) check_[checkLength_++] = c;
        }
        if (rc != 0) return rc;
        written = static_cast<int>(i + 1);
    }
    return 0;
}

int PRNTM3V::SendCheckPending() {
    int rc = 0;
    if (check_ && work_ && checkLength_ > 0) {
        int pos = 0;
        const unsigned short* table = GetCpTableData();
        const bool haveTable = table && GetCpTableSize() >= 2 * NLS_CODE_PAGE_ENTRIES;
        unsigned char pass[kWork];
        while (pos < checkLength_ && rc == 0) {
            const int n = std::min(kCheckGlyphs - checkColumn_, checkLength_ - pos);
            std::memset(pass, 0, sizeof pass);
            for (int k = 0; k < n; ++k) {
                const unsigned char c = check_[pos + k];
                const unsigned glyph = haveTable ? table[c] : c;
                std::memcpy(pass + (checkColumn_ + k) * NLS_PRINTER_8x16_BYTES, gc8x16map.at(glyph),
                            NLS_PRINTER_8x16_BYTES);
            }
            int written = 0;
            rc = WriteLogo(pass, kWork, written);
            pos += n;
            checkColumn_ = (checkColumn_ + n) % kCheckGlyphs;
        }
    }
    if (check_) std::memset(check_, ' ', kLine);
    checkLength_ = 0;
    checkFeedPending_ = false;
    return rc;
}
