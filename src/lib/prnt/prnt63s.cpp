// The model-6397 physical printer, sending side: construction, the requests of the virtual
// printer, queueing, control commands, the choice of the next frame, and the link's reset,
// loss, resume and retry.
#include <algorithm>
#include <cstring>
#include <new>

#include "ADAPTER.h"
#include "ObjectSupport.h"
#include "PRNT63P.h"
#include "VDEV.h"
#include "ovkhost.h"
#include "sylocks.h"

namespace {

enum : uint32_t {
    kLogNoMemory = 20201,
    kLogDisableDI = 20202,
    kLogEnableDI = 20203,
    kLogInsertNoMemory = 20204,
    kLogInsertSetFailed = 20205,
    kLogSendError1 = 20209,
    kLogSendError2 = 20210,
    kLogSwitchDefault = 20211,
    kLogLost = 20212,
    kLogConfigResend = 20213,
};

enum : unsigned short {
    kRowStatusRequest = 105,
    kRowModeRaw = 133,
    kRowModeService = 134,
    kRowConfiguration = 4,
    kRowReset = 11,
    kRowFlush = 12,
    kRowRelease = 14,
    kRowDocument = 44,
    kRowDbcsSetup = 96,
    kRowMctQuery = 97,
    kRowEraseCounters = 99,
};

const char kPassingInTheNight[] = "PassingInTheNight";

bool passing(const unsigned char* data, int n) {
    const int len = static_cast<int>(sizeof kPassingInTheNight - 1);
    return data && n >= len && std::memcmp(data, kPassingInTheNight, len) == 0;
}

bool bit(const unsigned char* b, int byte, int n) { return (b[byte] >> n) & 1; }

bool older(const PRNTCMD* a, const PRNTCMD* b) {
    return static_cast<int32_t>(a->sequenceNumber - b->sequenceNumber) < 0;
}

void put32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

uint32_t get32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

PRNT63P::PRNT63P(const DeviceID& id) : PRNTP(id, "PRNT63P") {
    addressWaitTime_ = 32;
    byteWaitTime_ = 16;
    receiptByteWait_ = 16;
    ackWaitTime_ = 3000;
    stations_ = 3;
    status_.set(0x80);
    queue_ = new (std::nothrow) OMSGQUEUE(id, this, 1, 3);
    if (!queue_) Log(kLogNoMemory, 305, 0);
    resetInProgress_ = true;
    block_[1] = 7;
    statusLength_ = 8;
    chaseReport_ = true;
    queriesDone_ = true;
    vdevType_ = PRNT63V_TYPE_ID;
    std::fill(std::begin(mct_), std::end(mct_), 0xFFFF);
}

PRNT63P::~PRNT63P() {
    if (queue_) {
        PRNTP::DiscardData();
        delete queue_;
        queue_ = nullptr;
    }
}

// ---------------------------------------------------------------------------------------
// Requests of the virtual printer.

int PRNT63P::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    DeviceLock lock(this);
    auto needs = [&](int size) { return data && length >= size; };
    switch (request) {
    case PRN_TP_PUT_QUEUE:
    case PRN63_TP_PUT_CONTROL: {
        if (!needs(static_cast<int>(sizeof(PRNTCMD))) || !queue_) return 321;
        auto* command = reinterpret_cast<PRNTCMD*>(data);
        const unsigned short bytes = command->frameLength;
        int rc = 0;
        if (request == PRN_TP_PUT_QUEUE) {
            rc = PutQueue(command);
        } else {
            rc = queue_->StoreSystemCommand(command);
            if (rc == 0 && !AwaitingAck() && adapter_) adapter_->RequestBuffer();
        }
        if (rc == 0) queuedBytes_ += bytes;
        return rc;
    }
    case PRN_TP_DISCARD:
        if (!queriesDone_ || !queue_) return 0;
        queue_->Retry();
        for (unsigned short s = 0; s < 3; ++s) queue_->DiscardData(s, 0);
        if (!BufferEmpty()) {
            queue_->FlushSystemCommands();
            SystemCommand(32);
        }
        queuedBytes_ = 0;
        commandOutstanding_ = false;
        return 0;
    case PRN63_TP_CAPABILITIES:
        if (!needs(CAP63_SIZE)) return 321;
        FillCapabilities(data);
        return 0;
    case PRN63_TP_HOLD:
        return BufferEmpty() ? 0 : SystemCommand(32);
    case PRN63_TP_PAUSE:
        return bit(block_, 1, 4) ? 0 : SystemCommand(33);
    case PRN63_TP_RELEASE:
        return MayRelease() ? SystemCommand(34) : 0;
    case PRN63_TP_MODE_NORMAL: mode_ = kNormal; return 0;
    case PRN63_TP_MODE_RAW: mode_ = kRaw; return 0;
    case PRN63_TP_MODE_SERVICE: mode_ = kService; return 0;
    case PRN63_TP_DBCS_VECTOR:
        if (!needs(6)) return 321;
        std::memcpy(data, dbcsVector_, sizeof dbcsVector_);
        return 0;
    case PRN63_TP_CODE_PAGE:
    case PRN63_TP_CODE_PAGE + 1:
    case PRN63_TP_CODE_PAGE + 2:
    case PRN63_TP_CODE_PAGE + 3:
    case PRN63_TP_DI_CHAR_SIZE: {
        if (!needs(4)) return 321;
        const uint32_t values[] = {codePage_, sbcsSpacing_, dbcsSpacing_, crCharSize_, diCharSize_};
        put32(data, values[request - PRN63_TP_CODE_PAGE]);
        return 0;
    }
    case PRN63_TP_FIRMWARE_ON: firmwareDownload_ = true; return 0;
    case PRN63_TP_FIRMWARE_OFF: firmwareDownload_ = false; return 0;
    case 60:
    case 61:
        return 0;
    case PRN63_TP_DBCS_SETUP: {
        // Patch and build as one step: another printer may patch the row meanwhile.
        std::lock_guard<std::recursive_mutex> table(PRNTCMD63::TableLock());
        const unsigned char setup[2] = {dbcsSetup_[0], static_cast<unsigned char>(dbcsSetup_[1] & 0x3F)};
        PRNTCMD63::PatchRow(kRowDbcsSetup, 3, setup, 2);
        CmdRow row;
        PRNTCMD63::CopyRow(kRowDbcsSetup, row);
        return InsertCmd(1, PRN_STATION_CR, row.length, row.bytes);
    }
    case PRN63_TP_MCT_QUERY: {
        if (firmwareDownload_) return 0;
        std::lock_guard<std::recursive_mutex> table(PRNTCMD63::TableLock());
        const unsigned char index = static_cast<unsigned char>(length);
        PRNTCMD63::PatchRow(kRowMctQuery, 2, &index, 1);
        return InsertCmd(kRowMctQuery, PRN_STATION_CR, 0, nullptr);
    }
    case PRN63_TP_QUEUED_COUNT: {
        if (!needs(4)) return 321;
        QueueState state{};
        if (queue_) queue_->Query(&state);
        const int32_t count = static_cast<int32_t>(state.pending[0] + state.pending[1] + state.pending[2]) +
                              state.system + (commandOutstanding_ ? 1 : 0);
        tprintf("Queued count=%d\n", count);
        put32(data, static_cast<uint32_t>(count));
        return 0;
    }
    case PRN63_TP_SENSOR_ON: sensorReport_ = true; return 0;
    case PRN63_TP_SENSOR_OFF: sensorReport_ = false; return 0;
    case PRN63_TP_SENSOR_SENSE0: sensorSense_ = false; return 0;
    case PRN63_TP_SENSOR_SENSE1: sensorSense_ = true; return 0;
    case PRN63_TP_ERASE_COUNTERS:
        counters_[0] = counters_[1] = 0;
        return InsertCmd(kRowEraseCounters, PRN_STATION_CR, 0, nullptr);
    case PRN63_TP_SET_COUNTERS:
        if (!needs(CAP63_SIZE)) return 321;
        counters_[0] = get32(data + CAP63_COUNTER1);
        counters_[1] = get32(data + CAP63_COUNTER2);
        return 0;
    case PRN63_TP_MCT_VALUES:
        if (!needs(static_cast<int>(sizeof mct_))) return 321;
        std::memcpy(data, mct_, sizeof mct_);
        return 0;
    case PRN63_TP_SERIAL: {
        if (!needs(kSerialSize)) return 321;
        std::memset(data, 0, kSerialSize);
        int k = 0;
        for (int i = 0; i < kSerialSize && serial_[i]; ++i)
            if (serial_[i] != ' ') data[k++] = static_cast<unsigned char>(serial_[i]);
        return 0;
    }
    case PRN63_TP_LOGO_CHECKSUM:
        if (!needs(2)) return 321;
        std::memcpy(data, &logoChecksum_, 2);
        return 0;
    case PRN63_TP_EXT_ERROR:
        if (!needs(4)) return 321;
        put32(data, extErrorByte_);
        return 0;
    case PRN63_TP_RESERVED:
        if (!needs(24)) return 321;
        std::memset(data, 0, 24);
        return 0;
    case PRN63_TP_MICR_STATUS:
    case PRN63_TP_NOISE_LEVEL:
        if (!needs(1)) return 321;
        data[0] = request == PRN63_TP_MICR_STATUS ? micrStatus_ : noiseLevel_;
        return 0;
    default:
        return PRNTP::TellPhys(sender, request, data, length);
    }
}

