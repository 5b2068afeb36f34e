// The SRJ virtual printer: text lines laid into the station's width, the dual receipt and
// journal command, feeds, cut, tear bar, document handling and user-defined characters.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "ObjectSupport.h"
#include "PRNTSRJ.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)prntsrjv.cpp 1.1";

enum : uint32_t {
    kLogCommandNoMemory = 20102,
    kLogCommandSet = 20103,
    kLogFeedNoMemory = 20112,
    kLogFeedSet = 20114,
    kLogDefineNoMemory = 20115,
    kLogBadMode = 20117,
};

constexpr unsigned char kEsc = 0x1B;
constexpr unsigned char kTearBarLines = 16;

unsigned short get16(const unsigned char* data) {
    unsigned short v;
    std::memcpy(&v, data, sizeof v);
    return v;
}

} // namespace

const unsigned short PRNTSRJV::arPRINT_INFO[3] = {SRJ_PRINT_CR, SRJ_PRINT_SJ, SRJ_PRINT_DI};

PRNTSRJV::PRNTSRJV(const DeviceID& id, int handle, const unsigned char* name) : PRNTV(id, handle, name) {
    std::memset(line_, ' ', sizeof line_);
}

PRNTSRJV::~PRNTSRJV() = default;

int PRNTSRJV::Queue(unsigned short code, unsigned char parameter, unsigned short length,
                    const unsigned char* data, uint32_t noMemoryLog, uint32_t setLog) {
    PRNTCMDSRJ* command = new (std::nothrow) PRNTCMDSRJ;
    if (!command) {
        clErrorLog(noMemoryLog, 305, code, kTag, this, sizeof(PRNTSRJV));
        return 305;
    }
    int rc = command->Set(code, this, parameter, 0, length, data, 0, 0);
    if (rc == 0) rc = Tell(PRN_TP_PUT_QUEUE, command, sizeof(PRNTCMDSRJ));
    if (rc != 0) {
        clErrorLog(setLog, static_cast<uint32_t>(rc), code, kTag, this, sizeof(PRNTSRJV));
        delete command;
    }
    return rc;
}

// ---------------------------------------------------------------------------------------
// Open, close, controls.

int PRNTSRJV::Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
                   int count) {
    std::memset(line_, ' ', sizeof line_);
    lineLength_ = 0;
    lineComplete_ = escape_ = false;
    std::fill(std::begin(column_), std::end(column_), 0);
    int rc = PRNTV::Open(resourceName, className, args, count);
    if (rc != 0) return rc;
    // What the printer reported at its EC level: model, pattern size and widths.
    unsigned char word[2] = {};
    if (Tell(SRJ_TP_MODEL, word, 2) == 0) model_ = get16(word);
    patternLength_ = 42;
    recordLength_ = 48;
    if (model_ == 1 && Tell(SRJ_TP_PATTERN, word, 2) == 0 && get16(word) == 1) {
        patternLength_ = 34;
        recordLength_ = 40;
    }
    if (Tell(SRJ_TP_DI_WIDTH, word, 2) == 0) diWidth_ = get16(word);
    if (Tell(SRJ_TP_CRSJ_WIDTH, word, 2) == 0) crsjWidth_ = get16(word);
    return 0;
}

int PRNTSRJV::Close(int& remaining) { return PRNTV::Close(remaining); }

int PRNTSRJV::validateMode(long value) {
    return value == PRN_MODE_NORMAL || value == PRN_MODE_LOGO ? 0 : POSERR_PRN_INVALID_MODE;
}

