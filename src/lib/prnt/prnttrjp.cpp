// The TRJ physical printer: answers matched to their commands by id, status words and
// events, errors and the limp state, command selection, system commands, user-defined
// character and logo downloads, device information, resume and retry.
#include <algorithm>
#include <cstring>
#include <new>

#include "ADAPTER.h"
#include "ObjectSupport.h"
#include "PRNTTRJ.h"
#include "ovkhost.h"
#include "sylocks.h"

namespace {

const char kTag[] = "@(#)prnttrjp.cpp 1.1";

enum : uint32_t {
    kLogNoMemory = 20401,
    kLogAckError = 20402,
    kLogSystemSendError = 20403,
    kLogSendError = 20404,
    kLogSystemNoMemory = 20405,
    kLogSystemSet = 20406,
    kLogSwitchDefault = 20407,
    kLogResumeNoMemory = 20408,
    kLogRetryNoMemory = 20409,
    kLogShortFrame = 20410,
    kLogResumeSet = 20411,
    kLogRetrySet = 20412,
    kLogLogoTooMany = 20413,
    kLogLogoNoMemory = 20414,
    kLogLogoCommandNoMemory = 20415,
    kLogLogoSet = 20416,
    kLogUdcTooMany = 20417,
    kLogUdcNoMemory = 20418,
    kLogUdcCommandNoMemory = 20419,
    kLogUdcSet = 20420,
    kLogRejectFirst = 20421,
    kLogRejectSecond = 20422,
    kLogErrorEnd = 20423,
    kLogNoAnswerBits = 20425,
    kLogNoCommand = 20426,
    kLogWrongId = 20427,
};

// Bits of the status words.
enum : uint32_t {
    kWordNotAvailable = 0x0001,
    kWordCutReady = 0x0040,
    kWordResume = 0x0100,
    kWordOnline = 0x1000,
    kWordByte1Bit3 = 0x4000,
    kWordByte1Bit4 = 0x8000,
};

constexpr unsigned short kIdleBlocked = 5;
constexpr unsigned short kIdleBusy = 10;
constexpr unsigned short kIdleTake = 31;
constexpr unsigned short kIdleCap = 1000;
// The least time between two status requests of idle polls.
constexpr int32_t kIdleRequestMs = 1000;

void put16(unsigned char* data, unsigned short value) { std::memcpy(data, &value, sizeof value); }

void setBit(PrinterStatus& word, uint32_t bit, bool on) {
    if (on) word.set(bit);
    else word.reset(bit);
}

} // namespace

PRNTTRJP::PRNTTRJP(const DeviceID& id) : PRNTP(id, "PRNTTRJP") {
    vdevType_ = PRNTTRJV_TYPE_ID;
    addressWaitTime_ = 144;
    byteWaitTime_ = 72;
    ackWaitTime_ = 3000;
    headParkedPosition_ = 1;
    interleaved_ = 0;
    stations_ = 3;
    status8_.b[7] = 0x80;
    queue_ = new (std::nothrow) OMSGQUEUETRJ(id, this, 2, 3);
    if (!queue_) Log(kLogNoMemory, 305, 0);
    else SetStatusBits(PRNTP_RESET_EXPECTED);
    statusRequest_.reset(new (std::nothrow) PRNTCMDTRJ);
    if (!statusRequest_) {
        Log(kLogNoMemory, 305, 1);
    } else {
        const int rc = statusRequest_->Set(TRJ_GET_STATUS, this, 0, 0, nullptr);
        if (rc != 0) Log(kLogSystemSet, static_cast<uint32_t>(rc), TRJ_GET_STATUS);
    }
}

PRNTTRJP::~PRNTTRJP() {
    DiscardData();
    delete queue_;
    queue_ = nullptr;
}

void PRNTTRJP::Log(uint32_t logId, uint32_t rc, uint32_t extra, const void* data, int length) const {
    clErrorLog(logId, rc, extra, kTag, this, static_cast<uint16_t>(sizeof(PRNTTRJP)), data,
               data ? static_cast<uint16_t>(std::clamp(length, 0, 0xFFFF)) : 0);
}

// ---------------------------------------------------------------------------------------
// Requests.