// ---------------------------------------------------------------------------------------
// Queueing and control commands.

int PRNT63P::InsertCmd(unsigned short code, unsigned short station, unsigned short length,
                       const unsigned char* data) {
    if (!queue_) return 321;
    PRNTCMD63* command = new (std::nothrow) PRNTCMD63;
    if (!command) {
        Log(kLogInsertNoMemory, 305, code);
        return 305;
    }
    int rc = command->Set(code, this, length, data, station);
    if (rc != 0) {
        Log(kLogInsertSetFailed, static_cast<uint32_t>(rc), code);
        delete command;
        return rc;
    }
    const unsigned short bytes = command->frameLength;
    rc = (command->classFlags & PRN63_CLASS_CONTROL) ? queue_->StoreSystemCommand(command)
                                                      : queue_->StoreCommand(command, 1);
    if (rc != 0) {
        delete command;
        return rc;
    }
    queuedBytes_ += bytes;
    if (!AwaitingAck() && adapter_) adapter_->RequestBuffer();
    return 0;
}

void PRNT63P::QueueNext(unsigned short row) { InsertCmd(row, PRN_STATION_CR, 0, nullptr); }

int PRNT63P::SystemCommand(unsigned short code) {
    static const struct {
        unsigned short code, row;
    } kTable[] = {{1, 11}, {31, 10}, {32, 12}, {33, 13}, {34, 14}, {38, 77}, {39, 76}, {42, 157}};
    const auto* entry = std::find_if(std::begin(kTable), std::end(kTable),
                                     [code](const auto& e) { return e.code == code; });
    if (entry == std::end(kTable)) {
        Log(kLogSwitchDefault, 321, code, &code, sizeof code);
        return 321;
    }
    if (code == 31 && queue_) queue_->FlushSystemCommands();
    const int rc = InsertCmd(entry->row, PRN_STATION_CR, 0, nullptr);
    if (rc == 0 && code == 1) {
        offlineMode_ = false;
        resetInProgress_ = true;
    }
    return rc;
}

