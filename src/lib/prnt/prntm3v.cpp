// The M3 virtual printer: open, acquire (double-byte mode and the font), the controls, MICR
// data, resume and retry, and the commands of feeds, cut, tear bar and documents. The
// writing paths (text, logos, cheques, RAS data) are in prntm3w.cpp.
#include <algorithm>
#include <cstring>
#include <new>

#include "ObjectSupport.h"
#include "PRNTM3.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)prntm3v.cpp 1.1";

enum : uint32_t {
    kLogOpenNoMemory = 19401,
    kLogFeedNoMemory = 19406,
    kLogFeedSet = 19407,
    kLogTearNoMemory = 19408,
    kLogTearSet = 19409,
    kLogCutNoMemory = 19410,
    kLogCutSet = 19411,
    kLogReleaseNoMemory = 19412,
    kLogReleaseSet = 19413,
    kLogRegisterNoMemory = 19414,
    kLogRegisterSet = 19415,
    kLogPrnCmdNoMemory = 19417,
    kLogPrnCmdSet = 19418,
    kLogReleaseDirection = 19422,
    kLogRegisterDirection = 19423,
    kLogMicrNoMemory = 19426,
    kLogMicrSet = 19427,
    kLogUserCode = 19430,
};

constexpr uint32_t kStep = 353;
constexpr unsigned long kFeedMax = 90000;
constexpr unsigned long kLineFeedMax = 90016;
constexpr int kConvertedMax = 150;

// The built-in glyphs of font slots 21-39.
const unsigned char kBuiltIn[19][M3_GLYPH_BYTES] = {
    {0x38, 0x42, 0x00, 0x45, 0x00, 0x3a, 0x40, 0, 0, 0, 0, 0},
    {0x04, 0x01, 0x04, 0x7a, 0x04, 0x01, 0x04, 0, 0, 0, 0, 0},
    {0x08, 0x00, 0x08, 0x36, 0x48, 0x04, 0x4b, 0, 0, 0, 0, 0},
    {0x38, 0x01, 0x44, 0x02, 0x44, 0x01, 0x44, 0, 0, 0, 0, 0},
    {0x38, 0x01, 0x44, 0x02, 0x44, 0x01, 0x44, 0, 0, 0, 0, 0},
    {0x44, 0x21, 0x44, 0x12, 0x44, 0x09, 0x44, 0, 0, 0, 0, 0},
    {0x44, 0x21, 0x44, 0x12, 0x44, 0x09, 0x44, 0, 0, 0, 0, 0},
    {0x7c, 0x01, 0x54, 0x02, 0x54, 0x01, 0x44, 0, 0, 0, 0, 0},
    {0x44, 0x39, 0x44, 0x02, 0x44, 0x01, 0x38, 0, 0, 0, 0, 0},
    {0x14, 0x00, 0x3e, 0x41, 0x14, 0x41, 0x22, 0, 0, 0, 0, 0}, // euro
    {0x00, 0x20, 0x50, 0x00, 0x50, 0x00, 0x7c, 0, 0x08, 0x06, 0, 0},
    {0x7c, 0x01, 0x08, 0x12, 0x20, 0x01, 0x7c, 0, 0, 0, 0, 0},
    {0x38, 0x01, 0x54, 0x02, 0x54, 0x01, 0x18, 0, 0, 0, 0, 0},
    {0x38, 0x42, 0x00, 0x45, 0x00, 0x42, 0x38, 0, 0, 0, 0, 0},
    {0x04, 0x79, 0x00, 0x06, 0x00, 0x05, 0x78, 0, 0, 0, 0, 0},
    {0x08, 0x55, 0x00, 0x56, 0x00, 0x55, 0x20, 0, 0, 0, 0, 0},
    {0x08, 0x55, 0x00, 0x56, 0x00, 0x55, 0x20, 0, 0, 0, 0, 0},
    {0x7c, 0x01, 0x14, 0x02, 0x14, 0x21, 0x48, 0, 0, 0, 0, 0},
    {0x04, 0x79, 0x00, 0x06, 0x00, 0x05, 0x08, 0, 0, 0, 0, 0},
};

