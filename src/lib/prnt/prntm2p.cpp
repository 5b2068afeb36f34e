// The M2 physical printer: status parsing, error responses, the choice of the next command,
// system commands, resume and retry.
#include <algorithm>
#include <cstring>
#include <new>

#include "ADAPTER.h"
#include "ObjectSupport.h"
#include "PRNTM2.h"
#include "ovkhost.h"
#include "sylocks.h"

namespace {

const char kTag[] = "@(#)prntm2p.cpp 1.1";

enum : uint32_t {
    kLogNoMemory = 19701,
    kLogAckError = 19702,
    kLogInvalidData = 19703,
    kLogJournalError = 19707,
    kLogDIError = 19708,
    kLogRejectCoverOpen = 19710,
    kLogRejectUnknown = 19711,
    kLogReject = 19712,
    kLogHomeError = 19714,
    kLogSendError1 = 19717,
    kLogSendError2 = 19718,
    kLogSwitchDefault = 19725,
    kLogResumeNoMemory = 19733,
    kLogResumeSet = 19734,
    kLogRetryNoMemory = 19736,
    kLogRetrySet = 19737,
    kLogPaperCountZero = 19739,
    kLogPaperAgain = 19740,
};

// First parameters of the printer error and status change events.
enum : uint32_t {
    kP1Cover = 0x10000,
    kP1Home = 0x20000,
    kP1Reject = 0x20000,
    kP1Throat6 = 0x20000,
    kP1Journal = 0x40000,
    kP1Throat5 = 0x40000,
    kP1CoverChange = 0x80000,
    kP1Station = 0x80000,
    kP1Document = 0x100000,
    kP1Register = 0x200000,
    kP1ReceiptPaper = 0x1000000,
};

enum : uint32_t { kWordResume = 0x100 };
enum { kIdleLimit = 400, kResetRetries = 1 };

constexpr unsigned char kHomeBits = 0x3C; // byte 0 bits 2-5

bool older(const PRNTCMD* a, const PRNTCMD* b) {
    return static_cast<int32_t>(a->sequenceNumber - b->sequenceNumber) < 0;
}

} // namespace

int32_t PRNTM2P::lastSendTime_ = 0;

PRNTM2P::PRNTM2P(const DeviceID& id) : PRNTP(id, "PRNTM2P") {
    vdevType_ = PRNTM2V_TYPE_ID;
    addressWaitTime_ = 192;
    byteWaitTime_ = 0;
    stations_ = 3;
    queue_ = new (std::nothrow) OMSGQUEUE(id, this, 1, 3);
    if (!queue_) clErrorLog(kLogNoMemory, 305, 0, kTag, this, sizeof(PRNTM2P));
    SetStatusBits(PRNTP_RESET_EXPECTED);
}

PRNTM2P::~PRNTM2P() {
    DiscardData();
    delete queue_;
    queue_ = nullptr;
}

// ---------------------------------------------------------------------------------------
// Requests.

int PRNTM2P::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    if (request == 7) return 0;
    if (request == PRN_TP_RESUME || request == PRN_TP_RETRY) {
        DeviceLock lock(this);
        if (!data || length < 0) return 321;
        // A rendered line of glyphs: zero bytes are part of it.
        unsigned char text[M2_LINE_BYTES] = {};
        std::memcpy(text, data, std::min(length, static_cast<int>(M2_LINE_BYTES)));
        return request == PRN_TP_RESUME ? ResumePrinting(text) : RetryPrinting(text);
    }
    return PRNTP::TellPhys(sender, request, data, length);
}

int PRNTM2P::CopyPrinterStatus(unsigned char* buffer) {
    std::memset(buffer, 0, 16);
    std::memcpy(buffer, statusBlock_, sizeof statusBlock_);
    return 0;
}

// ---------------------------------------------------------------------------------------
// Answers of the printer.