// ---------------------------------------------------------------------------------------
// Sending.

void PRNT63P::CompleteUnsent(PRNTCMD* command) {
    if (!queue_ || !command) return;
    queuedBytes_ = queuedBytes_ > command->frameLength ? queuedBytes_ - command->frameLength : 0;
    queue_->RespondToAck();
    queue_->RespondToCommandComplete();
    queue_->RespondToCommandSuccess();
}

int PRNT63P::SendAnyPendingMessage() {
    if (!queue_) return -1;
    QueueState state{};
    queue_->Query(&state);
    if (commandOutstanding_ || bit(block_, 8, 6) || state.outstanding) return -1;

    int rc = 0;
    if (PRNTCMD* command = queue_->GetPendingSystemCommand(rc)) {
        if (command->code == kRowModeRaw || command->code == kRowModeService) {
            mode_ = command->frame && command->frameLength ? command->frame[0] : 0;
            tprintf("System: Mode set to %d\n", mode_);
            CompleteUnsent(command);
            return -1;
        }
        if ((command->code == kRowFlush && BufferEmpty()) || (command->code == kRowRelease && !bit(block_, 1, 4))) {
            CompleteUnsent(command);
            return -1;
        }
        if (bit(block_, 1, 7)) tprintf("Ready to Send system command with buffer full\n");
        if ((command->classFlags & PRN63_CLASS_BUFFER_EMPTY) && !bit(block_, 2, 6) && !BufferEmpty()) {
            queue_->Retry();
            return -1;
        }
        lastSendTime_ = chTime();
        rc = SendMsg(command->frame, command->frameLength);
        if (rc != 0) {
            if (!Paced(rc)) Log(kLogSendError1, static_cast<uint32_t>(rc), command->code, command, sizeof(PRNTCMD));
            queue_->Retry();
            return -1;
        }
        SetStatusBits(PRNTP_AWAITING_ACK);
        commandOutstanding_ = true;
        if (command->code == kRowReset) resetInProgress_ = true;
        return 0;
    }

    if (ResumeRequested() || !TestStatusBits(PDEV_ONLINE) || firmwareHold_ || mode_ != kNormal ||
        bit(block_, 1, 7))
        return -1;

    if (sendConfigAfterReset_) {
        tprintf("Sending configuration data after reset\n");
        lastSendTime_ = chTime();
        rc = SendMsg(config_, configLength_);
        if (rc != 0) {
            if (!Paced(rc)) Log(kLogConfigResend, static_cast<uint32_t>(rc), 0, config_, configLength_);
            return -1;
        }
        SetStatusBits(PRNTP_AWAITING_ACK);
        commandOutstanding_ = true;
        sendConfigAfterReset_ = false;
        return 0;
    }

    PRNTCMD* command = GetNextCommand();
    if (!command) return -1;
    if (command->code == kRowModeRaw || command->code == kRowModeService) {
        mode_ = command->frame && command->frameLength ? command->frame[0] : 0;
        tprintf("Station: Mode set to %d\n", mode_);
        CompleteUnsent(command);
        return -1;
    }
    lastSendTime_ = chTime();
    rc = SendMsg(command->frame, command->frameLength);
    if (rc != 0) {
        if (!Paced(rc)) Log(kLogSendError2, static_cast<uint32_t>(rc), command->code, command, sizeof(PRNTCMD));
        queue_->Retry();
        return -1;
    }
    SetStatusBits(PRNTP_AWAITING_ACK);
    commandOutstanding_ = true;
    if (command->code == kRowConfiguration) {
        // The saved configuration keeps only a command that fits it; a longer one is not
        // sent again after a reset (an older one would no longer be the configuration).
        if (command->frame && command->frameLength <= kConfigSize) {
            std::memcpy(config_, command->frame, command->frameLength);
            configLength_ = command->frameLength;
        } else {
            configLength_ = 0;
        }
    }
    return 0;
}

