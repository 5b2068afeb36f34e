// The TRJ virtual printer: text lines composed for the printer (Shift-JIS characters,
// horizontal and vertical writing, attributes, fonts, fillers), direct printer data, logos,
// RAS data, user-defined characters, feeds, cuts, bitmaps, holding and releasing the print
// buffer, and the wake-up request.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "ObjectSupport.h"
#include "PRNTTRJ.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)prnttrjv.cpp 1.1";

enum : uint32_t {
    kLogFeedNoMemory = 20502,
    kLogFeedSet = 20503,
    kLogTearBarNoMemory = 20504,
    kLogTearBarSet = 20505,
    kLogCutNoMemory = 20506,
    kLogCutSet = 20507,
    kLogLineNoMemory = 20508,
    kLogLogoNoMemory = 20510,
    kLogBadMode = 20511,
    kLogPrintNoMemory = 20513,
    kLogPrintSet = 20514,
    kLogUdcNoMemory = 20515,
    kLogRasNoMemory = 20518,
    kLogHoldNoMemory = 20519,
    kLogReleaseNoMemory = 20520,
    kLogBitmapNoMemory = 20521,
    kLogBitmapSet = 20522,
};

constexpr unsigned char kEsc = 0x1B;
constexpr unsigned char kFiller = 0x20;
constexpr int kWakeUp = 4950;
constexpr unsigned short kModeDirect = 0;
constexpr unsigned short kModeText = 1;
constexpr unsigned short kModeLogo = 2;
constexpr unsigned short kModeDefineLogo = 16;
constexpr unsigned short kModeDirect32 = 32;
constexpr unsigned short kModeRas = 128;
// Room a character may take in a part: header, one-shot, attribute and the byte.
constexpr unsigned short kCharacterRoom = 9;

bool put(PRNTTRJV::LineRecord& line, int part, unsigned char byte) {
    if (line.length[part] >= PRNTTRJV::kPart) return false;
    line.part[part][line.length[part]++] = byte;
    return true;
}

} // namespace

const uint32_t PRNTTRJV::arPRINT_INFO[2] = {TRJ_PRINT_CR, TRJ_PRINT_SJ};

PRNTTRJV::PRNTTRJV(const DeviceID& id, int handle, const unsigned char* name) : PRNTV(id, handle, name) {
    stations_ = 2;
}

PRNTTRJV::~PRNTTRJV() = default;

int PRNTTRJV::Queue(unsigned short code, unsigned char value, unsigned short length, const unsigned char* data,
                    uint32_t noMemoryLog, uint32_t setLog, int request) {
    PRNTCMDTRJ* command = new (std::nothrow) PRNTCMDTRJ;
    if (!command) {
        clErrorLog(noMemoryLog, 305, code, kTag, this, sizeof(PRNTTRJV));
        return 305;
    }
    int rc = command->Set(code, this, value, length, data);
    if (rc == 0) rc = Tell(request, command, sizeof(PRNTCMDTRJ));
    if (rc != 0) {
        clErrorLog(setLog, static_cast<uint32_t>(rc), code, kTag, this, sizeof(PRNTTRJV));
        delete command;
    }
    return rc;
}

// ---------------------------------------------------------------------------------------
// Open, close, values.

int PRNTTRJV::Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args, int count) {
    attribute_ = 0;
    attributePending_ = false;
    direction_ = 0;
    oneShotH_ = oneShotV_ = false;
    kept01_ = 2;
    kept23_ = 8;
    kept45_ = 32;
    font_[0] = font_[1] = 0;
    width_[0] = width_[1] = currentWidth_ = 32;
    fillerH_ = fillerV_ = bit7_ = bit6_ = endLine_ = false;
    FreeLines();
    return PRNTV::Open(resourceName, className, args, count);
}

int PRNTTRJV::Close(int& remaining) {
    FreeLines();
    return PRNTV::Close(remaining);
}

int PRNTTRJV::AcquirePhysical() {
    const int rc = PRNTV::AcquirePhysical();
    if (rc != 0) return rc;
    return ConfigPhysical();
}

int PRNTTRJV::SetValues(PosArg* args, int count) {
    const int rc = PRNTV::SetValues(args, count);
    if (rc == 0 && IsHolding()) ConfigPhysical();
    return rc;
}