bool isDoubleBytePage(unsigned cp) { return cp == 932 || cp == 934 || cp == 942 || cp == 944 || cp == 949; }

const char* stringArg(PosArg* args, int count, const char* name) {
    for (int i = 0; args && i < count; ++i) {
        if (!args[i].name || std::strcmp(args[i].name, name) != 0) continue;
        const char* text = reinterpret_cast<const char*>(args[i].value);
        return text && chCheckBuffer(text, 0, CH_ACCESS_STRING) == 0 ? text : nullptr;
    }
    return nullptr;
}

} // namespace

const int16_t PRNTM3V::arPRINT_INFO[4][16] = {
    {14, 15, 16, 97, 82, 17, 18, 19, 98, 83, 38, 30, 19, 19, 380, 42},
    {22, 23, 24, 99, 84, 25, 26, 27, 100, 85, 38, 30, 19, 19, 380, 42},
    {30, 31, 32, 101, 86, 33, 34, 35, 102, 87, 38, 30, 19, 19, 380, 42},
    {46, 47, 48, 103, 90, 49, 50, 51, 104, 91, 86, 68, 43, 43, 880, 94},
};

const int16_t PRNTM3V::arREVERSE_CMDS[20] = {38, 39, 40, 38, 88, 41, 42, 43, 41, 89,
                                             54, 55, 56, 54, 92, 57, 58, 59, 57, 93};

int PRNTM3V::DiLineCount = 0;
int PRNTM3V::fRegisterDocument = 0;

PRNTM3V::PRNTM3V(const DeviceID& id, int handle, const unsigned char* name) : PRNTV(id, handle, name) {
    translate_ = true;
    std::memcpy(map_, mod3Map.byte, sizeof map_);
    BuiltInGlyphs();
}

PRNTM3V::~PRNTM3V() {
    delete[] line_;
    delete[] work_;
    delete[] check_;
    delete[] dbcsLine_;
    delete[] micr_;
}

void PRNTM3V::BuiltInGlyphs() {
    for (int s = 21; s < 40; ++s) std::memcpy(font_ + s * M3_GLYPH_BYTES, kBuiltIn[s - 21], M3_GLYPH_BYTES);
}

unsigned char PRNTM3V::Translate(unsigned char c) const {
    if (!translate_ || c < 0x20) return c;
    const unsigned short* table = GetCpTableData();
    const unsigned glyph = table && GetCpTableSize() >= 2 * NLS_CODE_PAGE_ENTRIES ? table[c] : c;
    return MapOf(glyph);
}

uint32_t PRNTM3V::LineFeed(unsigned short stationIndex) const {
    switch (stationIndex) {
    case PRN_STATION_CR: return parm_.lineFeedCR;
    case PRN_STATION_SJ: return parm_.lineFeedSJ;
    default: return parm_.lineFeedDI;
    }
}

int PRNTM3V::Queue(unsigned short code, unsigned char byte3, unsigned char byte4, unsigned short length,
                   const unsigned char* data, uint32_t noMemoryLog, uint32_t setLog) {
    PRNTCMDM3* command = new (std::nothrow) PRNTCMDM3;
    if (!command) {
        clErrorLog(noMemoryLog, 305, code, kTag, this, sizeof(PRNTM3V));
        return 305;
    }
    int rc = command->Set(code, this, byte3, byte4, length, data, 0, 0);
    if (rc == 0) rc = Tell(PRN_TP_PUT_QUEUE, command, sizeof(PRNTCMDM3));
    if (rc != 0) {
        clErrorLog(setLog, static_cast<uint32_t>(rc), code, kTag, this, sizeof(PRNTM3V), command, sizeof(PRNTCMDM3));
        delete command;
    }
    return rc;
}