int PRNTSRJV::IOCtl(int request, PosArg* args, int count, int& out) {
    if (request != POS_PRN_DEFINE_CHARACTERS) return PRNTV::IOCtl(request, args, count, out);
    out = 0;
    int rc = RequireHolding();
    if (rc != 0) return rc;
    if ((rc = SendWritePending()) != 0) return rc;
    const size_t size = static_cast<size_t>(kMaxRecords) * recordLength_ + 256;
    std::vector<unsigned char> buffer;
    try {
        buffer.assign(size, 0);
    } catch (const std::bad_alloc&) {
        clErrorLog(kLogDefineNoMemory, 305, 0, kTag, this, sizeof(PRNTSRJV));
        return 305;
    }
    const int n = args ? std::min(count, static_cast<int>(kMaxRecords)) : 0;
    for (int i = 0; i < n; ++i) {
        const void* pattern = reinterpret_cast<const void*>(args[i].value);
        if (!pattern || chCheckBuffer(pattern, patternLength_, CH_ACCESS_READ) != 0) return 334;
        // The character is a number in the name word, never a pointer.
        const auto code = static_cast<unsigned short>(reinterpret_cast<uintptr_t>(args[i].name) & 0xFFFF);
        unsigned char* record = buffer.data() + static_cast<size_t>(i) * recordLength_;
        record[0] = static_cast<unsigned char>(code);
        record[1] = static_cast<unsigned char>(code >> 8);
        std::memcpy(record + 2, pattern, patternLength_);
    }
    return Tell(SRJ_TP_DEFINE_UDC, buffer.data(), static_cast<int>(size));
}

// ---------------------------------------------------------------------------------------
// Writing.

int PRNTSRJV::Write(const void* buffer, unsigned int length, int& count) {
    count = 0;
    int rc = RequireHolding();
    if (rc != 0) return rc;
    if (length > kMaxWrite) return 318;
    const auto* data = static_cast<const unsigned char*>(buffer);
    if (!data) length = 0;
    switch (parm_.printMode) {
    case PRN_MODE_NORMAL: return WriteText(data, length, count);
    case PRN_MODE_LOGO: count = static_cast<int>(length); return 0;
    default:
        clErrorLog(kLogBadMode, 311, parm_.printMode, kTag, this, sizeof(PRNTSRJV));
        return 311;
    }
}

int PRNTSRJV::Flush() { return SendWritePending(); }

int PRNTSRJV::WriteText(const unsigned char* data, unsigned int length, int& written) {
    int rc = 0;
    const unsigned short stations = parm_.printStation;
    for (unsigned int i = 0; i < length; ++i) {
        const unsigned char c = data[i];
        if (escape_) {
            escape_ = false;
            switch (c) {
            case 'G':
                if ((rc = Flush()) == 0) rc = SetChase(stations);
                break;
            case 'L':
            case 'M':
                if (stations & 4)
                    if ((rc = Flush()) == 0) rc = c == 'L' ? RegisterDocument() : ReleaseDocument();
                break;
            case 'O':
            case 'Q':
                if (stations & 1)
                    if ((rc = Flush()) == 0) rc = c == 'O' ? AdvancePaperToTearBar() : CutPaper();
                break;
            default:
                break;
            }
        } else if (c == kEsc) {
            escape_ = true;
        } else if (c == '\n') {
            lineComplete_ = true;
            rc = Flush();
        } else if (c == '\r') {
            if (i + 1 < length && data[i + 1] == '\n') {
                ++i;
                lineComplete_ = true;
            }
            rc = Flush();
            for (unsigned short s = 0; s < 3; ++s)
                if (stations & stationBits_[s]) column_[s] = 0;
        } else if (isdbcs1(c)) {
            if (lineLength_ >= kLineBytes - 1) rc = Flush();
            if (rc == 0) {
                line_[lineLength_++] = c;
                // A lead byte that ends the write is kept alone: there is no next byte.
                if (i + 1 < length) line_[lineLength_++] = data[++i];
            }
        } else {
            if (lineLength_ >= kLineBytes) rc = Flush();
            if (rc == 0) line_[lineLength_++] = c;
        }
        if (rc != 0) return rc;
        written = static_cast<int>(i + 1);
    }
    return 0;
}

int PRNTSRJV::SendWritePending() {
    if (lineLength_ == 0 && !lineComplete_) return 0;
    const unsigned short stations = parm_.printStation;
    const bool both = (stations & 3) == 3 && column_[PRN_STATION_CR] == column_[PRN_STATION_SJ];
    int rc = 0;
    for (unsigned short s = 0; s < 3 && rc == 0; ++s) {
        if (!(stations & stationBits_[s])) continue;
        if (s == PRN_STATION_CR && both) continue; // printed with the journal
        rc = PrintStation(s, s == PRN_STATION_SJ && both);
    }
    if (rc == 0) {
        std::memset(line_, ' ', sizeof line_);
        lineLength_ = 0;
        lineComplete_ = false;
    }
    return rc;
}