bool PRNT63P::HoldsWork() const { return bit(block_, 0, 6); }

PRNTCMD* PRNT63P::GetNextCommand() {
    if (!queue_) return nullptr;
    int rc = 0;
    PRNTCMD* command = nullptr;
    if (exclusiveDI_) {
        command = queue_->QueryPendingCommand(diPrinting_ ? PRN_STATION_DI : PRN_STATION_CR, rc);
    } else {
        PRNTCMD* cr = queue_->QueryPendingCommand(PRN_STATION_CR, rc);
        PRNTCMD* di = queue_->QueryPendingCommand(PRN_STATION_DI, rc);
        command = cr && di ? (older(di, cr) ? di : cr) : (cr ? cr : di);
    }
    if (!command || bit(block_, 2, 1)) return nullptr;
    const unsigned short station = command->station;
    if (station == PRN_STATION_DI) {
        if (bit(block_, 0, 5)) return nullptr;
        if (command->code == kRowDocument && bit(block_, 1, 0) && bit(block_, 1, 1)) {
            CompleteUnsent(queue_->GetPendingCommand(station, rc));
            return nullptr;
        }
    }
    if (station == PRN_STATION_CR && bit(block_, 0, 6) && !(command->classFlags & PRN63_CLASS_RESTRICTED))
        return nullptr;
    if ((command->classFlags & PRN63_CLASS_BUFFER_EMPTY) && !BufferEmpty()) {
        if (chTimeDiff(chTime(), lastSendTime_) < 500) return nullptr;
        if (InsertCmd(kRowStatusRequest, PRN_STATION_CR, 0, nullptr) != 0) return nullptr;
        return queue_->GetPendingSystemCommand(rc);
    }
    PRNTCMD* taken = queue_->GetPendingCommand(station, rc);
    if (station == PRN_STATION_DI) {
        addressWaitTime_ = 144;
        byteWaitTime_ = 72;
    } else {
        addressWaitTime_ = 32;
        byteWaitTime_ = receiptByteWait_;
    }
    return taken;
}

// ---------------------------------------------------------------------------------------
// Link events, resume and retry.

