// The virtual printer's resources: loading at open, validation, get and set values.
#include <cstring>

#include "PRNTV.h"
#include "ovkhost.h"
#include "sylookup.h"

namespace {

const char kTag[] = "@(#)prntvval.cpp 1.1";

enum : uint32_t { kLogCloseAfterValidation = 19215 };

constexpr long kLineFeedMax = 90000;

#define ROW(name, value) {name, LookupHash(name), value}
const posLookup kDiWidth[] = {ROW("DI_WIDE", 0), ROW("DI_NARROW", 1)};
const posLookup kInterleaved[] = {ROW("INTERLEAVED_FALSE", 0), ROW("INTERLEAVED_TRUE", 1)};
const posLookup kHeadParked[] = {ROW("HOME_CENTER", 0), ROW("HOME_LEFT", 1)};
const posLookup kPrintStation[] = {ROW("PRINT_STATION_CR", 1), ROW("PRINT_STATION_SJ", 2),
                                   ROW("PRINT_STATION_DI", 4)};
const posLookup kPrintMode[] = {ROW("MODE_NORMAL", PRN_MODE_NORMAL), ROW("MODE_LOGO", PRN_MODE_LOGO),
                                ROW("MODE_FISCAL", PRN_MODE_FISCAL)};
const posLookup kLineFeed[] = {ROW("LPI_6", 4236), ROW("LPI_8", 3177)};
const posLookup kFeedDirection[] = {ROW("FEED_FORWARD", 0), ROW("FEED_REVERSE", 1)};
const posLookup kReadMode[] = {ROW("PRINT_READ_MICR", PRN_READ_MICR),
                               ROW("PRINT_READ_FISCAL", PRN_READ_FISCAL),
                               ROW("PRINT_READ_MCT", PRN_READ_MCT)};
#undef ROW

template <size_t N>
constexpr int rows(const posLookup (&)[N]) {
    return static_cast<int>(N);
}

bool named(const PosArg& arg, const char* name) {
    return arg.name && std::strcmp(arg.name, name) == 0;
}

// The 86 apostrophes of the default retry string.
const char* defaultRetryString() {
    static const std::string text(PRNTV::kStringMax, '\'');
    return text.c_str();
}

// The values the resource loader fills for one open (kept per open, not shared).
struct Loaded {
    int32_t printStatus = 0, diWidth = 0, interleaved = 0, headParked = 0, printStation = 0,
            printMode = 0, lineFeedCR = 0, lineFeedSJ = 0, lineFeedDI = 0, feedDirection = 0,
            readMode = 0, printStatus2 = 0;
    char* resumeString = nullptr;
    char* retryString = nullptr;
    char* rawPrintStatus = nullptr;
};

} // namespace

// ---------------------------------------------------------------------------------------
// Validation rules.

int PRNTV::validateDIWidth(long v) { return v == 0 || v == 1 ? 0 : POSERR_PRN_INVALID_DI_WIDTH; }
int PRNTV::validateInterleaved(long v) {
    return v == 0 || v == 1 ? 0 : POSERR_PRN_INVALID_INTERLEAVED_VALUE;
}
int PRNTV::validateHeadParkedPosition(long v) {
    return v == 0 || v == 1 ? 0 : POSERR_PRN_INVALID_HEAD_PARKED_POSITION;
}
int PRNTV::validateMode(long v) { return v == 1 || v == 2 ? 0 : POSERR_PRN_INVALID_MODE; }
int PRNTV::validatePrintStation(long v) {
    if (v < 0 || v > 7) return POSERR_PRN_INVALID_STATION;
    // DI does not go together with CR or SJ.
    if ((v & 4) && (v & 3)) return POSERR_PRN_INVALID_STATION;
    return 0;
}
int PRNTV::validateLineFeedCR(long v) {
    return v >= 0 && v <= kLineFeedMax ? 0 : POSERR_PRN_INVALID_CR_LF_DISTANCE;
}
int PRNTV::validateLineFeedSJ(long v) {
    return v >= 0 && v <= kLineFeedMax ? 0 : POSERR_PRN_INVALID_SJ_LF_DISTANCE;
}
int PRNTV::validateLineFeedDI(long v) {
    return v >= 0 && v <= kLineFeedMax ? 0 : POSERR_PRN_INVALID_DI_LF_DISTANCE;
}
int PRNTV::validateFeedDirection(long v) {
    return v == 0 || v == 1 ? 0 : POSERR_PRN_INVALID_FEED_DIRECTION;
}
int PRNTV::validateReadMode(long v) {
    return v == 1 || v == 3 || v == 4 || v == 5 || v == 153 ? 0 : POSERR_PRN_INVALID_MODE;
}
int PRNTV::validateResumeString(const unsigned char*) { return 0; }
int PRNTV::validateRetryString(const unsigned char*) { return 0; }