int PRNTTRJV::TellVirt(const PDEV* from, int message, unsigned char* data, int length) {
    if (message == 6) return ConfigPhysical();
    return PRNTV::TellVirt(from, message, data, length);
}

int PRNTTRJV::ConfigPhysical() { return Tell(parm_.printMode == kModeRas ? TRJ_TP_RAS_ON : TRJ_TP_RAS_OFF, nullptr, 0); }

int PRNTTRJV::validateMode(long value) {
    switch (value) {
    case kModeDirect: case kModeText: case kModeLogo: case kModeDefineLogo: case kModeDirect32: case kModeRas:
        return 0;
    default:
        return POSERR_PRN_INVALID_MODE;
    }
}

int PRNTTRJV::SendWritePending() { return 0; }

// ---------------------------------------------------------------------------------------
// Controls.

int PRNTTRJV::IOCtl(int request, PosArg* args, int count, int& out) {
    switch (request) {
    case POS_PRN_DEFINE_CHARACTERS: {
        out = 0;
        int rc = RequireHolding();
        if (rc != 0) return rc;
        std::vector<unsigned char> area;
        try {
            area.assign(kUdcArea, 0);
        } catch (const std::bad_alloc&) {
            clErrorLog(kLogUdcNoMemory, 305, 0, kTag, this, sizeof(PRNTTRJV));
            return 305;
        }
        const int n = args ? std::min(std::max(count, 0), static_cast<int>(kDefinitions)) : 0;
        for (int i = 0; i < n; ++i) {
            const void* definition = reinterpret_cast<const void*>(args[i].value);
            if (!definition || chCheckBuffer(definition, kDefinition, CH_ACCESS_READ) != 0) return 334;
            std::memcpy(area.data() + static_cast<size_t>(i) * kDefinition, definition, kDefinition);
        }
        return Tell(TRJ_TP_DEFINE_UDC, area.data(), kUdcArea);
    }
    case POS_PRN_HOLD_PRINTING: out = 0; return HoldPrintBuffer();
    case POS_PRN_RELEASE_PRINTING: out = 0; return ReleasePrintBuffer();
    case kWakeUp: out = 0; return WakeupPrinter();
    default: return PRNTV::IOCtl(request, args, count, out);
    }
}

int PRNTTRJV::HoldPrintBuffer() {
    int rc = RequireHolding();
    if (rc != 0) return rc;
    static const unsigned char kHold[2] = {kEsc, '_'};
    return Queue(TRJ_PRINT_CR, 0, 2, kHold, kLogHoldNoMemory, kLogHoldNoMemory, TRJ_TP_HOLD);
}

int PRNTTRJV::ReleasePrintBuffer() {
    int rc = RequireHolding();
    if (rc != 0) return rc;
    static const unsigned char kRelease[2] = {kEsc, 'O'};
    return Queue(TRJ_PRINT_CR, 0, 2, kRelease, kLogReleaseNoMemory, kLogReleaseNoMemory, TRJ_TP_RELEASE);
}

int PRNTTRJV::WakeupPrinter() { return Tell(TRJ_TP_WAKE_UP, nullptr, 0); }

// ---------------------------------------------------------------------------------------
// Writing.

int PRNTTRJV::Write(const void* buffer, unsigned int length, int& count) {
    count = 0;
    int rc = RequireHolding();
    if (rc != 0) return rc;
    if (length > kMaxWrite) return 318;
    const auto* data = static_cast<const unsigned char*>(buffer);
    if (!data) length = 0;
    switch (parm_.printMode) {
    case kModeDirect:
    case kModeDirect32: return WriteDirect(data, length, count);
    case kModeText: {
        const unsigned short stations = parm_.printStation;
        if (Selected(0) && Selected(1) && font_[0] != font_[1]) {
            parm_.printStation = stationBits_[0];
            rc = WriteText(data, length, count);
            if (rc == 0) {
                parm_.printStation = stationBits_[1];
                rc = WriteText(data, length, count);
            }
            parm_.printStation = stations;
            return rc;
        }
        return WriteText(data, length, count);
    }
    case kModeLogo: return WriteLogo(data, length, count);
    case kModeDefineLogo: return DefineLogo(data, length, count);
    case kModeRas: return WriteRas(data, length, count);
    default:
        clErrorLog(kLogBadMode, 311, parm_.printMode, kTag, this, sizeof(PRNTTRJV));
        return 311;
    }
}

