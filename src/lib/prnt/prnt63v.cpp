// The model-6397 virtual printer: construction, open and close, holding the printer and its
// set-up, capabilities, the I/O controls, writes by print mode, the physical printer's
// messages, resume and retry, and the printer-side settings (print mode, line spacing,
// margins, tone, cash drawer, chase).
#include <algorithm>
#include <cstring>
#include <new>

#include "ObjectSupport.h"
#include "PRNT63V.h"
#include "ovknls.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)prnt63v.cpp 1.1";

enum : uint32_t { kLogOpenFailed = 20303, kLogBadMode = 20307 };

constexpr uint32_t kTraceComponent = 93;

const char* stringArg(const PosArg* args, int count, const char* name) {
    for (int i = 0; args && i < count; ++i) {
        if (!args[i].name || std::strcmp(args[i].name, name) != 0) continue;
        const char* text = reinterpret_cast<const char*>(args[i].value);
        return text && chCheckBuffer(text, 0, CH_ACCESS_STRING) == 0 ? text : nullptr;
    }
    return nullptr;
}

} // namespace

unsigned char PRNT63V::chaseCounter_ = 0;

PRNT63V::PRNT63V(const DeviceID& id, int handle, const unsigned char* name) : PRNTV(id, handle, name) {
    defaultPrintMode_ = PRN63_MODE_TEXT;
    for (int i = 0; i < 4; ++i) InitializeWriteBuffer(buffers_[i], i);
    current_ = &buffers_[0];
}

PRNT63V::~PRNT63V() {
    DiscardMicrData(255);
    DiscardTransactionData();
}

void PRNT63V::Log(uint32_t logId, uint32_t rc, uint32_t extra) const {
    clErrorLog(logId, rc, extra, kTag, this, static_cast<uint16_t>(sizeof(PRNT63V)));
}

int PRNT63V::Cap16(int offset) const { return cap_[offset] | cap_[offset + 1] << 8; }

uint32_t PRNT63V::Cap32(int offset) const {
    return uint32_t(cap_[offset]) | uint32_t(cap_[offset + 1]) << 8 | uint32_t(cap_[offset + 2]) << 16 |
           uint32_t(cap_[offset + 3]) << 24;
}

unsigned char PRNT63V::Translate(unsigned char c) const {
    const unsigned short* table = GetCpTableData();
    const unsigned index = table && GetCpTableSize() >= 2 * NLS_CODE_PAGE_ENTRIES ? table[c] : c;
    return mod63Map.at(index, ' ');
}

// ---------------------------------------------------------------------------------------
// Open, close, holding.

int PRNT63V::Close(int& remaining) {
    DiscardMicrData(255);
    return PRNTV::Close(remaining);
}

int PRNT63V::AcquirePhysical() {
    int rc = PRNTV::AcquirePhysical();
    if (rc != 0) return rc;
    rasDownload_ = false;
    if (dbcsPrinter_ && dbcsActive_) {
        unsigned char word[4] = {};
        Tell(PRN63_TP_CODE_PAGE, word, sizeof word);
        const unsigned short cp = static_cast<unsigned short>(word[0] | word[1] << 8);
        std::memset(leadRanges_, 0, sizeof leadRanges_);
        Tell(PRN63_TP_DBCS_VECTOR, leadRanges_, sizeof leadRanges_);
        unsigned char ranges[DbcsTable::kRangeBytes] = {};
        std::memcpy(ranges, leadRanges_, sizeof leadRanges_);
        InitializeEnvironment(ranges, cp, secondCode_, clientId_);
        tprintf("Printer in DBCS mode...\n");
    }
    flashCommand_ = 0;
    ConfigPhysical();
    return 0;
}

int PRNT63V::ReleasePhysical() {
    DiscardMicrData(255);
    TransactionMode(0);
    if (pageModeActive_ && IsHolding()) {
        AddCmdToWriteBuffer(147);
        pageModeActive_ = false;
    }
    if (!IsHolding()) return 315;
    SendWritePending();
    Tell(PRN63_TP_MODE_NORMAL, nullptr, 0);
    return PRNTV::ReleasePhysical();
}

int PRNT63V::Read(void* /*buffer*/, unsigned int /*length*/, int& count) {
    count = 0;
    return 0;
}

// ---------------------------------------------------------------------------------------
// Capabilities.

