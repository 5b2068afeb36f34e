// The model-6397 virtual printer's write buffers: collecting commands and text per station,
// sending them to the physical printer, the text path with its font state, code pages and
// double-byte mode, transaction mode, blocks framed by two commands, and RAS data.
#include <algorithm>
#include <cstring>
#include <new>

#include "PRNT63V.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)prnt63vbuf.cpp 1.1";

enum : uint32_t { kLogNoMemory = 20304, kLogSetFailed = 20305 };

constexpr unsigned char kEsc = 0x1B;

} // namespace

// ---------------------------------------------------------------------------------------
// Buffers.

void PRNT63V::InitializeWriteBuffer(sWriteBuffer& b, int index) {
    std::memset(&b, 0, sizeof b);
    b.capacity = sWriteBuffer::kInitialCapacity;
    b.printModeSent = 255;
    b.pitch = 15;
    b.cplSpacing = 3;
    b.cplSpacing2 = 6;
    b.spacing12 = index >= 2 ? 3 : 5;
    b.spacing15 = 3;
    b.spacing17 = 2;
    b.spacing20 = 2;
    b.doubleWideSent = 255;
    b.doubleHighSent = 255;
    b.lineWidth = index == 2 ? 474 : index == 3 ? 0xffff : 576;
    b.udf = 255;
    b.udfSent = 254;
    const int32_t stops[PRN63_TAB_STOPS] = {100, 200, 300, 400, 500};
    std::memcpy(b.tabStops, stops, sizeof stops);
}

int PRNT63V::QueueCmd(unsigned short code, unsigned short length, const unsigned char* data) {
    PRNTCMD63* command = new (std::nothrow) PRNTCMD63;
    if (!command) {
        Log(kLogNoMemory, 305, code);
        return 305;
    }
    int rc = command->Set(code, this, length, data, OnDI() ? 2 : 0);
    if (rc != 0) {
        clErrorLog(kLogSetFailed, static_cast<uint32_t>(rc), code, kTag, this, static_cast<uint16_t>(sizeof(PRNT63V)));
        delete command;
        return rc;
    }
    rc = Tell(command->classFlags & PRN63_CLASS_SERVICE ? static_cast<int>(PRN63_TP_PUT_CONTROL) : static_cast<int>(PRN_TP_PUT_QUEUE), command,
              sizeof(PRNTCMD63));
    if (rc != 0) delete command; // not taken
    return rc;
}

int PRNT63V::SendWritePending() {
    sWriteBuffer& b = Cur();
    if (b.length > 0 || b.commandCode != 0) {
        const int rc = transactionActive_ ? AddToTransactionList(b.commandCode, b.length, b.data)
                                          : QueueCmd(b.commandCode, b.length, b.data);
        if (rc != 0) return rc; // the buffer is kept
        b.length = 0;
        b.commandCode = 0;
    }
    if (flashCommand_ != 0) {
        const unsigned short code = flashCommand_;
        int rc = transactionActive_ ? AddToTransactionList(code, flashFill_, flashStage_)
                                    : QueueCmd(code, flashFill_, flashStage_);
        if (rc == 0 && !transactionActive_ && code == 101) rc = QueueCmd(107);
        if (rc != 0) return rc;
        flashCommand_ = 0;
        flashFill_ = 0;
    }
    return 0;
}

int PRNT63V::MakeFree(unsigned int n) { return Cur().Free() < n ? SendWritePending() : 0; }

int PRNT63V::AddBytes(const unsigned char* bytes, unsigned int n) {
    if (n == 0) return 0;
    int rc = MakeFree(n);
    if (rc != 0) return rc;
    sWriteBuffer& b = Cur();
    const unsigned room = sWriteBuffer::kSize - b.length;
    const unsigned take = std::min(n, room);
    std::memcpy(b.data + b.length, bytes, take);
    b.length = static_cast<uint16_t>(b.length + take);
    return 0;
}

int PRNT63V::AddCmdToWriteBuffer(unsigned short code) {
    CmdRow row{};
    if (!PRNTCMD63::CopyRow(code, row)) return 321;
    return AddBytes(row.bytes, row.length);
}

int PRNT63V::AddPatchedCmd(unsigned short code, unsigned short offset, const unsigned char* bytes, unsigned short n) {
    CmdRow row{};
    {
        std::lock_guard<std::recursive_mutex> guard(PRNTCMD63::TableLock());
        PRNTCMD63::PatchRow(code, offset, bytes, n);
        if (!PRNTCMD63::CopyRow(code, row)) return 321;
    }
    return AddBytes(row.bytes, row.length);
}