int PRNTTRJV::SendFrame(unsigned short stationIndex, const unsigned char* frame, unsigned short length) {
    return PrnCmdWithFeed(static_cast<unsigned short>(arPRINT_INFO[stationIndex & 1]), stationIndex, 0, length, frame, 0);
}

int PRNTTRJV::WriteDirect(const unsigned char* data, unsigned long length, int& written) {
    written = 0;
    if (length < 6 || data[0] != kEsc || data[1] != '`' || data[2] != kEsc || (data[3] != 'R' && data[3] != 'S') ||
        data[length - 2] != kEsc || data[length - 1] != 0xFF)
        return POSERR_PRN_INCORRECT_RAW_DATA;
    int rc = 0;
    if (length <= maxFrame_) {
        for (unsigned short s = 0; s < 2 && rc == 0; ++s)
            if (Selected(s)) rc = SendFrame(s, data, static_cast<unsigned short>(length));
        if (rc == 0) written = static_cast<int>(length);
        return rc;
    }
    std::vector<unsigned char> frame;
    frame.reserve(maxFrame_);
    for (unsigned short s = 0; s < 2 && rc == 0; ++s) {
        if (!Selected(s)) continue;
        unsigned long pos = 0;
        while (pos < length && rc == 0) {
            frame.clear();
            if (pos > 0) frame.assign(data, data + 4);
            if (frame.size() + (length - pos) <= maxFrame_) {
                frame.insert(frame.end(), data + pos, data + length);
                rc = SendFrame(s, frame.data(), static_cast<unsigned short>(frame.size()));
                pos = length;
                break;
            }
            // Cut back to the last ESC "@" x ESC "A" that begins after this frame's start.
            const unsigned long room = maxFrame_ - 2 - frame.size();
            unsigned long cut = 0;
            for (unsigned long c = std::min(pos + room, length - 5); c > pos; --c) {
                if (data[c] == kEsc && data[c + 1] == '@' && data[c + 3] == kEsc && data[c + 4] == 'A') {
                    cut = c;
                    break;
                }
            }
            if (cut == 0) {
                written = static_cast<int>(pos);
                return POSERR_PRN_INCORRECT_RAW_DATA;
            }
            frame.insert(frame.end(), data + pos, data + cut);
            frame.push_back(kEsc);
            frame.push_back(0xFF);
            rc = SendFrame(s, frame.data(), static_cast<unsigned short>(frame.size()));
            if (rc == 0) {
                pos = cut;
                written = static_cast<int>(pos);
            }
        }
        if (rc == 0) written = static_cast<int>(length);
    }
    return rc;
}

int PRNTTRJV::WriteLogo(const unsigned char* data, unsigned long length, int& written) {
    written = 0;
    if (length + 10 > maxFrame_) return 318;
    std::vector<unsigned char> frame;
    try {
        frame.reserve(length + 10);
    } catch (const std::bad_alloc&) {
        clErrorLog(kLogLogoNoMemory, 305, 0, kTag, this, sizeof(PRNTTRJV));
        return 305;
    }
    const unsigned char head[7] = {kEsc, '`', kEsc, '@', font_[FirstSelected()], kEsc, 'A'};
    frame.assign(head, head + 7);
    frame.push_back(attribute_);
    frame.insert(frame.end(), data, data + length);
    frame.push_back(kEsc);
    frame.push_back(0xFF);
    int rc = 0;
    for (unsigned short s = 0; s < 2 && rc == 0; ++s)
        if (Selected(s)) rc = SendFrame(s, frame.data(), static_cast<unsigned short>(frame.size()));
    if (rc == 0) written = static_cast<int>(length);
    return rc;
}