void PRNT63V::UpdatePrinterCapabilities() {
    const unsigned m = modelId_;
    const bool hot = ecLevel_ > 48;
    const bool imagingWord = Cap16(0x56) != 0;
    thermal_ = receiptOnly_ = journal_ = imaging_ = false;
    switch (m) {
    case 0: break;
    case 1: case 4: case 2: thermal_ = hot; break;
    case 3: case 5: case 7: thermal_ = hot; receiptOnly_ = true; break;
    case 6: thermal_ = hot; journal_ = true; break;
    case 8: case 136: thermal_ = true; imaging_ = true; break;
    case 9: case 41: thermal_ = true; imaging_ = imagingWord; break;
    case 73: case 105: thermal_ = true; receiptOnly_ = true; imaging_ = imagingWord; break;
    default: thermal_ = true; break;
    }
    if (m == 2 || m == 7) dbcsPrinter_ = Cap16(0x0e) != 0;
    else if (m == 41 || m == 105) dbcsPrinter_ = true;
    else dbcsPrinter_ = false;
    if (Cap32(0x68) & 0x2) journal_ = true;
    if (m != 0) {
        for (sWriteBuffer& b : buffers_) b.capacity = sWriteBuffer::kSize;
        flashCapacity_ = kFlashStageSize;
        transactionWindow_ = kWindowKnown;
    }
}

int PRNT63V::UpdateFeatures() {
    std::memset(cap_, 0, sizeof cap_);
    int rc = Tell(PRN63_TP_CAPABILITIES, cap_, sizeof cap_);
    modelId_ = static_cast<unsigned short>(Cap16(0x10));
    ecLevel_ = cap_[0x1b];
    UpdatePrinterCapabilities();
    uint32_t f = 0;
    if (Cap16(0x12)) f |= 0x1;
    if (Cap16(0x18)) f |= 0x2;
    crWidth_ = Cap16(0x1c) != 0;
    if (crWidth_) {
        f |= 0x4;
        crWidthValue_ = 400;
    }
    if (Cap16(0x24)) f |= 0x8;
    if (Cap16(0x26)) f |= 0x10;
    if (modelId_ == 136) f |= 0x20;
    if (modelId_ == 200) f |= 0x40;
    if (Cap16(0x34)) f |= 0x80;
    if (Cap16(0x56)) f |= 0x100;
    if (modelId_ == 9 || modelId_ == 41 || modelId_ == 73 || modelId_ == 105) f |= 0x200;
    if (Cap16(0x66)) f |= 0x600;
    if (Cap32(0x68)) f |= 0x10000000;
    if (Cap32(0x6c)) f |= 0x20000000;

    const unsigned char b = cap_[0x22];
    if (b == 0xff) {
        for (uint32_t& s : crCharSet_) s = 3;
        for (uint32_t& s : diCharSet_) s = 3;
    } else {
        crCharSet_[0] = b & 3;
        crCharSet_[1] = crCharSet_[0] ? (b >> 2) & 3 : 1;
        crCharSet_[2] = (b >> 4) & 3;
        crCharSet_[3] = crCharSet_[2] ? b >> 6 : 1;
        const unsigned char c = cap_[0x23];
        diCharSet_[0] = 2 + ((c & 3) != 2);
        diCharSet_[1] = 2 + ((c & 0xc) != 8);
    }
    const uint32_t flash = Cap32(0x28);
    flashAvailable_ = flash > 257 ? flash - 256 - 1 : 0;
    recordLength_ = static_cast<unsigned short>(Cap32(0x2c) & 0xFFFF);
    maxRecords_ = Cap32(0x30);
    std::memcpy(serial_, cap_ + 0x36, 10);
    serial_[10] = '\0';
    pageModeSupported_ = Cap16(0x40) == 1;
    std::memset(sectorTable_, 0, sizeof sectorTable_);
    Tell(PRN63_TP_RESERVED, sectorTable_, sizeof sectorTable_);
    if (sectorTable_[18] | sectorTable_[19]) f |= 0x800;
    printFeatures_ = f;
    return rc;
}

// ---------------------------------------------------------------------------------------
// I/O controls.

int PRNT63V::GetResourceValue(PosArg& wanted, const PosArg* args, int count) {
    for (int i = 0; args && wanted.name && i < count; ++i) {
        if (args[i].name && std::strcmp(args[i].name, wanted.name) == 0) {
            wanted.value = args[i].value;
            return 0;
        }
    }
    return -1;
}