int PRNT63V::AddCharToWriteBuffer(unsigned char c) {
    if (!IsHolding()) return 0;
    int rc = CheckFontChange();
    if (rc != 0) return rc;
    return AddBytes(&c, 1);
}

// ---------------------------------------------------------------------------------------
// Stations.

unsigned short PRNT63V::StationCommand() const {
    switch (parm_.printStation) {
    case PRN63_SJ: return 123;
    case PRN63_CRSJ: return 140;
    case PRN63_DI: return settings_.diOrientation ? 22 : 21;
    default: return 20;
    }
}

int PRNT63V::SetPrintStation() {
    if (!IsHolding()) return 0;
    switch (parm_.printStation) {
    case PRN63_SJ: current_ = &buffers_[1]; break;
    case PRN63_DI: current_ = &buffers_[settings_.diOrientation ? 3 : 2]; break;
    default: current_ = &buffers_[0]; break;
    }
    stationSelect_ = StationCommand();
    return AddCmdToWriteBuffer(stationSelect_);
}

int PRNT63V::SetPrintStationChanged(int station, int orientation) {
    if (station == parm_.printStation && (orientation == -1 || orientation == settings_.diOrientation)) return 0;
    SendWritePending();
    parm_.printStation = static_cast<unsigned short>(station);
    if (orientation != -1) settings_.diOrientation = static_cast<unsigned short>(orientation);
    switch (station) {
    case PRN63_SJ: current_ = &buffers_[1]; break;
    case PRN63_DI:
        TransactionMode(0);
        current_ = &buffers_[settings_.diOrientation ? 3 : 2];
        break;
    default: current_ = &buffers_[0]; break;
    }
    if (station != PRN63_CR && pageModeActive_) {
        AddCmdToWriteBuffer(147);
        pageModeActive_ = false;
    }
    SetPrintStation();
    return ConfigPhysical();
}

// ---------------------------------------------------------------------------------------
// Font state.

int PRNT63V::SetCharacterSet() {
    sWriteBuffer& b = Cur();
    const unsigned char value = dbcsActive_ || b.udf != 255 ? 1 : 0;
    b.udfSent = b.udf;
    b.printModeSent = 255;
    return AddPatchedCmd(25, 2, &value, 1);
}

int PRNT63V::SetTextPrintMode() {
    sWriteBuffer& b = Cur();
    unsigned char mode = b.printMode;
    if (b.udf == 255) {
        if (dbcsActive_) mode &= static_cast<unsigned char>(~3);
    } else {
        mode = static_cast<unsigned char>((mode & ~3) | (b.udf & 3));
    }
    int rc = 0;
    if (thermal_ && !OnDI()) {
        bool sent23 = false;
        if (b.printMode != b.printModeSent) {
            rc = AddPatchedCmd(23, 2, &mode, 1);
            sent23 = true;
        }
        if (rc == 0 && (b.doubleWide != b.doubleWideSent || b.doubleHigh != b.doubleHighSent ||
                        (sent23 && (b.doubleWide || b.doubleHigh)))) {
            const unsigned char size = static_cast<unsigned char>((b.doubleWide << 4) | (b.doubleHigh & 0x0f));
            rc = AddPatchedCmd(85, 2, &size, 1);
        }
    } else {
        if (b.doubleWide) mode |= 0x20;
        if (b.doubleHigh) mode |= 0x10;
        rc = AddPatchedCmd(23, 2, &mode, 1);
    }
    b.printModeSent = b.printMode;
    b.doubleWideSent = b.doubleWide;
    b.doubleHighSent = b.doubleHigh;
    return rc;
}

int PRNT63V::SetInterCharacterSpacing() {
    sWriteBuffer& b = Cur();
    int rc;
    if (dbcsActive_) {
        rc = AddPatchedCmd(27, 2, &b.cplSpacing, 1);
        if (rc == 0) rc = AddPatchedCmd(28, 2, &b.cplSpacing2, 1);
    } else {
        const unsigned char spacing = b.pitch == 12 ? b.spacing12 : b.pitch == 17 ? b.spacing17
                                      : b.pitch == 20 ? b.spacing20 : b.spacing15;
        rc = AddPatchedCmd(27, 2, &spacing, 1);
    }
    b.pitchSent = b.pitch;
    return rc;
}