int PRNTSRJV::PrintStation(unsigned short station, bool both) {
    const unsigned short width = std::min<unsigned short>(station == PRN_STATION_DI ? diWidth_ : crsjWidth_, kLineBytes);
    const unsigned short code = both ? static_cast<unsigned short>(SRJ_PRINT_CR_SJ) : arPRINT_INFO[station];
    unsigned short column = column_[station] < width ? column_[station] : 0;
    int rc = 0;
    if (lineLength_ == 0) {
        // A complete line without text only moves the paper.
        rc = FeedPaper(both ? 3 : stationBits_[station], 1);
    }
    unsigned char text[2 * kLineBytes];
    unsigned short pos = 0;
    while (pos < lineLength_ && rc == 0 && width > 0) {
        std::memset(text, ' ', width);
        unsigned short n = 0;
        while (pos + n < lineLength_ && column + n < width) {
            const bool pair = isdbcs1(line_[pos + n]) && pos + n + 1 < lineLength_;
            if (pair && column + n + 2 > width) break; // a double-byte character is not split
            text[column + n] = line_[pos + n];
            if (pair) {
                text[column + n + 1] = line_[pos + n + 1];
                ++n;
            }
            ++n;
        }
        if (n == 0 && column == 0) break; // nothing fits a line
        const bool last = pos + n >= lineLength_;
        unsigned short length = width;
        if (both) {
            std::memcpy(text + width, text, width);
            length = static_cast<unsigned short>(2 * width);
        }
        rc = PrnCmdWithFeed(code, station, !last || lineComplete_ ? 1 : 0, length, text, 0);
        pos = static_cast<unsigned short>(pos + n);
        column = static_cast<unsigned short>(column + n);
        if (!last || column >= width) column = 0;
    }
    if (lineComplete_) column = 0;
    column_[station] = column;
    if (both) column_[PRN_STATION_CR] = column;
    return rc;
}

int PRNTSRJV::PrnCmdWithFeed(unsigned short code, unsigned short station, unsigned long feed,
                             unsigned short length, const unsigned char* data, unsigned short /*w*/) {
    // The print parameter is 0: the line feed is a command of its own.
    int rc = Queue(code, 0, length, data, kLogCommandNoMemory, kLogCommandSet);
    if (rc != 0 || feed == 0) return rc;
    const unsigned short stations = code == SRJ_PRINT_CR_SJ ? 3 : stationBits_[station < 3 ? station : 0];
    return FeedPaper(stations, static_cast<long>(feed));
}

int PRNTSRJV::FeedPaper(unsigned short stations, long lines) {
    unsigned short code = 0;
    switch (stations) {
    case 1: code = SRJ_FEED_CR; break;
    case 2: code = SRJ_FEED_SJ; break;
    case 3: code = SRJ_FEED_CR_SJ; break;
    case 4: code = SRJ_FEED_DI; break;
    default: return POSERR_PRN_INVALID_STATION;
    }
    int rc = 0;
    while (lines > 0 && rc == 0) {
        const long n = std::min(lines, 255L);
        rc = Queue(code, static_cast<unsigned char>(n), 0, nullptr, kLogFeedNoMemory, kLogFeedSet);
        lines -= n;
    }
    return rc;
}

int PRNTSRJV::AdvancePaperToTearBar() {
    return Queue(SRJ_FEED_CR, kTearBarLines, 0, nullptr, kLogCommandNoMemory, kLogCommandSet);
}
int PRNTSRJV::CutPaper() { return Queue(SRJ_CUT, 0, 0, nullptr, kLogCommandNoMemory, kLogCommandSet); }
int PRNTSRJV::ReleaseDocument() {
    return Queue(SRJ_RELEASE_DOC, 0, 0, nullptr, kLogCommandNoMemory, kLogCommandSet);
}
int PRNTSRJV::RegisterDocument() {
    return Queue(SRJ_REGISTER_DOC, 0, 0, nullptr, kLogCommandNoMemory, kLogCommandSet);
}

// ---------------------------------------------------------------------------------------

VDEV* _CreatePRNTSRJV(const DeviceID& id, int handle) {
    return new (std::nothrow) PRNTSRJV(id, handle, reinterpret_cast<const unsigned char*>("PRNTSRJV"));
}

ObjectSupport objectPRNTSRJV(PRNTSRJV_TYPE_ID, _CreatePRNTSRJV);
