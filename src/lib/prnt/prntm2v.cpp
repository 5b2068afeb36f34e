// The M2 virtual printer: text lines as 7-byte glyphs in blocks of 38 characters, logos in
// interleaved passes, check text as 8x16 bitmaps through the logo path, feeds, cut, tear
// bar and document handling.
#include <algorithm>
#include <cstring>
#include <new>

#include "ObjectSupport.h"
#include "PRNTM2.h"
#include "ovkhost.h"
#include "ovknls.h"

namespace {

const char kTag[] = "@(#)prntm2v.cpp 1.1";

enum : uint32_t {
    kLogFeedNoMemory = 19802,
    kLogFeedSet = 19803,
    kLogTearBarNoMemory = 19808,
    kLogTearBarSet = 19809,
    kLogCutNoMemory = 19810,
    kLogCutSet = 19811,
    kLogReleaseNoMemory = 19812,
    kLogReleaseSet = 19813,
    kLogRegisterNoMemory = 19814,
    kLogRegisterSet = 19815,
    kLogLineNoMemory = 19816,
    kLogPrnCmdNoMemory = 19817,
    kLogPrnCmdSet = 19818,
    kLogBadMode = 19825,
    kLogCheckNoMemory = 19830,
};

constexpr unsigned char kEsc = 0x1B;
constexpr uint32_t kStep = 353;          // micrometres per feed step
constexpr uint32_t kFeedMax = 90000;     // FeedPaper's limit
constexpr uint32_t kLineFeedMax = 90015; // a feed that fits one command (255 steps)
constexpr int kCheckGlyphs = 18;         // 8x16 glyphs per 300-byte logo block

const unsigned short kLineRows[3] = {M2_LINE_CR, M2_LINE_SJ, M2_LINE_DI};
const unsigned short kFeedRows[3] = {M2_FEED_CR, M2_FEED_SJ, M2_FEED_DI};

} // namespace

PRNTM2V::PRNTM2V(const DeviceID& id, int handle, const unsigned char* name) : PRNTV(id, handle, name) {
    std::memset(line_, ' ', sizeof line_);
    std::memset(check_, ' ', sizeof check_);
}

PRNTM2V::~PRNTM2V() = default;

void PRNTM2V::ClearUserGlyphs() {
    std::memset(userMap_, 0, sizeof userMap_);
    std::memset(userGlyphs_, 0, sizeof userGlyphs_);
}

const unsigned char* PRNTM2V::Glyph(unsigned char c) const {
    if (userMap_[c] >= 1 && userMap_[c] <= kUserGlyphs) return userGlyphs_[userMap_[c] - 1];
    const unsigned short* table = GetCpTableData();
    const unsigned glyph = table && GetCpTableSize() >= 2 * NLS_CODE_PAGE_ENTRIES ? table[c] : c;
    return mod2map.at(glyph);
}

uint32_t PRNTM2V::LineFeed(unsigned short station) const {
    switch (station) {
    case PRN_STATION_CR: return parm_.lineFeedCR;
    case PRN_STATION_SJ: return parm_.lineFeedSJ;
    default: return parm_.lineFeedDI;
    }
}

int PRNTM2V::Queue(unsigned short row, unsigned char p1, unsigned char p2, unsigned short length,
                   const unsigned char* data, uint32_t noMemoryLog, uint32_t setLog) {
    PRNTCMDM2* command = new (std::nothrow) PRNTCMDM2;
    if (!command) {
        clErrorLog(noMemoryLog, 305, row, kTag, this, sizeof(PRNTM2V));
        return 305;
    }
    int rc = command->Set(row, this, p1, p2, length, data, 0, 0);
    if (rc == 0) rc = Tell(PRN_TP_PUT_QUEUE, command, sizeof(PRNTCMDM2));
    if (rc != 0) {
        clErrorLog(setLog, static_cast<uint32_t>(rc), row, kTag, this, sizeof(PRNTM2V));
        delete command;
    }
    return rc;
}

// ---------------------------------------------------------------------------------------
// Open, close, controls.

int PRNTM2V::Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
                  int count) {
    std::memset(line_, ' ', sizeof line_);
    std::memset(check_, ' ', sizeof check_);
    lineLength_ = checkLength_ = 0;
    lineFeedPending_ = checkFeedPending_ = emphasis_ = escapePending_ = false;
    std::fill(std::begin(column_), std::end(column_), 0);
    checkColumn_ = 0;
    ClearUserGlyphs();
    return PRNTV::Open(resourceName, className, args, count);
}

int PRNTM2V::Close(int& remaining) { return PRNTV::Close(remaining); }

int PRNTM2V::validateMode(long value) {
    return value == PRN_MODE_CHECK ? 0 : PRNTV::validateMode(value);
}

