// The model-6397 virtual printer's resources: the 44-row table, open, the validation rules,
// and getting and setting values (with the order in which changes reach the printer).
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "PRNT63V.h"
#include "ovkhost.h"
#include "sylookup.h"

namespace {

const char kTag[] = "@(#)prnt63vval.cpp 1.1";

enum : uint32_t { kLogGetNoHandler = 20301, kLogOpenFailed = 20303, kLogSetNoHandler = 20306 };

#define ROW(name, value) {name, LookupHash(name), static_cast<int32_t>(value)}
const posLookup kOrientation[] = {ROW("PRINT_PORTRAIT", 0), ROW("PRINT_LANDSCAPE", 1)};
const posLookup kLeftMargin[] = {ROW("LEFT_MARGIN_NONE", 0), ROW("LEFT_MARGIN_MODEL4", 0x80000000u)};
const posLookup kAlignment[] = {ROW("PRINT_ALIGN_LEFT", 0), ROW("PRINT_ALIGN_CENTER", 1),
                                ROW("PRINT_ALIGN_RIGHT", 2)};
const posLookup kStation[] = {ROW("PRINT_STATION_CR", 1), ROW("PRINT_STATION_SJ", 2), ROW("PRINT_STATION_DI", 4)};
const posLookup kToneFrequency[] = {ROW("PRINT_TONE_MAX_FREQ", 3953), ROW("PRINT_TONE_MIN_FREQ", 261)};
const posLookup kUpsideDown[] = {ROW("PRINT_RIGHT_SIDE_UP", 0), ROW("PRINT_UPSIDE_DOWN", 1)};
const posLookup kQuality[] = {ROW("HIGH_QUALITY_OFF", 0), ROW("HIGH_QUALITY_ON", 1)};
const posLookup kVolume[] = {ROW("PRINT_TONE_LOUD", 1), ROW("PRINT_TONE_SOFT", 0)};
const posLookup kOctave[] = {ROW("PRINT_OCTAVE1", 0), ROW("PRINT_OCTAVE2", 1), ROW("PRINT_OCTAVE3", 2),
                             ROW("PRINT_OCTAVE4", 3)};
const posLookup kNote[] = {ROW("PRINT_TONE_C", 0),        ROW("PRINT_TONE_C_SHARP", 1), ROW("PRINT_TONE_D", 2),
                           ROW("PRINT_TONE_D_SHARP", 3),  ROW("PRINT_TONE_E", 4),       ROW("PRINT_TONE_F", 5),
                           ROW("PRINT_TONE_F_SHARP", 6),  ROW("PRINT_TONE_G", 7),       ROW("PRINT_TONE_G_SHARP", 8),
                           ROW("PRINT_TONE_A", 9),        ROW("PRINT_TONE_A_SHARP", 10), ROW("PRINT_TONE_B", 11)};
const posLookup kColor[] = {ROW("PAPER_NORMAL", 0), ROW("PAPER_TWO_COLOR", 1)};
const posLookup kTransaction[] = {ROW("TRANSACTION_MODE_OFF", 0), ROW("TRANSACTION_MODE_ON", 1),
                                  ROW("TRANSACTION_MODE_DISCARD", 2)};
#undef ROW

template <size_t N>
constexpr int rows(const posLookup (&)[N]) {
    return static_cast<int>(N);
}

// The 44 resources: name, class, default and value table.
struct ResourceRow {
    const char* name;
    const char* className;
    intptr_t defaultValue;
    const posLookup* table;
    int tableRows;
};

#define T(table) table, rows(table)
const ResourceRow kRows[PRNT63V::kResources] = {
    {"printFeatures", "PrintFeatures", 0, nullptr, 0},
    {"diOrientation", "DiOrientation", 0, T(kOrientation)},
    {"leftMarginCR", "LeftMarginCR", static_cast<int32_t>(0x80000000u), T(kLeftMargin)},
    {"printAlignment", "PrintAlignment", 0, T(kAlignment)},
    {"printStation", "PrintStation", 1, T(kStation)},
    {"codePage", "CodePage", 858, nullptr, 0},
    {"printTabStops", "PrintTabStops", 0, nullptr, 0},
    {"printToneFrequency", "PrintToneFrequency", 2093, T(kToneFrequency)},
    {"printUpsideDown", "PrintUpsideDown", 0, T(kUpsideDown)},
    {"printQualityMode", "PrintQualityMode", 0, T(kQuality)},
    {"printToneVolume", "PrintToneVolume", 1, T(kVolume)},
    {"printToneDuration", "PrintToneDuration", 3, nullptr, 0},
    {"printToneOctave", "PrintToneOctave", 3, T(kOctave)},
    {"printToneNote", "PrintToneNote", 0, T(kNote)},
    {"printColorMode", "PrintColorMode", 0, T(kColor)},
    {"printCRCharSet1", "printCRCharSet1", 0, nullptr, 0},
    {"printCRCharSet2", "printCRCharSet2", 0, nullptr, 0},
    {"printCRCharSet3", "printCRCharSet3", 0, nullptr, 0},
    {"printCRCharSet4", "printCRCharSet4", 0, nullptr, 0},
    {"printDICharSet1", "printDICharSet1", 0, nullptr, 0},
    {"printDICharSet2", "printDICharSet2", 0, nullptr, 0},
    {"crWidth", "CrWidth", 0, nullptr, 0},
    {"printCDPulseWidth", "printCDPulseWidth", 40, nullptr, 0},
    {"printCDStatusLevel", "printCDStatusLevel", 2, nullptr, 0},
    {"printCDAttached", "printCDAttached", 0, nullptr, 0},
    {"recordLength", "recordLength", 0, nullptr, 0},
    {"maximumRecords", "maximumRecords", 0, nullptr, 0},
    {"memoryAvailable", "memoryAvailable", 0, nullptr, 0},
    {"transactionMode", "transactionMode", 0, T(kTransaction)},
    {"printerFailing", "PrinterFailing", 0, nullptr, 0},
    {"printCapabilities", "PrintCapabilities", 0, nullptr, 0},
    {"printErrorDetection", "PrintErrorDetection", 0, nullptr, 0},
    {"sectorUDFImpact", "SectorUDFImpact", 0, nullptr, 0},
    {"sectorUDFThermal", "SectorUDFThermal", 0, nullptr, 0},
    {"sectorLogos", "SectorLogos", 0, nullptr, 0},
    {"sectorMessages", "SectorMessages", 0, nullptr, 0},
    {"sectorUserFlash", "SectorUserFlash", 0, nullptr, 0},
    {"sectorScanImages", "SectorScanImages", 0, nullptr, 0},
    {"sectorDbcsThermal", "SectorDbcsThermal", 0, nullptr, 0},
    {"sectorDbcsImpact", "SectorDbcsImpact", 0, nullptr, 0},
    {"sectorElectronicJournal", "SectorElectronicJournal", 0, nullptr, 0},
    {"sectorMaxSectors", "SectorMaxSectors", 0, nullptr, 0},
    {"sectorSize", "SectorSize", 0, nullptr, 0},
    {"ecRevisionLevel", "EcRevisionLevel", 0, nullptr, 0},
};
#undef T

enum Row {
    kFeatures = 0, kOrient = 1, kMargin = 2, kAlign = 3, kStationRow = 4, kCodePage = 5, kTabs = 6, kFreq = 7,
    kUpside = 8, kQualityRow = 9, kVolumeRow = 10, kDuration = 11, kOctaveRow = 12, kNoteRow = 13, kColorRow = 14,
    kCrWidth = 21, kPulse = 22, kLevel = 23, kAttached = 24, kRecord = 25, kMaxRecords = 26, kMemory = 27,
    kTransactionRow = 28, kFailing = 29, kCapabilities = 30, kErrorDetection = 31, kFirstSector = 32,
    kMaxSectors = 41, kSectorSize = 42, kEcRevision = 43,
};

// Byte offsets in the flash sector table of rows 32 to 41.
const int kSectorOffsets[10] = {4, 6, 0, 2, 8, 14, 10, 12, 16, 18};

int rowOf(const char* name) {
    if (!name) return -1;
    for (int i = 0; i < PRNT63V::kResources; ++i)
        if (std::strcmp(kRows[i].name, name) == 0) return i;
    return -1;
}

bool isReadOnly(int row) {
    return row == kFeatures || (row >= 15 && row <= kCrWidth) || row == kAttached || row == kMaxRecords ||
           row == kMemory || (row >= kFailing && row <= kErrorDetection) || row >= kMaxSectors;
}

} // namespace

