// The RS-232 port on the bus: line setup, break, one transmit at a time with its deadline,
// received data with the line status, and the link notifications.
#include "RS232CP.h"

#include <cstring>

#include "ADAPTER.h"
#include "ObjectSupport.h"
#include "VDEV.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)rs232cp.cpp 1.1";

enum : uint32_t {
    LOG_DIAG_FAILED = 27001,
    LOG_REJECTED = 27002,
    LOG_BAD_BAUD = 27003,
    LOG_BAD_STOP = 27004,
    LOG_BAD_DATA = 27005,
    LOG_BAD_PARITY = 27006,
    LOG_BAD_REQUEST = 27007,
    LOG_BAD_REQUEST_OFFLINE = 27008,
};

uint16_t block(long n) { return static_cast<uint16_t>(n <= 0 ? 0 : (n > 0xFFFF ? 0xFFFF : n)); }

uint8_t partnerOf(uint8_t address) {
    switch (address) {
    case 0x64: return 0x68;
    case 0x68: return 0x64;
    case 0x65: return 0x69;
    case 0x69: return 0x65;
    case 0x66: return 0x67;
    case 0x67: return 0x66;
    default: return address;
    }
}

} // namespace

RS232CP::RS232CP(const DeviceID& id) : SIODEVICE(id, "RS232CP") {
    deviceType_ = RS232_DEVICE_CLASS;
    vdevType_ = RS232CV_TYPE_ID;
    addressWaitTime_ = 96;
    byteWaitTime_ = 72;
    partner_ = DeviceID(id.slot, id.port, partnerOf(id.device));
    slots_[kSlotStatus] = {statusRequest_, sizeof statusRequest_};
    slots_[kSlotSetup] = {setup_, sizeof setup_};
    slots_[kSlotBreak] = {breakCommand_, sizeof breakCommand_};
    slots_[kSlotTransmit] = {transmit_, 1};
    SetPending(kSlotStatus);
    // Until a client sets the line: the defaults with the lines dropped.
    Build(Rs232Settings{});
    control_ = 0;
    setup_[3] = 0;
}

RS232CP::~RS232CP() = default;

void RS232CP::Log(uint32_t logId, uint32_t rc, uint32_t extra, const void* data, int n) const {
    clErrorLog(logId, rc, extra, kTag, this, block(sizeof *this), data, data ? block(n) : 0);
}

int RS232CP::RequestSendTurn(bool queued) {
    if (queued) NewRequest();
    if (!Ready() || !adapter_) return 0;
    return adapter_->RequestBuffer();
}

bool RS232CP::Build(const Rs232Settings& settings) {
    Rs232Setup s;
    int which = 0;
    if (!Rs232BuildSetup(settings, s, which)) {
        static const uint32_t kLogs[4] = {LOG_BAD_BAUD, LOG_BAD_STOP, LOG_BAD_PARITY, LOG_BAD_DATA};
        Log(kLogs[which & 3], 321, 0, &settings, sizeof settings);
        return false;
    }
    std::memcpy(setup_, s.command, sizeof setup_);
    control_ = setup_[3];
    charTimeUs_ = s.charTimeUs;
    return true;
}

void RS232CP::SetupIfChanged() {
    if (std::memcmp(setup_, setupSent_, sizeof setup_) != 0) SetPending(kSlotSetup);
}

int RS232CP::Tell(int message, Rs232Record& record) {
    if (!owner_) return 0;
    return owner_->TellVirt(this, message, reinterpret_cast<unsigned char*>(&record), sizeof record);
}

void RS232CP::AbortTransmit() {
    if (!deadline_) return;
    deadline_ = 0;
    dataSent_ = 0;
    ClearPending(kSlotTransmit);
    Rs232Record none;
    Tell(RS232_VIRT_XMIT_ABORT, none);
}

// ---------------------------------------------------------------------------------------
// Holder.

int RS232CP::Acquire(VDEV* vdev) {
    int rc = PDEV::Acquire(vdev);
    if (rc != 0) return rc;
    Rs232Record rec;
    rc = Tell(RS232_VIRT_SETTINGS, rec);
    Rs232Settings s{rec.field[3], rec.field[4], rec.field[5], rec.field[6], rec.field[7], rec.field[8]};
    if (rc == 0 && !Build(s)) rc = 321;
    if (rc != 0) {
        PDEV::Release(vdev);
        return rc;
    }
    SetupIfChanged();
    RequestSendTurn();
    return 0;
}

int RS232CP::Release(VDEV* vdev) {
    if (owner_ != vdev) return PDEV::Release(vdev);
    if (deadline_) {
        AbortTransmit();
        ClearStatusBits(SIODEV_AWAITING_REPLY);
    }
    // The lines drop.
    control_ = 0;
    setup_[3] = 0;
    SetPending(kSlotSetup);
    const int rc = PDEV::Release(vdev);
    RequestSendTurn();
    return rc;
}

