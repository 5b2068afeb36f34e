// The secondary side of the RS-485 link for one bus address: frame decoding, sequence
// numbers, acknowledgements, link resets and the link timers.
#include "SIODEVICE.h"

#include <cstring>
#include <new>
#include <vector>

#include "ADAPTER.h"
#include "COMD.h"
#include "SDIDEVICE.h"
#include "SIOAM.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)sysiodev.cpp";

const unsigned char kPassingInTheNight[] = "PassingInTheNight";           // 17 characters
const unsigned char kClearPassingInTheNight[] = "ClearPassingInTheNight"; // 22 characters
const unsigned char kNull[] = "<<NULL>>";                                 // 8 characters
constexpr int kPassingLen = sizeof kPassingInTheNight - 1;
constexpr int kClearPassingLen = sizeof kClearPassingInTheNight - 1;
constexpr int kNullLen = sizeof kNull - 1;

// Link error codes the adapter manager passes on.
constexpr unsigned char kErrPollTimeout = 0x13;
constexpr unsigned char kErrLink = 0x20;

// Link timers (milliseconds).
constexpr int32_t kInitWait = 3000;
constexpr int32_t kIdlePollWait = 5000;
constexpr int32_t kNsaWait = 10000;
constexpr int32_t kPollTimeoutLimit = 4; // more than this many poll time-outs: the device is gone

// Offsets in a received frame record.
constexpr int kRecControl = 4;
constexpr int kRecData = 5;
constexpr int kRecOverhead = 7; // length, port, address, control and two check bytes

// Offsets in an outgoing frame record.
constexpr int kOutHeader = 7;   // length, port, address wait, byte wait, address, control
constexpr int kOutCrcFrom = 5;  // the check covers address, control and data
constexpr int kMaxData = 0xFFFF - 4; // the record's 16-bit length is data + 4

uint16_t blockLen(int len) { return static_cast<uint16_t>(len <= 0 ? 0 : (len > 0xFFFF ? 0xFFFF : len)); }

} // namespace

SIODEVICE::SIODEVICE(const DeviceID& id, const unsigned char* name)
    : PDEV(id, name), name_(name ? reinterpret_cast<const char*>(name) : "") {
    ClearStatusBits(SIODEV_INIT_TIMER);
}

SIODEVICE::~SIODEVICE() {
    // The twin stays with the system object, answering that its device is gone.
    if (twin_) twin_->DetachDevice();
}

// ---------------------------------------------------------------------------------------
// Sequence numbers.

void SIODEVICE::SetSendSequence(int ns) {
    sequence_ = static_cast<unsigned char>((sequence_ & 0xE0) | ((ns & 7) << 1));
}

void SIODEVICE::SetReceiveSequence(int nr) {
    sequence_ = static_cast<unsigned char>((sequence_ & 0x0E) | ((nr & 7) << 5));
}

void SIODEVICE::LogFrame(uint32_t id, uint32_t rc, uint32_t extra, const unsigned char* record,
                         int len) {
    clErrorLog(id, rc, extra, kTag, this, sizeof(SIODEVICE), record, record ? blockLen(len) : 0);
}

// ---------------------------------------------------------------------------------------
// Sending.

int SIODEVICE::SendFrame(unsigned char control, const unsigned char* data, int n) {
    if (!adapter_) return 327;
    if (n < 0) n = 0;
    if (n > 0 && !data) return 321;
    if (n > kMaxData) return 607;

    const int length = n + 4;
    std::vector<unsigned char> record(static_cast<size_t>(n) + 9);
    record[0] = static_cast<unsigned char>(length & 0xFF);
    record[1] = static_cast<unsigned char>(length >> 8);
    record[2] = id_.port;
    record[3] = addressWaitTime_;
    record[4] = byteWaitTime_;
    record[5] = id_.device;
    record[6] = control;
    if (n > 0) std::memcpy(&record[kOutHeader], data, static_cast<size_t>(n));
    const unsigned short crc = CalculateCRC(&record[kOutCrcFrom], n + 2);
    record[kOutHeader + n] = static_cast<unsigned char>(crc & 0xFF);
    record[kOutHeader + n + 1] = static_cast<unsigned char>(crc >> 8);

    int rc = adapter_->SendFrame(record.data(), static_cast<int>(record.size()));
    if (rc == 0) {
        lastSendTime_ = chTime();
        ++framesSent_;
    }
    return rc;
}