int PRNT63V::CheckFontChange() {
    sWriteBuffer& b = Cur();
    int rc = 0;
    if (b.udf != b.udfSent) rc = SetCharacterSet();
    if (rc == 0 && (b.printMode != b.printModeSent || b.doubleWide != b.doubleWideSent ||
                    b.doubleHigh != b.doubleHighSent))
        rc = SetTextPrintMode();
    if (rc == 0 && b.pitch != b.pitchSent) rc = SetInterCharacterSpacing();
    return rc;
}

int PRNT63V::EscapeCPL(unsigned char n) {
    if (n == 0) return 0; // no characters per line to divide by
    sWriteBuffer& b = Cur();
    const long perChar = static_cast<long>(b.lineWidth / n);
    const long first = std::clamp<long>(perChar - b.margin[0], 0, 8);
    const long second = std::clamp<long>(OnDI() ? 2 * (perChar - b.margin[1]) : 2 * (perChar - b.margin[1] / 2), 0, 20);
    if (first == b.cplSpacing && second == b.cplSpacing2) return 0;
    b.cplSpacing = static_cast<uint8_t>(first);
    b.cplSpacing2 = static_cast<uint8_t>(second);
    return SetInterCharacterSpacing();
}

int PRNT63V::SetRotateMode() { return AddPatchedCmd(52, 2, &Cur().rotate, 1); }

int PRNT63V::SetFixFontMatrix() { return thermal_ ? AddPatchedCmd(90, 2, &Cur().fixFontMatrix, 1) : 0; }

int PRNT63V::SetColorPrint() { return thermal_ ? AddPatchedCmd(84, 2, &Cur().color, 1) : 0; }

int PRNT63V::ConfigFont() {
    int rc = SetCharacterSet();
    if (rc == 0) rc = SetTextPrintMode();
    if (rc == 0) rc = SetRotateMode();
    if (rc == 0) rc = SetInterCharacterSpacing();
    if (rc == 0) rc = SetFixFontMatrix();
    if (rc == 0) rc = SetColorPrint();
    return rc;
}

// ---------------------------------------------------------------------------------------
// Code pages and double-byte mode.

int PRNT63V::SetupDbcsPrinter() {
    settings_.leftMarginCR = 0;
    unsigned char word[4] = {};
    Tell(PRN63_TP_CODE_PAGE, word, sizeof word);
    const unsigned short cp = static_cast<unsigned short>(word[0] | word[1] << 8);
    if (cp != 0) {
        // The printer fills only the first 6 bytes: the rest must not become ranges.
        std::memset(leadRanges_, 0, sizeof leadRanges_);
        Tell(PRN63_TP_DBCS_VECTOR, leadRanges_, sizeof leadRanges_);
        unsigned char ranges[DbcsTable::kRangeBytes] = {};
        std::memcpy(ranges, leadRanges_, sizeof leadRanges_);
        InitializeEnvironment(ranges, cp, secondCode_, clientId_);
        dbcsActive_ = true;
    }
    uint32_t values[4] = {};
    for (int i = 0; i < 4; ++i) {
        unsigned char w[4] = {0xFF, 0xFF, 0, 0};
        Tell(PRN63_TP_CODE_PAGE + 1 + i, w, sizeof w);
        values[i] = uint32_t(w[0]) | uint32_t(w[1]) << 8 | uint32_t(w[2]) << 16 | uint32_t(w[3]) << 24;
    }
    sWriteBuffer* both[2] = {&buffers_[0], &buffers_[2]};
    for (sWriteBuffer* b : both) {
        if (values[0] != 0xffff) b->cplSpacing = static_cast<uint8_t>(values[0]);
        if (values[1] != 0xffff) b->cplSpacing2 = static_cast<uint8_t>(values[1]);
    }
    if (values[2] != 0xffff) buffers_[0].margin[0] = static_cast<uint16_t>((values[2] >> 8) & 0xff);
    if (values[3] != 0xffff) buffers_[2].margin[0] = static_cast<uint16_t>((values[3] >> 8) & 0xff);
    buffers_[0].margin[1] = 24;
    buffers_[2].margin[1] = 16;
    return 0;
}

int PRNT63V::SetCodePage(unsigned short cp) {
    if (cp == codePage_) return 0;
    unsigned char ranges[DbcsTable::kRangeBytes] = {};
    if (dbcsPrinter_ && Cap16(CAP63_DBCS) == 1) {
        unsigned char word[4] = {};
        Tell(PRN63_TP_CODE_PAGE, word, sizeof word);
        const unsigned short printerCp = static_cast<unsigned short>(word[0] | word[1] << 8);
        if (printerCp != 0 && cp == printerCp) {
            std::memset(leadRanges_, 0, sizeof leadRanges_);
            Tell(PRN63_TP_DBCS_VECTOR, leadRanges_, sizeof leadRanges_);
            std::memcpy(ranges, leadRanges_, sizeof leadRanges_);
            InitializeEnvironment(ranges, printerCp, secondCode_, clientId_);
            dbcsActive_ = true;
            return 0;
        }
    }
    dbcsActive_ = false;
    std::memset(leadRanges_, 0, sizeof leadRanges_);
    return InitializeEnvironment(ranges, cp, secondCode_, clientId_) >= 0 ? 0 : 321;
}