int PRNTTRJP::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    auto out16 = [&](unsigned short value) {
        if (!data || length < 2) return 321;
        put16(data, value);
        return 0;
    };
    switch (request) {
    case PRN_TP_ENABLE_DI:
    case PRN_TP_DISABLE_DI: return 0;
    case TRJ_TP_LINE_WIDTH: return out16(lineWidth_);
    case TRJ_TP_34: return 316;
    case TRJ_TP_SUBTYPE: return out16(deviceSubtype_);
    case TRJ_TP_DEFINE_UDC:
    case TRJ_TP_DEFINE_LOGO: {
        DeviceLock lock(this);
        return DefineBlocks(request == TRJ_TP_DEFINE_LOGO, data, length);
    }
    case TRJ_TP_HOLD:
    case TRJ_TP_RELEASE:
    case TRJ_TP_RAW_SYSTEM: {
        DeviceLock lock(this);
        return StoreSystem(data, length);
    }
    case TRJ_TP_WAKE_UP: {
        DeviceLock lock(this);
        return SystemCommand(7);
    }
    case TRJ_TP_RAS_OFF: rasMode_ = false; return 0;
    case TRJ_TP_RAS_ON: rasMode_ = true; return 0;
    default: return PRNTP::TellPhys(sender, request, data, length);
    }
}

int PRNTTRJP::StoreSystem(unsigned char* data, int length) {
    if (!queue_ || !data || length < static_cast<int>(sizeof(PRNTCMD))) return 321;
    queue_->StoreSystemCommand(reinterpret_cast<PRNTCMD*>(data));
    if (!AwaitingAck() && adapter_) adapter_->RequestBuffer();
    return 0;
}

// The blocks fill their slots in order, 1024 bytes each; the last takes what remains of the
// data and zeros (it is never read past).
int PRNTTRJP::DefineBlocks(bool logo, const unsigned char* data, int length) {
    if (!data || length < 0) return 321;
    const long blocks = (static_cast<long>(length) + TRJ_BLOCK - 1) / TRJ_BLOCK;
    const long limit = logo ? TRJ_LOGO_BLOCKS : TRJ_UDC_BLOCKS;
    if (blocks > limit) {
        Log(logo ? kLogLogoTooMany : kLogUdcTooMany, 318, static_cast<uint32_t>(blocks));
        return 318;
    }
    if (status8_.b[6] & (logo ? 0x02 : 0x01))
        return logo ? POSERR_PRN_LOGO_EXISTS : POSERR_PRN_UDC_CHARACTER_EXISTS;
    std::unique_ptr<unsigned char[]>* slots = logo ? logo_ : udc_;
    for (long b = 0; b < blocks; ++b) {
        if (!slots[b]) slots[b].reset(new (std::nothrow) unsigned char[TRJ_BLOCK]);
        if (!slots[b]) {
            Log(logo ? kLogLogoNoMemory : kLogUdcNoMemory, 305, static_cast<uint32_t>(b));
            return 305;
        }
        const long from = b * TRJ_BLOCK;
        const size_t n = static_cast<size_t>(std::min<long>(TRJ_BLOCK, length - from));
        std::memcpy(slots[b].get(), data + from, n);
        std::memset(slots[b].get() + n, 0, TRJ_BLOCK - n);
    }
    for (long b = blocks; b < limit; ++b) slots[b].reset();
    (logo ? logoCount_ : udcCount_) = static_cast<unsigned short>(blocks);
    return logo ? LoadLogo(0) : LoadUDC(0);
}

int PRNTTRJP::CopyPrinterStatus(unsigned char* buffer) {
    std::memset(buffer, 0, 16);
    std::memcpy(buffer, status8_.b, TRJ_STATUS_BYTES);
    return 0;
}

// ---------------------------------------------------------------------------------------
// Answers of the printer.

