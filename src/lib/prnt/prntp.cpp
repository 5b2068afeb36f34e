// The physical printer base: the queue's printer, link handlers, settings and TellPhys.
#include "PRNTP.h"

#include <cstring>
#include <string>

#include "ADAPTER.h"
#include "VDEV.h"
#include "ovkhost.h"
#include "sylocks.h"

namespace {

const char kTag[] = "@(#)prntp.cpp 1.1";

// Log ids of the physical printer.
enum : uint32_t {
    kLogAckFailed = 19003,
    kLogRequestBuffer = 19004,
    kLogNotAChase = 19007,
    kLogHeadParked = 19015,
    kLogInterleaved = 19017,
};

// The link's marker for a frame and an acknowledgement that crossed on the line.
const char kPassingInTheNight[] = "PassingInTheNight";

bool passing(const unsigned char* data, int n) {
    const int len = static_cast<int>(sizeof kPassingInTheNight - 1);
    return data && n >= len && std::memcmp(data, kPassingInTheNight, len) == 0;
}

void put32(unsigned char* data, uint32_t value) {
    for (int i = 0; i < 4; ++i) data[i] = static_cast<unsigned char>(value >> (8 * i));
}

unsigned short get16(const unsigned char* data) {
    unsigned short v;
    std::memcpy(&v, data, sizeof v);
    return v;
}

} // namespace

PRNTP::PRNTP(const DeviceID& id, const unsigned char* name) : SIODEVICE(id, name) {
    ackWaitTime_ = 1000;
    deviceType_ = PRN_DEVICE_TYPE;
}

PRNTP::~PRNTP() = default;

void PRNTP::Log(uint32_t logId, uint32_t rc, uint32_t extra, const void* data, int length) const {
    clErrorLog(logId, rc, extra, kTag, this, static_cast<uint16_t>(sizeof(PRNTP)), data,
               data ? static_cast<uint16_t>(length > 0xFFFF ? 0xFFFF : (length < 0 ? 0 : length)) : 0);
}

// ---------------------------------------------------------------------------------------
// Requests.

int PRNTP::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    DeviceLock lock(this);
    auto needs = [&](int size) { return data && length >= size; };
    switch (request) {
    case PRN_TP_HOLD_JOURNAL:
        return needs(2) ? HoldJournalData(get16(data)) : 321;
    case PRN_TP_PUT_QUEUE:
        return needs(static_cast<int>(sizeof(PRNTCMD))) ? PutQueue(reinterpret_cast<PRNTCMD*>(data)) : 321;
    case PRN_TP_QUERY_QUEUE:
        return needs(static_cast<int>(sizeof(QueueState))) ? QueryQueue(reinterpret_cast<QueueState*>(data)) : 321;
    case PRN_TP_RESUME:
    case PRN_TP_RETRY: {
        if (!data || length < 0) return 321;
        // The string as given, bounded by its length and terminated.
        const size_t n = strnlen(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
        const std::string text(reinterpret_cast<const char*>(data), n);
        const auto* s = reinterpret_cast<const unsigned char*>(text.c_str());
        return request == PRN_TP_RESUME ? ResumePrinting(s) : RetryPrinting(s);
    }
    case PRN_TP_DELETE_CHASE:
        return queue_ ? queue_->DeleteChase(const_cast<VDEV*>(sender)) : 0;
    case PRN_TP_CHASE_DONE:
        return needs(static_cast<int>(sizeof(PRNTCMD))) ? RespondToChase(reinterpret_cast<const PRNTCMD*>(data)) : 321;
    case PRN_TP_ENABLE_DI:
        return EnableDIPrinting();
    case PRN_TP_DISABLE_DI:
        return DisableDIPrinting();
    case PRN_TP_DATA_WAITING:
        return TellDeviceDataWaiting();
    case PRN_TP_STATUS:
        if (!needs(4)) return 321;
        put32(data, status_.word());
        return 0;
    case PRN_TP_INTERLEAVED:
        return needs(2) ? SetInterleaved(get16(data)) : 321;
    case PRN_TP_HEAD_PARKED:
        return needs(2) ? SetHeadParkedPosition(get16(data)) : 321;
    case PRN_TP_DISCARD:
        return DiscardData();
    case PRN_TP_DI_PRINTING:
        if (!needs(4)) return 321;
        put32(data, diPrinting_ ? 1 : 0);
        return 0;
    case PRN_TP_RESET:
        return ResetPrinter();
    case PRN_TP_RAW_STATUS:
        return needs(16) ? CopyPrinterStatus(data) : 321;
    case PRN_TP_STATUS2:
        if (!needs(4)) return 321;
        put32(data, status2_.word());
        return 0;
    case PRN_TP_ENABLE_EXCLUSIVE_DI:
        return EnableExclusiveDIPrinting();
    case PRN_TP_DISABLE_EXCLUSIVE_DI:
        return DisableExclusiveDIPrinting();
    case PRN_TP_EXCLUSIVE_DI:
        if (!needs(4)) return 321;
        put32(data, exclusiveDI_ ? 1 : 0);
        return 0;
    default:
        // The link timing requests of every device; anything else is 311.
        return SIODEVICE::TellPhys(sender, request, data, length);
    }
}