int SIODEVICE::SendMsg(const unsigned char* data, int n) {
    const uint64_t sig = RejectPacer::Signature(data, n);
    if (!rejectPacer_.MaySend(chTime(), sig)) {
        rejectPacer_.Refused(sig);
        pacedRefusal_ = true;
        return SIODEV_SEND_PACED;
    }
    int rc = SendFrame(sequence_, data, n);
    if (rc == 0) {
        rejectPacer_.Sent(lastSendTime_, sig);
        linkState_ = WAITACK;
        sequence_ = static_cast<unsigned char>((sequence_ + 2) & 0xEE);
    }
    return rc;
}

int SIODEVICE::SendAck() {
    int rc = SendFrame(static_cast<unsigned char>((sequence_ & 0xE0) | 0x01), nullptr, 0);
    if (rc == 0) linkState_ = IDLE;
    return rc;
}

int SIODEVICE::SendSNRM() {
    int rc = SendFrame(SIODEV_CTL_SNRM, nullptr, 0);
    if (rc == 0) {
        sequence_ = 0;
        linkState_ = WAITNSA;
    }
    return rc;
}

int SIODEVICE::SendNSI(const unsigned char* data, int n) {
    int rc = SendFrame(SIODEV_CTL_NSI, data, n);
    if (rc == 0) linkState_ = WAITNSA;
    return rc;
}

void SIODEVICE::PowerOnReset() {
    ClearStatusBits(PDEV_PRESENT);
    NowNotConfirmed();
    if (SendNSI(nsiData_, sizeof nsiData_) == 0) ++powerOnResets_;
    if (Routed()) twin_->PowerOnReset();
}

void SIODEVICE::SequenceReset(const unsigned char* data, int n) {
    SendSNRM();
    RouteSequenceResetInProgress(data, n);
}

void SIODEVICE::TakeOverLink(const SIODEVICE& from) {
    linkState_ = from.linkState_;
    lastSendTime_ = from.lastSendTime_;
    sequence_ = from.sequence_;
    pollTimeoutCount_ = from.pollTimeoutCount_;
}

int SIODEVICE::PdevSentMsg(const DeviceID& id) const {
    SIOAM* manager = dynamic_cast<SIOAM*>(adapter_);
    return manager ? manager->QuerySentMessage(id) : 0;
}

// ---------------------------------------------------------------------------------------
// Received frames.

int SIODEVICE::ProcessInput(const unsigned char* record, int len) {
    pollTimeoutCount_ = 0;
    MakeTwin();

    if (!record || len <= kRecControl) {
        // No control byte to decode.
        LogFrame(913, 810, 0, record, len);
        ++unknownMessages_;
        return 810;
    }
    const unsigned char control = record[kRecControl];
    const int n = len > kRecOverhead ? len - kRecOverhead : 0;
    const unsigned char* data = record + kRecData;

    if ((control & 0x11) == 0)
        ProcessInfoFrame(record, len, control, data, n);
    else if ((control & 0x1F) == 0x01)
        ProcessReceiveReady(record, len, control);
    else if (control == SIODEV_CTL_ROL)
        ProcessRequestOnline();
    else if (control == SIODEV_CTL_NSA)
        ProcessNSA(record, len);
    else if (control == SIODEV_CTL_CMDR)
        ProcessCommandReject(record, len);
    else
        ProcessUnknown(record, len);
    return 0;
}