int PRNT63P::ClearPORResetInProgress() {
    PRNTCMD* out = queue_ ? queue_->GetOutstanding() : nullptr;
    if (out && (out->code == kRowReset || out->code == 5)) {
        CompleteUnsent(out);
        commandOutstanding_ = false;
    }
    offlineMode_ = false;
    return 0;
}

int PRNT63P::PowerOnResetInProgress() {
    resetInProgress_ = false;
    ClearPORResetInProgress();
    commandOutstanding_ = false;
    firmwareHold_ = false;
    offlineMode_ = false;
    ClearStatusBits(PRNTP_AWAITING_ACK);
    SystemCommand(31);
    if (queue_) {
        ReportLostWork(queue_->GetSentWork());
        queue_->Retry();
    }
    if (owner_ && mode_ == kNormal && configLength_ > 0) sendConfigAfterReset_ = true;
    return 0;
}

int PRNT63P::LastMsgLost(const unsigned char* data, int n) {
    if (!passing(data, n)) {
        ++lostMessages_;
        Log(kLogLost, 0, 0, data, data ? std::min(n, 64) : 0);
        PRNTCMD* out = queue_ ? queue_->GetOutstanding() : nullptr;
        if (out && !(out->classFlags & PRN63_CLASS_CONTROL)) {
            status_.set(0x100);
            PRNTMSG m;
            m.msg = POSM_PRN_PRINTER_ERROR;
            m.p1 = PRN_P1_FRAME_LOST;
            m.p2 = status_.word();
            RequestResume(&m);
        }
    }
    if (queue_) queue_->Retry();
    commandOutstanding_ = false;
    ClearStatusBits(PRNTP_AWAITING_ACK);
    return 0;
}

int PRNT63P::ResumePrinting(const unsigned char* text) {
    if (!BufferEmpty()) SystemCommand(32);
    if (MayRelease()) SystemCommand(34);
    if (!ResumeRequested()) return 0;
    status_.reset(0x100);
    if (!TestStatusBits(PDEV_PRESENT) || !TestStatusBits(PDEV_ONLINE)) return 317;
    int rc = 0;
    if (text && text[0]) {
        const size_t n = strnlen(reinterpret_cast<const char*>(text), 86);
        rc = InsertCmd(0, diInUse_ ? PRN_STATION_DI : PRN_STATION_CR, static_cast<unsigned short>(n), text);
    }
    if (queue_) {
        queue_->RespondToResumePrinting(PRN_STATION_CR);
        queue_->RespondToResumePrinting(PRN_STATION_DI);
    }
    if (rc != 0) return rc;
    ClearStatusBits(PRNTP_RESUME_REQUESTED);
    return TellDeviceDataWaiting();
}

int PRNT63P::RetryPrinting(const unsigned char* /*text*/) {
    if (MayRelease()) SystemCommand(34);
    else if (bit(block_, 2, 2) && BufferEmpty()) SystemCommand(32);
    if (!ResumeRequested()) return 0;
    status_.reset(0x100);
    if (!TestStatusBits(PDEV_PRESENT) || !TestStatusBits(PDEV_ONLINE)) return 317;
    ClearStatusBits(PRNTP_RESUME_REQUESTED);
    return TellDeviceDataWaiting();
}

int PRNT63P::EnableDIPrinting() {
    if (diPrinting_) return 0;
    diPrinting_ = 1;
    if (queue_ && queue_->StationList(PRN_STATION_CR).count() > 0) Log(kLogEnableDI, 0, 0);
    return TellDeviceDataWaiting();
}

int PRNT63P::DisableDIPrinting() {
    if (!diPrinting_) return 0;
    diPrinting_ = 0;
    if (queue_ && queue_->StationList(PRN_STATION_DI).count() > 0) Log(kLogDisableDI, 0, 0);
    return TellDeviceDataWaiting();
}

int PRNT63P::DiscardData() {
    PRNTP::DiscardData();
    TellOwner(PRN63_TV_CHECKED, nullptr, 0);
    return 0;
}

// ---------------------------------------------------------------------------------------

PDEV* _CreatePRNT63P(const DeviceID& id) { return new (std::nothrow) PRNT63P(id); }

namespace {
const unsigned char kAddresses[] = {0x35};
} // namespace

ObjectSupport objectPRNT63P(PRNT63P_TYPE_ID, _CreatePRNT63P, kAddresses, 1);