int PRNTP::Acquire(VDEV* vdev) {
    if (!vdev) return 0;
    int rc = PDEV::Acquire(vdev);
    if (rc != 0) return rc;
    if (heldResume_.msg != 0) {
        const PRNTMSG held = heldResume_;
        heldResume_ = PRNTMSG{};
        SendPrinterMessage(&held);
    } else if (ResumeRequested() && lastError_.msg != 0) {
        // The error was told to a holder gone since: the new one is told too.
        PRNTMSG told = lastError_;
        told.p2 = status_.word();
        SendPrinterMessage(&told);
    }
    return 0;
}

int PRNTP::Release(VDEV* vdev) {
    DeviceLock lock(this);
    const int rc = PDEV::Release(vdev);
    if (rc != 0) return rc;
    if (ResumeRequested()) {
        ResumeForNobody();
    } else if (queue_ && (HoldsWork() || !TestStatusBits(PDEV_ONLINE))) {
        // Held, not yet sent: it leaves with its application. What is with the printer stays
        // for its answer.
        for (unsigned short s = 0; s < stations_; ++s) queue_->DiscardData(s, 0);
    }
    return 0;
}

void PRNTP::ResumeForNobody() {
    if (owner_ || !ResumeRequested()) return;
    if (queue_) {
        queue_->Retry();
        for (unsigned short s = 0; s < stations_; ++s) queue_->DiscardData(s, 0);
    }
    heldResume_ = PRNTMSG{};
    // No resume text: nothing is printed in place of the dropped work. The buffer is longer
    // than any model's resume line.
    static const unsigned char kNoText[512] = {};
    ResumePrinting(kNoText);
}

int PRNTP::SendPrinterMessage(const PRNTMSG* message) {
    if (!owner_ || !message) return 0;
    PRNTMSG copy = *message;
    return owner_->TellVirt(this, PRN_TV_MESSAGE, reinterpret_cast<unsigned char*>(&copy), sizeof copy);
}

int PRNTP::RequestResume(const PRNTMSG* message) {
    if (ResumeRequested() || !message) return 0;
    SetStatusBits(PRNTP_RESUME_REQUESTED);
    lastError_ = *message;
    if (owner_) return SendPrinterMessage(message);
    heldResume_ = *message;
    return 0;
}

bool PRNTP::ReportLostWork(const PRNTCMD* command) {
    if (!command || (command->classFlags & PRNTCMD_LOST_TOLERANT)) return false;
    status_.set(PRN_STATUS_FRAME_LOST);
    PRNTMSG message;
    message.msg = POSM_PRN_PRINTER_ERROR;
    message.p1 = PRN_P1_FRAME_LOST;
    message.p2 = status_.word();
    RequestResume(&message);
    return true;
}

int PRNTP::DisableDIPrinting() {
    if (diPrinting_ != 1) return 0;
    diPrinting_ = 0;
    return TellDeviceDataWaiting();
}

int PRNTP::DisableExclusiveDIPrinting() {
    if (exclusiveDI_ != 1) return 0;
    exclusiveDI_ = 0;
    return TellDeviceDataWaiting();
}

int PRNTP::EnableDIPrinting() {
    if (diPrinting_ != 0) return 0;
    diPrinting_ = 1;
    return TellDeviceDataWaiting();
}

int PRNTP::EnableExclusiveDIPrinting() {
    if (exclusiveDI_ != 0) return 0;
    exclusiveDI_ = 1;
    return TellDeviceDataWaiting();
}

int PRNTP::DiscardData() {
    if (!queue_) return 0;
    queue_->Retry();
    for (unsigned short s = 0; s < 3; ++s) queue_->DiscardData(s, 0);
    queue_->FlushSystemCommands();
    return 0;
}

int PRNTP::HoldJournalData(unsigned short hold) {
    const bool released = holdJournal_ == 1 && hold == 0;
    holdJournal_ = hold;
    return released ? TellDeviceDataWaiting() : 0;
}

int PRNTP::SetHeadParkedPosition(unsigned short position) {
    if (position > 1) {
        Log(kLogHeadParked, 321, position);
        return 321;
    }
    if (position == headParkedPosition_) return 0;
    headParkedPosition_ = position;
    return TellDeviceDataWaiting();
}