int PRNTM2P::NewMsgRcvd(const unsigned char* data, int n) {
    ClearStatusBits(PRNTP_AWAITING_ACK);
    if (!queue_ || !data || n < 2) {
        clErrorLog(kLogInvalidData, 320, static_cast<uint32_t>(n), kTag, this, sizeof(PRNTM2P),
                   data, static_cast<uint16_t>(data && n > 0 ? std::min(n, 64) : 0));
        int rc = SendAck();
        if (rc != 0) clErrorLog(kLogAckError, static_cast<uint32_t>(rc), 0, kTag, this, sizeof(PRNTM2P));
        return 320;
    }
    // The first 4 bytes; bytes the printer did not send count as 0.
    unsigned char next[4] = {};
    std::memcpy(next, data, std::min(n, 4));
    SetPrinterStatus(next);
    SendStatusMessage(next);
    std::memcpy(statusBlock_, next, sizeof next);
    const unsigned char b0 = next[0], b1 = next[1];
    // The error responses retry the queue: whether a command was out is known now.
    const bool wasOutstanding = commandOutstanding_;

    bool handled = false;
    if (b1 & 0x02) {
        RespondToJournalError();
        handled = true;
    }
    if (b1 & 0x80) {
        RespondToCashReceiptPaperError();
        handled = true;
    } else if (receiptPaperErrors_ != 0) {
        receiptPaperErrors_ = 0;
        ConditionGone();
    }
    if (b0 & kHomeBits) {
        RespondToHomeError();
        handled = true;
    }
    if ((b1 & 0x10) && wasOutstanding) {
        RespondToCommandReject();
        handled = true;
    }

    if (b0 & 0x01) {
        commandOutstanding_ = false;
        if (wasOutstanding && !(b1 & 0x10)) CommandAccepted();
        if ((b0 & 0x40) && wasOutstanding && !handled) {
            RespondToDIError();
            handled = true;
        }
        if ((b1 & 0x60) && wasOutstanding && lastCode_ == M2_LINE_DI && !handled) {
            SystemCommand(3);
            RespondToDIError();
            handled = true;
        }
        if (!handled && wasOutstanding) {
            switch (lastCode_) {
            case M2_OPEN_THROAT:
                queue_->RespondToCommandComplete();
                SystemCommand(25);
                break;
            case M2_CLOSE_THROAT:
                queue_->RespondToCommandComplete();
                break;
            case M2_GET_EC:
                RespondToECLevelComplete();
                break;
            default:
                ecPending_ = false;
                if (throat_) {
                    throat_ = false;
                    if (b1 & 0x20) SystemCommand(25);
                }
                queue_->RespondToCommandComplete();
                lastCompleted_ = true;
                if (b0 & 0x02) {
                    queue_->RespondToCommandSuccess();
                    homePending_ = false;
                }
                break;
            }
        } else if (handled && wasOutstanding && lastCode_ == M2_GET_EC) {
            queue_->FlushSystemCommands();
        }
    } else if (b0 & 0x80) {
        if (wasOutstanding && !handled) {
            commandOutstanding_ = false;
            RespondToCommandReject();
        }
    } else {
        commandRejects_ = 0;
    }

    if (SendAnyPendingMessage() == -1) {
        int rc = SendAck();
        if (rc != 0) clErrorLog(kLogAckError, static_cast<uint32_t>(rc), 0, kTag, this, sizeof(PRNTM2P));
        return rc;
    }
    return 0;
}

int PRNTM2P::SetPrinterStatus(const unsigned char* block) {
    auto put = [this](uint32_t bit, bool on) {
        if (on) status_.set(bit);
        else status_.reset(bit);
    };
    put(0x1, block[1] & 0x10);
    put(0x2, block[0] & kHomeBits);
    put(0x4, block[1] & 0x80);
    put(0x8, !(block[1] & 0x40));
    put(0x20, !(block[1] & 0x20));
    put(0x80, !(block[1] & 0x20));
    put(0x40, block[0] & 0x02);
    put(0x200, block[0] & 0x40);
    put(kWordResume, ResumeRequested());
    return 0;
}

int PRNTM2P::SendStatusMessage(const unsigned char* next) {
    const unsigned char was = statusBlock_[1], now = next[1];
    auto post = [this](uint32_t p1) {
        PRNTMSG m;
        m.msg = POSM_PRN_STATUS_CHANGE;
        m.p1 = p1;
        m.p2 = status_.word();
        SendPrinterMessage(&m);
    };
    if ((was ^ now) & 0x10) {
        if (now & 0x10) {
            throat_ = !(now & 0x40);
            status_.set(0x1);
            post(kP1CoverChange);
            Unconfirm();
        } else {
            post(kP1CoverChange);
            ConditionGone();
        }
    }
    if ((was ^ now) & 0x40) post(kP1Throat6);
    if (((was ^ now) & 0x20) && TestStatusBits(PDEV_ONLINE) && onlineConfirmed_ && !ecPending_)
        post(kP1Throat5);
    return 0;
}