// ---------------------------------------------------------------------------------------
// Requests.

int RS232CP::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    if (request >= TELLPHYS_SET_ACK_WAIT && request <= TELLPHYS_GET_ADDRESS_WAIT)
        return SIODEVICE::TellPhys(sender, request, data, length);
    Rs232Record rec;
    if (request < RS232_REQ_BREAK || request > RS232_REQ_SETTINGS || !data ||
        length < static_cast<int>(sizeof rec)) {
        Log(Ready() ? LOG_BAD_REQUEST : LOG_BAD_REQUEST_OFFLINE, 321, static_cast<uint32_t>(request), data, length);
        return 321;
    }
    std::memcpy(&rec, data, sizeof rec);
    int rc = 0;
    switch (request) {
    case RS232_REQ_BREAK:
        if (!Ready()) return 317;
        breakCommand_[1] = static_cast<unsigned char>(control_ | 0x08);
        SetPending(kSlotBreak);
        rc = RequestSendTurn();
        break;
    case RS232_REQ_TRANSMIT: {
        if (!Ready()) return 317;
        if (deadline_) return POSERR_RS232_PREV_NOT_COMPLETE;
        const int n = rec.field[1];
        if (n <= 0 || n > RS232_MAX_WRITE || !rec.data) return 318;
        std::memcpy(transmit_ + 1, rec.data, static_cast<size_t>(n));
        slots_[kSlotTransmit].length = n + 1;
        const int64_t ms = static_cast<int64_t>(charTimeUs_) * n / 1000 + 10000; // the line time + 10 s
        deadline_ = chTimeAdd(chTime(), static_cast<int32_t>(ms));
        if (deadline_ == 0) deadline_ = 1;
        dataSent_ = 0;
        rec.field[2] = n;
        SetPending(kSlotTransmit);
        rc = RequestSendTurn();
        break;
    }
    case RS232_REQ_STATUS: {
        if (!Ready()) {
            rec.field[3] = 0;
            break;
        }
        int32_t status = 0;
        if (control_ & 0x04) status |= 0x20;
        if (control_ & 0x20) status |= 0x01;
        if (control_ & 0x02) status |= 0x02;
        if (lineImage_ & 0x02) status |= 0x04;
        if (lineImage_ & 0x04) status |= 0x08;
        if (!(lineImage_ & 0x80)) status |= 0x10;
        rec.field[3] = status;
        RequestSendTurn(false);
        break;
    }
    case RS232_REQ_SETTINGS: {
        if (!Ready()) break;
        Rs232Settings s{rec.field[4], rec.field[5], rec.field[6], rec.field[7], rec.field[8], rec.field[9]};
        if (!Build(s)) return 321;
        SetupIfChanged();
        rc = RequestSendTurn();
        break;
    }
    }
    std::memcpy(data, &rec, sizeof rec);
    return rc;
}

// ---------------------------------------------------------------------------------------
// The link.

int RS232CP::SendAnyPendingMessage() {
    if (deadline_ && chTimeDiff(chTime(), deadline_) >= 0) {
        // The transmit did not end in time: the port never finished it, or its data never
        // got out (a port that keeps rejecting, lines that never allow it). The deadline runs
        // from the write either way.
        const bool sent = dataSent_ != 0;
        AbortTransmit();
        if (sent) {
            ClearStatusBits(SIODEV_AWAITING_REPLY);
            SetPending(kSlotSetup);
        }
    }
    if (PdevSentMsg(partner_)) return -1;
    if (TestStatusBits(SIODEV_AWAITING_REPLY) || !TestStatusBits(PDEV_PRESENT)) return -1;
    for (int i = 0; i < kSlots; ++i) {
        if (!IsPending(i) || !slots_[i].bytes) continue;
        if (i != kSlotStatus && !TestStatusBits(PDEV_ONLINE)) continue;
        if (i == kSlotTransmit) {
            // Only while the port's input lines allow it.
            const bool clear = (lineImage_ & 0x04) && (!(control_ & 0x01) || (lineImage_ & 0x02));
            if (!clear) break;
        }
        const int rc = SendMsg(slots_[i].bytes, slots_[i].length);
        if (rc != 0) return rc;
        SetStatusBits(SIODEV_AWAITING_REPLY);
        lastSent_ = i;
        if (i == kSlotSetup) {
            ClearPending(kSlotSetup);
            std::memcpy(setupSent_, setup_, sizeof setup_);
        } else if (i == kSlotTransmit) {
            dataSent_ = 1;
        }
        return 0;
    }
    return -1;
}