// ---------------------------------------------------------------------------------------
// Validation rules.

int PRNT63V::validateMode(long v) {
    return v == PRN63_MODE_TEXT || v == PRN63_MODE_LOGO || v == PRN63_MODE_FLASH || v == PRN63_MODE_LOAD_LOGO ||
                   v == PRN63_MODE_RAS || v == PRN63_MODE_RAW
               ? 0
               : POSERR_PRN_INVALID_MODE;
}

int PRNT63V::validatePrintStation(long v) {
    if (v == 0 || v == PRN63_CR) return 0;
    if (v == PRN63_DI) return receiptOnly_ ? POSERR_PRN_INVALID_STATION : 0;
    if (v == PRN63_SJ || v == PRN63_CRSJ) {
        // Inside the base's open the capabilities are not read yet; Open checks again.
        if (openPhase_ || journal_ || (Cap32(CAP63_BITS1) & 0x200)) return 0;
    }
    return POSERR_PRN_INVALID_STATION;
}

int PRNT63V::validateLineFeedCR(long v) { return v >= 0 && v <= 30000 ? 0 : POSERR_PRN_INVALID_CR_LF_DISTANCE; }
int PRNT63V::validateLineFeedSJ(long v) { return v >= 0 && v <= 30000 ? 0 : POSERR_PRN_INVALID_SJ_LF_DISTANCE; }
int PRNT63V::validateLineFeedDI(long v) { return v >= 0 && v <= 30000 ? 0 : POSERR_PRN_INVALID_DI_LF_DISTANCE; }