void PRNTM2P::Unconfirm() {
    onlineConfirmed_ = false;
    if (TestStatusBits(PDEV_ONLINE)) NowNotConfirmed();
}

// Once the condition is gone the EC level is asked for, and its answer confirms the printer
// online as after a power-on. A reset under way confirms it anyway, and a resume told to a
// holder is the holder's to give (it resets the printer). A resume that nobody holding the
// printer can give (nobody held it, or its holder left) is given now, so that the printer
// can be opened again.
void PRNTM2P::ConditionGone() {
    if (onlineConfirmed_ || resetInProgress_) return;
    if (!ResumeRequested()) SystemCommand(2);
    else ResumeForNobody();
}

bool PRNTM2P::HoldsWork() const {
    return !onlineConfirmed_ || (statusBlock_[1] & 0x92) || (statusBlock_[0] & kHomeBits);
}

void PRNTM2P::AskResume(uint32_t p1) {
    status_.set(kWordResume);
    PRNTMSG m;
    m.msg = POSM_PRN_PRINTER_ERROR;
    m.p1 = p1;
    m.p2 = status_.word();
    RequestResume(&m);
}

void PRNTM2P::RetryQueue() {
    queue_->Retry();
    commandOutstanding_ = false;
}

int PRNTM2P::RespondToJournalError() {
    RetryQueue();
    clErrorLog(kLogJournalError, 0, 0, kTag, this, sizeof(PRNTM2P), statusBlock_, 4);
    AskResume(kP1Journal);
    Unconfirm();
    return 0;
}

int PRNTM2P::RespondToHomeError() {
    RetryQueue();
    clErrorLog(kLogHomeError, 0, 0, kTag, this, sizeof(PRNTM2P), statusBlock_, 4);
    AskResume(kP1Home);
    Unconfirm();
    return 0;
}

int PRNTM2P::RespondToCashReceiptPaperError() {
    RetryQueue();
    if (receiptPaperErrors_ == 0) {
        clErrorLog(kLogPaperCountZero, 0, 0, kTag, this, sizeof(PRNTM2P), statusBlock_, 4);
        SystemCommand(1);
    } else if (receiptPaperErrors_ == 1) {
        clErrorLog(kLogPaperAgain, 0, 0, kTag, this, sizeof(PRNTM2P), statusBlock_, 4);
        AskResume(kP1ReceiptPaper);
        Unconfirm();
    }
    if (receiptPaperErrors_ < 2) ++receiptPaperErrors_;
    return 0;
}

int PRNTM2P::RespondToCommandReject() {
    // The rejected command stays pending and goes again, paced while the rejects go on.
    CommandRejected();
    RetryQueue();
    if (statusBlock_[1] & 0x10) {
        clErrorLog(kLogRejectCoverOpen, 0, 0, kTag, this, sizeof(PRNTM2P), statusBlock_, 4);
        AskResume(kP1Cover);
        Unconfirm();
    } else if (!(statusBlock_[0] & kHomeBits)) {
        if (commandRejects_ == 0) {
            clErrorLog(kLogRejectUnknown, 0, 0, kTag, this, sizeof(PRNTM2P), statusBlock_, 4);
            SystemCommand(1);
        } else {
            clErrorLog(kLogReject, 0, 0, kTag, this, sizeof(PRNTM2P), statusBlock_, 4);
            AskResume(kP1Reject);
        }
        if (commandRejects_ < 2) ++commandRejects_;
    }
    return 0;
}

int PRNTM2P::RespondToDIError() {
    RetryQueue();
    clErrorLog(kLogDIError, 512, lastCode_, kTag, this, sizeof(PRNTM2P), statusBlock_, 4);
    AskResume(lastStation_ == PRN_STATION_DI ? kP1Document : kP1Station);
    return 512;
}