int PRNTTRJV::DefineLogo(const unsigned char* data, unsigned long length, int& written) {
    written = 0;
    if (length > kLogoArea) return 318;
    std::vector<unsigned char> area;
    try {
        area.assign(kLogoArea, 0);
    } catch (const std::bad_alloc&) {
        clErrorLog(kLogLogoNoMemory, 305, 0, kTag, this, sizeof(PRNTTRJV));
        return 305;
    }
    if (length > 0) std::memcpy(area.data(), data, length);
    const int rc = Tell(TRJ_TP_DEFINE_LOGO, area.data(), kLogoArea);
    if (rc == 0) written = static_cast<int>(length);
    return rc;
}

int PRNTTRJV::WriteRas(const unsigned char* data, unsigned long length, int& written) {
    written = 0;
    if (length == 0) return 0;
    if (length > maxFrame_) return 318;
    PRNTCMDTRJ* command = new (std::nothrow) PRNTCMDTRJ;
    if (!command) {
        clErrorLog(kLogRasNoMemory, 305, 0, kTag, this, sizeof(PRNTTRJV));
        return 305;
    }
    int rc = command->Set(TRJ_RAW, this, 0, static_cast<unsigned short>(length), data);
    if (rc == 0)
        rc = Tell(command->IsRawNonPrintCmd() ? +TRJ_TP_RAW_SYSTEM : +PRN_TP_PUT_QUEUE, command, sizeof(PRNTCMDTRJ));
    if (rc != 0) {
        delete command;
        return rc;
    }
    written = static_cast<int>(length);
    return 0;
}

int PRNTTRJV::PrnCmdWithFeed(unsigned short code, unsigned short stationIndex, unsigned long feed,
                             unsigned short length, const unsigned char* data, unsigned short /*value*/) {
    int rc = 0;
    if (data && length > 0) rc = Queue(code, 1, length, data, kLogPrintNoMemory, kLogPrintSet);
    if (rc == 0 && feed > 0) rc = FeedPaper(stationBits_[stationIndex & 1], static_cast<long>(feed));
    return rc;
}

int PRNTTRJV::FeedPaper(unsigned short stations, long lines) {
    int rc = SendDataToPrinter();
    for (unsigned short s = 0; s < 2 && rc == 0; ++s) {
        if (!(stations & stationBits_[s]) || lines == 0) continue;
        rc = Queue(static_cast<unsigned short>(s == 0 ? TRJ_FEED_CR : TRJ_FEED_SJ), static_cast<unsigned char>(lines & 0xFF), 0, nullptr,
                   kLogFeedNoMemory, kLogFeedSet);
    }
    return rc;
}

int PRNTTRJV::CutPaperPartial() {
    int rc = SendDataToPrinter();
    return rc != 0 ? rc : Queue(TRJ_CUT_PARTIAL, 0, 0, nullptr, kLogCutNoMemory, kLogCutSet);
}

int PRNTTRJV::CutPaperAndStamp() {
    int rc = SendDataToPrinter();
    return rc != 0 ? rc : Queue(TRJ_CUT_STAMP, 0, 0, nullptr, kLogCutNoMemory, kLogCutSet);
}

int PRNTTRJV::AdvancePaperToTearBar() {
    if (!Selected(0)) return 0;
    int rc = SendDataToPrinter();
    return rc != 0 ? rc : Queue(TRJ_FEED_CR, 1, 0, nullptr, kLogTearBarNoMemory, kLogTearBarSet);
}

int PRNTTRJV::PrintPreDefinedBitmap(int n) {
    int rc = SendDataToPrinter();
    if (rc == 0) rc = CreateNewLine();
    if (rc != 0) return rc;
    const unsigned char bitmap[4] = {0x1D, '/', 0x00, static_cast<unsigned char>(n + 1)};
    return Queue(TRJ_RAW, 0, 4, bitmap, kLogBitmapNoMemory, kLogBitmapSet);
}

bool PRNTTRJV::FirstDbcs(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || c >= 0xE0; }

// ---------------------------------------------------------------------------------------
// Text.

void PRNTTRJV::FreeLines() {
    lines_.clear();
    current_ = nullptr;
}

