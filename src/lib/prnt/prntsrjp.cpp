// The SRJ physical printer: status bytes and the document state, error answers, limp state,
// the choice of the next command, system commands, user-defined characters, resume and
// retry.
#include <algorithm>
#include <cstring>
#include <new>

#include "ADAPTER.h"
#include "ObjectSupport.h"
#include "PRNTSRJ.h"
#include "ovkhost.h"
#include "sylocks.h"

namespace {

const char kTag[] = "@(#)prntsrjp.cpp 1.1";

enum : uint32_t {
    kLogNoMemory = 20001,
    kLogAckError = 20002,
    kLogSystemSendError = 20003,
    kLogSendError = 20004,
    kLogSystemNoMemory = 20005,
    kLogSystemSet = 20006,
    kLogSwitchDefault = 20007,
    kLogResumeNoMemory = 20008,
    kLogResumeSet = 20009,
    kLogShortFrame = 20010,
    kLogUdcNoMemory = 20011,
    kLogUdcSet = 20012,
    kLogUdcTooMany = 20013,
    kLogUdcBlockNoMemory = 20014,
    kLogFeedNoMemory = 20015,
    kLogFeedSet = 20016,
    kLogRejectFirst = 20017,
    kLogRejectSecond = 20018,
    kLogErrorEnd = 20019,
    kLogUnrecoverable = 20020,
};

// First parameters of the printer error and status change events.
enum : uint32_t {
    kP1Error = 0x10000,
    kP1Paper = 0x20000,
    kP1Reject = 0x20000,
    kP1Document = 0x40000,
    kP1Condition = 0x80000,
    kP1TakeOut = 0x80000,
    kP1Insert = 0x100000,
    kP1Byte1Bit3 = 0x100000,
    kP1Byte1Bit4 = 0x200000,
    kP1Release = 0x400000,
    kP1Unrecoverable = 0x10000000,
};

// Bits of the status word.
enum : uint32_t {
    kWordError = 0x01,
    kWordFault = 0x02,
    kWordDocument4 = 0x08,
    kWordDocument8 = 0x10,
    kWordPresent = 0x20,
    kWordByte6Bit4 = 0x40,
    kWordInserted = 0x80,
    kWordResume = 0x100,
    kWordByte0Bit4 = 0x400,
    kWordOnline = 0x1000,
    kWordByte1Bit3 = 0x4000,
    kWordByte1Bit4 = 0x8000,
};

constexpr int kBusyLimit = 5;
constexpr int kErrorLimit = 20;
constexpr int kIdleLimit = 20;
constexpr int kSettleRounds = 16;

bool older(const PRNTCMD* a, const PRNTCMD* b) {
    return static_cast<int32_t>(a->sequenceNumber - b->sequenceNumber) < 0;
}

void put16(unsigned char* data, unsigned short value) { std::memcpy(data, &value, sizeof value); }

} // namespace

PRNTSRJP::PRNTSRJP(const DeviceID& id) : PRNTP(id, "PRNTSRJP") {
    vdevType_ = PRNTSRJV_TYPE_ID;
    addressWaitTime_ = 144;
    byteWaitTime_ = 72;
    stations_ = 3;
    queue_ = new (std::nothrow) OMSGQUEUE(id, this, 1, 3);
    if (!queue_) Log(kLogNoMemory, 305, 0);
    SetStatusBits(PRNTP_RESET_EXPECTED);
    ClearStatusBits(0x100000);
    status8_[7] = 0x80;
}

PRNTSRJP::~PRNTSRJP() {
    DiscardData();
    delete queue_;
    queue_ = nullptr;
}

void PRNTSRJP::Log(uint32_t logId, uint32_t rc, uint32_t extra, const void* data, int length) const {
    clErrorLog(logId, rc, extra, kTag, this, static_cast<uint16_t>(sizeof(PRNTSRJP)), data,
               data ? static_cast<uint16_t>(std::clamp(length, 0, 0xFFFF)) : 0);
}

// ---------------------------------------------------------------------------------------
// Requests.