void SIODEVICE::ProcessInfoFrame(const unsigned char* record, int len, unsigned char control,
                                 const unsigned char* data, int n) {
    const int s = (control >> 1) & 7; // the device's N(S)
    const int r = (control >> 5) & 7; // the device's N(R)
    const int ourNS = GetSendSequence();
    const int ourNR = GetReceiveSequence();
    const bool inSequence = s == ourNR;
    const bool repeat = ourNR == ((s + 1) & 7);
    const bool unacknowledged = ourNS == ((r + 1) & 7);

    switch (linkState_) {
    case INIT:
        PowerOnReset();
        break;
    case IDLE:
        if (inSequence) {
            SetReceiveSequence(ourNR + 1);
            DeliverNewMsg(data, n);
        } else if (repeat) {
            LogFrame(904, 805, 0, record, len);
            AcknowledgeIfPaced(&SIODEVICE::RouteLastAckLost, data, n);
            ++lastAcksLost_;
        } else {
            LogFrame(905, 804, 0, record, len);
            SequenceReset(data, n);
        }
        break;
    case WAITACK:
        if (inSequence && r == ourNS) {
            RouteLastMsgAcked();
            SetReceiveSequence(ourNR + 1);
            DeliverNewMsg(data, n);
        } else if (repeat && unacknowledged) {
            LogFrame(906, 806, 0, record, len);
            SetSendSequence(ourNS - 1);
            RouteLastMsgLost(data, n);
            ++lastMessagesLost_;
            RouteSendAnyPendingMessage();
        } else if (inSequence && unacknowledged) {
            const bool crossed = crossed_ != 0;
            if (!crossed) LogFrame(907, 806, 0, record, len);
            SetSendSequence(ourNS - 1);
            SetReceiveSequence(ourNR + 1);
            if (crossed)
                RouteLastMsgLost(kPassingInTheNight, kPassingLen);
            else
                RouteLastMsgLost(data, n);
            ++lastMessagesLost_;
            DeliverNewMsg(data, n);
        } else {
            LogFrame(908, 804, 0, record, len);
            SequenceReset(data, n);
        }
        break;
    case WAITNSA:
        LogFrame(909, 803, 0, record, len);
        SequenceReset(data, n);
        break;
    }
}

void SIODEVICE::AcknowledgeIfPaced(int (SIODEVICE::*handler)(const unsigned char*, int),
                                   const unsigned char* data, int n) {
    const uint32_t before = framesSent_;
    pacedRefusal_ = false;
    (this->*handler)(data, n);
    if (pacedRefusal_ && framesSent_ == before) SendAck();
    pacedRefusal_ = false;
}

void SIODEVICE::DeliverNewMsg(const unsigned char* data, int n) {
    AcknowledgeIfPaced(&SIODEVICE::RouteNewMsgRcvd, data, n);
}

void SIODEVICE::ProcessReceiveReady(const unsigned char* record, int len, unsigned char control) {
    const int r = (control >> 5) & 7;
    switch (linkState_) {
    case INIT:
        SendSNRM();
        break;
    case WAITACK:
        if (r == GetSendSequence()) {
            linkState_ = IDLE;
            RouteLastMsgAcked();
            RouteSendAnyPendingMessage();
        } else {
            LogFrame(911, 806, 0, record, len);
            SetSendSequence(r);
            RouteLastMsgLost(record, len);
            RouteSendAnyPendingMessage();
            ++lastMessagesLost_;
        }
        break;
    case IDLE:
        break;
    case WAITNSA:
        LogFrame(912, 809, 0, record, len);
        SequenceReset(nullptr, 0);
        break;
    }
}

void SIODEVICE::ProcessRequestOnline() {
    ++requestOnlines_;
    if (SendSNRM() == 0) {
        ClearStatusBits(PDEV_PRESENT);
        restarting_ = 1;
        NowNotConfirmed();
        restarting_ = 0;
        RoutePowerOnResetInProgress();
    }
}

void SIODEVICE::ProcessNSA(const unsigned char* record, int len) {
    switch (linkState_) {
    case INIT:
        SendSNRM();
        break;
    case WAITNSA:
        linkState_ = IDLE;
        SetStatusBits(PDEV_PRESENT);
        RouteResetComplete();
        RouteSendAnyPendingMessage();
        break;
    default:
        LogFrame(910, 807, 0, record, len);
        SequenceReset(nullptr, 0);
        break;
    }
}

void SIODEVICE::ProcessCommandReject(const unsigned char* record, int len) {
    LogFrame(903, 802, 0, record, len);
    ++commandRejects_;
    PowerOnReset();
    RouteCommandResetInProgress();
}