int PRNTTRJP::NewMsgRcvd(const unsigned char* data, int n) {
    ClearStatusBits(PRNTP_AWAITING_ACK);
    OMSGQUEUETRJ* q = Queue();
    if (!q || !data || n < TRJ_STATUS_BYTES) {
        Log(kLogShortFrame, 320, static_cast<uint32_t>(n), data, data && n > 0 ? std::min(n, 64) : 0);
    } else {
        PRNTSTATUSTRJ next;
        std::memcpy(next.b, data, TRJ_STATUS_BYTES);
        SetPrinterStatus(&next);
        SendStatusMessage(&next);
        status8_ = next;
        const unsigned char* s = next.b;
        const int id = s[3];
        // The status request is answered with its error status (byte 1 bit 5) or rejected;
        // the other commands are answered without that bit.
        auto accept = [&](PRNTCMD* c) {
            if (!c) return c;
            const bool isStatus = c->code == TRJ_GET_STATUS;
            if (s[1] & 0x20) return isStatus ? c : nullptr;
            return !isStatus || (s[0] & 0x01) ? c : nullptr;
        };
        PRNTCMD* system = q->GetOutstandingSystemRequest(-1);
        PRNTCMD* command = nullptr;
        bool wrongId = false;
        if (system && system->code == TRJ_RAW) {
            command = system;
        } else if (s[1] & 0x02) {
            command = system && system->code == TRJ_GET_EC ? system : nullptr;
        } else {
            command = accept(q->GetOutstandingSystemRequest(id));
            if (!command) command = accept(q->GetOutstandingPendingRequest(-1));
            if (!command) {
                // An answer that only the outstanding system command can have, with another
                // id: a wrong id, else that command would stay outstanding for good.
                command = accept(system);
                wrongId = command != nullptr;
            }
        }
        if (!wrongId && (!command || (command->classFlags & TRJ_CLASS_QUERY) || command->code == TRJ_RAW ||
                         PRNTCMDTRJ::IdOf(command) == id)) {
            if (command && !(s[0] & 0x01)) CommandAccepted();
            if (s[0] & 0x20) RespondToUnrecoverableErrors(command);
            else if (s[0] & 0x80) RespondToCommandComplete(command, data, n);
            else if (s[0] & 0x01) RespondToCommandReject(command);
            else if (s[0] & 0x40) RespondToErrorEndResponse(command);
            else {
                Log(kLogNoAnswerBits, 320, 0, s, TRJ_STATUS_BYTES);
                PutIntoLimpState(command, 0, 0x1000);
            }
        } else {
            Log(kLogWrongId, 320, static_cast<uint32_t>(id), s, TRJ_STATUS_BYTES);
            PutIntoLimpState(command, 0, 0x1000);
        }
    }
    if (SendAnyPendingMessage() == -1) {
        const int rc = SendAck();
        if (rc != 0) Log(kLogAckError, static_cast<uint32_t>(rc), 0);
        return rc;
    }
    return 0;
}

int PRNTTRJP::SetPrinterStatus(PRNTSTATUSTRJ* status) {
    unsigned char* s = status->b;
    const unsigned char* was = status8_.b;
    if (s[1] & 0x40) {
        s[5] = static_cast<unsigned char>((s[5] & 0x7F) | (was[5] & 0x80));
        s[6] = static_cast<unsigned char>((s[6] & 0x3F) | (was[6] & 0xC0));
    } else if (s[6] & 0xC0) {
        s[5] |= 0x80;
    } else if (s[5] & 0x80) {
        s[6] = static_cast<unsigned char>((s[6] & 0x3F) | (was[6] & 0xC0));
    }
    setBit(status_, kWordNotAvailable, (s[1] & 0x40) || (s[6] & 0x30));
    setBit(status_, kWordCutReady, s[6] & 0x08);
    setBit(status_, kWordResume, ResumeRequested());
    setBit(status_, kWordOnline, TestStatusBits(PDEV_PRESENT) && TestStatusBits(PDEV_ONLINE));
    setBit(status_, kWordByte1Bit3, s[1] & 0x08);
    setBit(status_, kWordByte1Bit4, s[1] & 0x10);
    setBit(status2_, 0x0001, s[6] & 0xC0);
    setBit(status2_, 0x0002, s[5] & 0x30);
    setBit(status2_, 0x0008, s[5] & 0x08);
    setBit(status2_, 0x1000, (s[6] & 0x40) || (s[5] & 0x10));
    setBit(status2_, 0x4000, (s[6] & 0x80) || (s[5] & 0x20));
    setBit(status2_, 0x8000, s[7] & 0x04);
    return 0;
}

void PRNTTRJP::PostStatus(uint32_t p1) {
    PRNTMSG m;
    m.msg = POSM_PRN_STATUS_CHANGE;
    m.p1 = p1;
    m.p2 = status_.word();
    SendPrinterMessage(&m);
}