int PRNTV::validateResources(PrnParm* p) {
    if (!p) return 321;
    int rc;
    if ((rc = validateMode(p->printMode)) != 0) return rc;
    if ((rc = validatePrintStation(p->printStation)) != 0) return rc;
    if ((rc = validateDIWidth(p->diWidth)) != 0) return rc;
    if ((rc = validateFeedDirection(p->feedDirection)) != 0) return rc;
    if ((rc = validateHeadParkedPosition(p->headParkedPosition)) != 0) return rc;
    if ((rc = validateInterleaved(p->interleaved)) != 0) return rc;
    if ((rc = validateLineFeedCR(static_cast<long>(p->lineFeedCR))) != 0) return rc;
    if ((rc = validateLineFeedSJ(static_cast<long>(p->lineFeedSJ))) != 0) return rc;
    if ((rc = validateLineFeedDI(static_cast<long>(p->lineFeedDI))) != 0) return rc;
    return validateReadMode(p->readMode);
}

// ---------------------------------------------------------------------------------------
// Open.

int PRNTV::Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
                int count) {
    Loaded v;
    v.printMode = defaultPrintMode_;
    v.readMode = defaultReadMode_;
    const posResources table[kResources] = {
        {"printStatus", "PrintStatus", POSRES_INTEGER, &v.printStatus, 0, nullptr, 0},
        {"diWidth", "DiWidth", POSRES_INTEGER, &v.diWidth, 0, kDiWidth, rows(kDiWidth)},
        {"interleaved", "Interleaved", POSRES_INTEGER, &v.interleaved, 0, kInterleaved, rows(kInterleaved)},
        {"headParkedPosition", "HeadParkedPosition", POSRES_INTEGER, &v.headParked, 0, kHeadParked,
         rows(kHeadParked)},
        {"printStation", "PrintStation", POSRES_INTEGER, &v.printStation, 1, kPrintStation,
         rows(kPrintStation)},
        {"printMode", "PrintMode", POSRES_INTEGER, &v.printMode, defaultPrintMode_, kPrintMode,
         rows(kPrintMode)},
        {"lineFeedCR", "LineFeedCR", POSRES_INTEGER, &v.lineFeedCR, 4236, kLineFeed, rows(kLineFeed)},
        {"lineFeedSJ", "LineFeedSJ", POSRES_INTEGER, &v.lineFeedSJ, 3177, kLineFeed, rows(kLineFeed)},
        {"lineFeedDI", "LineFeedDI", POSRES_INTEGER, &v.lineFeedDI, 4236, kLineFeed, rows(kLineFeed)},
        {"feedDirection", "FeedDirection", POSRES_INTEGER, &v.feedDirection, 0, kFeedDirection,
         rows(kFeedDirection)},
        {"resumeString", "ResumeString", POSRES_STRING, &v.resumeString,
         reinterpret_cast<intptr_t>(""), nullptr, 0},
        {"retryString", "RetryString", POSRES_STRING, &v.retryString,
         reinterpret_cast<intptr_t>(defaultRetryString()), nullptr, 0},
        {"printReadMode", "PrintReadMode", POSRES_INTEGER, &v.readMode, defaultReadMode_, kReadMode,
         rows(kReadMode)},
        {"rawPrintStatus", "RawPrintStatus", POSRES_STRING, &v.rawPrintStatus,
         reinterpret_cast<intptr_t>(""), nullptr, 0},
        {"printStatus2", "PrintStatus2", POSRES_INTEGER, &v.printStatus2, 0, nullptr, 0},
    };
    int rc = LoadResources(resourceName, className, table, kResources);
    if (rc != 0) return rc;

    for (int32_t& c : chaseCount_) c = 0;
    // A loaded number that does not fit its field is made one that fails its rule.
    auto narrow = [](int32_t x) { return static_cast<unsigned short>(x < 0 || x > 0xFFFF ? 0xFFFF : x); };
    auto wide = [](int32_t x) { return static_cast<uint32_t>(x < 0 ? 0xFFFFFFFFu : static_cast<uint32_t>(x)); };
    parm_.printMode = narrow(v.printMode);
    parm_.readMode = narrow(v.readMode);
    parm_.diWidth = narrow(v.diWidth);
    parm_.feedDirection = narrow(v.feedDirection);
    parm_.interleaved = narrow(v.interleaved);
    parm_.headParkedPosition = narrow(v.headParked);
    parm_.printStation = narrow(v.printStation);
    parm_.diPrinting = 0;
    parm_.exclusiveDI = 1;
    parm_.lineFeedCR = wide(v.lineFeedCR);
    parm_.lineFeedSJ = wide(v.lineFeedSJ);
    parm_.lineFeedDI = wide(v.lineFeedDI);
    CopyString(parm_.resumeString, v.resumeString ? v.resumeString : "");
    CopyString(parm_.retryString, v.retryString ? v.retryString : defaultRetryString());

    rc = VDEV::Open(resourceName, className, args, count);
    if (rc == 0) {
        rc = validateResources(&parm_);
        if (rc != 0) {
            int remaining = 0;
            const int closed = VDEV::Close(remaining);
            if (closed != 0 || remaining != 0)
                clErrorLog(kLogCloseAfterValidation, static_cast<uint32_t>(rc), 0, kTag, this,
                           static_cast<uint16_t>(sizeof(PRNTV)), &closed, sizeof closed, &remaining,
                           sizeof remaining);
        }
    }
    DumpResources(table, kResources);
    return rc;
}