int PRNTTRJV::CreateNewLine() {
    const unsigned short station = FirstSelected();
    currentWidth_ = width_[station];
    if (current_ && current_->length[0] == 0) return 0;
    std::unique_ptr<LineRecord> line(new (std::nothrow) LineRecord);
    if (!line) {
        clErrorLog(kLogLineNoMemory, 305, 0, kTag, this, sizeof(PRNTTRJV));
        SendDataToPrinter();
        return 305;
    }
    std::memset(line->part[0], 0, kPart);
    std::memset(line->part[1], ' ', kPart);
    std::memset(line->part[2], ' ', kPart);
    line->direction = direction_;
    line->font = font_[station];
    try {
        lines_.push_back(std::move(line));
    } catch (const std::bad_alloc&) {
        clErrorLog(kLogLineNoMemory, 305, 0, kTag, this, sizeof(PRNTTRJV));
        return 305;
    }
    current_ = lines_.back().get();
    return 0;
}

int PRNTTRJV::StartLine() {
    LineRecord& line = *current_;
    line.font = font_[FirstSelected()];
    line.direction = direction_;
    const int parts = line.twoPart ? 2 : 1;
    for (int p = 0; p < parts; ++p) {
        put(line, p, kEsc);
        put(line, p, '@');
        put(line, p, line.font);
    }
    return 0;
}

void PRNTTRJV::MoveToTwoPart(LineRecord& line) {
    // The text so far (behind the header) moves into the second part; the first keeps its
    // header, its attribute bytes set to 0 and blanks in place of the characters moved.
    const unsigned short from = 3;
    LineRecord& l = line;
    l.length[1] = 0;
    put(l, 1, kEsc);
    put(l, 1, '@');
    put(l, 1, l.font);
    for (unsigned short i = from; i < l.length[0]; ++i) {
        const unsigned char b = l.part[0][i];
        put(l, 1, b);
        const bool attributeByte = i >= 2 && l.part[0][i - 2] == kEsc && l.part[0][i - 1] == 'A';
        const bool escape = b == kEsc || (i >= 1 && l.part[0][i - 1] == kEsc);
        if (attributeByte) l.part[0][i] = 0;
        else if (!escape) l.part[0][i] = ' ';
    }
    l.twoPart = true;
}

int PRNTTRJV::AddCharacterToLine(unsigned char c, unsigned short kind) {
    if (!current_ && CreateNewLine() != 0) return 305;
    if (current_->length[0] > 123 && attributePending_) {
        int rc = CreateNewLine();
        if (rc != 0) return rc;
    }
    // Every part keeps within its 128 bytes: a full line goes on in a new one.
    if (current_->length[0] + kCharacterRoom > kPart ||
        (current_->twoPart && current_->length[1] + kCharacterRoom > kPart) ||
        (current_->third && current_->length[2] + 1 > kPart)) {
        endLine_ = false;
        int rc = CreateNewLine();
        if (rc != 0) return rc;
    }
    LineRecord& line = *current_;
    const bool vertical = direction_ == 1;
    if (vertical && !line.twoPart && !(attribute_ & 0x80) && (kind != 0 || (c & 0x80)) && line.length[0] > 0)
        MoveToTwoPart(line);
    if (line.length[0] == 0) {
        StartLine();
        if (vertical && !line.twoPart && !(attribute_ & 0x80) && (kind != 0 || (c & 0x80))) MoveToTwoPart(line);
    }
    const int attributePart = line.twoPart && !(attribute_ & 0x80) ? 1 : 0;
    if (oneShotH_ || oneShotV_) {
        put(line, attributePart, kEsc);
        put(line, attributePart, oneShotH_ ? 'S' : 'R');
        oneShotH_ = oneShotV_ = false;
    }
    if (attributePending_) {
        put(line, attributePart, kEsc);
        put(line, attributePart, 'A');
        put(line, attributePart, attribute_);
        attributePending_ = false;
    }
    if (line.twoPart && !(attribute_ & 0x80)) {
        put(line, 0, 0);
        put(line, 1, c);
        if (kind == 1 && (attribute_ & 0x80)) {
            put(line, 2, 0);
            line.third = true;
        }
    } else {
        put(line, 0, c);
    }
    ++line.characters;
    const bool h = !vertical;
    switch (kind) {
    case 0: line.columns += ((h && (attribute_ & 0x40)) || (vertical && (attribute_ & 0x80))) ? 2 : 1; break;
    case 1: line.columns += 1; break;
    default:
        if (h) line.columns += (attribute_ & 0x40) ? 3 : 1;
        else if (attribute_ & 0x80) line.columns += 1;
        break;
    }
    return 0;
}