int PRNT63V::IOCtl(int request, PosArg* args, int count, int& out) {
    switch (request) {
    case POS_PRN_DISABLE_DI_PRINTING:
    case POS_PRN_ENABLE_DI_PRINTING:
    case POS_PRN_DISABLE_EXCLUSIVE_DI_PRINTING:
    case POS_PRN_ENABLE_EXCLUSIVE_DI_PRINTING:
        out = 0;
        if (!IsHolding()) return 0;
        if (receiptOnly_) return 311;
        return PRNTV::IOCtl(request, args, count, out);
    case POS_PRN_HOLD_PRINTING:
        out = 0;
        return IsHolding() ? Tell(PRN63_TP_PAUSE, nullptr, 0) : 0;
    case POS_PRN_RELEASE_PRINTING:
        out = 0;
        return IsHolding() ? Tell(PRN63_TP_RELEASE, nullptr, 0) : 0;
    case POS_PRN_SOUND_TONE: {
        out = 0;
        static const char* const kNames[] = {"printToneFrequency", "printToneDuration", "printToneVolume",
                                             "printToneOctave", "printToneNote"};
        PosArg given[5];
        int n = 0;
        for (const char* name : kNames) {
            PosArg a{name, 0};
            if (GetResourceValue(a, args, count) == 0) given[n++] = a;
        }
        if (n > 0) {
            const int rc = SetValuesInner(given, n, false);
            if (rc != 0) return rc;
        }
        return IsHolding() ? SoundTone() : 0;
    }
    case POS_PRN_SILENCE_TONE:
        out = 0;
        return IsHolding() ? SilenceTone() : 0;
    case POS_PRN_ENABLE_CASH_DRAWER:
        out = 0;
        if (!IsHolding()) return 0;
        drawerAttached_ = true;
        return Tell(PRN63_TP_SENSOR_ON, nullptr, 0);
    case POS_PRN_DISABLE_CASH_DRAWER:
        out = 0;
        if (!IsHolding()) return 0;
        drawerAttached_ = false;
        return Tell(PRN63_TP_SENSOR_OFF, nullptr, 0);
    case POS_PRN_ERASE_EPROM_MEMORY:
        out = 0;
        if (!IsHolding()) return 0;
        maxRecords_ = 0;
        recordLength_ = 0;
        settings_.recordLength = 0;
        return Tell(PRN63_TP_ERASE_COUNTERS, nullptr, 0);
    default:
        return PRNTV::IOCtl(request, args, count, out);
    }
}

// ---------------------------------------------------------------------------------------
// Writes.

int PRNT63V::Write(const void* buffer, unsigned int length, int& count) {
    count = 0;
    if (!IsHolding()) return 315;
    if (length > kWriteMax) return 318;
    const auto* data = static_cast<const unsigned char*>(buffer);
    if (length > 0 && (!data || chCheckBuffer(data, static_cast<int>(length), CH_ACCESS_READ) != 0)) return 321;
    switch (parm_.printMode) {
    case PRN63_MODE_TEXT:
        clTrace(kTraceComponent, 301, data, length, 0);
        return WriteText(data, length, count);
    case PRN63_MODE_LOGO: {
        clTrace(kTraceComponent, 302, data, length, 0);
        int rc = ValidateLogoCommand(data, length);
        if (rc != 0) return rc;
        rc = SendWritePending();
        if (rc != 0) return rc;
        return WriteOther(data, length, count, 1, 17, 0);
    }
    case PRN63_MODE_FLASH: {
        clTrace(kTraceComponent, 303, data, length, 0);
        int rc = SendWritePending();
        if (rc != 0) return rc;
        if (length >= 1 && data[0] == 0) {
            rc = QueueCmd(9);
            if (rc == 0) count = 1;
            return rc;
        }
        if (length < 3) return POSERR_PRN_INCORRECT_DATA_FORMAT;
        return WriteOther(data, length, count, 3, 15, 15);
    }
    case PRN63_MODE_LOAD_LOGO:
        clTrace(kTraceComponent, 304, data, length, 0);
        return WriteLoadLogo(data, length, count);
    case PRN63_MODE_RAS: {
        clTrace(kTraceComponent, 306, data, length, 0);
        int rc = SendWritePending();
        if (rc == 0) rc = WriteRas(data, length);
        count = static_cast<int>(length);
        return rc;
    }
    case PRN63_MODE_RAW: {
        clTrace(kTraceComponent, 305, data, length, 0);
        if (length > Cur().capacity) return 318;
        int rc = SendWritePending();
        if (rc == 0 && length > 0) rc = QueueCmd(5, static_cast<unsigned short>(length), data);
        count = static_cast<int>(length);
        return rc;
    }
    default:
        Log(kLogBadMode, 311, parm_.printMode);
        return 311;
    }
}