int PRNTSRJP::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    auto out16 = [&](unsigned short value) {
        if (!data || length < 2) return 321;
        put16(data, value);
        return 0;
    };
    switch (request) {
    case PRN_TP_ENABLE_DI:
    case PRN_TP_DISABLE_DI: {
        DeviceLock lock(this);
        int rc = PRNTP::TellPhys(sender, request, data, length);
        if (rc == 0) rc = SystemCommand(7);
        return rc;
    }
    case SRJ_TP_CRSJ_WIDTH: return out16(crsjWidth_);
    case SRJ_TP_DI_WIDTH: return out16(diWidth_);
    case SRJ_TP_MODEL: return out16(deviceSubtype_ == 1 ? 1 : 2);
    case SRJ_TP_PATTERN: return out16((status8_[7] & 0x01) ? 1 : 2);
    case SRJ_TP_DEFINE_UDC: {
        DeviceLock lock(this);
        return DefineCharacters(data, length);
    }
    default:
        return PRNTP::TellPhys(sender, request, data, length);
    }
}

// The definitions fill the empty block slots in order, 1024 bytes each; what remains of
// the data past its end is zero (it is never read past).
int PRNTSRJP::DefineCharacters(const unsigned char* data, int length) {
    if (!data || length < 0) return 321;
    const long blocks = (static_cast<long>(length) + SRJ_UDC_BLOCK - 1) / SRJ_UDC_BLOCK;
    if (blocks > SRJ_UDC_BLOCKS) {
        Log(kLogUdcTooMany, 321, static_cast<uint32_t>(blocks));
    } else {
        for (long b = 0; b < blocks; ++b) {
            if (udc_[b]) continue; // a block that is there keeps its characters
            udc_[b].reset(new (std::nothrow) unsigned char[SRJ_UDC_BLOCK]());
            if (!udc_[b]) {
                Log(kLogUdcBlockNoMemory, 305, static_cast<uint32_t>(b));
                return 305;
            }
            const long from = b * SRJ_UDC_BLOCK;
            std::memcpy(udc_[b].get(), data + from, static_cast<size_t>(std::min<long>(SRJ_UDC_BLOCK, length - from)));
        }
        blocksStored_ = 0;
        while (blocksStored_ < SRJ_UDC_BLOCKS && udc_[blocksStored_]) ++blocksStored_;
    }
    return LoadUDC(0);
}

int PRNTSRJP::CopyPrinterStatus(unsigned char* buffer) {
    std::memset(buffer, 0, 16);
    std::memcpy(buffer, status8_, sizeof status8_);
    return 0;
}

// ---------------------------------------------------------------------------------------
// Answers of the printer.

bool PRNTSRJP::ErrorCondition(const unsigned char* s) const { return (s[1] & 0x40) || (s[6] & 0x03); }

bool PRNTSRJP::HoldsWork() const { return ErrorCondition(status8_) || Limp(); }

int PRNTSRJP::NewMsgRcvd(const unsigned char* data, int n) {
    ClearStatusBits(PRNTP_AWAITING_ACK);
    if (!queue_ || !data || n < SRJ_STATUS_BYTES) {
        Log(kLogShortFrame, 320, static_cast<uint32_t>(n), data, data && n > 0 ? std::min(n, 64) : 0);
    } else {
        unsigned char next[SRJ_STATUS_BYTES];
        std::memcpy(next, data, sizeof next);
        SetPrinterStatus(next);
        SendStatusMessage(next);
        std::memcpy(status8_, next, sizeof next);
        if (!(next[1] & 0x01)) {
            // Whether the answer is to a command: only then does a reject count, or end the
            // rejects in a row.
            if (queue_->GetOutstanding() && (next[0] & 0xC1)) {
                if (next[0] & 0xC0) CommandAccepted();
                else CommandRejected();
            }
            if (next[0] & 0x80) RespondToCommandComplete();
            else if (next[0] & 0x40) RespondToErrorEndResponse();
            else if (next[0] & 0x01) RespondToCommandReject();
        } else if (next[0] & 0x10) {
            PutIntoLimpState();
        }
    }
    if (SendAnyPendingMessage() == -1) {
        const int rc = SendAck();
        if (rc != 0) Log(kLogAckError, static_cast<uint32_t>(rc), 0);
        return rc;
    }
    return 0;
}