int PRNTTRJV::AddFiller() { return AddCharacterToLine(kFiller, 0); }

int PRNTTRJV::AddTategakiMode() {
    if (!Selected(0)) return 0;
    direction_ = 1;
    oneShotV_ = true;
    oneShotH_ = false;
    int rc = CreateNewLine();
    width_[0] = currentWidth_ = font_[0] == 0x80 ? 19 : 14;
    std::swap(fillerH_, fillerV_);
    return rc;
}

int PRNTTRJV::AddYokogakiMode() {
    if (!Selected(0)) return 0;
    direction_ = 0;
    oneShotH_ = true;
    oneShotV_ = false;
    int rc = CreateNewLine();
    width_[0] = currentWidth_ = font_[0] == 0x80 ? 42 : 32;
    std::swap(fillerH_, fillerV_);
    return rc;
}

// The filler flag of the current writing direction is fillerH_ (the other one fillerV_):
// changing direction exchanges them.
void PRNTTRJV::Escape(const unsigned char* data, unsigned long length, unsigned long& i, int& rc) {
    if (i + 1 >= length) return;
    const unsigned char what = data[++i];
    const bool vertical = direction_ == 1;
    auto setBits = [&](unsigned char mask, unsigned char value) {
        attribute_ = static_cast<unsigned char>((attribute_ & ~mask) | (value & mask));
        attributePending_ = true;
    };
    auto raise = [&](unsigned char mask, unsigned char value) {
        if (attribute_ & mask) setBits(mask, value);
        attributePending_ = true;
    };
    switch (what) {
    case '!': {
        if (i + 1 >= length) return;
        const unsigned char n = data[++i];
        switch (n) {
        case 1: setBits(0x80, 0x80); bit7_ = true; (vertical ? fillerH_ : fillerV_) = true; break;
        case 2: setBits(0x40, 0x40); bit6_ = true; (vertical ? fillerV_ : fillerH_) = true; break;
        case 3: setBits(0x03, kept01_); break;
        case 6: rc = AddTategakiMode(); break;
        case 7: kept01_ = 3; kept23_ = 12; raise(0x03, 3); raise(0x0C, 12); break;
        case 8: kept45_ = 48; raise(0x30, 48); break;
        case 9: setBits(0x0C, kept23_); break;
        case 10: setBits(0x30, kept45_); break;
        case 129: setBits(0x80, 0); bit7_ = false; (vertical ? fillerH_ : fillerV_) = false; break;
        case 130: setBits(0x40, 0); bit6_ = false; (vertical ? fillerV_ : fillerH_) = false; break;
        case 131: setBits(0x03, 0); break;
        case 134: rc = AddYokogakiMode(); break;
        case 135: kept01_ = 2; kept23_ = 8; raise(0x03, 2); raise(0x0C, 8); break;
        case 136: kept45_ = 32; raise(0x30, 32); break;
        case 137: setBits(0x0C, 0); break;
        case 138: setBits(0x30, 0); break;
        default: break;
        }
        break;
    }
    case ';':
    case '<': {
        const unsigned char font = what == ';' ? 0 : 0x80;
        for (unsigned short s = 0; s < 2 && rc == 0; ++s) {
            if (!Selected(s) || font_[s] == font) continue;
            font_[s] = font;
            rc = CreateNewLine();
            width_[s] = what == ';' ? (vertical ? 14 : 32) : (vertical ? 19 : 42);
        }
        currentWidth_ = width_[FirstSelected()];
        break;
    }
    case 'G': {
        rc = SendDataToPrinter();
        unsigned short stations = 0;
        for (unsigned short s = 0; s < 2; ++s)
            if (Selected(s)) stations = static_cast<unsigned short>(stations | stationBits_[s]);
        if (rc == 0) rc = SetChase(stations);
        break;
    }
    case 'O':
    case 'P':
    case 'Q':
        if (!Selected(0)) break;
        rc = SendDataToPrinter();
        if (rc == 0) rc = what == 'O' ? AdvancePaperToTearBar() : what == 'P' ? CutPaperPartial() : CutPaperAndStamp();
        break;
    case 'q': {
        if (i + 1 >= length) return;
        const unsigned char x = data[++i];
        if (Selected(0) && x >= 0x21 && x <= 0x2C) {
            rc = SendDataToPrinter();
            if (rc == 0) rc = PrintPreDefinedBitmap(x - 32);
        }
        break;
    }
    default: break;
    }
}