// ---------------------------------------------------------------------------------------
// Messages of the physical printer.

int PRNT63V::TellVirt(const PDEV* from, int message, unsigned char* data, int length) {
    switch (message) {
    case PRN63_TV_RAW_DATA:
        micrStatus_[0] = micrStatus_[1] = 0;
        return StoreMicrData(data, data ? length : 0);
    case PRN63_TV_CHECKED:
        return ConfigPhysical();
    case PRN63_TV_MCT_VALUE:
        return 0;
    case PRN63_TV_QUEUE_EMPTY:
        SendWritePending();
        return 0;
    case PRN63_TV_READ_DATA:
    case PRN63_TV_IMAGE1:
    case PRN63_TV_IMAGE2:
    case PRN63_TV_LOGO_CHECKSUM:
    case PRN63_TV_NEXT_IMAGE:
    case PRN63_TV_FIRST_IMAGE:
    case PRN63_TV_MICR_DATA:
        // The read path's and the logo unit's; nothing here.
        return 0;
    default:
        return PRNTV::TellVirt(from, message, data, length);
    }
}

// ---------------------------------------------------------------------------------------
// Resume, retry, raw status.

int PRNT63V::SendLine(bool retry, PosArg* args, int count) {
    if (!IsHolding()) return 315;
    int rc = SendWritePending();
    if (rc != 0) return rc;
    char* stored = retry ? parm_.retryString : parm_.resumeString;
    if (const char* text = stringArg(args, count, retry ? "retryString" : "resumeString")) CopyString(stored, text);
    unsigned char converted[kRetryConverted];
    int n = 0;
    for (size_t i = 0; stored[i] && n < kRetryConverted; ++i)
        converted[n++] = Translate(static_cast<unsigned char>(stored[i]));
    return Tell(retry ? PRN_TP_RETRY : PRN_TP_RESUME, converted, n);
}

int PRNT63V::ResumePrinting(PosArg* args, int count) { return SendLine(false, args, count); }
int PRNT63V::RetryPrinting(PosArg* args, int count) { return SendLine(true, args, count); }

int PRNT63V::GetRawPrinterStatus(unsigned char* buffer) {
    unsigned char raw[16] = {};
    const int rc = Tell(PRN_TP_RAW_STATUS, raw, sizeof raw);
    if (buffer) std::memcpy(buffer, raw, 9);
    return rc;
}

// ---------------------------------------------------------------------------------------
// Printer set-up.

int PRNT63V::ConfigPhysical() {
    if (ecLevel_ == 0) UpdateFeatures();
    SetPrintMode(parm_.printMode);
    SetPrintedLineStatusChanged();
    if (parm_.printMode == PRN63_MODE_RAS || parm_.printMode == PRN63_MODE_RAW) return 0;
    if (!IsHolding()) return 0;
    SetPrinterCodePage();
    AddCmdToWriteBuffer(50);
    AddCmdToWriteBuffer(76);
    if (OnDI()) AddCmdToWriteBuffer(51);
    if (!receiptOnly_) AddCmdToWriteBuffer(54);
    const unsigned char reprint = Translate(static_cast<unsigned char>(parm_.retryString[0]));
    AddPatchedCmd(53, 2, &reprint, 1);
    SetLineSpacing(-1);
    SetLeftMargin(-1);
    const unsigned char align = static_cast<unsigned char>(settings_.alignment);
    AddPatchedCmd(30, 2, &align, 1);
    SetPrintStation();
    const unsigned char color = static_cast<unsigned char>(settings_.colorMode);
    AddPatchedCmd(83, 2, &color, 1);
    const unsigned char upside = static_cast<unsigned char>(settings_.upsideDown);
    AddPatchedCmd(94, 2, &upside, 1);
    const unsigned char quality = static_cast<unsigned char>(settings_.quality);
    AddPatchedCmd(93, 2, &quality, 1);
    qualitySent_ = true;
    SendTabStops();
    ConfigFont();
    Cur().commandCode = 4;
    return SendWritePending();
}