// ---------------------------------------------------------------------------------------
// Values.

int PRNTV::SetValues(PosArg* args, int count) {
    PrnParm copy = parm_;
    for (int i = 0; args && i < count; ++i) {
        const PosArg& arg = args[i];
        if (!arg.name) continue;
        tprintf("%s,%d\n", arg.name, static_cast<int>(arg.value));
        const long value = static_cast<long>(arg.value);
        int rc = 0;
        if (named(arg, "diWidth")) {
            if (diWidthFixed_) continue;
            if ((rc = validateDIWidth(value)) == 0) copy.diWidth = static_cast<unsigned short>(value);
        } else if (named(arg, "interleaved")) {
            if ((rc = validateInterleaved(value)) == 0) copy.interleaved = static_cast<unsigned short>(value);
        } else if (named(arg, "headParkedPosition")) {
            if ((rc = validateHeadParkedPosition(value)) == 0)
                copy.headParkedPosition = static_cast<unsigned short>(value);
        } else if (named(arg, "printStation")) {
            if ((rc = validatePrintStation(value)) == 0) copy.printStation = static_cast<unsigned short>(value);
        } else if (named(arg, "printMode")) {
            if ((rc = validateMode(value)) == 0) copy.printMode = static_cast<unsigned short>(value);
        } else if (named(arg, "lineFeedCR")) {
            if ((rc = validateLineFeedCR(value)) == 0) copy.lineFeedCR = static_cast<uint32_t>(value);
        } else if (named(arg, "lineFeedSJ")) {
            if ((rc = validateLineFeedSJ(value)) == 0) copy.lineFeedSJ = static_cast<uint32_t>(value);
        } else if (named(arg, "lineFeedDI")) {
            if ((rc = validateLineFeedDI(value)) == 0) copy.lineFeedDI = static_cast<uint32_t>(value);
        } else if (named(arg, "feedDirection")) {
            if ((rc = validateFeedDirection(value)) == 0) copy.feedDirection = static_cast<unsigned short>(value);
        } else if (named(arg, "printReadMode")) {
            if ((rc = validateReadMode(value)) == 0) copy.readMode = static_cast<unsigned short>(value);
        } else if (named(arg, "resumeString") || named(arg, "retryString")) {
            const char* text = reinterpret_cast<const char*>(arg.value);
            rc = chCheckBuffer(text, 0, CH_ACCESS_STRING);
            if (rc == 0) CopyString(named(arg, "resumeString") ? copy.resumeString : copy.retryString, text);
        }
        if (rc != 0) return rc;
    }
    int rc = VDEV::SetValues(args, count);
    if (rc != 0) return rc;
    if (IsHolding()) SendWritePending();

    const bool interleaveChanged = copy.interleaved != parm_.interleaved;
    const bool parkChanged = copy.headParkedPosition != parm_.headParkedPosition;
    parm_ = copy;
    int result = 0;
    if (interleaveChanged) {
        rc = SetInterleaved();
        if (rc != 315) result = rc;
    }
    if (parkChanged) {
        rc = SetHeadParkedPosition();
        if (rc != 315 && result == 0) result = rc;
    }
    return result;
}