int PRNT63V::validateReadMode(long v) {
    if (v == 1) return printFeatures_ & 0x1 ? 0 : POSERR_PRN_INVALID_MODE;
    if (v == 4 || v == 5) return imaging_ ? 0 : POSERR_PRN_INVALID_MODE;
    return v == 3 || v == 153 || v == 255 ? 0 : POSERR_PRN_INVALID_MODE;
}

int PRNT63V::validatediOrientation(long v) { return v == 0 || v == 1 ? 0 : POSERR_PRN_INVALID_DI_ORIENTATION; }

int PRNT63V::validateleftMarginCR(long v) {
    const auto u = static_cast<uint32_t>(v);
    return u <= 70000 || u == 0x80000000u ? 0 : POSERR_PRN_INVALID_LEFT_MARGIN_CR;
}

int PRNT63V::validateprintAlignment(long v) { return v >= 0 && v <= 2 ? 0 : POSERR_PRN_INVALID_PRINT_ALIGNMENT; }

int PRNT63V::validateprintQualityMode(long v) {
    const unsigned m = modelId_;
    long top;
    if (m == 0) top = 1;
    else if (m >= 1 && m <= 7) top = ecLevel_ > 64 ? 3 : 1;
    else if (m == 8 || m == 136 || m == 200) top = ecLevel_ > 105 ? 3 : 1;
    else top = 2;
    return v >= 0 && v <= top ? 0 : POSERR_PRN_INVALID_QUALITY_MODE;
}

int PRNT63V::validatePrintUpsideDown(long v) { return v == 0 || v == 1 ? 0 : POSERR_PRN_INVALID_UPSIDE_DOWN_MODE; }