// ---------------------------------------------------------------------------------------
// Open, close, holding.

int PRNTM3V::Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
                  int count) {
    delete[] line_;
    delete[] work_;
    delete[] check_;
    delete[] dbcsLine_;
    line_ = new (std::nothrow) unsigned char[kLine];
    work_ = new (std::nothrow) unsigned char[kWork];
    check_ = new (std::nothrow) unsigned char[kLine];
    dbcsLine_ = new (std::nothrow) unsigned char[kDbcsLine];
    dbcsLineSize_ = kDbcsLine;
    if (!line_ || !work_ || !check_ || !dbcsLine_) {
        clErrorLog(kLogOpenNoMemory, 305, 0, kTag, this, sizeof(PRNTM3V));
        delete[] line_;
        delete[] work_;
        delete[] check_;
        delete[] dbcsLine_;
        line_ = work_ = check_ = dbcsLine_ = nullptr;
        return 305;
    }
    std::memset(line_, ' ', kLine);
    std::memset(check_, ' ', kLine);
    lineLength_ = checkLength_ = checkColumn_ = 0;
    feedPending_ = checkFeedPending_ = escapePending_ = false;
    std::fill(std::begin(column_), std::end(column_), 0);
    std::fill(std::begin(usedTenths_), std::end(usedTenths_), 0);
    int rc = PRNTV::Open(resourceName, className, args, count);
    if (rc != 0) return rc;
    if (Tell(M3_TP_CONFIGURATION, &config_, sizeof config_) == 0 && config_.model == 4 &&
        config_.codePage != 0xFFFF) {
        unsigned short cp = config_.codePage;
        if (GetCpTable(cp, cpTable_) == 0) codePage_ = cp;
    }
    Tell(M3_TP_EC_LEVEL, &ecLevel_, 1);
    return 0;
}

int PRNTM3V::Close(int& remaining) {
    const int flush = IsHolding() ? SendWritePending() : 0;
    const int rc = PRNTV::Close(remaining);
    delete[] line_;
    delete[] work_;
    delete[] check_;
    delete[] dbcsLine_;
    line_ = work_ = check_ = dbcsLine_ = nullptr;
    lineLength_ = checkLength_ = 0;
    return rc != 0 ? rc : flush;
}

int PRNTM3V::AcquirePhysical() {
    int rc = PRNTV::AcquirePhysical();
    if (rc != 0) return rc;
    if (Tell(M3_TP_CONFIGURATION, &config_, sizeof config_) == 0 && config_.model == 4) {
        const unsigned cp = codePage_;
        const bool on = config_.dbcsMode == 1;
        if (dbcs_.active) {
            dbcsFlag_ = true;
            if (cp == 850) {
                if (on) Tell(M3_TP_DBCS_OFF, nullptr, 0);
                dbcsFlag_ = false;
            } else if (isDoubleBytePage(cp)) {
                if (!on) Tell(M3_TP_DBCS_ON, nullptr, 0);
            } else {
                dbcsFlag_ = on;
                if (config_.codePage != 0xFFFF) codePage_ = config_.codePage;
            }
        } else {
            dbcsFlag_ = false;
            if (cp == 850) {
                if (on) Tell(M3_TP_DBCS_OFF, nullptr, 0);
            } else if (isDoubleBytePage(cp)) {
                Tell(M3_TP_DBCS_MARK_OFF, nullptr, 0);
            } else {
                dbcsFlag_ = on;
            }
            if (config_.codePage != 0xFFFF) codePage_ = config_.codePage;
        }
    }
    // The font's result does not decide the acquire (a printer may not take fonts).
    LoadFontTable();
    return 0;
}

int PRNTM3V::LoadFontTable() { return Tell(M3_TP_LOAD_FONT, font_, M3_FONT_BYTES); }