int PRNTM2P::RespondToECLevelComplete() {
    if (!(statusBlock_[1] & 0x08)) {
        RetryQueue();
        return 0;
    }
    ecLevel_ = statusBlock_[2];
    queue_->RespondToCommandComplete();
    onlineConfirmed_ = true;
    if (!TestStatusBits(PDEV_ONLINE)) NowConfirmed();
    if (ecLevel_ > 23 || (statusBlock_[1] & 0x20)) {
        throat_ = false;
        if (statusBlock_[1] & 0x20) SystemCommand(25);
    } else {
        ecPending_ = true;
        SystemCommand(24);
    }
    int rc = 0;
    if (resumeDue_) {
        resumeDue_ = false;
        rc = CarryOutResume(resumeText_, false);
    }
    if (retryDue_) {
        retryDue_ = false;
        const int r = CarryOutResume(retryText_, true);
        if (rc == 0) rc = r;
    }
    return rc;
}

// ---------------------------------------------------------------------------------------
// Sending.

int PRNTM2P::SendAnyPendingMessage() {
    if (!queue_ || AwaitingAck() || commandOutstanding_ || (statusBlock_[1] & 0x04)) return -1;
    int rc = 0;
    PRNTCMD* command = nullptr;
    bool system = false;
    if (!queue_->GetOutstandingSystemCommand()) command = queue_->GetPendingSystemCommand(rc);
    const bool fromSystemList = command != nullptr;
    if (command) {
        system = true;
        lastSendTime_ = chTime();
    } else {
        if (queue_->GetOutstandingSystemCommand() || ResumeRequested() || !TestStatusBits(PDEV_ONLINE))
            return -1;
        command = GetNextCommand();
        if (command && command->code < M2_ROWS &&
            PRNTCMDM2::arCMDTABLE[command->code].classBits & M2_CLASS_SYSTEM)
            system = true;
    }
    if (!command) return -1;
    rc = SendMsg(command->frame, command->frameLength);
    if (rc != 0) {
        if (!Paced(rc))
            clErrorLog(system ? kLogSendError1 : kLogSendError2, static_cast<uint32_t>(rc), command->code,
                       kTag, this, sizeof(PRNTM2P), command, sizeof(PRNTCMD));
        RetryQueue();
        return rc;
    }
    if (fromSystemList && command->code == M2_RESET) resetInProgress_ = true;
    SetStatusBits(PRNTP_AWAITING_ACK);
    // A reset is outstanding too: the printer's request online ends it, and a reject of it
    // is a reject like any other (else the reset stays the queue's outstanding system
    // command and nothing is sent again).
    commandOutstanding_ = true;
    lastCode_ = command->code;
    lastClass_ = command->classFlags;
    lastStation_ = command->station;
    lastCompleted_ = false;
    return 0;
}

PRNTCMD* PRNTM2P::Hold(uint32_t p1) {
    AskResume(p1);
    return nullptr;
}

// Takes the command at the head of station's list and completes it without sending it.
void PRNTM2P::CompleteUnsent(unsigned short station) {
    int rc = 0;
    if (!queue_->GetPendingCommand(station, rc)) return;
    queue_->RespondToAck();
    queue_->RespondToCommandComplete();
    queue_->RespondToCommandSuccess();
}

PRNTCMD* PRNTM2P::ChooseDocument(PRNTCMD* doc, bool& again) {
    const bool thrown = statusBlock_[1] & 0x20;
    if (thrown) {
        if (doc->code == M2_RELEASE_DOC) {
            CompleteUnsent(PRN_STATION_DI);
            again = true;
            return nullptr;
        }
        if (doc->code == M2_REGISTER_DOC) return doc;
        return Hold(kP1Document);
    }
    if (doc->code == M2_REGISTER_DOC) {
        CompleteUnsent(PRN_STATION_DI);
        again = true;
        return nullptr;
    }
    return doc;
}