int PRNT63V::SetPrintedLineStatusChanged() {
    if (!IsHolding() || rasDownload_) return 0;
    const bool special = parm_.printMode == PRN63_MODE_RAS || parm_.printMode == PRN63_MODE_RAW;
    return Tell(special ? PRN63_TP_FIRMWARE_ON : PRN63_TP_FIRMWARE_OFF, nullptr, 0);
}

int PRNT63V::SelectDeviceMode(unsigned short deviceMode, unsigned short mode) {
    const unsigned short code = deviceMode_ == -1 || deviceMode_ == PRN63_MODE_RAW || deviceMode_ == PRN63_MODE_RAS
                                    ? 134
                                    : 133;
    CmdRow row{};
    {
        std::lock_guard<std::recursive_mutex> guard(PRNTCMD63::TableLock());
        const unsigned char byte = static_cast<unsigned char>(deviceMode);
        PRNTCMD63::PatchRow(code, 0, &byte, 1);
        PRNTCMD63::CopyRow(code, row);
    }
    deviceMode_ = mode;
    const int rc = QueueCmd(code, row.length, row.bytes);
    SetPrintedLineStatusChanged();
    return rc;
}

int PRNT63V::SetPrintMode(unsigned short mode) {
    if (IsHolding()) SendWritePending();
    parm_.printMode = mode;
    if (!IsHolding()) return 0;
    if (mode == PRN63_MODE_RAS) {
        tprintf("Setting printer to RAS Mode\n");
        return SelectDeviceMode(1, mode);
    }
    if (mode == PRN63_MODE_RAW) {
        if (pageModeActive_) {
            AddCmdToWriteBuffer(147);
            SendWritePending();
            pageModeActive_ = false;
        }
        tprintf("Setting printer to RAW Mode\n");
        return SelectDeviceMode(2, mode);
    }
    if (deviceMode_ == -1 || deviceMode_ == PRN63_MODE_RAS || deviceMode_ == PRN63_MODE_RAW) {
        tprintf("Setting printer to Normal Mode (Mode=%d(0x%x)\n", mode, mode);
        return SelectDeviceMode(0, mode);
    }
    deviceMode_ = mode;
    return 0;
}

int PRNT63V::SetLineSpacing(int station) {
    if (!IsHolding()) return 0;
    const int s = station == -1 ? parm_.printStation : station;
    if (s != parm_.printStation) return 0;
    uint32_t value = 0;
    switch (s) {
    case PRN63_CR:
    case PRN63_CRSJ: value = parm_.lineFeedCR / 125 + 1; break;
    case PRN63_SJ:
        if (!(modelId_ == 6 || (Cap32(0x68) & 0x202))) return 0;
        value = parm_.lineFeedSJ / 125 + 1;
        break;
    case PRN63_DI:
        if (receiptOnly_) return 0;
        value = parm_.lineFeedDI / (settings_.diOrientation ? 200 : 526);
        break;
    default: return 0;
    }
    const unsigned char byte = static_cast<unsigned char>(std::min<uint32_t>(value, 255));
    return AddPatchedCmd(24, 2, &byte, 1);
}

int PRNT63V::SetLeftMargin(int station) {
    if (!IsHolding()) return 0;
    const int s = station == -1 ? parm_.printStation : station;
    if (s != parm_.printStation) return 0;
    uint32_t value = 0;
    switch (s) {
    case PRN63_CR:
        value = settings_.leftMarginCR == 0x80000000u ? 40 : settings_.leftMarginCR / 125;
        break;
    case PRN63_SJ:
    case PRN63_CRSJ:
        if (!(modelId_ == 6 || (Cap32(0x68) & 0x202))) return 0;
        value = 0;
        break;
    case PRN63_DI:
        if (receiptOnly_) return 0;
        value = parm_.diWidth == 1 ? (Cur().pitch == 12 ? 72 : 90) : 0;
        break;
    default: return 0;
    }
    const unsigned char bytes[2] = {static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value)};
    return AddPatchedCmd(29, 2, bytes, 2);
}

// ---------------------------------------------------------------------------------------
// Tone, cash drawer, chase.

int PRNT63V::SoundTone() {
    if (!IsHolding()) return 315;
    if (!receiptOnly_ && !(Cap32(0x68) & 0x4000)) return 311;
    const unsigned char bytes[2] = {
        static_cast<unsigned char>(settings_.toneDuration),
        static_cast<unsigned char>((tone_.getOctave() << 4) | (tone_.getVolume() == 0 ? 0x80 : 0) |
                                   (tone_.getNote() & 0x0f))};
    int rc = AddPatchedCmd(91, 2, bytes, 2);
    if (rc != 0) return rc;
    return SendWritePending();
}