int PRNT63V::validatePrintTabStops(const char* text) {
    return Prnt63ValidateTabStops(text, Cur().lineWidth) == 0 ? 0 : POSERR_PRN_INVALID_TABSTOPS_FORMAT;
}

int PRNT63V::validateprintColorMode(long v) { return v >= 0 && v <= 255 ? 0 : POSERR_PRN_INVALID_COLOR_MODE; }
int PRNT63V::validatePrintToneVolume(long v) { return v == 0 || v == 1 ? 0 : POSERR_PRN_INVALID_TONE_VOLUME; }
int PRNT63V::validatePrintToneDuration(long v) { return v >= 0 && v <= 254 ? 0 : POSERR_PRN_INVALID_TONE_DURATION; }
int PRNT63V::validatePrintToneNote(long v) { return v >= 0 && v <= 11 ? 0 : POSERR_PRN_INVALID_TONE_NOTE; }
int PRNT63V::validatePrintToneOctave(long v) { return v >= 0 && v <= 3 ? 0 : POSERR_PRN_INVALID_TONE_OCTAVE; }

int PRNT63V::validatePrintToneFreq(long v) {
    return v >= ToneFreq::kMinFrequency && v <= ToneFreq::kMaxFrequency ? 0 : POSERR_PRN_INVALID_TONE_FREQUENCY;
}

int PRNT63V::validatePrintCDPulseWidth(long v) { return v >= 13 && v <= 128 ? 0 : POSERR_PRN_INVALID_PULSE_WIDTH; }
int PRNT63V::validatePrintCDStatusLevel(long v) { return v == 1 || v == 2 ? 0 : POSERR_PRN_INVALID_STATUS_LEVEL; }

int PRNT63V::validatePrintRecordLength(long v) {
    return v >= 1 && v <= 200 && recordLength_ == 0 ? 0 : POSERR_PRN_INVALID_RECORD;
}

int PRNT63V::validateTransactionMode(long v) {
    return v >= 0 && v <= 2 && parm_.printStation != PRN63_DI ? 0 : 4931;
}

// ---------------------------------------------------------------------------------------
// Open.

int PRNT63V::Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args, int count) {
    dbcsPrinter_ = false;
    flashFill_ = 0;
    flashCommand_ = 0;
    flashCapacity_ = 207;

    int32_t values[kResources] = {};
    char* tabs = nullptr;
    posResources table[kResources];
    for (int i = 0; i < kResources; ++i) {
        const ResourceRow& r = kRows[i];
        if (i == kTabs)
            table[i] = {r.name, r.className, POSRES_STRING, &tabs, reinterpret_cast<intptr_t>("100,200,300"), nullptr, 0};
        else
            table[i] = {r.name, r.className, POSRES_INTEGER, &values[i], r.defaultValue, r.table, r.tableRows};
    }
    int rc = LoadResources(resourceName, className, table, kResources);
    if (rc != 0) return rc;
    settings_.diOrientation = static_cast<unsigned short>(values[kOrient]);
    settings_.leftMarginCR = static_cast<uint32_t>(values[kMargin]);
    settings_.alignment = static_cast<unsigned short>(values[kAlign]);

    openPhase_ = true;
    rc = PRNTV::Open(resourceName, className, args, count);
    openPhase_ = false;
    if (rc == 0) {
        auto cp = static_cast<unsigned short>(values[kCodePage]);
        if (GetCpTable(cp, cpTable_) == 0) codePage_ = cp;
        UpdateFeatures();
        tprintf("6397 Model is %02x\n", modelId_);
        if (dbcsPrinter_) SetupDbcsPrinter();
        rc = validatediOrientation(static_cast<int32_t>(settings_.diOrientation));
        if (rc == 0) rc = validateleftMarginCR(static_cast<int32_t>(settings_.leftMarginCR));
        if (rc == 0) rc = validateprintAlignment(settings_.alignment);
        if (rc == 0) rc = validatePrintStation(parm_.printStation);
        if (rc == 0) {
            PosArg applied[9] = {
                {"printTabStops", reinterpret_cast<intptr_t>(tabs ? tabs : "100,200,300")},
                {"printToneFrequency", values[kFreq]},
                {"printUpsideDown", values[kUpside]},
                {"printQualityMode", values[kQualityRow]},
                {"printToneVolume", values[kVolumeRow]},
                {"printToneDuration", values[kDuration]},
                {"printToneOctave", values[kOctaveRow]},
                {"printToneNote", values[kNoteRow]},
                {"printColorMode", values[kColorRow]},
            };
            rc = SetValuesInner(applied, 9, false);
        }
        if (rc == 0 && args && count > 0) rc = SetValuesInner(args, count, false);
        if (rc == 0 && receiptOnly_ && parm_.printStation != PRN63_CR) rc = POSERR_PRN_INVALID_STATION;
        if (rc != 0) {
            int remaining = 0;
            const int closed = PRNTV::Close(remaining);
            clErrorLog(kLogOpenFailed, static_cast<uint32_t>(rc), static_cast<uint32_t>(closed), kTag, this,
                       static_cast<uint16_t>(sizeof(PRNT63V)));
        } else {
            GetLogoManagerInformation();
        }
    }
    DumpResources(table, kResources);
    return rc;
}