int PRNTTRJP::SendStatusMessage(PRNTSTATUSTRJ* status) {
    const unsigned char* s = status->b;
    const unsigned char* was = status8_.b;
    auto changed = [&](int byte, unsigned char bit) { return ((was[byte] ^ s[byte]) & bit) != 0; };
    if (changed(1, 0x40)) {
        setBit(status_, kWordNotAvailable, (s[1] & 0x40) || (s[6] & 0x30));
        PostStatus(0x80000);
    }
    if (changed(6, 0x20)) {
        setBit(status2_, 0x20, s[6] & 0x20);
        PostStatus(0x230000);
    }
    if (changed(6, 0x10)) {
        setBit(status2_, 0x10, s[6] & 0x10);
        PostStatus(0x130000);
    }
    if (changed(6, 0x80)) PostStatus(0x210000);
    if (!(s[6] & 0x80) && changed(1, 0x10)) {
        setBit(status_, kWordByte1Bit4, s[1] & 0x10);
        PostStatus(0x200000);
    }
    if (changed(6, 0x40)) PostStatus(0x110000);
    if (!(s[6] & 0x40) && changed(1, 0x08)) {
        setBit(status_, kWordByte1Bit3, s[1] & 0x08);
        PostStatus(0x100000);
    }
    if (changed(5, 0x20)) PostStatus(0x220000);
    if (changed(5, 0x10)) PostStatus(0x120000);
    if (changed(7, 0x02)) {
        setBit(status2_, 0x04, s[7] & 0x02);
        PostStatus(0x400000);
    }
    return 0;
}

void PRNTTRJP::AskResume(uint32_t p1) {
    status_.set(kWordResume);
    PRNTMSG m;
    m.msg = POSM_PRN_PRINTER_ERROR;
    m.p1 = p1;
    m.p2 = status_.word();
    RequestResume(&m);
}

void PRNTTRJP::Keep(const PRNTCMD* command) {
    if (kept_) return;
    kept_ = true;
    keptCode_ = command ? command->code : 0;
    keptStation_ = command ? command->station : 0;
    keptFlags_ = command ? command->classFlags : 0;
}

void PRNTTRJP::Finish(PRNTCMD* command) {
    OMSGQUEUETRJ* q = Queue();
    const bool system = command && command == q->GetOutstandingSystemCommand();
    q->RespondToCommandCompleteMessage(command);
    if (!system) q->RespondToCommandSuccessMessage(command);
}

int PRNTTRJP::RespondToCommandComplete(PRNTCMD* command, const unsigned char* message, int length) {
    if (!command) {
        Log(kLogNoCommand, 0, 0, status8_.b, TRJ_STATUS_BYTES);
        return 0;
    }
    switch (command->code) {
    case TRJ_GET_EC: RespondToECLevelComplete(command); break;
    case TRJ_DEVICE_INFO: RespondToDevInfoComplete(command, message, length); break;
    case TRJ_GET_STATUS:
        Finish(command);
        SendErrorMessage(&status8_, statusRequest_.get());
        break;
    case TRJ_LOAD_UDC: RespondToLoadUDCComplete(command); break;
    case TRJ_LOAD_LOGO: RespondToLoadLogoComplete(command); break;
    default:
        Finish(command);
        rejects_ = 0;
        break;
    }
    const unsigned char* s = status8_.b;
    if ((s[0] & 0x02) && rasMode_ && owner_) {
        PRNTMSG m;
        m.msg = POSM_PRN_RAS_STATUS;
        m.p1 = static_cast<uint32_t>(s[2]) << 24 | static_cast<uint32_t>(s[3]) << 16;
        m.p2 = 0;
        SendPrinterMessage(&m);
    }
    return 0;
}

int PRNTTRJP::RespondToECLevelComplete(PRNTCMD* command) {
    const unsigned char* s = status8_.b;
    if (!(s[1] & 0x02)) {
        queue_->Retry();
        return 0;
    }
    ecInfo_[0] = s[2];
    ecInfo_[1] = s[3];
    Finish(command);
    return SystemCommand(31);
}

int PRNTTRJP::RespondToDevInfoComplete(PRNTCMD* command, const unsigned char* m, int length) {
    if (!(status8_.b[1] & 0x80)) {
        queue_->Retry();
        return 0;
    }
    if (!m || length < TRJ_STATUS_BYTES + TRJ_DEVICE_INFO_BYTES) {
        // The device information is missing: asked again.
        Log(kLogShortFrame, 320, static_cast<uint32_t>(length), m, m && length > 0 ? std::min(length, 64) : 0);
        queue_->Retry();
        return 0;
    }
    std::memcpy(deviceInfo_, m + TRJ_STATUS_BYTES, TRJ_DEVICE_INFO_BYTES);
    deviceValue_ = (m[10] & 0x08) ? 2 : 0;
    deviceFlags_ = static_cast<unsigned short>(((m[10] & 0x80) ? 1 : 0) | ((m[10] & 0x01) ? 2 : 0) |
                                               ((m[11] & 0x01) ? 4 : 0));
    ecLevel_ = m[12];
    deviceSubtype_ = m[9] == 17 ? 4 : 0;
    if (!TestStatusBits(PDEV_ONLINE)) NowConfirmed();
    status_.set(kWordOnline);
    lineWidth_ = 42;
    Finish(command);
    int rc = 0;
    if (TestStatusBits(kResumeAfterReset)) {
        rc = ResumePrinting(resumeText_);
        ClearStatusBits(kResumeAfterReset);
    } else if (TestStatusBits(kRetryAfterReset)) {
        rc = RetryPrinting(retryText_);
        ClearStatusBits(kRetryAfterReset);
    }
    return rc;
}