int PRNT63V::SilenceTone() {
    if (!IsHolding()) return 315;
    if (!receiptOnly_ && !(Cap32(0x68) & 0x4000)) return 311;
    int rc = AddCmdToWriteBuffer(92);
    if (rc != 0) return rc;
    return SendWritePending();
}

int PRNT63V::OpenCashDrawer(unsigned char n) {
    if (!IsHolding() || !drawerAttached_ || n > 1) return 0;
    const unsigned char bytes[2] = {n, static_cast<unsigned char>(settings_.pulseWidth)};
    return AddPatchedCmd(98, 2, bytes, 2);
}

int PRNT63V::UpdateCdStatusLevel() {
    if (!IsHolding()) return 0;
    return Tell(settings_.statusLevel == 1 ? PRN63_TP_SENSOR_SENSE1 : PRN63_TP_SENSOR_SENSE0, nullptr, 0);
}

int PRNT63V::SetChase(unsigned short station) {
    int rc;
    if (GetDeviceID().slot == 8 && (modelId_ == 136 || modelId_ == 200)) {
        rc = AddCmdToWriteBuffer(19);
    } else if ((printFeatures_ & 0x600) == 0x200) {
        rc = AddCmdToWriteBuffer(159);
    } else {
        const unsigned char counter = ++chaseCounter_;
        CmdRow row{};
        PRNTCMD63::CopyRow(82, row);
        unsigned char bytes[1 + sizeof row.bytes];
        bytes[0] = counter;
        std::memcpy(bytes + 1, row.bytes, row.length);
        rc = AddBytes(bytes, 1u + row.length);
    }
    if (rc != 0) return rc;
    switch (station) {
    case PRN63_CR:
    case PRN63_CRSJ: ++chaseCount_[PRN_STATION_CR]; break;
    case PRN63_SJ: ++chaseCount_[PRN_STATION_SJ]; break;
    case PRN63_DI: ++chaseCount_[PRN_STATION_DI]; break;
    default: break;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// Hooks of the logo, flash, image and read units: nothing here yet.

int PRNT63V::GetLogoManagerInformation() { return 0; }
int PRNT63V::UpdateRecordLength() {
    recordLength_ = settings_.recordLength;
    return 0;
}
int PRNT63V::SetRecordLength() { return 0; }
int PRNT63V::AddToReadList(int, const unsigned char*, int) { return 0; }
int PRNT63V::DiscardMicrData(int) { return 0; }
int PRNT63V::ReadMicrData(void*, unsigned int, int& count) { return count = 0; }
int PRNT63V::ReadScanData(void*, unsigned int, int& count) { return count = 0; }
int PRNT63V::ReadScanComp(void*, unsigned int, int& count) { return count = 0; }
int PRNT63V::StoreMicrData(const unsigned char*, int) { return 0; }
int PRNT63V::StoreScanData(const unsigned char*, int) { return 0; }
int PRNT63V::StoreScanComplete(const unsigned char*, int) { return 0; }
int PRNT63V::ReadFlashData(void*, unsigned int, int& count) { return count = 0; }
int PRNT63V::ReadMctData(void*, unsigned int, int& count) { return count = 0; }
int PRNT63V::StoreFlashData(const unsigned char*, int) { return 0; }
int PRNT63V::AddCmdToWriteFlashBuf(unsigned short) { return 0; }
int PRNT63V::WriteLoadLogo(const unsigned char*, unsigned int, int& written) { return written = 0; }
int PRNT63V::EscapeBitmapLoad(const unsigned char*, int, int&) { return -1; }
int PRNT63V::EscapeWriteFlash(const unsigned char*, int, int&) { return -1; }
int PRNT63V::EscapeReadFlash(const unsigned char*, int, int&) { return -1; }
int PRNT63V::EscapeImage(const unsigned char*, int, int&) { return -1; }

int PRNT63V::ReadLock() { return readLock_.Acquire(15); }
int PRNT63V::ReadUnlock() { return readLock_.Release(); }

// ---------------------------------------------------------------------------------------

VDEV* _CreatePRNT63V(const DeviceID& id, int handle) {
    return new (std::nothrow) PRNT63V(id, handle, reinterpret_cast<const unsigned char*>("PRNT63V"));
}

ObjectSupport objectPRNT63V(PRNT63V_TYPE_ID, _CreatePRNT63V);