// ---------------------------------------------------------------------------------------
// Tab stops.

int PRNT63V::GetTabStops(char* text, size_t size) {
    return Prnt63GetTabStops(Cur().tabStops, text, size) ? 0 : 312;
}

int PRNT63V::SetTabStops(const char* text) {
    Prnt63SetTabStops(text, Cur().tabStops);
    return 0;
}

int PRNT63V::SendTabStops() {
    if (!IsHolding()) return 0;
    int rc = MakeFree(14);
    if (rc == 0) rc = AddCmdToWriteBuffer(87);
    if (rc != 0) return rc;
    const std::vector<unsigned char> bytes = Prnt63TabStopBytes(Cur().tabStops);
    return AddBytes(bytes.data(), static_cast<unsigned>(bytes.size()));
}

// ---------------------------------------------------------------------------------------
// Values.

int PRNT63V::GetValues(PosArg* args, int count) {
    std::vector<int> rest;
    for (int i = 0; args && i < count; ++i) {
        PosArg& arg = args[i];
        if (!arg.name) continue;
        const int row = rowOf(arg.name);
        if (row < 0 || row == kCodePage) {
            rest.push_back(i);
            continue;
        }
        int rc = 0;
        intptr_t v = 0;
        switch (row) {
        case kFeatures: v = printFeatures_; break;
        case kOrient: v = settings_.diOrientation; break;
        case kMargin: v = static_cast<intptr_t>(settings_.leftMarginCR); break;
        case kAlign: v = settings_.alignment; break;
        case kStationRow: v = parm_.printStation; break;
        case kTabs: {
            char* out = reinterpret_cast<char*>(arg.value);
            rc = chCheckBuffer(out, PRN63_TAB_TEXT_MIN, CH_ACCESS_WRITE);
            if (rc == 0) rc = GetTabStops(out, PRN63_TAB_TEXT_MIN);
            v = arg.value;
            break;
        }
        case kFreq: v = tone_.getFrequency(); break;
        case kUpside: v = settings_.upsideDown; break;
        case kQualityRow: v = settings_.quality; break;
        case kVolumeRow: v = tone_.getVolume(); break;
        case kDuration: v = settings_.toneDuration; break;
        case kOctaveRow: v = tone_.getOctave(); break;
        case kNoteRow: v = tone_.getNote(); break;
        case kColorRow: v = settings_.colorMode; break;
        case 15: case 16: case 17: case 18: v = crCharSet_[row - 15]; break;
        case 19: case 20: v = diCharSet_[row - 19]; break;
        case kCrWidth: v = crWidthValue_; break;
        case kPulse: v = settings_.pulseWidth; break;
        case kLevel: v = settings_.statusLevel; break;
        case kAttached: v = drawerAttached_; break;
        case kRecord: v = recordLength_; break;
        case kMaxRecords: v = maxRecords_; break;
        case kMemory: v = flashAvailable_; break;
        case kTransactionRow: v = transactionActive_ ? 1 : 0; break;
        case kFailing: {
            unsigned char word[4] = {};
            rc = Tell(PRN63_TP_EXT_ERROR, word, sizeof word);
            v = word[0] | word[1] << 8 | word[2] << 16 | static_cast<uint32_t>(word[3]) << 24;
            break;
        }
        case kCapabilities: v = Cap32(CAP63_BITS1); break;
        case kErrorDetection: v = Cap32(CAP63_BITS2); break;
        case kSectorSize:
            v = sectorTable_[20] | sectorTable_[21] << 8 | sectorTable_[22] << 16 |
                static_cast<uint32_t>(sectorTable_[23]) << 24;
            break;
        case kEcRevision: v = Cap16(CAP63_EC_2XR); break;
        default:
            if (row >= kFirstSector && row <= kMaxSectors) {
                if (row < kMaxSectors && settings_.sectors[row - kFirstSector]) {
                    v = settings_.sectors[row - kFirstSector];
                } else {
                    const int at = kSectorOffsets[row - kFirstSector];
                    v = sectorTable_[at] | sectorTable_[at + 1] << 8;
                }
            } else {
                clErrorLog(kLogGetNoHandler, 321, static_cast<uint32_t>(row), kTag, this,
                           static_cast<uint16_t>(sizeof(PRNT63V)));
                return 321;
            }
        }
        if (rc != 0) return rc;
        arg.value = v;
        tprintf("%s,0x%x(%d)\n", arg.name, static_cast<unsigned>(v), static_cast<int>(v));
    }
    if (rest.empty()) return 0;
    std::vector<PosArg> others;
    for (int i : rest) others.push_back(args[i]);
    const int rc = PRNTV::GetValues(others.data(), static_cast<int>(others.size()));
    for (size_t k = 0; k < rest.size(); ++k) args[rest[k]].value = others[k].value;
    return rc;
}