int PRNTTRJP::RespondToLoadUDCComplete(PRNTCMD* command) {
    Finish(command);
    if (udcCount_ > udcNext_) return LoadUDC(udcNext_);
    udcNext_ = 0;
    return 0;
}

int PRNTTRJP::RespondToLoadLogoComplete(PRNTCMD* command) {
    Finish(command);
    if (logoCount_ > logoNext_) return LoadLogo(logoNext_);
    logoNext_ = 0;
    return 0;
}

int PRNTTRJP::RespondToCommandReject(PRNTCMD* command) {
    // The rejected command stays pending and goes again, paced while the rejects go on.
    if (command) {
        CommandRejected();
        queue_->Retry();
    }
    const unsigned char* s = status8_.b;
    if (!(s[4] & 0x80)) {
        if (!command || command->code != TRJ_GET_STATUS) SystemCommand(7);
        return 0;
    }
    if (rejects_ == 0) {
        Log(kLogRejectFirst, 322, 1, s, TRJ_STATUS_BYTES);
        SystemCommand(1);
    } else if (rejects_ == 1) {
        status_.set(kWordResume);
        Keep(command);
        AskResume(0x20000);
        Log(kLogRejectSecond, 322, 2, s, TRJ_STATUS_BYTES);
    }
    if (rejects_ < 2) ++rejects_;
    return 0;
}

int PRNTTRJP::RespondToErrorEndResponse(PRNTCMD* command) {
    if (command) queue_->Retry();
    if (command && command->code == TRJ_GET_STATUS) {
        SendErrorMessage(&status8_, command);
        return 0;
    }
    status_.set(kWordResume);
    Keep(command);
    AskResume(0x20000);
    Log(kLogErrorEnd, 0, 0, status8_.b, TRJ_STATUS_BYTES);
    return 0;
}

int PRNTTRJP::RespondToUnrecoverableErrors(PRNTCMD* command) {
    if (command) queue_->Retry();
    const unsigned char* s = status8_.b;
    const auto code = static_cast<unsigned short>(((s[5] << 2) & 0x0F) | ((s[4] & 0x0C) >> 2));
    if (s[1] & 0x01) return PutIntoLimpState(command, code, 0x4000);
    if (!(s[7] & 0x02) && !(s[1] & 0x40) && s[5] < 8 && s[6] < 16) return PutIntoLimpState(command, code, 0x4001);
    if (!kept_) {
        Keep(command);
        status_.set(kWordResume);
        AskResume(0x40010000);
    }
    return 0;
}

int PRNTTRJP::PutIntoLimpState(PRNTCMD* command, unsigned short code, unsigned short reason) {
    SetStatusBits(kLimp);
    limpCode_ = code;
    if (!TestStatusBits(PDEV_ONLINE)) NowConfirmed();
    status_.set(kWordResume);
    Keep(command);
    AskResume(static_cast<uint32_t>(reason) << 16);
    if (command && command->code >= TRJ_RESET && command->code <= TRJ_DEVICE_INFO) Finish(command);
    else queue_->Retry();
    return 0;
}

