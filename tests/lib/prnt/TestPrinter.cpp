#include "TestPrinter.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "ADAPTER.h"
#include "ovkhost.h"

namespace testprinter {

namespace {
const char kTag[] = "@(#)TestPrinter.cpp";
constexpr unsigned short kWindow = 2;
} // namespace

int TestCmd::Set(unsigned short code_, void* owner_, unsigned char st, unsigned char count,
                 unsigned short length, const unsigned char* data, unsigned short w,
                 unsigned char b3) {
    if (code_ & PRNTCMD_SYSTEM) return PRNTCMD::Set(code_, owner_, st, count, length, data, w, b3);
    std::vector<unsigned char> bytes{static_cast<unsigned char>(code_)};
    unsigned short flags = 0;
    switch (code_) {
    case kLine:
        bytes.push_back(st);
        if (data) bytes.insert(bytes.end(), data, data + length);
        flags = PRNTCMD_PIPELINED;
        break;
    case kFeed:
        bytes.push_back(st);
        bytes.push_back(count);
        flags = PRNTCMD_PIPELINED;
        break;
    case kCut:
    case kStatus:
    case kReset:
        break;
    default:
        return 316;
    }
    unsigned char* frame_ = SetPbCmd(static_cast<unsigned short>(bytes.size()));
    if (!frame_) return 305;
    std::memcpy(frame_, bytes.data(), bytes.size());
    code = code_;
    owner = owner_;
    station = code_ == kLine || code_ == kFeed ? std::min<unsigned short>(st, 2) : 0;
    classFlags = flags;
    SetSequenceNumber();
    return 0;
}

TestPrinterP::TestPrinterP(const DeviceID& id) : PRNTP(id, "TSTPRNTP") {
    queue_ = new OMSGQUEUE(id, this, kWindow, stations_);
    vdevType_ = kVdevType;
    SetStatusBits(PRNTP_RESET_EXPECTED);
}

TestPrinterP::~TestPrinterP() {
    DiscardData();
    delete queue_;
    queue_ = nullptr;
}

int TestPrinterP::NewMsgRcvd(const unsigned char* data, int n) {
    const unsigned char answer = data && n >= 1 ? data[0] : 0;
    const unsigned char state = data && n >= 2 ? data[1] : 0;
    rawStatus.assign(data, data + (data && n > 0 ? n : 0));

    const uint32_t changed = (status_.word() ^ state) & kStatusBits;
    if (changed) {
        status_.reset(kStatusBits);
        status_.set(state & kStatusBits);
        PRNTMSG m;
        m.msg = POSM_PRN_STATUS_CHANGE;
        m.p1 = changed << 16;
        m.p2 = status_.word();
        SendPrinterMessage(&m);
    }
    if (!TestStatusBits(PDEV_ONLINE)) NowConfirmed();

    if (answer & 0x80) {
        PRNTMSG m;
        m.msg = POSM_PRN_PRINTER_ERROR;
        m.p1 = kRejectP1;
        m.p2 = status_.word();
        RequestResume(&m);
        queue_->Retry();
    } else if (answer & 0x01) {
        queue_->RespondToCommandComplete();
        queue_->RespondToCommandSuccess();
    }
    ClearStatusBits(PRNTP_AWAITING_ACK);
    int rc = SendAnyPendingMessage();
    return rc == -1 ? SendAck() : rc;
}

int TestPrinterP::SendAnyPendingMessage() {
    if (AwaitingAck() || !queue_) return -1;
    int rc = 0;
    PRNTCMD* command = nullptr;
    if (!queue_->GetOutstandingSystemCommand()) {
        command = queue_->GetPendingSystemCommand(rc);
        for (unsigned short s = 0; !command && !ResumeRequested() && !holding && s < 3; ++s) {
            if (s == PRN_STATION_SJ && holdJournal_) continue;
            command = queue_->GetPendingCommand(s, rc);
        }
    }
    if (!command) return -1;
    rc = SendMsg(command->frame, command->frameLength);
    if (rc != 0) {
        clErrorLog(99301, static_cast<uint32_t>(rc), 0, kTag, this, sizeof(PRNTP));
        queue_->Retry();
        return rc;
    }
    ++sentFrames;
    SetStatusBits(PRNTP_AWAITING_ACK);
    return 0;
}

int TestPrinterP::ClearPORResetInProgress() {
    // The reset is done: it is not sent again.
    PRNTCMD* outstanding = queue_->GetOutstandingSystemCommand();
    if (outstanding && outstanding->code == kReset) queue_->FlushSystemCommands();
    return 0;
}

int TestPrinterP::ResumePrinting(const unsigned char*) {
    if (resumeRefused) return 317;
    ClearStatusBits(PRNTP_RESUME_REQUESTED);
    status_.reset(PRN_STATUS_FRAME_LOST);
    for (unsigned short s = 0; s < 3; ++s) queue_->RespondToResumePrinting(s);
    return SystemCommand(2);
}

int TestPrinterP::RetryPrinting(const unsigned char*) {
    ClearStatusBits(PRNTP_RESUME_REQUESTED);
    status_.reset(PRN_STATUS_FRAME_LOST);
    return SystemCommand(2);
}

int TestPrinterP::SystemCommand(unsigned short code) {
    if (code != 1 && code != 2) return 316;
    TestCmd* command = new (std::nothrow) TestCmd;
    if (!command) return 305;
    command->Set(code == 1 ? kReset : kStatus, nullptr, 0, 0, 0, nullptr, 0, 0);
    if (code == 1) SetStatusBits(PRNTP_RESET_EXPECTED);
    queue_->StoreSystemCommand(command);
    // Offline (after a lost frame) the link's idle cycle sends it; no turn to ask for.
    if (!AwaitingAck() && adapter_) adapter_->RequestBuffer();
    return 0;
}

int TestPrinterP::CopyPrinterStatus(unsigned char* buffer) {
    std::memset(buffer, 0, 16);
    std::memcpy(buffer, rawStatus.data(), std::min<size_t>(rawStatus.size(), 16));
    return 0;
}

TestPrinterV::TestPrinterV(const DeviceID& id, int handle) : PRNTV(id, handle, "TSTPRNTV") {}

int TestPrinterV::Write(const void* buffer, unsigned int length, int& count) {
    count = 0;
    if (!IsHolding()) return 315;
    unsigned short station = 0;
    while (station < 3 && !(parm_.printStation & stationBits_[station])) ++station;
    if (station >= 3) return POSERR_PRN_INVALID_STATION;
    const auto* text = static_cast<const unsigned char*>(buffer);
    unsigned int n = text ? length : 0;
    if (n > 0 && text[n - 1] == '\n') --n;
    TestCmd* command = new (std::nothrow) TestCmd;
    if (!command) return 305;
    int rc = command->Set(kLine, this, static_cast<unsigned char>(station), 0,
                          static_cast<unsigned short>(std::min(n, 1000u)), text, 0, 0);
    if (rc == 0) rc = Tell(PRN_TP_PUT_QUEUE, command, sizeof(TestCmd));
    if (rc != 0) {
        delete command;
        return rc;
    }
    count = static_cast<int>(length);
    return 0;
}

int TestPrinterV::SendWritePending() {
    ++flushes;
    return flushResult;
}

} // namespace testprinter