int PRNTM3V::ReleasePhysical() {
    DiscardMicrData();
    return PRNTV::ReleasePhysical();
}

int PRNTM3V::validateMode(long value) {
    return value == PRN_MODE_NORMAL || value == PRN_MODE_LOGO || value == PRN_MODE_CHECK || value == PRN_MODE_RAS
               ? 0
               : POSERR_PRN_INVALID_MODE;
}

int PRNTM3V::validateReadMode(long value) { return value == PRN_READ_MICR ? 0 : PRNTV::validateReadMode(value); }

int PRNTM3V::TellVirt(const PDEV* from, int message, unsigned char* data, int length) {
    if (message == PRN_TV_MESSAGE && data && length >= static_cast<int>(sizeof(PRNTMSG))) {
        PRNTMSG m;
        std::memcpy(&m, data, sizeof m);
        if (m.msg == POSM_PRN_STATUS_CHANGE) lastStatusWord_ = m.p2;
        if (m.msg == POSM_PRN_CHASE_COMPLETE) chaseComplete_ = true;
    }
    if (message == M3_TV_MICR_DATA) {
        micrArrived_ = true;
        return StoreMicrData(data, static_cast<unsigned short>(data && length > 0 ? std::min(length, 0xFFFF) : 0));
    }
    return PRNTV::TellVirt(from, message, data, length);
}

int PRNTM3V::GetRawPrinterStatus(unsigned char* buffer) {
    unsigned char raw[16] = {};
    const int rc = Tell(PRN_TP_RAW_STATUS, raw, sizeof raw);
    std::memcpy(buffer, raw + (GetDeviceID().slot == 8 ? 4 : 0), 8);
    return rc;
}

int PRNTM3V::SendWritePending() {
    if (config_.dbcsMode == 1 && config_.model == 4 && dbcsFlag_) return SendDBCSWritePending();
    return SendSBCSWritePending();
}

// ---------------------------------------------------------------------------------------
// Reading MICR data.

int PRNTM3V::Read(void* buffer, unsigned int length, int& count) {
    count = 0;
    int rc = RequireHolding();
    if (rc != 0) return rc;
    if (parm_.readMode == PRN_READ_MICR) return ReadMicrData(buffer, length, count);
    return PRNTV::Read(buffer, length, count);
}

int PRNTM3V::ReadMicrData(void* buffer, unsigned long size, int& count) {
    count = 0;
    if (config_.micr != 1) return 311;
    if (!micr_ || micrLength_ == 0) return 0;
    if (!buffer || size < micrLength_) return 312;
    std::memcpy(buffer, micr_, micrLength_);
    count = micrLength_;
    delete[] micr_;
    micr_ = nullptr;
    micrLength_ = 0;
    return 0;
}

int PRNTM3V::StoreMicrData(const unsigned char* data, unsigned short length) {
    DiscardMicrData();
    if (data && length > 0) {
        micr_ = new (std::nothrow) unsigned char[length];
        if (!micr_) return 305;
        std::memcpy(micr_, data, length);
        micrLength_ = length;
    }
    PRNTMSG m;
    m.msg = POSM_PRN_DATA_AVAIL;
    m.p1 = 0x20000;
    m.p2 = micrLength_;
    return SendUserAMessage(&m);
}

int PRNTM3V::DiscardMicrData() {
    delete[] micr_;
    micr_ = nullptr;
    micrLength_ = 0;
    return 0;
}

// ---------------------------------------------------------------------------------------
// User-defined characters.