int PRNTM2V::IOCtl(int request, PosArg* args, int count, int& out) {
    if (request != POS_PRN_DEFINE_CHARACTERS) return PRNTV::IOCtl(request, args, count, out);
    out = 0;
    ClearUserGlyphs();
    const int n = args ? std::min(count, static_cast<int>(kUserGlyphs)) : 0;
    unsigned char number = 0;
    for (int i = 0; i < n; ++i) {
        const void* glyph = reinterpret_cast<const void*>(args[i].value);
        if (!glyph || chCheckBuffer(glyph, M2_GLYPH_BYTES, CH_ACCESS_READ) != 0) continue;
        // The character is a number in the name word, never a pointer.
        const auto c = static_cast<unsigned char>(reinterpret_cast<uintptr_t>(args[i].name) & 0xFF);
        ++number;
        userMap_[c] = number;
        std::memcpy(userGlyphs_[number - 1], glyph, M2_GLYPH_BYTES);
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// Writing.

int PRNTM2V::Write(const void* buffer, unsigned int length, int& count) {
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
    default:
        clErrorLog(kLogBadMode, 311, parm_.printMode, kTag, this, sizeof(PRNTM2V));
        return 311;
    }
}

int PRNTM2V::WriteText(const unsigned char* data, unsigned int length, int& count) {
    int rc = 0;
    const unsigned short stations = parm_.printStation;
    for (unsigned int i = 0; i < length; ++i) {
        const unsigned char c = data[i];
        if (escapePending_) {
            escapePending_ = false;
            switch (c) {
            case 'E':
                if (!emphasis_) rc = SendWritePending();
                emphasis_ = true;
                break;
            case 'F':
                if (emphasis_) rc = SendWritePending();
                emphasis_ = false;
                break;
            case 'G':
                if ((rc = SendWritePending()) == 0) rc = SetChase(stations);
                break;
            case 'L':
            case 'M':
                if (stations & 4)
                    if ((rc = SendWritePending()) == 0) rc = c == 'L' ? RegisterDocument() : ReleaseDocument();
                break;
            case 'O':
            case 'P':
                if (stations & 1)
                    if ((rc = SendWritePending()) == 0) rc = c == 'O' ? AdvancePaperToTearBar() : CutPaper();
                break;
            default:
                break;
            }
        } else if (c == kEsc) {
            escapePending_ = true;
        } else if (c == '\n') {
            lineFeedPending_ = true;
            rc = SendWritePending();
        } else if (c == '\r') {
            if (i + 1 < length && data[i + 1] == '\n') {
                ++i;
                lineFeedPending_ = true;
            }
            rc = SendWritePending();
            std::fill(std::begin(column_), std::end(column_), 0);
        } else {
            if (lineLength_ >= kLineChars) rc = SendWritePending();
            if (rc == 0) line_[lineLength_++] = static_cast<char>(c);
        }
        if (rc != 0) return rc;
        count = static_cast<int>(i + 1);
    }
    return 0;
}

int PRNTM2V::SendWritePending() {
    if (lineLength_ == 0 && !lineFeedPending_) return 0;
    int rc = 0;
    unsigned char block[M2_LINE_BYTES];
    for (unsigned short s = 0; s < 3 && rc == 0; ++s) {
        if (!(parm_.printStation & stationBits_[s])) continue;
        const uint32_t feed = lineFeedPending_ ? LineFeed(s) : 0;
        if (lineLength_ == 0) {
            // An empty line still moves the paper.
            if (feed) rc = FeedPaper(stationBits_[s], std::min(feed, kFeedMax), parm_.feedDirection);
            continue;
        }
        int pos = 0;
        int column = column_[s];
        while (pos < lineLength_ && rc == 0) {
            const int n = std::min(M2_BLOCK_CHARS - column, lineLength_ - pos);
            for (int k = 0; k < n; ++k)
                std::memcpy(block + k * M2_GLYPH_BYTES,
                            Glyph(static_cast<unsigned char>(line_[pos + k])), M2_GLYPH_BYTES);
            const bool last = pos + n >= lineLength_;
            const auto bytes = static_cast<unsigned short>(n * M2_GLYPH_BYTES);
            if (emphasis_) rc = PrnCmdWithFeed(kLineRows[s], s, 0, bytes, block, 0, 0);
            if (rc == 0) rc = PrnCmdWithFeed(kLineRows[s], s, last ? feed : 0, bytes, block, 0, 0);
            pos += n;
            column += n;
            if (column >= M2_BLOCK_CHARS) column = 0;
        }
        // A line feed starts the next line at the left edge.
        column_[s] = lineFeedPending_ ? 0 : column;
    }
    std::memset(line_, ' ', sizeof line_);
    lineLength_ = 0;
    lineFeedPending_ = false;
    return rc;
}

int PRNTM2V::PrnCmdWithFeed(unsigned short row, unsigned short station, uint32_t feed,
                            unsigned short length, const unsigned char* data, unsigned short w,
                            unsigned char last) {
    if (!data || length == 0) return 0;
    const bool fits = feed >= 1 && feed <= kLineFeedMax;
    PRNTCMDM2* command = new (std::nothrow) PRNTCMDM2;
    if (!command) {
        clErrorLog(kLogPrnCmdNoMemory, 305, row, kTag, this, sizeof(PRNTM2V));
        return 305;
    }
    int rc = command->Set(row, this, fits ? 1 : 0, fits ? static_cast<unsigned char>(feed / kStep) : 0,
                          length, data, w, last);
    if (rc == 0) rc = Tell(PRN_TP_PUT_QUEUE, command, sizeof(PRNTCMDM2));
    if (rc != 0) {
        clErrorLog(kLogPrnCmdSet, static_cast<uint32_t>(rc), row, kTag, this, sizeof(PRNTM2V));
        delete command;
        return rc;
    }
    if (feed > kLineFeedMax)
        return FeedPaper(station < 3 ? stationBits_[station] : 0, feed, parm_.feedDirection);
    return 0;
}

int PRNTM2V::FeedPaper(unsigned short stations, uint32_t distance, unsigned short /*direction*/) {
    if (distance > kFeedMax) return 321;
    if (stations > 7) return POSERR_PRN_INVALID_STATION;
    const uint32_t steps = distance / kStep;
    for (unsigned short s = 0; s < 3; ++s) {
        if (!(stations & stationBits_[s])) continue;
        uint32_t n = steps / 255;
        int rc = 0;
        while (n >= 256 && rc == 0) {
            rc = Queue(kFeedRows[s], 255, 255, 0, nullptr, kLogFeedNoMemory, kLogFeedSet);
            n -= 255;
        }
        if (n > 0 && rc == 0)
            rc = Queue(kFeedRows[s], static_cast<unsigned char>(n), 255, 0, nullptr, kLogFeedNoMemory + 2,
                       kLogFeedSet + 2);
        if (steps % 255 != 0 && rc == 0)
            rc = Queue(kFeedRows[s], 1, static_cast<unsigned char>(steps % 255), 0, nullptr,
                       kLogFeedNoMemory + 4, kLogFeedSet + 4);
        if (rc != 0) return rc;
    }
    return 0;
}

int PRNTM2V::AdvancePaperToTearBar() {
    return Queue(M2_FEED_CR, 1, 108, 0, nullptr, kLogTearBarNoMemory, kLogTearBarSet);
}
int PRNTM2V::CutPaper() { return Queue(M2_CUT, 0, 0, 0, nullptr, kLogCutNoMemory, kLogCutSet); }
int PRNTM2V::ReleaseDocument() {
    return Queue(M2_RELEASE_DOC, 0, 0, 0, nullptr, kLogReleaseNoMemory, kLogReleaseSet);
}
int PRNTM2V::RegisterDocument() {
    return Queue(M2_REGISTER_DOC, 0, 0, 0, nullptr, kLogRegisterNoMemory, kLogRegisterSet);
}

int PRNTM2V::WriteLogo(const unsigned char* data, unsigned int length, int& count) {
    unsigned short row = 0, station = 0;
    switch (parm_.printStation) {
    case 0: count = static_cast<int>(length); return 0;
    case 1: row = M2_LOGO_CR; station = PRN_STATION_CR; break;
    case 4: row = M2_LOGO_DI; station = PRN_STATION_DI; break;
    default: return POSERR_PRN_INVALID_STATION;
    }
    // The first kLogoPass bytes, zero-padded: a shorter write is never read past.
    unsigned char logo[kLogoPass] = {};
    if (data) std::memcpy(logo, data, std::min<unsigned int>(length, kLogoPass));
    bool even = false, odd = false;
    for (int i = 0; i < kLogoPass; ++i) {
        if (!logo[i]) continue;
        (i % 2 ? odd : even) = true;
    }
    int passes[4];
    int count_ = 0;
    if (even && odd) {
        passes[0] = 0, passes[1] = 1, passes[2] = 2, passes[3] = 3, count_ = 4;
    } else if (even) {
        passes[0] = 0, passes[1] = 2, count_ = 2;
    } else if (odd) {
        passes[0] = 1, passes[1] = 3, count_ = 2;
    } else {
        passes[0] = -1, count_ = 1;
    }
    unsigned char work[kLogoPass];
    for (int p = 0; p < count_; ++p) {
        if (passes[p] < 0) {
            std::memcpy(work, logo, kLogoPass);
        } else {
            std::memset(work, 0, kLogoPass);
            for (int i = passes[p]; i < kLogoPass; i += 4) work[i] = logo[i];
        }
        const uint32_t feed = p + 1 == count_ ? LineFeed(station) : 0;
        int rc = PrnCmdWithFeed(row, station, feed, kLogoPass, work, static_cast<unsigned short>(count_), 0);
        if (rc != 0) return rc;
    }
    count = static_cast<int>(length);
    return 0;
}

int PRNTM2V::WriteCheck(const unsigned char* data, unsigned int length, int& count) {
    if (!(parm_.printStation & 4)) return POSERR_PRN_INVALID_STATION;
    int rc = 0;
    for (unsigned int i = 0; i < length; ++i) {
        const unsigned char c = data[i];
        if (escapePending_) {
            escapePending_ = false;
            switch (c) {
            case 'G':
                if ((rc = SendCheckPending()) == 0) rc = SetChase(parm_.printStation);
                break;
            case 'L':
            case 'M':
                if ((rc = SendCheckPending()) == 0) rc = c == 'L' ? RegisterDocument() : ReleaseDocument();
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
            if (checkLength_ >= kLineChars) rc = SendCheckPending();
            if (rc == 0) check_[checkLength_++] = static_cast<char>(c);
        }
        if (rc != 0) return rc;
        count = static_cast<int>(i + 1);
    }
    return 0;
}

int PRNTM2V::SendCheckPending() {
    int rc = 0;
    if ((parm_.printStation & 4) && checkLength_ > 0) {
        unsigned char block[kLogoPass];
        int pos = 0;
        while (pos < checkLength_ && rc == 0) {
            const int n = std::min(kCheckGlyphs - checkColumn_ % kCheckGlyphs, checkLength_ - pos);
            std::memset(block, 0, sizeof block);
            const unsigned short* table = GetCpTableData();
            for (int k = 0; k < n; ++k) {
                const auto c = static_cast<unsigned char>(check_[pos + k]);
                const unsigned glyph = table && GetCpTableSize() >= 2 * NLS_CODE_PAGE_ENTRIES ? table[c] : c;
                std::memcpy(block + k * NLS_PRINTER_8x16_BYTES, gc8x16map.at(glyph), NLS_PRINTER_8x16_BYTES);
            }
            int written = 0;
            rc = WriteLogo(block, kLogoPass, written);
            pos += n;
            checkColumn_ = (checkColumn_ + n) % kCheckGlyphs;
        }
    }
    std::memset(check_, ' ', sizeof check_);
    checkLength_ = 0;
    checkFeedPending_ = false;
    return rc;
}

// ---------------------------------------------------------------------------------------
// Resume and retry.

int PRNTM2V::ResumePrinting(PosArg* args, int count) { return SendLine(true, args, count); }
int PRNTM2V::RetryPrinting(PosArg* args, int count) { return SendLine(false, args, count); }

int PRNTM2V::SendLine(bool resume, PosArg* args, int count) {
    int rc = RequireHolding();
    if (rc != 0) return rc;
    SendWritePending();
    const char* name = resume ? "resumeString" : "retryString";
    char* stored = resume ? parm_.resumeString : parm_.retryString;
    for (int i = 0; args && i < count; ++i) {
        if (!args[i].name || std::strcmp(args[i].name, name) != 0) continue;
        const char* text = reinterpret_cast<const char*>(args[i].value);
        if (text && chCheckBuffer(text, 0, CH_ACCESS_STRING) == 0) {
            const auto* u = reinterpret_cast<const unsigned char*>(text);
            if ((resume ? validateResumeString(u) : validateRetryString(u)) == 0) CopyString(stored, text);
        }
        break;
    }
    unsigned char rendered[M2_LINE_BYTES] = {};
    const size_t n = std::min<size_t>(std::strlen(stored), M2_BLOCK_CHARS);
    for (size_t k = 0; k < n; ++k)
        std::memcpy(rendered + k * M2_GLYPH_BYTES, Glyph(static_cast<unsigned char>(stored[k])), M2_GLYPH_BYTES);
    return Tell(resume ? PRN_TP_RESUME : PRN_TP_RETRY, rendered, M2_LINE_BYTES);
}

// ---------------------------------------------------------------------------------------

VDEV* _CreatePRNTM2V(const DeviceID& id, int handle) {
    return new (std::nothrow) PRNTM2V(id, handle, reinterpret_cast<const unsigned char*>("PRNTM2V"));
}

ObjectSupport objectPRNTM2V(PRNTM2V_TYPE_ID, _CreatePRNTM2V);