PRNTCMD* PRNTM2P::GetNextCommand() {
    int rc = 0;
    PRNTCMD* chosen = nullptr;
    bool blockedCR = false, blockedSJ = false;
    for (int round = 0; round < 16; ++round) {
        bool again = false;
        PRNTCMD* cr = queue_->QueryPendingCommand(PRN_STATION_CR, rc);
        PRNTCMD* sj = holdJournal_ ? nullptr : queue_->QueryPendingCommand(PRN_STATION_SJ, rc);
        PRNTCMD* doc = queue_->QueryPendingCommand(PRN_STATION_DI, rc);
        const bool bit6 = statusBlock_[1] & 0x40;
        if (!exclusiveDI_) {
            PRNTCMD* candidate = cr;
            if (sj && (!cr || !older(cr, sj))) candidate = sj;
            if (doc && (!candidate || older(doc, candidate)))
                chosen = ChooseDocument(doc, again);
            else
                chosen = candidate;
        } else if (!bit6) {
            if (diPrinting_) {
                if (doc) chosen = ChooseDocument(doc, again);
            } else if (cr || sj) {
                blockedCR = cr != nullptr;
                blockedSJ = sj != nullptr;
                chosen = Hold(kP1Station);
            }
        } else if (diPrinting_) {
            if (doc) {
                if (doc->code == M2_RELEASE_DOC) chosen = doc;
                else chosen = Hold(doc->code == M2_REGISTER_DOC ? kP1Register : kP1Document);
            }
        } else if (interleaved_) {
            chosen = cr;
            if (sj && (!cr || older(sj, cr))) chosen = sj;
        } else {
            // The stations alternate after a success; an unfinished one comes first again.
            const bool succeeded = statusBlock_[0] & 0x02;
            unsigned short first = lastStation_ == PRN_STATION_SJ ? PRN_STATION_SJ : PRN_STATION_CR;
            if (succeeded) first = first == PRN_STATION_SJ ? PRN_STATION_CR : PRN_STATION_SJ;
            PRNTCMD* a = first == PRN_STATION_CR ? cr : sj;
            PRNTCMD* b = first == PRN_STATION_CR ? sj : cr;
            chosen = a ? a : b;
        }
        if (!again) break;
    }
    if (chosen) {
        const unsigned short station = chosen->station;
        PRNTCMD* taken = queue_->GetPendingCommand(station, rc);
        idleCount_ = 0;
        return taken;
    }
    // Nothing chosen. Receipt or journal commands that nothing blocks call for a home move.
    QueueState state{};
    queue_->Query(&state);
    const bool waiting = (state.pending[PRN_STATION_CR] && !blockedCR) ||
                         (state.pending[PRN_STATION_SJ] && !blockedSJ && !holdJournal_);
    if (waiting && !ResumeRequested() && state.sent == 0 && !homePending_) {
        idleCount_ = 0;
        SystemCommand(3);
        return queue_->GetPendingSystemCommand(rc);
    }
    if (idleCount_ > kIdleLimit && !homePending_ && state.sent == 0 && !(statusBlock_[1] & 0x14)) {
        idleCount_ = 0;
        SystemCommand(7);
        return queue_->GetPendingSystemCommand(rc);
    }
    ++idleCount_;
    return nullptr;
}

// ---------------------------------------------------------------------------------------
// System commands, resume and retry.

int PRNTM2P::SystemCommand(unsigned short code) {
    static const struct {
        unsigned short code, row;
        uint32_t noMemory, setFailed;
    } kTable[] = {
        {1, M2_RESET, 19719, 19720},       {2, M2_GET_EC, 19721, 19722},
        {3, M2_HOME, 19723, 19724},        {7, M2_GET_STATUS, 19727, 19728},
        {24, M2_OPEN_THROAT, 19729, 19730}, {25, M2_CLOSE_THROAT, 19731, 19732},
    };
    const auto* entry = std::find_if(std::begin(kTable), std::end(kTable),
                                     [code](const auto& e) { return e.code == code; });
    if (entry == std::end(kTable)) {
        clErrorLog(kLogSwitchDefault, 321, code, kTag, this, sizeof(PRNTM2P));
        return 321;
    }
    if (!queue_) return 321;
    if (code == 3 && homePending_) return 0;
    if (code == 2) queue_->FlushSystemCommands();
    PRNTCMDM2* command = new (std::nothrow) PRNTCMDM2;
    if (!command) {
        clErrorLog(entry->noMemory, 305, code, kTag, this, sizeof(PRNTM2P));
        return 305;
    }
    int rc = command->Set(entry->row, nullptr, 0, 0, 0, nullptr, 0, 0);
    if (rc != 0) {
        clErrorLog(entry->setFailed, static_cast<uint32_t>(rc), code, kTag, this, sizeof(PRNTM2P));
        delete command;
        return rc;
    }
    if (code == 1) {
        resetInProgress_ = true;
        SetStatusBits(PRNTP_RESET_EXPECTED);
    }
    if (code == 3) homePending_ = true;
    if (code == 24) throat_ = true;
    queue_->StoreSystemCommand(command);
    // Offline the link's idle cycle sends it; no send turn to ask for then.
    if (!AwaitingAck() && adapter_) adapter_->RequestBuffer();
    return 0;
}

