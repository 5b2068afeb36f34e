// Scanner physical base: command slots and their sending, resets and time-outs, label
// parsing and joining, and the hand-over of scans.
#include "SCP.h"

#include <cstring>
#include <new>

#include "ADAPTER.h"
#include "VDEV.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)scp.cpp 1.1";

enum : uint32_t {
    LOG_LAST_MSG_LOST_DEFAULT = 12001,
    LOG_LABEL_TOO_LONG = 12002,
    LOG_PARSE_LABEL_DATA_ERROR = 12003,
    LOG_QUEUE_LABEL_ERROR = 12004,
    LOG_HW_ERROR = 12005,
};

constexpr int32_t kCommandWaitMs = 2000; // an outstanding command, normally
constexpr int32_t kResetWaitMs = 30000;  // an outstanding command while a reset settles

const unsigned char kReset[] = {0x00, 0x40};
const unsigned char kEcLevel[] = {0x00, 0x80};
const unsigned char kDisable[] = {0x12};
const unsigned char kEnable[] = {0x11};
const unsigned char kBeepOff[] = {0x18};
const unsigned char kBeepOn[] = {0x14};

uint16_t clip16(long n) { return static_cast<uint16_t>(n <= 0 ? 0 : (n > 0xFFFF ? 0xFFFF : n)); }

} // namespace

SCP::SCP(const DeviceID& id, const char* name)
    : SIODEVICE(id, name),
      pending_(Bit(SCP_SLOT_EC_LEVEL) | Bit(SCP_SLOT_DISABLE) | Bit(SCP_SLOT_CONFIGURE) |
               Bit(SCP_SLOT_BEEP_ON)) {
    deviceType_ = SCANNER_DEVICE_TYPE;
    addressWaitTime_ = 48;
    slots_[SCP_SLOT_RESET] = {kReset, sizeof kReset};
    slots_[SCP_SLOT_EC_LEVEL] = {kEcLevel, sizeof kEcLevel};
    slots_[SCP_SLOT_DISABLE] = {kDisable, sizeof kDisable};
    slots_[SCP_SLOT_ENABLE] = {kEnable, sizeof kEnable};
    slots_[SCP_SLOT_BEEP_OFF] = {kBeepOff, sizeof kBeepOff};
    slots_[SCP_SLOT_BEEP_ON] = {kBeepOn, sizeof kBeepOn};
}

SCP::~SCP() {
    QueuePartialLabels();
    while (stored_.count > 0) {
        stored_.start();
        FreeLabelChain(stored_.linkout());
    }
}

void SCP::Log(uint32_t id, uint32_t rc, uint32_t extra, const unsigned char* data, int n) const {
    if (data && n > 0)
        clErrorLog(id, rc, extra, kTag, this, sizeof(SCP), data, clip16(n));
    else
        clErrorLog(id, rc, extra, kTag, this, sizeof(SCP));
}

int32_t SCP::Since(int32_t stamp) { return chTimeDiff(chTime(), stamp); }

void SCP::StartSendClock() {
    sendTime_ = chTime();
    sendTimeSet_ = true;
}

void SCP::StopClocks() {
    sendTimeSet_ = resetTimeSet_ = false;
}

// ---------------------------------------------------------------------------------------
// Requests of the owner.

int SCP::RequestSendTurn() {
    if (!TestStatusBits(PDEV_PRESENT) || !TestStatusBits(PDEV_ONLINE) || !adapter_) return 317;
    return adapter_->RequestBuffer();
}