int RS232CP::NewMsgRcvd(const unsigned char* data, int n) {
    if (!data || n < 2) {
        Log(LOG_REJECTED, 306, static_cast<uint32_t>(n), data, n);
        ClearStatusBits(SIODEV_AWAITING_REPLY);
        return SendAck();
    }
    const unsigned char b0 = data[0], b1 = data[1];
    statusImage_ = b0 & 0x84;
    lineImage_ = b1 & 0x87;
    if (b1 & 0x08) Log(LOG_DIAG_FAILED, 324, 0, data, n);
    if (b1 & 0x10) {
        if (n >= 3) SetECLevel(data[2]);
        ClearPending(kSlotStatus);
        NowConfirmed();
    }
    // A reject answers the command that awaited its reply: the setup goes again, paced by the
    // link while the port keeps rejecting. A reject bit that answers nothing sends nothing.
    const bool answers = TestStatusBits(SIODEV_AWAITING_REPLY);
    if (b1 & 0x20) {
        Log(LOG_REJECTED, 322, 0, data, n);
        if (answers) {
            CommandRejected();
            ClearStatusBits(SIODEV_AWAITING_REPLY);
            SetPending(kSlotSetup);
        }
    } else if (answers) {
        CommandAccepted();
    }
    const bool running = (b0 & 0x80) != 0;
    switch (lastSent_) {
    case kSlotBreak:
        // Any answer takes the break: a port still breaking (bit 7) answers again when it
        // is over, one that finished before answering frees the link now. Kept pending, the
        // break would be sent again at every turn and nothing after it would go.
        ClearPending(kSlotBreak);
        if (!running) ClearStatusBits(SIODEV_AWAITING_REPLY);
        break;
    case kSlotTransmit:
        if (b1 & 0x20) {
            // The port did not carry the transmit out: its data never reached the line, so
            // the holder is told it was aborted (and may write again), not that it completed.
            AbortTransmit();
            break;
        }
        if (running) break;
        if (dataSent_ && deadline_) {
            ClearPending(kSlotTransmit);
            deadline_ = 0;
            dataSent_ = 0;
            ClearStatusBits(SIODEV_AWAITING_REPLY);
            Rs232Record none;
            Tell(RS232_VIRT_XMIT_COMPLETE, none);
        } else {
            ClearStatusBits(SIODEV_AWAITING_REPLY);
        }
        break;
    default:
        ClearStatusBits(SIODEV_AWAITING_REPLY);
        break;
    }
    if (n > 2 && !(b1 & 0x10)) {
        int count = n - 2;
        int32_t flags = (b0 & 0x04) ? 2 : 0;
        if (b1 & 0x01) {
            const unsigned char ls = data[n - 1];
            count = n - 3;
            if (ls & 0x08) flags |= 1;
            if (ls & 0x10) flags |= 2;
            if (ls & 0x20) flags |= 4;
            if (ls & 0x40) {
                Rs232Record none;
                Tell(RS232_VIRT_BREAK, none);
            }
        }
        if (count > 0 || !(b1 & 0x01)) {
            Rs232Record rec;
            rec.data = const_cast<unsigned char*>(data + 2);
            rec.field[1] = count;
            rec.field[2] = flags;
            if (count > 0) Tell(RS232_VIRT_DATA, rec);
        }
    }
    return SendAck();
}

int RS232CP::PowerOnResetInProgress() {
    SetStatusBits(SIODEV_AWAITING_REPLY);
    SetPending(kSlotStatus);
    AbortTransmit();
    SetPending(kSlotSetup);
    statusImage_ = 0;
    lineImage_ = 0;
    return 0;
}

int RS232CP::CommandResetInProgress() {
    SetStatusBits(SIODEV_AWAITING_REPLY);
    return 0;
}

int RS232CP::SequenceResetInProgress(const unsigned char* /*data*/, int /*n*/) {
    SetStatusBits(SIODEV_AWAITING_REPLY);
    return 0;
}

int RS232CP::ResetComplete() {
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    return 0;
}

int RS232CP::LastMsgLost(const unsigned char* /*data*/, int /*n*/) {
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    if (lastSent_ >= 0 && lastSent_ < kSlots) SetPending(lastSent_);
    lastSent_ = kNoSlot;
    return 0;
}

int RS232CP::LastMsgAcked() { return 0; }

int RS232CP::LastAckLost(const unsigned char* /*data*/, int /*n*/) { return SendAck(); }

PDEV* _CreateRS232CP(const DeviceID& id) { return new RS232CP(id); }

namespace {
const unsigned char addressesRS232CP[] = {0x64, 0x65, 0x66, 0x67, 0x68, 0x69};
}
ObjectSupport objectRS232CP(RS232CP_TYPE_ID, _CreateRS232CP, addressesRS232CP, 6);