int PRNTM3V::IOCtl(int request, PosArg* args, int count, int& out) {
    if (request != POS_PRN_DEFINE_CHARACTERS) return PRNTV::IOCtl(request, args, count, out);
    out = 0;
    tprintf("--> POS_PRN_DEFINE_CHARACTERS entered\n");
    std::memset(font_, 0, sizeof font_);
    for (int i = userCount_ - 1; i >= 0; --i) {
        tprintf("Reseting character at location %d\n", i);
        if (user_[i].code < NLS_GLYPH_COUNT) map_[user_[i].code] = user_[i].previous;
    }
    userCount_ = 0;
    const int n = args ? std::min(count, static_cast<int>(M3_USER_GLYPHS)) : 0;
    tprintf("Number of defined characters is %d\n", n);
    for (int i = 0; i < n; ++i) {
        const void* glyph = reinterpret_cast<const void*>(args[i].value);
        if (!glyph || chCheckBuffer(glyph, M3_GLYPH_BYTES, CH_ACCESS_READ) != 0) continue;
        // The code is a number in the name word, never a pointer.
        const auto code = static_cast<unsigned>(reinterpret_cast<uintptr_t>(args[i].name));
        if (code >= NLS_GLYPH_COUNT) {
            clErrorLog(kLogUserCode, 321, code, kTag, this, sizeof(PRNTM3V));
            continue;
        }
        user_[userCount_].code = code;
        user_[userCount_].previous = map_[code];
        map_[code] = static_cast<unsigned char>(M3_FIRST_USER_CODE + i);
        ++userCount_;
        std::memcpy(font_ + i * M3_GLYPH_BYTES, glyph, M3_GLYPH_BYTES);
    }
    BuiltInGlyphs();
    return IsHolding() ? LoadFontTable() : 0;
}

// ---------------------------------------------------------------------------------------
// Resume and retry.

int PRNTM3V::ResumePrinting(PosArg* args, int count) { return SendLine(false, args, count); }
int PRNTM3V::RetryPrinting(PosArg* args, int count) { return SendLine(true, args, count); }

int PRNTM3V::SendLine(bool retry, PosArg* args, int count) {
    if (!IsHolding() || !pdev_) return 315;
    SendWritePending();
    char* stored = retry ? parm_.retryString : parm_.resumeString;
    if (const char* text = stringArg(args, count, retry ? "retryString" : "resumeString")) {
        const auto* u = reinterpret_cast<const unsigned char*>(text);
        if ((retry ? validateRetryString(u) : validateResumeString(u)) == 0) CopyString(stored, text);
    }
    unsigned char converted[kConvertedMax];
    int n = 0;
    const bool dbcs = config_.model == 4 && config_.dbcsMode == 1 && dbcsFlag_;
    const size_t length = strnlen(stored, kStringMax);
    for (size_t i = 0; i < length && n < kConvertedMax; ++i) {
        const auto c = static_cast<unsigned char>(stored[i]);
        if (dbcs && isdbcs1(c) && i + 1 < length) {
            if (n + 2 > kConvertedMax) break;
            converted[n++] = c;
            converted[n++] = static_cast<unsigned char>(stored[++i]);
        } else if (dbcs) {
            if (n + 2 > kConvertedMax) break;
            converted[n++] = 0;
            converted[n++] = Translate(c);
        } else {
            converted[n++] = Translate(c);
        }
    }
    return Tell(retry ? PRN_TP_RETRY : PRN_TP_RESUME, converted, n);
}

// ---------------------------------------------------------------------------------------
// Commands.

int PRNTM3V::ReleaseDocument(unsigned short direction) {
    if (direction > 1) {
        clErrorLog(kLogReleaseDirection, POSERR_PRN_INVALID_FEED_DIRECTION, direction, kTag, this, sizeof(PRNTM3V));
        return POSERR_PRN_INVALID_FEED_DIRECTION;
    }
    return Queue(direction == 0 ? M3_RELEASE_FORWARD : M3_RELEASE_REVERSE, 0, 0, 0, nullptr, kLogReleaseNoMemory,
                 kLogReleaseSet);
}