int PRNT63V::SetPrinterCodePage() {
    if (!IsHolding()) return 0;
    int rc = 0;
    if (dbcsPrinter_ && Cap16(CAP63_DBCS) == 1) {
        if (dbcsActive_) {
            rc = AddCmdToWriteBuffer(65);
        } else {
            rc = AddCmdToWriteBuffer(71);
            if (rc == 0) rc = AddCmdToWriteBuffer(26);
        }
        for (int i = 0; rc == 0 && i < 3; ++i) {
            unsigned char pair[2] = {};
            if (dbcsActive_) {
                pair[0] = leadRanges_[2 * i];
                pair[1] = leadRanges_[2 * i + 1];
            }
            rc = AddPatchedCmd(static_cast<unsigned short>(61 + i), 3, pair, 2);
        }
        return rc;
    }
    rc = AddCmdToWriteBuffer(71);
    if (rc == 0) rc = AddCmdToWriteBuffer(26);
    return rc;
}

// ---------------------------------------------------------------------------------------
// Text.

int PRNT63V::WriteText(const unsigned char* data, unsigned int n, int& written) {
    written = 0;
    if (!data || n == 0 || (n == 1 && data[0] == 0)) return 0;
    int rc = 0;
    unsigned int i = 0;
    stationAfterWrite_ = false;
    while (i < n && rc == 0) {
        const unsigned char c = data[i];
        if (dbcsActive_ && isdbcs1(c) && i + 1 < n) {
            rc = CheckFontChange();
            if (rc == 0 && Cur().Free() <= 2) rc = SendWritePending();
            if (rc == 0) rc = AddBytes(data + i, 2);
            if (rc == 0) i += 2;
            continue;
        }
        if (c == 0x09) {
            rc = AddCharToWriteBuffer(c);
        } else if (c == 0x0A) {
            rc = CheckFontChange();
            if (rc == 0) rc = AddCmdToWriteBuffer(43);
            if (rc == 0 && Cur().Free() < 40) rc = SendWritePending();
        } else if (c == 0x0D) {
            // dropped
        } else if (c == kEsc) {
            if (i + 1 >= n) {
                ++i;
                break;
            }
            int error = 0;
            const int consumed = Escape(data + i + 1, static_cast<int>(n - i - 1), error);
            i += 2 + static_cast<unsigned>(std::max(consumed, 0));
            if (i > n) i = n;
            rc = error;
            continue;
        } else if (dbcsActive_ || Cur().udf != 255) {
            rc = AddCharToWriteBuffer(c);
        } else {
            rc = AddCharToWriteBuffer(Translate(c));
        }
        if (rc == 0) ++i;
    }
    written = static_cast<int>(i);
    if (transactionActive_) return rc;
    if (OnDI()) {
        const int flushed = SendWritePending();
        if (rc == 0) rc = flushed;
        if (stationAfterWrite_) AddCmdToWriteBuffer(stationSelect_);
    } else {
        unsigned char word[4] = {};
        if (Tell(PRN63_TP_QUEUED_COUNT, word, sizeof word) == 0 && (word[0] | word[1] | word[2] | word[3]) == 0) {
            const int flushed = SendWritePending();
            if (rc == 0) rc = flushed;
        }
    }
    stationAfterWrite_ = false;
    return rc;
}

// ---------------------------------------------------------------------------------------
// Transaction mode.

int PRNT63V::AddToTransactionList(unsigned short code, unsigned short length, const unsigned char* data) {
    transactionSize_ += length;
    if (transactionSize_ < transactionWindow_ && transactions_.empty()) return QueueCmd(code, length, data);
    try {
        transactions_.push_back(Held{code, std::vector<unsigned char>(data, data + length)});
    } catch (const std::bad_alloc&) {
        Log(kLogNoMemory, 305, code);
        return 305;
    }
    return 0;
}