int PRNTP::SetInterleaved(unsigned short value) {
    if (value > 1) {
        Log(kLogInterleaved, 321, value);
        return 321;
    }
    interleaved_ = value;
    return 0;
}

int PRNTP::TellDeviceDataWaiting() {
    if (!TestStatusBits(PDEV_PRESENT) || !TestStatusBits(PDEV_ONLINE)) return 317;
    if (AwaitingAck() || !adapter_) return 0;
    return adapter_->RequestBuffer();
}

int PRNTP::PutQueue(PRNTCMD* command) {
    if (!queue_) return 321;
    int rc = queue_->StoreCommand(command, 0);
    if (rc != 0) return rc;
    // A client's new work may go at once even while the printer's rejects are paced.
    NewRequest();
    // Stored: the queue owns the command and it will be sent, so a failed send-turn request
    // is only logged, once until a request succeeds again (a lost bus refuses every write's
    // request); the polling cycle looks at the queue again in any case.
    if (adapter_) {
        const int turn = adapter_->RequestBuffer();
        if (turn != 0 && !sendTurnRefused_) Log(kLogRequestBuffer, static_cast<uint32_t>(turn), 0, command, sizeof(PRNTCMD));
        sendTurnRefused_ = turn != 0;
    }
    return 0;
}

int PRNTP::ResetPrinter() {
    if (queue_) {
        queue_->Retry();
        queue_->FlushSystemCommands();
    }
    return SystemCommand(1);
}

int PRNTP::CopyPrinterStatus(unsigned char* /*buffer*/) { return 0; }

int PRNTP::QueryQueue(QueueState* state) { return queue_ ? queue_->Query(state) : 0; }

int PRNTP::RespondToChase(const PRNTCMD* command) {
    PRNTMSG message;
    message.msg = POSM_PRN_CHASE_COMPLETE;
    message.p2 = status_.word();
    unsigned short station = 0;
    switch (command ? command->code : 0) {
    case PRNTCMD_CHASE_CR: message.p1 = PRN_P1_CHASE_CR; station = PRN_STATION_CR; break;
    case PRNTCMD_CHASE_SJ: message.p1 = PRN_P1_CHASE_SJ; station = PRN_STATION_SJ; break;
    case PRNTCMD_CHASE_DI: message.p1 = PRN_P1_CHASE_DI; station = PRN_STATION_DI; break;
    default:
        Log(kLogNotAChase, 321, 0, command, command ? sizeof(PRNTCMD) : 0);
        return 321;
    }
    if (owner_)
        owner_->TellVirt(this, PRN_TV_CHASE_DONE, reinterpret_cast<unsigned char*>(&station), sizeof station);
    SendPrinterMessage(&message);
    return 0;
}

// ---------------------------------------------------------------------------------------
// Link handlers.

int PRNTP::CommandResetInProgress() {
    SetStatusBits(PRNTP_AWAITING_ACK);
    if (queue_) queue_->Retry();
    return 0;
}

int PRNTP::SequenceResetInProgress(const unsigned char* /*data*/, int /*n*/) {
    SetStatusBits(PRNTP_AWAITING_ACK);
    if (queue_) queue_->Retry();
    return 0;
}

int PRNTP::LastMsgAcked() {
    lostMessages_ = 0;
    if (queue_) queue_->RespondToAck();
    ClearStatusBits(PRNTP_AWAITING_ACK);
    return 0;
}

int PRNTP::ResetComplete() {
    lostMessages_ = 0;
    ClearStatusBits(PRNTP_AWAITING_ACK);
    return 0;
}

int PRNTP::PowerOnResetInProgress() {
    if (TestStatusBits(PRNTP_RESET_EXPECTED)) ClearStatusBits(PRNTP_RESET_EXPECTED);
    ClearPORResetInProgress();
    SetStatusBits(PRNTP_AWAITING_ACK);
    SystemCommand(2);
    if (queue_) {
        ReportLostWork(queue_->GetSentWork());
        queue_->Retry();
    }
    return 0;
}

int PRNTP::LastAckLost(const unsigned char* data, int n) {
    ClearStatusBits(PRNTP_AWAITING_ACK);
    if (SendAnyPendingMessage() != -1) return 0;
    int rc = SendAck();
    if (rc != 0) Log(kLogAckFailed, static_cast<uint32_t>(rc), 0, data, n);
    return rc;
}

int PRNTP::LastMsgLost(const unsigned char* data, int n) {
    if (!passing(data, n)) {
        ++lostMessages_;
        if (ReportLostWork(queue_ ? queue_->GetOutstanding() : nullptr)) NowNotConfirmed();
    }
    if (queue_) queue_->Retry();
    ClearStatusBits(PRNTP_AWAITING_ACK);
    return 0;
}