int SCP::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    if (!sender || sender != owner_) return 315;
    switch (request) {
    case SCP_REQ_DISABLE:
        if (!enabled_) return 0;
        enabled_ = 0;
        pending_ = (pending_ | Bit(SCP_SLOT_DISABLE)) & ~Bit(SCP_SLOT_ENABLE);
        break;
    case SCP_REQ_CONFIGURE: {
        const CommandSlot& slot = slots_[SCP_SLOT_CONFIGURE];
        if (!slot.bytes || !data || length != slot.length) return 321;
        if (std::memcmp(slot.bytes, data, static_cast<size_t>(length)) == 0) return 0;
        std::memcpy(const_cast<unsigned char*>(slot.bytes), data, static_cast<size_t>(length));
        pending_ |= Bit(SCP_SLOT_CONFIGURE);
        break;
    }
    case SCP_REQ_ENABLE:
        if (enabled_) return 0;
        enabled_ = 1;
        pending_ = (pending_ | Bit(SCP_SLOT_ENABLE)) & ~Bit(SCP_SLOT_DISABLE);
        if (!beep_) pending_ |= Bit(SCP_SLOT_BEEP_OFF);
        break;
    case SCP_REQ_BEEP_OFF:
        if (!beep_) return 0;
        beep_ = 0;
        pending_ = (pending_ & ~(Bit(SCP_SLOT_BEEP_OFF) | Bit(SCP_SLOT_BEEP_ON))) | Bit(SCP_SLOT_BEEP_OFF);
        break;
    case SCP_REQ_BEEP_ON:
        if (beep_) return 0;
        beep_ = 1;
        pending_ = (pending_ & ~(Bit(SCP_SLOT_BEEP_OFF) | Bit(SCP_SLOT_BEEP_ON))) | Bit(SCP_SLOT_BEEP_ON);
        break;
    case SCP_REQ_QUEUE_ALL_ON:
    case SCP_REQ_QUEUE_ALL_OFF:
        queueAll_ = request == SCP_REQ_QUEUE_ALL_ON;
        return 0;
    case SCP_REQ_AUTO_DISABLE_ON:
    case SCP_REQ_AUTO_DISABLE_OFF:
        autoDisable_ = request == SCP_REQ_AUTO_DISABLE_ON;
        return 0;
    default:
        return PDEV::TellPhys(sender, request, data, length);
    }
    return RequestSendTurn();
}

int SCP::TellConfigure(const VDEV* sender, const unsigned char* data, int length) {
    if (!sender || sender != owner_) return 315;
    CommandSlot& slot = slots_[SCP_SLOT_CONFIGURE];
    if (!slot.bytes || !data || length != slot.length) return 321;
    unsigned char* bytes = const_cast<unsigned char*>(slot.bytes);
    if (std::memcmp(bytes, data, static_cast<size_t>(length)) == 0) return 0;
    bool beepOnly = true;
    for (int i = 0; i < length; ++i) {
        const unsigned char x = bytes[i] ^ data[i];
        if (x != 0 && !(i == 4 && x == 0x01)) beepOnly = false;
    }
    std::memcpy(bytes, data, static_cast<size_t>(length));
    if (beepOnly) return 0;
    pending_ |= Bit(SCP_SLOT_CONFIGURE);
    return adapter_ ? adapter_->RequestBuffer() : 0;
}