int PRNTSRJP::SetPrinterStatus(const unsigned char* s) {
    auto put = [this](uint32_t bit, bool on) {
        if (on) status_.set(bit);
        else status_.reset(bit);
    };
    put(kWordError, ErrorCondition(s));
    put(kWordFault, s[5] & 0x15);
    put(kWordDocument4, s[6] & 0x04);
    const bool present = DocumentPresent(s);
    put(kWordPresent, present);
    put(kWordByte0Bit4, s[0] & 0x10);
    put(kWordByte6Bit4, s[6] & 0x10);
    put(kWordResume, ResumeRequested());
    put(kWordOnline, TestStatusBits(PDEV_PRESENT) && TestStatusBits(PDEV_ONLINE));

    const bool b4 = s[6] & 0x04, b8 = s[6] & 0x08;
    unsigned short& d = documentState_;
    switch (d) {
    case 0: d = b4 ? (present ? 20 : 17) : b8 ? (present ? 36 : 33) : (present ? 36 : 0); break;
    case 8: d = b8 ? 8 : 0; break;
    case 17: d = present ? 20 : b4 ? 17 : 18; break;
    case 18: d = present ? 20 : b8 ? 33 : b4 ? 17 : 18; break;
    case 20:
    case 36: d = present ? d : b4 ? 17 : 8; break;
    case 33: d = present ? 36 : b8 ? 33 : 34; break;
    case 34: d = present ? 36 : b4 ? 17 : b8 ? 33 : 34; break;
    default: d = 0; break;
    }
    if (!b8) status_.reset(kWordDocument8);
    else if (d == 0 || d == 33 || d == 34 || d == 36) status_.set(kWordDocument8);
    put(kWordInserted, present && (d == 17 || d == 18 || d == 20 || b4));
    return 0;
}

void PRNTSRJP::PostStatus(uint32_t p1) {
    PRNTMSG m;
    m.msg = POSM_PRN_STATUS_CHANGE;
    m.p1 = p1;
    m.p2 = status_.word();
    SendPrinterMessage(&m);
}

int PRNTSRJP::SendStatusMessage(const unsigned char* next) {
    const unsigned char* was = status8_;
    const bool errorWas = ErrorCondition(was), errorNow = ErrorCondition(next);
    if (errorNow && !errorWas) {
        status_.reset(kWordOnline);
        PostStatus(kP1Condition);
        if (TestStatusBits(PDEV_ONLINE)) NowNotConfirmed();
    } else if (errorWas && !errorNow) {
        PostStatus(kP1Condition);
        SystemCommand(1);
    }
    if ((was[6] ^ next[6]) & 0x04) PostStatus(kP1Paper);
    if ((reported_ ^ status_.word()) & kWordDocument8) PostStatus(kP1Error);
    if (DocumentPresent(was) != DocumentPresent(next)) PostStatus(kP1Document);
    if ((was[1] ^ next[1]) & 0x10) {
        if (next[1] & 0x10) status_.set(kWordByte1Bit4);
        else status_.reset(kWordByte1Bit4);
        PostStatus(kP1Byte1Bit4);
    }
    if ((was[1] ^ next[1]) & 0x08) {
        if (next[1] & 0x08) status_.set(kWordByte1Bit3);
        else status_.reset(kWordByte1Bit3);
        PostStatus(kP1Byte1Bit3);
    }
    reported_ = status_.word();
    return 0;
}

void PRNTSRJP::AskResume(uint32_t p1) {
    status_.set(kWordResume);
    PRNTMSG m;
    m.msg = POSM_PRN_PRINTER_ERROR;
    m.p1 = p1;
    m.p2 = status_.word();
    RequestResume(&m);
}

int PRNTSRJP::RespondToCommandComplete() {
    PRNTCMD* outstanding = queue_->GetOutstanding();
    if (!outstanding) return 0;
    switch (outstanding->code) {
    case SRJ_GET_EC: return RespondToECLevelComplete();
    case SRJ_LOAD_UDC: return RespondToLoadUDCComplete();
    case SRJ_GET_STATUS:
        queue_->RespondToCommandComplete();
        queue_->RespondToCommandSuccess();
        break;
    default:
        queue_->RespondToCommandComplete();
        queue_->RespondToCommandSuccess();
        rejects_ = 0;
        break;
    }
    if (ErrorCondition(status8_)) AskResume(kP1Error);
    return 0;
}