void SIODEVICE::ProcessUnknown(const unsigned char* record, int len) {
    LogFrame(913, 810, 0, record, len);
    ++unknownMessages_;
    PowerOnReset();
}

int SIODEVICE::ProcessError(const unsigned char* data, int len) {
    if (!data || len <= 0) return 0;
    if (len == 1) {
        if (data[0] == kErrPollTimeout) {
            ++pollTimeouts_;
            ++pollTimeoutCount_;
        } else if (data[0] == kErrLink) {
            clErrorLog(901, 321, static_cast<uint32_t>(linkState_), kTag, this, sizeof(SIODEVICE),
                       data, 1);
        }
        return 0;
    }
    if (len >= kPassingLen && std::memcmp(data, kPassingInTheNight, kPassingLen) == 0)
        crossed_ = 1;
    else if (len >= kClearPassingLen &&
             std::memcmp(data, kClearPassingInTheNight, kClearPassingLen) == 0)
        crossed_ = 0;
    return 0;
}

// ---------------------------------------------------------------------------------------
// Timers.

namespace {

// Runs one step of the timer work; an exception from a handler is traced and logged.
template <class F>
void guarded(const SIODEVICE* device, const char* format, uint32_t logId, F step) {
    try {
        step();
    } catch (...) {
        tprintf(format, device->GetName().c_str());
        clErrorLog(logId, 321, 0, kTag, device, sizeof(SIODEVICE));
    }
}

} // namespace

void SIODEVICE::ProcessOutput(long nowMs) {
    const int32_t now = static_cast<int32_t>(nowMs);
    const int32_t sinceSend = chTimeDiff(now, lastSendTime_);

    switch (linkState_) {
    case INIT:
        if (!TestStatusBits(SIODEV_INIT_TIMER)) {
            SetStatusBits(SIODEV_INIT_TIMER);
            lastSendTime_ = now;
            break;
        }
        if (sinceSend >= kInitWait)
            guarded(this, "SIODEV(%s/INIT): PowerOnReset() exception\n", 914,
                    [this] { PowerOnReset(); });
        break;
    case IDLE:
        if (sinceSend < kIdlePollWait || !StoppedAnswering()) {
            // A paced device's held message waits for its turn without a call every cycle; a
            // request's pass asks the class once, and asks no more when nothing went.
            if (!rejectPacer_.MayAsk(now)) break;
            const uint32_t requests = rejectPacer_.Requests();
            guarded(this, "SIODEV(%s/IDLE): SendAnyPendingMessage() exception\n", 916,
                    [this] { RouteSendAnyPendingMessage(); });
            if (linkState_ == IDLE) rejectPacer_.Asked(requests); // no message went
        } else {
            guarded(this, "SIODEV(%s/IDLE): SendSNRM() exception\n", 915, [this] {
                SendSNRM();
                if (Routed()) twin_->SentSNRM(pollTimeoutCount_);
            });
        }
        break;
    case WAITACK:
        if (sinceSend < ackWaitTime_) break;
        if (StoppedAnswering()) {
            guarded(this, "SIODEV(%s/WAITACK): PowerOnReset() exception\n", 917,
                    [this] { PowerOnReset(); });
        } else {
            guarded(this, "SIODEV(%s/WAITACK): LastMsgLost() exception\n", 918, [this] {
                SetSendSequence(GetSendSequence() - 1);
                RouteLastMsgLost(kNull, kNullLen);
                SequenceReset(kNull, kNullLen);
                ++lastMessagesLost_;
            });
            guarded(this, "SIODEV(%s/WAITACK): SendAnyPendingMessage() exception\n", 919,
                    [this] { RouteSendAnyPendingMessage(); });
        }
        break;
    case WAITNSA:
        if (sinceSend >= kNsaWait)
            guarded(this, "SIODEV(%s/WAITNSA): PowerOnReset() exception\n", 920,
                    [this] { PowerOnReset(); });
        break;
    }
}

bool SIODEVICE::StoppedAnswering() const { return pollTimeoutCount_ > kPollTimeoutLimit; }