int PRNT63V::SendTransactionData() {
    tprintf("Transaction Size = %d\n", static_cast<int>(transactionSize_));
    int rc = 0;
    if (!endQueued_) {
        rc = QueueCmd(14);
        endQueued_ = true;
    }
    for (const Held& h : transactions_) {
        int r = QueueCmd(h.code, static_cast<unsigned short>(h.data.size()), h.data.data());
        if (r == 0 && h.code == 101) r = QueueCmd(107);
        if (rc == 0) rc = r;
    }
    transactions_.clear();
    return rc;
}

int PRNT63V::DiscardTransactionData() {
    if (!transactionActive_) return 0;
    const int rc = QueueCmd(12);
    transactions_.clear();
    return rc;
}

int PRNT63V::TransactionMode(int mode) {
    switch (mode) {
    case 1:
        if (transactionActive_) return 0;
        SendWritePending();
        transactionActive_ = true;
        transactionSize_ = 0;
        endQueued_ = false;
        return AddCmdToWriteBuffer(13);
    case 0:
        if (!transactionActive_) return 0;
        SendWritePending();
        transactionActive_ = false;
        return SendTransactionData();
    case 2: {
        if (!transactionActive_) return 0;
        SendWritePending();
        const int rc = DiscardTransactionData();
        transactionActive_ = false;
        return rc;
    }
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------------------
// Blocks between two commands, RAS data.

int PRNT63V::WriteOther(const unsigned char* data, unsigned int n, int& written, unsigned short type,
                        unsigned short startCmd, unsigned short endCmd) {
    written = 0;
    const bool slot8Fast = GetDeviceID().slot == 8 && (modelId_ == 136 || modelId_ == 200);
    int rc = 0;
    if (startCmd == 17 && type == 1 && slot8Fast) rc = QueueCmd(107);
    if (rc != 0) return rc;
    CmdRow endRow{};
    if (endCmd) PRNTCMD63::CopyRow(endCmd, endRow);
    Cur().commandCode = type;
    rc = AddCmdToWriteBuffer(startCmd);
    unsigned int at = 0;
    while (rc == 0 && at < n) {
        sWriteBuffer& b = Cur();
        const int room = static_cast<int>(b.capacity) - static_cast<int>(endRow.length) - static_cast<int>(b.length);
        if (room <= 0) {
            rc = SendWritePending();
            if (rc == 0) {
                Cur().commandCode = 7;
                rc = AddCmdToWriteBuffer(18);
            }
            continue;
        }
        const unsigned take = std::min<unsigned>(static_cast<unsigned>(room), n - at);
        std::memcpy(b.data + b.length, data + at, take);
        b.length = static_cast<uint16_t>(b.length + take);
        at += take;
        written = static_cast<int>(at);
        if (at < n) {
            rc = SendWritePending();
            if (rc == 0) {
                Cur().commandCode = 7;
                rc = AddCmdToWriteBuffer(18);
            }
        }
    }
    if (rc == 0 && endCmd) rc = AddBytes(endRow.bytes, endRow.length);
    if (rc == 0) rc = SendWritePending();
    if (rc == 0 && type == 1 &&
        (modelId_ == 0 || (GetDeviceID().slot == 8 && ecLevel_ <= 65 && !(printFeatures_ & 0x200))))
        rc = QueueCmd(107);
    return rc;
}

int PRNT63V::WriteRas(const unsigned char* data, unsigned int n) {
    if (!data || n == 0) return 0;
    const auto rest = static_cast<unsigned short>(std::min<unsigned>(n - 1, 0xFFFF));
    switch (data[0]) {
    case 0xE0:
        rasDownload_ = true;
        return Tell(PRN63_TP_FIRMWARE_ON, nullptr, 0);
    case 0xE1:
        rasDownload_ = false;
        return Tell(PRN63_TP_FIRMWARE_OFF, nullptr, 0);
    case 0xE3: return Tell(PRN63_TP_DBCS_SETUP, nullptr, 0);
    case 0xE4: return Tell(80, nullptr, 0);
    case 0xE5:
        for (unsigned short code = 160; code <= 167; ++code) {
            const int rc = QueueCmd(code);
            if (rc != 0) return rc;
        }
        return 0;
    case 0xE6:
        for (unsigned short code = 177; code <= 185; ++code) {
            const unsigned char zero[2] = {0, 0};
            const int rc = AddPatchedCmd(code, 3, zero, 2);
            if (rc != 0) return rc;
        }
        return SendWritePending();
    case 0xFE: return QueueCmd(66, rest, data + 1);
    case 0xFF: return QueueCmd(6, rest, data + 1);
    default: return QueueCmd(5, static_cast<unsigned short>(std::min<unsigned>(n, 0xFFFF)), data);
    }
}