int PRNTSRJP::RespondToErrorEndResponse() {
    PRNTCMD* outstanding = queue_->GetOutstanding();
    const bool statusRequest = outstanding && outstanding->code == SRJ_GET_STATUS;
    queue_->Retry();
    const unsigned char* s = status8_;
    if (ErrorCondition(s) && !statusRequest) {
        AskResume(kP1Error);
    } else if (s[0] & 0x10) {
        AskResume(DocumentPresent(s) ? kP1TakeOut : kP1Insert);
    } else if (s[0] & 0x20) {
        if (TestStatusBits(PDEV_ONLINE)) NowNotConfirmed();
        return RespondToUnrecoverableErrors();
    } else if (s[5] & 0x17) {
        Log(kLogErrorEnd, 0, 0, s, SRJ_STATUS_BYTES);
        AskResume(kP1Reject);
    }
    return 0;
}

int PRNTSRJP::RespondToUnrecoverableErrors() {
    queue_->Retry();
    AskResume(kP1Unrecoverable);
    const unsigned char* s = status8_;
    uint32_t reason = 0;
    if (s[4] & 0x02) reason = 1;
    else if (s[5] & 0x10) reason = 2;
    else if (s[5] & 0x04) reason = 3;
    else if (s[5] & 0x02) reason = 4;
    else if (s[5] & 0x01) reason = 5;
    if (reason) Log(kLogUnrecoverable, 306, reason, s, SRJ_STATUS_BYTES);
    return 0;
}

int PRNTSRJP::RespondToCommandReject() {
    queue_->Retry();
    if (!(status8_[4] & 0x80)) return 0;
    if (rejects_ == 0) {
        Log(kLogRejectFirst, 322, 0, status8_, SRJ_STATUS_BYTES);
        SystemCommand(1);
    } else if (rejects_ == 1) {
        Log(kLogRejectSecond, 322, 0, status8_, SRJ_STATUS_BYTES);
        AskResume(kP1Reject);
    }
    if (rejects_ < 2) ++rejects_;
    return 0;
}

int PRNTSRJP::PutIntoLimpState() {
    SetStatusBits(kLimp);
    if (!TestStatusBits(PDEV_ONLINE)) NowConfirmed();
    AskResume(kP1TakeOut);
    PRNTCMD* outstanding = queue_->GetOutstanding();
    if (outstanding && (outstanding->code == SRJ_RESET || outstanding->code == SRJ_GET_EC)) {
        queue_->RespondToAck();
        queue_->RespondToCommandComplete();
        queue_->RespondToCommandSuccess();
    } else {
        queue_->Retry();
    }
    return 0;
}

int PRNTSRJP::RespondToECLevelComplete() {
    const unsigned char* s = status8_;
    if (!(s[1] & 0x02)) {
        queue_->Retry();
        return 0;
    }
    ecLevel_[0] = s[2];
    deviceSubtype_ = (s[7] & 0x10) ? 2 : 1;
    const bool wide = s[7] & 0x01;
    crsjWidth_ = wide ? 30 : 25;
    diWidth_ = wide && deviceSubtype_ == 1 ? 70 : 58;
    queue_->RespondToCommandComplete();
    queue_->RespondToCommandSuccess();
    if (!TestStatusBits(PDEV_ONLINE)) NowConfirmed();
    status_.set(kWordOnline);
    int rc = LoadUDC(0);
    if (TestStatusBits(kResumeDeferred)) {
        ClearStatusBits(kResumeDeferred);
        const int r = CarryOut(resumeText_, false);
        if (rc == 0) rc = r;
    }
    if (TestStatusBits(kRetryDeferred)) {
        ClearStatusBits(kRetryDeferred);
        const int r = CarryOut(retryText_, true);
        if (rc == 0) rc = r;
    }
    return rc;
}

// ---------------------------------------------------------------------------------------
// User-defined characters.

int PRNTSRJP::LoadUDC(unsigned short block) {
    blocksSent_ = block;
    if (block >= SRJ_UDC_BLOCKS || block >= blocksStored_ || !udc_[block] || !queue_) return 0;
    PRNTCMDSRJ* command = new (std::nothrow) PRNTCMDSRJ;
    if (!command) {
        Log(kLogUdcNoMemory, 305, block);
        return 305;
    }
    const int rc = command->Set(SRJ_LOAD_UDC, nullptr, static_cast<unsigned char>(block), 0, SRJ_UDC_BLOCK,
                                udc_[block].get(), 0, 0);
    if (rc != 0) {
        Log(kLogUdcSet, static_cast<uint32_t>(rc), block);
        delete command;
        return rc;
    }
    queue_->StoreSystemCommand(command);
    if (!AwaitingAck() && adapter_) adapter_->RequestBuffer();
    return 0;
}