int PRNTTRJP::SendErrorMessage(PRNTSTATUSTRJ* status, PRNTCMD* command) {
    const unsigned char* s = status->b;
    uint32_t p1 = 0;
    if (s[1] & 0x40) p1 = 0x10000;
    else if (s[6] & 0x10) p1 = 0x30000;
    else if (s[6] & 0x20) p1 = 0x50000;
    else if (s[6] & 0x40) p1 = 0x1000000;
    else if (s[6] & 0x80) p1 = 0x40000;
    else if (s[5] & 0x08) p1 = 0x1000000;
    else return -1;
    if (!kept_) {
        Keep(command);
        status_.set(kWordResume);
        AskResume(p1);
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// Downloads.

int PRNTTRJP::LoadUDC(unsigned short block) { return LoadBlock(false, block); }
int PRNTTRJP::LoadLogo(unsigned short block) { return LoadBlock(true, block); }

int PRNTTRJP::LoadBlock(bool logo, unsigned short block) {
    const unsigned short limit = logo ? TRJ_LOGO_BLOCKS : TRJ_UDC_BLOCKS;
    std::unique_ptr<unsigned char[]>* slots = logo ? logo_ : udc_;
    if (!queue_ || block >= limit || !slots[block]) return 0;
    PRNTCMDTRJ* command = new (std::nothrow) PRNTCMDTRJ;
    if (!command) {
        Log(logo ? kLogLogoCommandNoMemory : kLogUdcCommandNoMemory, 305, block);
        return 305;
    }
    const int rc = command->Set(logo ? TRJ_LOAD_LOGO : TRJ_LOAD_UDC, this,
                                static_cast<unsigned char>(logo ? 128 + block : block), TRJ_BLOCK,
                                slots[block].get());
    if (rc != 0) {
        Log(logo ? kLogLogoSet : kLogUdcSet, static_cast<uint32_t>(rc), block);
        delete command;
        return rc;
    }
    (logo ? logoNext_ : udcNext_) = static_cast<unsigned short>(block + 1);
    queue_->StoreSystemCommand(command);
    if (!AwaitingAck() && adapter_) adapter_->RequestBuffer();
    return 0;
}

// ---------------------------------------------------------------------------------------
// Sending.

bool PRNTTRJP::IdleRequestDue() {
    const int32_t now = chTime();
    if (idleAsked_ && chTimeDiff(now, idleAskedAt_) < kIdleRequestMs) return false;
    idleAsked_ = true;
    idleAskedAt_ = now;
    return true;
}

int PRNTTRJP::StatusRequestNow(PRNTCMD*& out) {
    out = nullptr;
    if (!IdleRequestDue()) return 0;
    int rc = SystemCommand(7);
    out = rc == 0 ? queue_->GetPendingSystemCommand(rc) : nullptr;
    return rc;
}

PRNTCMD* PRNTTRJP::GetNextCommand() {
    int rc = 0;
    OMSGQUEUETRJ* q = Queue();
    const unsigned char* s = status8_.b;
    PRNTCMD* result = nullptr;
    PRNTCMD* candidate = nullptr;
    bool decided = false;
    PRNTCMD* cr = q->QueryPendingCommand(PRN_STATION_CR, rc);
    const bool receiptWaits = !q->StationList(PRN_STATION_CR).empty();
    if ((s[6] & 0x50) || (s[5] & 0x18)) {
        if (cr && idleCount_ > kIdleBlocked) {
            StatusRequestNow(result);
            decided = true;
        }
        cr = nullptr;
    } else if (cr && (cr->code == TRJ_CUT_STAMP || cr->code == TRJ_CUT_PARTIAL) && !(s[6] & 0x08)) {
        // The knife is not ready: system command 3 goes first.
        if (SystemCommand(3) == 0) result = q->GetPendingSystemCommand(rc);
        decided = true;
    } else {
        candidate = cr;
    }
    if (!decided) {
        PRNTCMD* sj = q->QueryPendingCommand(PRN_STATION_SJ, rc);
        if ((s[6] & 0xA0) || (s[5] & 0x20)) {
            if (sj && idleCount_ > kIdleBlocked) {
                StatusRequestNow(result);
                decided = true;
            }
            sj = nullptr;
        }
        if (!decided && !candidate && !receiptWaits) candidate = sj;
    }
    if (!decided && candidate) {
        if (idleCount_ < kIdleTake) result = q->GetPendingCommand(candidate->station, rc);
        else StatusRequestNow(result);
    }
    if (result) idleCount_ = 0;
    else if (idleCount_ < kIdleCap) ++idleCount_;
    return result;
}

int PRNTTRJP::Idle(unsigned short limit) {
    if (idleCount_ <= limit) ++idleCount_;
    if (idleCount_ > limit && IdleRequestDue()) {
        idleCount_ = 0;
        if (SystemCommand(7) == 0) return SendAnyPendingMessage();
    }
    return -1;
}

int PRNTTRJP::SendSystem(PRNTCMD* system) {
    const int rc = system->frame && system->frameLength > 0 ? SendMsg(system->frame, system->frameLength) : 321;
    if (rc != 0) {
        if (!Paced(rc)) Log(kLogSystemSendError, static_cast<uint32_t>(rc), system->code, system, sizeof(PRNTCMD));
        Queue()->RetryLastSentRequest();
        return rc;
    }
    SetStatusBits(PRNTP_AWAITING_ACK);
    if (system->code == TRJ_RESET) SetStatusBits(PRNTP_RESET_EXPECTED);
    return 0;
}

bool PRNTTRJP::HoldsWork() const {
    const unsigned char* s = status8_.b;
    return (s[7] & 0x02) || (s[1] & 0x40) || (s[6] & 0x30) || (s[5] & 0x80) || Limp();
}

int PRNTTRJP::SendAnyPendingMessage() {
    OMSGQUEUETRJ* q = Queue();
    if (!q || Limp() || AwaitingAck()) return -1;
    PRNTCMD* outstanding = q->GetOutstanding();
    if (outstanding && !(outstanding->classFlags & PRNTCMD_PIPELINED)) return -1;
    if (q->GetOutstandingSystemCommand() || q->GetIncomplete() >= 2) return -1;
    const unsigned char* s = status8_.b;
    const bool held = s[4] & 0x10;
    if (held) q->PromoteSystemCommand(TRJ_SYSTEM_29);
    int rc = 0;
    if (PRNTCMD* system = q->GetPendingSystemCommand(rc)) {
        if (held && system->code != TRJ_SYSTEM_29) {
            // Only the release leaves while the printer holds its buffer.
            q->RetryLastSentRequest();
            return -1;
        }
        return SendSystem(system);
    }
    if ((s[4] & 0x70) || (s[0] & 0x20) || !(s[7] & 0x80)) return Idle(kIdleBusy);
    if ((s[7] & 0x02) || (s[1] & 0x40) || (s[5] & 0x80) || ResumeRequested()) {
        if (!ResumeRequested() && !TestStatusBits(PDEV_ONLINE)) return -1;
        return Idle(kIdleBlocked);
    }
    if (!TestStatusBits(PDEV_ONLINE)) return -1;
    PRNTCMD* command = GetNextCommand();
    if (!command) return -1;
    rc = command->frame && command->frameLength > 0 ? SendMsg(command->frame, command->frameLength) : 321;
    if (rc != 0) {
        if (!Paced(rc)) Log(kLogSendError, static_cast<uint32_t>(rc), command->code, command, sizeof(PRNTCMD));
        q->RetryLastSentRequest();
        return rc;
    }
    SetStatusBits(PRNTP_AWAITING_ACK);
    if (command->code == TRJ_RESET || (command->frameLength >= 2 && command->frame[0] == 0x00 && command->frame[1] == 0x40))
        SetStatusBits(PRNTP_RESET_EXPECTED);
    return 0;
}

// ---------------------------------------------------------------------------------------
// Link events.

int PRNTTRJP::LastMsgLost(const unsigned char* /*data*/, int /*n*/) {
    if (queue_) Queue()->RetryLastSentRequest();
    ++lostMessages_;
    ClearStatusBits(PRNTP_AWAITING_ACK);
    return 0;
}

int PRNTTRJP::SequenceResetInProgress(const unsigned char* /*data*/, int /*n*/) {
    SetStatusBits(PRNTP_AWAITING_ACK);
    if (queue_) Queue()->RetryLastSentRequest();
    return 0;
}

int PRNTTRJP::ClearPORResetInProgress() {
    OMSGQUEUETRJ* q = Queue();
    if (!q) return 0;
    PRNTCMD* system = q->GetOutstandingSystemCommand();
    if (system && system->code == TRJ_RESET) {
        system->acknowledged = 1;
        q->RespondToCommandCompleteMessage(system);
    }
    const PRNDList& sent = q->SentList();
    PRNDLNode* node = sent.tail();
    for (uint32_t i = 0; node && i < sent.count(); ++i) {
        node = node->next; // from the first
        auto* command = static_cast<PRNTCMD*>(node);
        if (!command->completed && command->frame && command->frameLength >= 2 && command->frame[0] == 0x00 &&
            command->frame[1] == 0x40) {
            q->SettleSent(command);
            break;
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// System commands.

int PRNTTRJP::SystemCommandSet(unsigned short code) {
    if (!queue_) return 321;
    PRNTCMDTRJ* command = new (std::nothrow) PRNTCMDTRJ;
    if (!command) {
        Log(kLogSystemNoMemory, 305, code);
        return 305;
    }
    const int rc = command->Set(code, this, 0, 0, nullptr);
    if (rc != 0) {
        Log(kLogSystemSet, static_cast<uint32_t>(rc), code);
        delete command;
        return rc;
    }
    queue_->StoreSystemCommand(command);
    if (!AwaitingAck() && adapter_) adapter_->RequestBuffer();
    return 0;
}

int PRNTTRJP::SystemCommand(unsigned short code) {
    int rc = 0;
    switch (code) {
    case 1:
        rc = SystemCommandSet(TRJ_RESET);
        if (rc == 0) {
            ClearStatusBits(kLimp);
            SetStatusBits(PRNTP_RESET_EXPECTED);
        }
        return rc;
    case 2:
        if (queue_) queue_->FlushSystemCommands();
        return SystemCommandSet(TRJ_GET_EC);
    case 3: return SystemCommandSet(TRJ_SYSTEM_3);
    case 7: return SystemCommandSet(TRJ_GET_STATUS);
    case 29: return SystemCommandSet(TRJ_SYSTEM_29);
    case 30: return SystemCommandSet(TRJ_SYSTEM_30);
    case 31: return SystemCommandSet(TRJ_DEVICE_INFO);
    default:
        Log(kLogSwitchDefault, 321, code);
        return 321;
    }
}

// ---------------------------------------------------------------------------------------
// Resume and retry.

int PRNTTRJP::ResumePrinting(const unsigned char* text) { return ResumeOrRetry(text, false); }
int PRNTTRJP::RetryPrinting(const unsigned char* text) { return ResumeOrRetry(text, true); }

int PRNTTRJP::ResumeOrRetry(const unsigned char* text, bool retry) {
    if (!queue_) return 0;
    if (!ResumeRequested() && !TestStatusBits(retry ? kRetryAfterReset : kResumeAfterReset)) return 0;
    status8_.b[0] &= static_cast<unsigned char>(~0x20);
    status_.reset(kWordResume);
    if (retry) Queue()->RetryPendingRequest();
    unsigned char given[TRJ_TEXT] = {};
    const size_t n = text ? strnlen(reinterpret_cast<const char*>(text), TRJ_TEXT - 1) : 0;
    if (n > 0) std::memcpy(given, text, n);
    text = given;
    if (!TestStatusBits(PDEV_PRESENT) || !TestStatusBits(PDEV_ONLINE) || Limp()) {
        unsigned char* keep = retry ? retryText_ : resumeText_;
        std::memset(keep, 0, TRJ_TEXT);
        std::memcpy(keep, given, n);
        ClearStatusBits(PRNTP_RESUME_REQUESTED);
        SetStatusBits(retry ? kRetryAfterReset : kResumeAfterReset);
        SystemCommand(1);
        return 317;
    }
    int rc = 0;
    if (kept_ && (keptFlags_ & TRJ_CLASS_PRINT) && keptStation_ <= PRN_STATION_SJ && n > 0) {
        const unsigned short width = std::min<unsigned short>(lineWidth_ ? lineWidth_ : 42, 128);
        unsigned char line[128];
        std::memset(line, ' ', sizeof line);
        std::memcpy(line, text, std::min<size_t>(n, width));
        PRNTCMDTRJ* command = new (std::nothrow) PRNTCMDTRJ;
        if (!command) {
            Log(retry ? kLogRetryNoMemory : kLogResumeNoMemory, 305, 0);
            rc = 305;
        } else {
            rc = command->Set(keptStation_ == PRN_STATION_CR ? TRJ_PRINT_CR : TRJ_PRINT_SJ, this, 1, width, line);
            if (rc == 0) rc = queue_->StoreCommand(command, 1);
            if (rc != 0) {
                Log(retry ? kLogRetrySet : kLogResumeSet, static_cast<uint32_t>(rc), 0);
                delete command;
            }
        }
    }
    kept_ = false;
    if (!retry) {
        queue_->RespondToResumePrinting(PRN_STATION_CR);
        queue_->RespondToResumePrinting(PRN_STATION_SJ);
    }
    ClearStatusBits(PRNTP_RESUME_REQUESTED);
    const int turn = TellDeviceDataWaiting();
    return rc != 0 ? rc : turn;
}

// ---------------------------------------------------------------------------------------

PDEV* _CreatePRNTTRJP(const DeviceID& id) { return new (std::nothrow) PRNTTRJP(id); }

namespace {
const unsigned char kAddresses[] = {0x37};
} // namespace

ObjectSupport objectPRNTTRJP(PRNTTRJP_TYPE_ID, _CreatePRNTTRJP, kAddresses, 1);