int PRNT63V::SetValues(PosArg* args, int count) {
    // Inside the base's open the capabilities are unknown: Open applies the arguments itself.
    if (openPhase_) return 0;
    return SetValuesInner(args, count, !quiet_);
}

int PRNT63V::SetValuesInner(PosArg* args, int count, bool trace) {
    Settings s = settings_;
    bool given[kResources] = {};
    std::vector<PosArg> rest;
    bool cpRequested = false;
    unsigned short cpWanted = 0;
    for (int i = 0; args && i < count; ++i) {
        const PosArg& arg = args[i];
        if (!arg.name) continue;
        if (trace) tprintf("%s,0x%x(%d)\n", arg.name, static_cast<unsigned>(arg.value), static_cast<int>(arg.value));
        const int row = rowOf(arg.name);
        if (row < 0) {
            rest.push_back(arg);
            continue;
        }
        const long v = static_cast<long>(static_cast<int32_t>(arg.value));
        int rc = 0;
        switch (row) {
        case kOrient:
            if ((rc = validatediOrientation(v)) == 0) s.diOrientation = static_cast<unsigned short>(v);
            break;
        case kMargin:
            if ((rc = validateleftMarginCR(v)) == 0) s.leftMarginCR = static_cast<uint32_t>(v);
            break;
        case kAlign:
            if ((rc = validateprintAlignment(v)) == 0) s.alignment = static_cast<unsigned short>(v);
            break;
        case kStationRow: rest.push_back(arg); break;
        case kCodePage: {
            cpRequested = true;
            cpWanted = static_cast<unsigned short>(arg.value & 0xFFFF);
            if (!dbcsPrinter_) {
                rest.push_back(arg);
                break;
            }
            unsigned char word[4] = {};
            Tell(PRN63_TP_CODE_PAGE, word, sizeof word);
            const unsigned short printerCp = static_cast<unsigned short>(word[0] | word[1] << 8);
            unsigned char ranges[DbcsTable::kRangeBytes] = {};
            if (printerCp != 0 && cpWanted == printerCp) {
                std::memset(leadRanges_, 0, sizeof leadRanges_);
                Tell(PRN63_TP_DBCS_VECTOR, leadRanges_, sizeof leadRanges_);
                std::memcpy(ranges, leadRanges_, sizeof leadRanges_);
                InitializeEnvironment(ranges, printerCp, secondCode_, clientId_);
                dbcsActive_ = true;
            } else if (cpWanted != codePage_) {
                dbcsActive_ = false;
                std::memset(leadRanges_, 0, sizeof leadRanges_);
                InitializeEnvironment(ranges, cpWanted, secondCode_, clientId_);
            }
            break;
        }
        case kTabs: {
            const char* text = reinterpret_cast<const char*>(arg.value);
            rc = text && chCheckBuffer(text, 0, CH_ACCESS_STRING) == 0 ? validatePrintTabStops(text)
                                                                        : POSERR_PRN_INVALID_TABSTOPS_FORMAT;
            if (rc == 0) {
                std::strncpy(s.tabStops, text, sizeof s.tabStops - 1);
                s.tabStops[sizeof s.tabStops - 1] = '\0';
            }
            break;
        }
        case kFreq:
            if ((rc = validatePrintToneFreq(v)) == 0) s.toneFrequency = static_cast<uint32_t>(v);
            break;
        case kUpside:
            if ((rc = validatePrintUpsideDown(v)) == 0) s.upsideDown = static_cast<unsigned short>(v);
            break;
        case kQualityRow:
            if ((rc = validateprintQualityMode(v)) == 0) s.quality = static_cast<unsigned short>(v);
            break;
        case kVolumeRow:
            if ((rc = validatePrintToneVolume(v)) == 0) s.toneVolume = static_cast<unsigned short>(v);
            break;
        case kDuration:
            if ((rc = validatePrintToneDuration(v)) == 0) s.toneDuration = static_cast<unsigned short>(v);
            break;
        case kOctaveRow:
            if ((rc = validatePrintToneOctave(v)) == 0) s.toneOctave = static_cast<unsigned short>(v);
            break;
        case kNoteRow:
            if ((rc = validatePrintToneNote(v)) == 0) s.toneNote = static_cast<unsigned short>(v);
            break;
        case kColorRow:
            if ((rc = validateprintColorMode(v)) == 0) s.colorMode = static_cast<unsigned short>(v);
            break;
        case kPulse:
            if ((rc = validatePrintCDPulseWidth(v)) == 0) s.pulseWidth = static_cast<unsigned short>(v);
            break;
        case kLevel:
            if ((rc = validatePrintCDStatusLevel(v)) == 0) s.statusLevel = static_cast<unsigned short>(v);
            break;
        case kRecord:
            if ((rc = validatePrintRecordLength(v)) == 0) s.recordLength = static_cast<unsigned short>(v);
            break;
        case kTransactionRow:
            if ((rc = validateTransactionMode(v)) == 0) s.transactionMode = static_cast<unsigned short>(v);
            break;
        default:
            if (row >= kFirstSector && row < kMaxSectors) {
                if (parm_.printMode == PRN63_MODE_RAS) {
                    const int at = kSectorOffsets[kMaxSectors - kFirstSector];
                    const uint32_t top = sectorTable_[at] | sectorTable_[at + 1] << 8;
                    s.sectors[row - kFirstSector] = std::min<uint32_t>(static_cast<uint32_t>(v), top);
                }
            } else if (row > kEcRevision) {
                clErrorLog(kLogSetNoHandler, 321, static_cast<uint32_t>(row), kTag, this,
                           static_cast<uint16_t>(sizeof(PRNT63V)));
                return 321;
            } else if (!isReadOnly(row)) {
                return 321;
            }
            break;
        }
        if (rc != 0) return rc;
        given[row] = true;
    }

    const Settings was = settings_;
    const PrnParm before = parm_;
    int rc = PRNTV::SetValues(rest.empty() ? nullptr : rest.data(), static_cast<int>(rest.size()));
    if (rc != 0) return rc;
    if (IsHolding() && cpRequested && codePage_ != cpWanted) return POSERR_PRN_INVALID_CODE_PAGE;
    settings_ = s;
    return ApplyOrdered(was, before, before.printMode, given);
}