int PRNTV::GetValues(PosArg* args, int count) {
    for (int i = 0; args && i < count; ++i) {
        PosArg& arg = args[i];
        if (!arg.name) continue;
        int rc = 0;
        bool matched = true;
        if (named(arg, "printStatus")) {
            uint32_t status = 0;
            rc = GetPrinterStatus(status);
            arg.value = static_cast<intptr_t>(status);
        } else if (named(arg, "printStatus2")) {
            uint32_t status = 0;
            rc = GetPrinterStatus2(status);
            arg.value = static_cast<intptr_t>(status);
        } else if (named(arg, "diWidth")) {
            arg.value = parm_.diWidth;
        } else if (named(arg, "interleaved")) {
            arg.value = parm_.interleaved;
        } else if (named(arg, "headParkedPosition")) {
            arg.value = parm_.headParkedPosition;
        } else if (named(arg, "printStation")) {
            arg.value = parm_.printStation;
        } else if (named(arg, "printMode")) {
            arg.value = parm_.printMode;
        } else if (named(arg, "lineFeedCR")) {
            arg.value = static_cast<intptr_t>(parm_.lineFeedCR);
        } else if (named(arg, "lineFeedSJ")) {
            arg.value = static_cast<intptr_t>(parm_.lineFeedSJ);
        } else if (named(arg, "lineFeedDI")) {
            arg.value = static_cast<intptr_t>(parm_.lineFeedDI);
        } else if (named(arg, "feedDirection")) {
            arg.value = parm_.feedDirection;
        } else if (named(arg, "printReadMode")) {
            arg.value = parm_.readMode;
        } else if (named(arg, "resumeString") || named(arg, "retryString")) {
            const char* text = named(arg, "resumeString") ? parm_.resumeString : parm_.retryString;
            const int size = static_cast<int>(std::strlen(text)) + 1;
            char* out = reinterpret_cast<char*>(arg.value);
            rc = chCheckBuffer(out, size, CH_ACCESS_WRITE);
            if (rc == 0) std::memcpy(out, text, static_cast<size_t>(size));
        } else if (named(arg, "rawPrintStatus")) {
            unsigned char* out = reinterpret_cast<unsigned char*>(arg.value);
            rc = chCheckBuffer(out, kRawStatusSize, CH_ACCESS_WRITE);
            if (rc == 0) rc = GetRawPrinterStatus(out);
        } else {
            matched = false;
        }
        if (matched)
            tprintf("%s,0x%x(%d)\n", arg.name, static_cast<unsigned>(arg.value), static_cast<int>(arg.value));
        if (rc != 0) return rc;
    }
    return VDEV::GetValues(args, count);
}