int PRNTM2P::ClearPORResetInProgress() {
    resetInProgress_ = false;
    PRNTCMD* outstanding = queue_ ? queue_->GetOutstandingSystemCommand() : nullptr;
    if (outstanding && outstanding->code == M2_RESET) queue_->FlushSystemCommands();
    return 0;
}

int PRNTM2P::CommandResetInProgress() {
    commandOutstanding_ = false;
    return PRNTP::CommandResetInProgress();
}

int PRNTM2P::LastMsgLost(const unsigned char* data, int n) {
    commandOutstanding_ = false;
    return PRNTP::LastMsgLost(data, n);
}

int PRNTM2P::PowerOnResetInProgress() {
    commandOutstanding_ = false;
    onlineConfirmed_ = false;
    return PRNTP::PowerOnResetInProgress();
}

int PRNTM2P::SequenceResetInProgress(const unsigned char* data, int n) {
    commandOutstanding_ = false;
    return PRNTP::SequenceResetInProgress(data, n);
}

int PRNTM2P::ResumePrinting(const unsigned char* text) { return ResumeOrRetry(text, false); }
int PRNTM2P::RetryPrinting(const unsigned char* text) { return ResumeOrRetry(text, true); }

int PRNTM2P::ResumeOrRetry(const unsigned char* text, bool retry) {
    if (!ResumeRequested() && !(status_.word() & kWordResume)) return 0;
    status_.reset(kWordResume);
    if (retry) RetryQueue();
    if (!onlineConfirmed_ || !TestStatusBits(PDEV_ONLINE)) {
        std::memcpy(retry ? retryText_ : resumeText_, text, M2_LINE_BYTES);
        (retry ? retryDue_ : resumeDue_) = true;
        ClearStatusBits(PRNTP_RESUME_REQUESTED);
        SystemCommand(1);
        return 317;
    }
    return CarryOutResume(text, retry);
}

int PRNTM2P::CarryOutResume(const unsigned char* text, bool retry) {
    int rc = 0;
    if (!lastCompleted_ && (lastClass_ & M2_CLASS_PRINT) && lastStation_ <= PRN_STATION_DI) {
        static const unsigned short kRows[3] = {M2_LINE_CR, M2_LINE_SJ, M2_LINE_DI};
        PRNTCMDM2* line = new (std::nothrow) PRNTCMDM2;
        if (!line) {
            clErrorLog(retry ? kLogRetryNoMemory : kLogResumeNoMemory, 305, 0, kTag, this, sizeof(PRNTM2P));
            rc = 305;
        } else if ((rc = line->Set(kRows[lastStation_], nullptr, 1, 3, M2_LINE_BYTES, text, 0, 0)) != 0) {
            clErrorLog(retry ? kLogRetrySet : kLogResumeSet, static_cast<uint32_t>(rc), 0, kTag, this,
                       sizeof(PRNTM2P));
            delete line;
        } else if ((rc = queue_->StoreCommand(line, 1)) != 0) {
            delete line;
        }
        lastCompleted_ = true;
    }
    if (!retry)
        for (unsigned short s = 0; s < 3; ++s) queue_->RespondToResumePrinting(s);
    if (rc != 0) return rc;
    ClearStatusBits(PRNTP_RESUME_REQUESTED);
    return TellDeviceDataWaiting();
}

// ---------------------------------------------------------------------------------------

PDEV* _CreatePRNTM2P(const DeviceID& id) { return new (std::nothrow) PRNTM2P(id); }

namespace {
const unsigned char kAddresses[] = {0x30};
} // namespace

ObjectSupport objectPRNTM2P(PRNTM2P_TYPE_ID, _CreatePRNTM2P, kAddresses, 1);