// ---------------------------------------------------------------------------------------
// Counters, timing values, standby.

int SIODEVICE::GetLastMessageLostCounts() { return lastMessagesLost_; }
int SIODEVICE::GetLastAckLostCounts() { return lastAcksLost_; }
int SIODEVICE::GetPollTimeoutCounts() { return pollTimeouts_; }
int SIODEVICE::GetPowerOnResetCounts() { return powerOnResets_; }
int SIODEVICE::GetRequestOnlineCounts() { return requestOnlines_; }
int SIODEVICE::GetCommandRejectCounts() { return commandRejects_; }
int SIODEVICE::GetUnknownMessageCounts() { return unknownMessages_; }

unsigned char SIODEVICE::GetAddressWaitTime() { return addressWaitTime_; }
void SIODEVICE::SetAddressWaitTime(unsigned char value) { addressWaitTime_ = value; }
unsigned char SIODEVICE::GetByteWaitTime() { return byteWaitTime_; }
void SIODEVICE::SetByteWaitTime(unsigned char value) { byteWaitTime_ = value; }
unsigned char SIODEVICE::GetECLevel() { return ecLevel_; }
void SIODEVICE::SetECLevel(unsigned char value) { ecLevel_ = value; }
long SIODEVICE::GetAckWaitTime() { return ackWaitTime_; }
void SIODEVICE::SetAckWaitTime(long value) { ackWaitTime_ = static_cast<int32_t>(value); }

int SIODEVICE::Resume() {
    tprintf("Resuming '%s'\n", name_.c_str());
    return 0;
}

int SIODEVICE::Suspend() {
    tprintf("Suspending '%s'\n", name_.c_str());
    return 0;
}

// ---------------------------------------------------------------------------------------
// The raw-access twin and the handler routes: while a raw-access client has the device
// open, every handler goes to the twin instead of the device class.

void SIODEVICE::MakeTwin() {
    if (twin_ || !pcomd) return;
    if (id_.device < 1 || id_.device > 126) return;
    if (deviceType_ == PDEV_TYPE_ORACLE || deviceType_ == PDEV_TYPE_SNIFFER) return;
    // A device that takes the place of one that went away gets its twin, server and port.
    if (SDIDEVICE* twin = pcomd->FindDetachedSdiDevice(id_)) {
        twin->AttachDevice(this, deviceType_);
        return;
    }
    SDIDEVICE* twin = new (std::nothrow)
        SDIDEVICE(id_, reinterpret_cast<const unsigned char*>(name_.c_str()), this, deviceType_);
    if (twin) pcomd->AddSdiDevice(twin);
}

int SIODEVICE::RouteCommandResetInProgress() {
    return Routed() ? twin_->CommandResetInProgress() : CommandResetInProgress();
}
int SIODEVICE::RouteLastAckLost(const unsigned char* data, int n) {
    return Routed() ? twin_->LastAckLost(data, n) : LastAckLost(data, n);
}
int SIODEVICE::RouteLastMsgAcked() { return Routed() ? twin_->LastMsgAcked() : LastMsgAcked(); }
int SIODEVICE::RouteLastMsgLost(const unsigned char* data, int n) {
    return Routed() ? twin_->LastMsgLost(data, n) : LastMsgLost(data, n);
}
int SIODEVICE::RouteNewMsgRcvd(const unsigned char* data, int n) {
    return Routed() ? twin_->NewMsgRcvd(data, n) : NewMsgRcvd(data, n);
}
int SIODEVICE::RoutePowerOnResetInProgress() {
    return Routed() ? twin_->PowerOnResetInProgress() : PowerOnResetInProgress();
}
int SIODEVICE::RouteResetComplete() {
    if (!Routed()) return ResetComplete();
    NowConfirmed();
    return twin_->ResetComplete();
}
int SIODEVICE::RouteSendAnyPendingMessage() {
    return Routed() ? twin_->SendAnyPendingMessage() : SendAnyPendingMessage();
}
int SIODEVICE::RouteSequenceResetInProgress(const unsigned char* data, int n) {
    return Routed() ? twin_->SequenceResetInProgress(data, n) : SequenceResetInProgress(data, n);
}