int PRNTTRJV::WriteText(const unsigned char* data, unsigned long length, int& written) {
    written = 0;
    FreeLines();
    int rc = CreateNewLine();
    if (rc != 0) return rc;
    if (direction_ == 1) oneShotV_ = true;
    else oneShotH_ = true;
    unsigned long i = 0;
    for (; i < length && rc == 0; ++i) {
        const unsigned char c = data[i];
        if (!current_ && (rc = CreateNewLine()) != 0) break;
        if (c == kEsc) {
            Escape(data, length, i, rc);
        } else if (c == '\n') {
            // An empty line still prints: it gets its header.
            if (current_->length[0] == 0) StartLine();
            rc = CreateNewLine();
        } else if (c == '\r') {
            continue;
        } else if (FirstDbcs(c) && i + 1 < length) {
            const bool vertical = direction_ == 1;
            const unsigned short need = vertical ? ((attribute_ & 0x80) ? 2 : 1) : ((attribute_ & 0x40) ? 4 : 2);
            if (current_->columns + need >= currentWidth_ + 1 && current_->columns > 0) rc = CreateNewLine();
            if (rc == 0) rc = AddCharacterToLine(c, 1);
            if (rc == 0) rc = AddCharacterToLine(data[++i], 2);
            if (rc == 0) current_->dbcs = true;
            if (rc == 0 && Filler(direction_)) rc = AddFiller();
        } else {
            const unsigned short limit = Filler(direction_) ? static_cast<unsigned short>(currentWidth_ - 1) : currentWidth_;
            if (current_->columns >= limit && current_->columns > 0) rc = CreateNewLine();
            if (rc == 0) rc = AddCharacterToLine(c, 0);
            if (rc == 0 && Filler(direction_)) rc = AddFiller();
        }
        if (rc == 0) written = static_cast<int>(i + 1);
    }
    const int sent = SendDataToPrinter();
    FreeLines();
    return rc != 0 ? rc : sent;
}

int PRNTTRJV::SendDataToPrinter() {
    if (lines_.empty()) return 0;
    std::vector<unsigned char> frame;
    frame.reserve(maxFrame_);
    int rc = 0;
    auto flush = [&]() {
        if (frame.size() <= 2) return;
        frame.push_back(kEsc);
        frame.push_back(0xFF);
        if (frame.size() > 4)
            for (unsigned short s = 0; s < 2 && rc == 0; ++s)
                if (Selected(s)) rc = SendFrame(s, frame.data(), static_cast<unsigned short>(frame.size()));
        frame.clear();
    };
    for (const auto& record : lines_) {
        const LineRecord& l = *record;
        if (l.length[0] == 0) continue;
        size_t size = l.length[0];
        if (l.twoPart) size += l.length[1] + (l.third ? 2u * l.length[2] : 0u);
        if (!frame.empty() && frame.size() + size + 2 > maxFrame_) flush();
        if (frame.empty()) {
            frame.push_back(kEsc);
            frame.push_back('`');
        }
        frame.insert(frame.end(), l.part[0], l.part[0] + l.length[0]);
        if (l.twoPart) {
            frame.insert(frame.end(), l.part[1], l.part[1] + l.length[1]);
            if (l.third) {
                frame.insert(frame.end(), l.part[2], l.part[2] + l.length[2]);
                frame.insert(frame.end(), l.part[2], l.part[2] + l.length[2]);
            }
        }
    }
    flush();
    FreeLines();
    const int fresh = CreateNewLine();
    return rc != 0 ? rc : fresh;
}

// ---------------------------------------------------------------------------------------

VDEV* _CreatePRNTTRJV(const DeviceID& id, int handle) {
    return new (std::nothrow) PRNTTRJV(id, handle, reinterpret_cast<const unsigned char*>("PRNTTRJV"));
}

ObjectSupport objectPRNTTRJV(PRNTTRJV_TYPE_ID, _CreatePRNTTRJV);