int PRNTSRJP::RespondToLoadUDCComplete() {
    queue_->RespondToCommandComplete();
    return LoadUDC(static_cast<unsigned short>(blocksSent_ + 1));
}

// ---------------------------------------------------------------------------------------
// Sending.

int PRNTSRJP::WaitIdle(int limit) {
    if (++idleCount_ > limit) {
        idleCount_ = 0;
        SystemCommand(7);
    }
    return -1;
}

int PRNTSRJP::SendAnyPendingMessage() {
    if (!queue_ || Limp() || AwaitingAck() || queue_->GetOutstanding()) return -1;
    int rc = 0;
    PRNTCMD* system = queue_->GetPendingSystemCommand(rc);
    if (system) {
        unsigned char copy[SRJ_HEADER + SRJ_UDC_BLOCK];
        const int n = std::min<int>(system->frameLength, sizeof copy);
        std::memcpy(copy, system->frame, static_cast<size_t>(n));
        if (n > 5 && system->code == SRJ_SYSTEM_29) copy[5] = static_cast<unsigned char>(status8_[7] | 0x80);
        if (n > 5 && system->code == SRJ_SYSTEM_30) copy[5] = static_cast<unsigned char>(status8_[7] & ~0x80);
        rc = SendMsg(copy, n);
        if (rc != 0) {
            if (!Paced(rc)) Log(kLogSystemSendError, static_cast<uint32_t>(rc), system->code, system, sizeof(PRNTCMD));
            queue_->Retry();
            return rc;
        }
        SetStatusBits(PRNTP_AWAITING_ACK);
        if (system->code == SRJ_RESET) SetStatusBits(PRNTP_RESET_EXPECTED);
        return 0;
    }
    const unsigned char* s = status8_;
    if (!(s[7] & 0x80) || (s[7] & 0x02) || (s[4] & 0x20) || (s[0] & 0x40)) return WaitIdle(kBusyLimit);
    if (ErrorCondition(s)) return WaitIdle(kErrorLimit);
    if (ResumeRequested() || !TestStatusBits(PDEV_ONLINE)) return -1;
    PRNTCMD* command = GetNextCommand();
    if (!command) return -1;
    rc = SendMsg(command->frame, command->frameLength);
    if (rc != 0) {
        if (!Paced(rc)) Log(kLogSendError, static_cast<uint32_t>(rc), command->code, command, sizeof(PRNTCMD));
        queue_->Retry();
        return rc;
    }
    SetStatusBits(PRNTP_AWAITING_ACK);
    return 0;
}

PRNTCMD* PRNTSRJP::Take(PRNTCMD* command) {
    int rc = 0;
    PRNTCMD* taken = queue_->GetPendingCommand(command->station, rc);
    if (taken) {
        workingCode_ = taken->code;
        idleCount_ = 0;
    }
    return taken;
}

void PRNTSRJP::Settle(unsigned short station) {
    int rc = 0;
    if (!queue_->GetPendingCommand(station, rc)) return;
    queue_->RespondToAck();
    queue_->RespondToCommandComplete();
    queue_->RespondToCommandSuccess();
}

// The document rule with exclusive DI off.
PRNTCMD* PRNTSRJP::DocumentRule(PRNTCMD* di, bool& again) {
    const bool sensed = status8_[6] & 0xC0, registered = status8_[7] & 0x40;
    if (di->code == SRJ_REGISTER_DOC && registered) {
        Settle(PRN_STATION_DI);
        again = true;
        return nullptr;
    }
    if (sensed || di->code == SRJ_REGISTER_DOC) return di;
    if (di->code == SRJ_RELEASE_DOC) {
        Settle(PRN_STATION_DI);
        again = true;
        return nullptr;
    }
    AskResume(kP1Insert);
    return nullptr;
}