int PRNTM3V::RegisterDocument(unsigned short direction) {
    if (direction > 1) {
        clErrorLog(kLogRegisterDirection, POSERR_PRN_INVALID_FEED_DIRECTION, direction, kTag, this, sizeof(PRNTM3V));
        return POSERR_PRN_INVALID_FEED_DIRECTION;
    }
    return Queue(direction == 0 ? M3_REGISTER_FORWARD : M3_REGISTER_REVERSE, 0, 0, 0, nullptr,
                 kLogRegisterNoMemory, kLogRegisterSet);
}

int PRNTM3V::CutPaper() { return Queue(M3_CUT, 0, 0, 0, nullptr, kLogCutNoMemory, kLogCutSet); }

int PRNTM3V::AdvancePaperToTearBar() {
    return Queue(M3_FEED_CR, 1, 108, 0, nullptr, kLogTearNoMemory, kLogTearSet);
}

int PRNTM3V::MicrRead() {
    PRNTCMDM3* command = new (std::nothrow) PRNTCMDM3;
    if (!command) {
        clErrorLog(kLogMicrNoMemory, 305, 0, kTag, this, sizeof(PRNTM3V));
        return 305;
    }
    int rc = command->Set(M3_MICR_READ, this, 0, 0, 0, nullptr, 0, 0);
    if (rc == 0) rc = Tell(M3_TP_MICR, command, sizeof(PRNTCMDM3));
    if (rc != 0) {
        clErrorLog(kLogMicrSet, static_cast<uint32_t>(rc), 0, kTag, this, sizeof(PRNTM3V));
        delete command;
    }
    return rc;
}

int PRNTM3V::FeedPaper(unsigned short stations, unsigned long distance, unsigned short direction) {
    if (distance > kFeedMax) return 321;
    if (stations > 7) return POSERR_PRN_INVALID_STATION;
    const auto steps = static_cast<unsigned char>((distance / kStep) % 255);
    static const unsigned short kCodes[3] = {M3_FEED_CR, M3_FEED_SJ, M3_FEED_DI};
    for (unsigned short s = 0; s < 3; ++s) {
        if (!(stations & stationBits_[s]) || steps == 0) continue;
        const unsigned short code = s == 2 && direction == 1 ? static_cast<unsigned short>(M3_FEED_DI_REVERSE) : kCodes[s];
        const int rc = Queue(code, 1, steps, 0, nullptr, kLogFeedNoMemory, kLogFeedSet);
        if (rc != 0) return rc;
    }
    return 0;
}

int PRNTM3V::PrnCmdWithFeed(unsigned short code, unsigned short stationIndex, unsigned long feed,
                            unsigned short length, const unsigned char* data, unsigned short value,
                            unsigned char byte2) {
    const bool together = data && length > 0 && feed < kLineFeedMax;
    if (data && length > 0) {
        PRNTCMDM3* command = new (std::nothrow) PRNTCMDM3;
        if (!command) {
            clErrorLog(kLogPrnCmdNoMemory, 305, code, kTag, this, sizeof(PRNTM3V));
            return 305;
        }
        int rc = command->Set(code, this, together ? 1 : 0, together ? static_cast<unsigned char>(feed / kStep) : 0,
                              length, data, value, byte2);
        if (rc == 0) rc = Tell(PRN_TP_PUT_QUEUE, command, sizeof(PRNTCMDM3));
        if (rc != 0) {
            clErrorLog(kLogPrnCmdSet, static_cast<uint32_t>(rc), code, kTag, this, sizeof(PRNTM3V));
            delete command;
            return rc;
        }
    }
    if (!together && feed > 0)
        return FeedPaper(stationIndex < 3 ? stationBits_[stationIndex] : 0, feed, parm_.feedDirection);
    return 0;
}

// ---------------------------------------------------------------------------------------

VDEV* _CreatePRNTM3V(const DeviceID& id, int handle) {
    return new (std::nothrow) PRNTM3V(id, handle, reinterpret_cast<const unsigned char*>("PRNTM3V"));
}

ObjectSupport objectPRNTM3V(PRNTM3V_TYPE_ID, _CreatePRNTM3V);