int SCP::Acquire(VDEV* vdev) {
    int rc = PDEV::Acquire(vdev);
    if (rc != 0) return rc;
    while (stored_.count > 0) {
        stored_.start();
        ScannerLabel* chain = stored_.linkout();
        rc = QueueLabel(chain);
        if (rc != 0) {
            PDEV::Release(vdev);
            return rc;
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// Sending, resets and time-outs.

bool SCP::TimeToResetScanner() {
    if (!sendTimeSet_) return false;
    return Since(sendTime_) > (ResetWait() ? kResetWaitMs : kCommandWaitMs);
}

bool SCP::ScannerResetComplete() { return true; }

int SCP::SendAnyPendingMessage() {
    if (Outstanding()) {
        if (!TimeToResetScanner()) return -1;
        Log(LOG_HW_ERROR, 306, static_cast<uint32_t>(lastSent_));
        ClearStatusBits(SIODEV_AWAITING_REPLY | SCP_RESET_WAIT);
        pending_ |= Bit(SCP_SLOT_RESET);
    } else if (ResetWait() && ScannerResetComplete()) {
        resetTimeSet_ = false;
        ClearStatusBits(SCP_RESET_WAIT);
    }
    if (Outstanding() || ResetWait()) return -1;

    int rc = -1;
    for (int i = 0; i < SCP_SLOTS; ++i) {
        if (!(pending_ & Bit(i)) || !slots_[i].bytes || slots_[i].length <= 0) continue;
        rc = SendMsg(slots_[i].bytes, slots_[i].length);
        if (rc == 0) {
            lastSent_ = i;
            SetStatusBits(SIODEV_AWAITING_REPLY);
            StartSendClock();
            break;
        }
    }
    return rc;
}

int SCP::SequenceResetInProgress(const unsigned char* /*data*/, int /*n*/) {
    if (beep_) pending_ |= Bit(SCP_SLOT_BEEP_ON);
    SetStatusBits(SIODEV_AWAITING_REPLY | SCP_RESET_WAIT);
    sendTime_ = resetTime_ = chTime();
    sendTimeSet_ = resetTimeSet_ = true;
    return 0;
}

int SCP::CommandResetInProgress() {
    SetStatusBits(SIODEV_AWAITING_REPLY | SCP_RESET_WAIT);
    sendTime_ = resetTime_ = chTime();
    sendTimeSet_ = resetTimeSet_ = true;
    QueuePartialLabels();
    return 0;
}

int SCP::PowerOnResetInProgress() {
    SetStatusBits(SIODEV_AWAITING_REPLY | SCP_RESET_WAIT);
    lastSent_ = -1;
    sendTime_ = resetTime_ = chTime();
    sendTimeSet_ = resetTimeSet_ = true;
    QueuePartialLabels();
    // Whatever was pending is replaced by the start-up commands.
    pending_ = Bit(SCP_SLOT_EC_LEVEL) | Bit(SCP_SLOT_CONFIGURE) |
               (enabled_ ? Bit(SCP_SLOT_ENABLE) : Bit(SCP_SLOT_DISABLE)) |
               (beep_ ? Bit(SCP_SLOT_BEEP_ON) : Bit(SCP_SLOT_BEEP_OFF));
    return 0;
}

int SCP::ResetComplete() {
    sendTimeSet_ = false;
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    return 0;
}

int SCP::LastMsgLost(const unsigned char* /*data*/, int /*n*/) {
    switch (lastSent_) {
    case SCP_SLOT_EC_LEVEL:
    case SCP_SLOT_DISABLE:
    case SCP_SLOT_CONFIGURE:
    case SCP_SLOT_ENABLE:
    case SCP_SLOT_BEEP_OFF:
    case SCP_SLOT_BEEP_ON:
        pending_ |= Bit(lastSent_);
        break;
    default:
        Log(LOG_LAST_MSG_LOST_DEFAULT, 321, static_cast<uint32_t>(lastSent_));
        break;
    }
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    return 0;
}

int SCP::LastAckLost(const unsigned char* /*data*/, int /*n*/) { return SendAck(); }

// A command counts as done only when a later reply's status bytes confirm it.
int SCP::LastMsgAcked() { return 0; }

// ---------------------------------------------------------------------------------------
// Labels.

void SCP::StandardizeLabel(ScannerLabel* label) {
    for (int i = 0; label && i < label->length; ++i)
        if (label->data[i] <= 9) label->data[i] = static_cast<unsigned char>('0' + label->data[i]);
}

int SCP::ParseLabelData(const unsigned char* data, int n, ScannerLabel*& out, int& complete) {
    out = nullptr;
    complete = 1;
    int rc = 0;
    int32_t type = 0;
    int dataLength = 0;
    if (!data || n < 2) {
        rc = POSERR_SCAN_LABEL_TOO_SHORT;
    } else {
        const bool trailer = data[n - 1] == 0x0B;
        const int identifier = trailer ? data[n - 2] : data[n - 1];
        const LabelWrapper* table = trailer ? WrapperTable_0B : WrapperTable_00;
        const int usable = trailer ? n - 1 : n;
        const LabelWrapper* row = table;
        while (row->type != 0 && row->identifier != identifier) ++row;
        int32_t expected = 0;
        if (row->type != 0) {
            type = row->type;
            expected = row->length;
            dataLength = usable - 1;
            if (row->marker && dataLength > 0) {
                dataLength = usable - 2;
                complete = data[usable - 2] != 0x10;
            }
        } else {
            dataLength = n; // unknown: every byte, trailer included
        }
        if (dataLength < 1) {
            rc = POSERR_SCAN_LABEL_TOO_SHORT;
        } else if (expected != 0 && complete && previousComplete_) {
            if (dataLength < expected)
                rc = POSERR_SCAN_LABEL_TOO_SHORT;
            else if (dataLength > expected)
                Log(LOG_LABEL_TOO_LONG, POSERR_SCAN_LABEL_TOO_LONG, static_cast<uint32_t>(dataLength),
                    data, n);
        }
    }
    if (rc == 0) {
        ScannerLabel* label = new (std::nothrow) ScannerLabel;
        unsigned char* bytes = label ? new (std::nothrow) unsigned char[dataLength] : nullptr;
        if (!label || !bytes) {
            delete label;
            rc = 305;
        } else {
            std::memcpy(bytes, data, static_cast<size_t>(dataLength));
            label->type = type;
            label->length = static_cast<uint16_t>(dataLength);
            label->data = bytes;
            StandardizeLabel(label);
            out = label;
        }
    }
    if (rc != 0) Log(LOG_PARSE_LABEL_DATA_ERROR, static_cast<uint32_t>(rc), 0, data, n);
    return rc;
}

int SCP::LabelDataRcvd(const unsigned char* data, int n, int lastBlock) {
    ScannerLabel* label = nullptr;
    int complete = 1;
    int rc = ParseLabelData(data, n, label, complete);
    if (rc != 0) {
        if (rc == 305) QueuePartialLabels();
        return rc;
    }
    if (!partial_) {
        partial_ = label;
    } else {
        ScannerLabel* last = partial_;
        while (last->next) last = last->next;
        // A scan no read record and no single read can carry is refused whole.
        const long size = ChainRecordSize(partial_) + label->length +
                          (previousComplete_ ? SCAN_RECORD_HEADER : 0);
        const long joined = previousComplete_ ? label->length : last->length + label->length;
        if (size > SCAN_MAX_READ_RECORD || joined > 0x7FFF) {
            Log(LOG_PARSE_LABEL_DATA_ERROR, POSERR_SCAN_LABEL_TOO_LONG, static_cast<uint32_t>(size), data, n);
            FreeLabelChain(label);
            DiscardPartialLabel();
            previousComplete_ = 1;
            return POSERR_SCAN_LABEL_TOO_LONG;
        }
        if (previousComplete_) {
            last->flags = static_cast<int16_t>(last->flags & ~LABEL_FLAG_LAST);
            last->next = label;
        } else {
            unsigned char* bytes = new (std::nothrow) unsigned char[joined];
            if (!bytes) {
                FreeLabelChain(label);
                Log(LOG_PARSE_LABEL_DATA_ERROR, 305, 0, data, n);
                QueuePartialLabels();
                return 305;
            }
            if (last->length) std::memcpy(bytes, last->data, last->length);
            std::memcpy(bytes + last->length, label->data, label->length);
            delete[] last->data;
            last->data = bytes;
            last->length = static_cast<uint16_t>(joined);
            FreeLabelChain(label);
        }
    }
    if (ChainLength(partial_) >= 3 && complete) lastBlock = 1;
    previousComplete_ = complete;
    if (lastBlock && complete) return QueueLabel(partial_);
    return 0;
}

int SCP::QueueLabel(ScannerLabel*& chain) {
    ScannerLabel* c = chain;
    chain = nullptr;
    if (!c) return 0;
    if (owner_) {
        if (!enabled_) c->flags = static_cast<int16_t>(c->flags | LABEL_FLAG_DISABLED);
        return owner_->TellVirt(this, SCV_TELL_LABEL, reinterpret_cast<unsigned char*>(c),
                                static_cast<int>(sizeof(ScannerLabel*)));
    }
    SetChainFlags(c, LABEL_FLAG_DISABLED);
    stored_.end();
    if (stored_.linkin(c) != 0) {
        Log(LOG_QUEUE_LABEL_ERROR, 305, 0);
        FreeLabelChain(c);
        return 305;
    }
    return 0;
}

int SCP::QueuePartialLabels() {
    SetChainFlags(partial_, LABEL_FLAG_PARTIAL);
    int rc = QueueLabel(partial_);
    previousComplete_ = 1;
    return rc;
}

void SCP::DiscardPartialLabel() {
    FreeLabelChain(partial_);
    partial_ = nullptr;
}