PRNTCMD* PRNTSRJP::GetNextCommand() {
    int rc = 0;
    PRNTCMD* chosen = nullptr;
    for (int round = 0; round < kSettleRounds; ++round) {
        bool again = false;
        PRNTCMD* cr = queue_->QueryPendingCommand(PRN_STATION_CR, rc);
        PRNTCMD* sj = holdJournal_ ? nullptr : queue_->QueryPendingCommand(PRN_STATION_SJ, rc);
        PRNTCMD* di = queue_->QueryPendingCommand(PRN_STATION_DI, rc);
        const bool sensed = status8_[6] & 0xC0, registered = status8_[7] & 0x40;
        if (!exclusiveDI_) {
            PRNTCMD* candidate = cr;
            if (sj && (!cr || !older(cr, sj))) candidate = sj;
            if (candidate && !(di && older(di, candidate))) chosen = candidate;
            else if (di) chosen = DocumentRule(di, again);
        } else if (sensed) {
            if (diPrinting_ && di) {
                if (di->code == SRJ_REGISTER_DOC && registered) {
                    Settle(PRN_STATION_DI);
                    again = true;
                } else {
                    chosen = di;
                }
            } else if (!diPrinting_ && (cr || sj)) {
                AskResume(kP1TakeOut);
            }
        } else if (diPrinting_) {
            if (di && di->code == SRJ_REGISTER_DOC) {
                if (registered) {
                    Settle(PRN_STATION_DI);
                    again = true;
                } else {
                    chosen = di;
                }
            } else if (di) {
                AskResume(di->code == SRJ_RELEASE_DOC ? kP1Release : kP1Insert);
            }
        } else if (registered) {
            AskResume(kP1Insert);
        } else {
            chosen = cr;
            if (sj && (!cr || older(sj, cr))) chosen = sj;
        }
        if (!again) break;
    }
    if (chosen) return Take(chosen);
    if (++idleCount_ > kIdleLimit) {
        idleCount_ = 0;
        if (SystemCommand(7) == 0) return queue_->GetPendingSystemCommand(rc);
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------
// System commands.

int PRNTSRJP::SystemCommandSet(unsigned short code) {
    if (!queue_) return 321;
    PRNTCMDSRJ* command = new (std::nothrow) PRNTCMDSRJ;
    if (!command) {
        Log(kLogSystemNoMemory, 305, code);
        return 305;
    }
    const int rc = command->Set(code, nullptr, 0, 0, 0, nullptr, 0, 0);
    if (rc != 0) {
        Log(kLogSystemSet, static_cast<uint32_t>(rc), code);
        delete command;
        return rc;
    }
    queue_->StoreSystemCommand(command);
    // Offline the link's idle cycle sends it; no send turn to ask for then.
    if (!AwaitingAck() && adapter_) adapter_->RequestBuffer();
    return 0;
}

int PRNTSRJP::SystemCommand(unsigned short code) {
    int rc = 0;
    switch (code) {
    case 1:
        rc = SystemCommandSet(SRJ_RESET);
        if (rc == 0) {
            SetStatusBits(PRNTP_RESET_EXPECTED);
            ClearStatusBits(kLimp);
        }
        return rc;
    case 2:
        if (queue_) queue_->FlushSystemCommands();
        return SystemCommandSet(SRJ_GET_EC);
    case 3:
        if (TestStatusBits(kSystem3Queued)) return 0;
        rc = SystemCommandSet(SRJ_SYSTEM_3);
        if (rc == 0) SetStatusBits(kSystem3Queued);
        return rc;
    case 7: return SystemCommandSet(SRJ_GET_STATUS);
    case 10: return SystemCommandSet(SRJ_REGISTER_DOC);
    case 11: return SystemCommandSet(SRJ_SYSTEM_11);
    case 29: return SystemCommandSet(SRJ_SYSTEM_29);
    case 30: return SystemCommandSet(SRJ_SYSTEM_30);
    default:
        Log(kLogSwitchDefault, 321, code);
        return 321;
    }
}

int PRNTSRJP::ClearPORResetInProgress() {
    PRNTCMD* outstanding = queue_ ? queue_->GetOutstanding() : nullptr;
    if (outstanding && outstanding->code == SRJ_RESET) {
        queue_->RespondToAck();
        queue_->RespondToCommandComplete();
        queue_->RespondToCommandSuccess();
    }
    return 0;
}

// A one-line feed of station (the dual command feeds both).
int PRNTSRJP::FeedPaper() {
    static const unsigned short kFeed[4] = {SRJ_FEED_CR, SRJ_FEED_SJ, SRJ_FEED_DI, SRJ_FEED_CR_SJ};
    const unsigned short which = workingCode_ == SRJ_PRINT_CR_SJ ? 3 : std::min<unsigned short>(
        workingCode_ >= SRJ_PRINT_CR ? workingCode_ - SRJ_PRINT_CR : 0, 2);
    PRNTCMDSRJ* feed = new (std::nothrow) PRNTCMDSRJ;
    if (!feed) {
        Log(kLogFeedNoMemory, 305, which);
        return 305;
    }
    int rc = feed->Set(kFeed[which], nullptr, 1, 0, 0, nullptr, 0, 0);
    if (rc == 0) rc = queue_->StoreCommand(feed, 1);
    if (rc != 0) {
        Log(kLogFeedSet, static_cast<uint32_t>(rc), which);
        delete feed;
    }
    return rc;
}

// ---------------------------------------------------------------------------------------
// Resume and retry.

int PRNTSRJP::ResumePrinting(const unsigned char* text) { return ResumeOrRetry(text, false); }
int PRNTSRJP::RetryPrinting(const unsigned char* text) { return ResumeOrRetry(text, true); }

int PRNTSRJP::ResumeOrRetry(const unsigned char* text, bool retry) {
    if (!ResumeRequested()) return 0;
    status_.reset(kWordResume);
    if (!TestStatusBits(PDEV_ONLINE) || Limp()) {
        unsigned char* kept = retry ? retryText_ : resumeText_;
        std::memset(kept, 0, SRJ_TEXT);
        if (text) std::memcpy(kept, text, strnlen(reinterpret_cast<const char*>(text), SRJ_TEXT - 1));
        ClearStatusBits(PRNTP_RESUME_REQUESTED);
        SetStatusBits(retry ? kRetryDeferred : kResumeDeferred);
        SystemCommand(1);
        return 317;
    }
    return CarryOut(text, retry);
}

int PRNTSRJP::CarryOut(const unsigned char* text, bool retry) {
    queue_->Retry();
    int rc = 0;
    const size_t n = text ? strnlen(reinterpret_cast<const char*>(text), SRJ_TEXT - 1) : 0;
    const bool print = workingCode_ >= SRJ_PRINT_CR && workingCode_ <= SRJ_PRINT_CR_SJ;
    if (n > 0 && print) {
        const unsigned short width = workingCode_ == SRJ_PRINT_DI ? diWidth_ : crsjWidth_;
        unsigned char line[2 * 128];
        const unsigned short w = std::min<unsigned short>(width, 128);
        std::memset(line, ' ', sizeof line);
        std::memcpy(line, text, std::min<size_t>(n, w));
        unsigned short length = w;
        if (workingCode_ == SRJ_PRINT_CR_SJ) {
            std::memcpy(line + w, line, w);
            length = static_cast<unsigned short>(2 * w);
        }
        // The feed goes in first: both go to the head, the line before its feed.
        rc = FeedPaper();
        PRNTCMDSRJ* command = rc == 0 ? new (std::nothrow) PRNTCMDSRJ : nullptr;
        if (rc == 0 && !command) {
            Log(kLogResumeNoMemory, 305, retry);
            rc = 305;
        }
        if (command) {
            rc = command->Set(workingCode_, nullptr, 0, 0, length, line, 0, 0);
            if (rc == 0) rc = queue_->StoreCommand(command, 1);
            if (rc != 0) {
                Log(kLogResumeSet, static_cast<uint32_t>(rc), retry);
                delete command;
            }
        }
    }
    if (!retry)
        for (unsigned short s = 0; s < 3; ++s) queue_->RespondToResumePrinting(s);
    ClearStatusBits(PRNTP_RESUME_REQUESTED);
    const int turn = TellDeviceDataWaiting();
    return rc != 0 ? rc : turn;
}

// ---------------------------------------------------------------------------------------

PDEV* _CreatePRNTSRJP(const DeviceID& id) { return new (std::nothrow) PRNTSRJP(id); }

namespace {
const unsigned char kAddresses[] = {0x37};
} // namespace

ObjectSupport objectPRNTSRJP(PRNTSRJP_TYPE_ID, _CreatePRNTSRJP, kAddresses, 1);