int PRNT63V::ApplyOrdered(const Settings& was, const PrnParm& before, unsigned short /*modeBefore*/,
                          const bool* given) {
    const Settings s = settings_;
    const bool holding = IsHolding();
    auto send = [&](unsigned short code, unsigned short value) {
        if (!holding) return;
        const auto byte = static_cast<unsigned char>(value);
        AddPatchedCmd(code, 2, &byte, 1);
    };
    if (s.leftMarginCR != was.leftMarginCR && pageModeActive_) SetLeftMargin(PRN63_CR);
    if (s.alignment != was.alignment) send(30, s.alignment);
    if (s.upsideDown != was.upsideDown) send(94, s.upsideDown);
    if (s.colorMode != was.colorMode) send(83, s.colorMode);
    if (s.quality != was.quality) send(93, s.quality);
    // A new frequency brings its note and octave; a note or octave changed in the same call
    // then moves the tone to it.
    if (given[kFreq] && s.toneFrequency != tone_.getFrequency()) {
        tone_.setFrequency(s.toneFrequency);
        settings_.toneOctave = tone_.getOctave();
        settings_.toneNote = tone_.getNote();
    }
    if (given[kOctaveRow] && s.toneOctave != was.toneOctave) {
        tone_.setOctave(s.toneOctave);
        settings_.toneOctave = s.toneOctave;
    }
    if (given[kNoteRow] && s.toneNote != was.toneNote) {
        tone_.setNote(s.toneNote);
        settings_.toneNote = s.toneNote;
    }
    if (given[kVolumeRow]) tone_.setVolume(s.toneVolume);
    if (s.statusLevel != was.statusLevel) UpdateCdStatusLevel();
    if (given[kTabs]) {
        SetTabStops(s.tabStops);
        SendTabStops();
    }
    const unsigned short station = parm_.printStation;
    if (parm_.lineFeedCR != before.lineFeedCR && (station == PRN63_CR || station == PRN63_CRSJ)) SetLineSpacing(-1);
    if (parm_.lineFeedSJ != before.lineFeedSJ && station == PRN63_SJ) SetLineSpacing(-1);
    if (parm_.lineFeedDI != before.lineFeedDI && station == PRN63_DI) SetLineSpacing(-1);
    if (parm_.diWidth != before.diWidth) SetLeftMargin(PRN63_DI);
    if (given[kRecord]) {
        UpdateRecordLength();
        SetRecordLength();
    }
    if (!holding) return 0;
    int rc = 0;
    if (station != before.printStation || s.diOrientation != was.diOrientation) {
        tprintf("Changing station to %d, orient=%d\n", station, s.diOrientation);
        parm_.printStation = before.printStation;
        const unsigned short orientation = s.diOrientation;
        settings_.diOrientation = was.diOrientation;
        rc = SetPrintStationChanged(station, orientation);
    }
    if (given[kTransactionRow]) {
        const int t = TransactionMode(s.transactionMode);
        if (rc == 0) rc = t;
    }
    if (parm_.printMode != before.printMode) {
        TransactionMode(0);
        const int m = SetPrintMode(parm_.printMode);
        if (rc == 0) rc = m;
    }
    return rc;
}
