// The fiscal M3 physical printer: frames by type, bring-up from the printer's own frame,
// return codes by class, limp state, the choice of the next command among the four
// stations, sending (fiscal frames as they are, the rest wrapped), resume and retry.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "ADAPTER.h"
#include "ObjectSupport.h"
#include "PRNTM3F.h"
#include "VDEV.h"
#include "ovkhost.h"
#include "sylocks.h"

namespace {

const char kTag[] = "@(#)prntm3fp.cpp 1.1";

enum : uint32_t {
    kLogNoQueue = 19501,
    kLogFrameType = 19503,
    kLogBadType = 19504,
    kLogShort = 19505,
    kLogAck = 19506,
    kLogDriverOther = 19508,
    kLogReject = 19509,
    kLogDocumentLoad = 19511,
    kLogDocumentMissing = 19512,
    kLogDocumentPresent = 19513,
    kLogHome = 19514,
    kLogJournal = 19515,
    kLogSendSystem = 19520,
    kLogSend = 19521,
    kLogResumeNoMemory = 19524,
    kLogResumeSet = 19525,
    kLogSystemNoMemory = 19530,
    kLogSystemSet = 19531,
    kLogBadSystemCommand = 19534,
    kLogEEPROM = 19536,
    kLogLimp = 19541,
    kLogHardware = 19542,
};

enum : uint32_t { kWordResume = 0x0100, kWordOnline = 0x1000, kWordFiscal = 0x2000 };
enum { kIdlePark = 6, kIdleLimit = 400 };
constexpr unsigned char kStation3 = 3;

bool older(const PRNTCMD* a, const PRNTCMD* b) {
    return static_cast<int32_t>(a->sequenceNumber - b->sequenceNumber) < 0;
}
bool isRegister(const PRNTCMD* c) { return c->code == M3_REGISTER_REVERSE || c->code == M3_REGISTER_FORWARD; }
bool isRelease(const PRNTCMD* c) { return c->code == M3_RELEASE_FORWARD || c->code == M3_RELEASE_REVERSE; }
bool isFiscal(const PRNTCMD* c) { return c && (c->classFlags & M3F_CLASS_FISCAL) && c->station == kStation3; }

// The class of every return code.
struct ReturnCodes {
    PRNTM3FP::ReturnCode rows[256];
    ReturnCodes() {
        for (int n = 0; n < 256; ++n) rows[n] = {static_cast<unsigned char>(n), M3F_CLASS_APPLICATION};
        rows[M3F_RC_GOOD].cls = M3F_CLASS_GOOD;
        for (int n : {112, 113, 114, 164}) rows[n].cls = M3F_CLASS_DRIVER;
        for (int n = 192; n <= 255; ++n) rows[n].cls = M3F_CLASS_DRIVER;
        for (int n : {71, 73, 78, 83, 86, 88, 89, 91, 97, 99, 100, 101, 104, 105, 106, 109, 134})
            rows[n].cls = M3F_CLASS_HARDWARE;
        for (int n = 118; n <= 127; ++n) rows[n].cls = M3F_CLASS_HARDWARE;
        for (int n = 146; n <= 151; ++n) rows[n].cls = M3F_CLASS_HARDWARE;
        for (int n = 153; n <= 157; ++n) rows[n].cls = M3F_CLASS_HARDWARE;
    }
};

void put32(unsigned char* data, uint32_t value) { std::memcpy(data, &value, sizeof value); }

} // namespace

const PRNTM3FP::ReturnCode* PRNTM3FP::sReturnCode() {
    static const ReturnCodes table;
    return table.rows;
}

PRNTM3FP::PRNTM3FP(const DeviceID& id) : PRNTP(id, "PRNTM3FP") {
    vdevType_ = PRNTM3FV_TYPE_ID;
    addressWaitTime_ = 144;
    byteWaitTime_ = 72;
    stations_ = 4;
    queue_ = new (std::nothrow) OMSGQUEUE(id, this, 1, 4);
    if (!queue_) clErrorLog(kLogNoQueue, 305, 0, kTag, this, sizeof(PRNTM3FP));
    SetStatusBits(M3F_IPL_PENDING | PRNTP_RESET_EXPECTED);
    ClearStatusBits(0x100000);
}

PRNTM3FP::~PRNTM3FP() {
    if (queue_) {
        DiscardData();
        delete queue_;
        queue_ = nullptr;
    }
}

// ---------------------------------------------------------------------------------------
// Requests.

int PRNTM3FP::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    DeviceLock lock(this);
    auto out = [&](uint32_t value) {
        if (!data || length < 4) return 321;
        put32(data, value);
        return 0;
    };
    switch (request) {
    case M3F_TP_DISABLE_FISCAL: return DisableFiscalPrinting();
    case M3F_TP_ENABLE_FISCAL: return EnableFiscalPrinting();
    case M3_TP_LOAD_FONT: return 311;
    case M3F_TP_COUNTRY: return out(country_);
    case M3F_TP_VERSION: return out(fiscalVersion_);
    case M3F_TP_PLD: return out(pld_);
    case M3F_TP_FISCAL_PRINTING: return out(fiscalPrinting_);
    case M3_TP_MICR:
        if (!data || length < static_cast<int>(sizeof(PRNTCMD))) return 321;
        if (!fiscalCapable_) {
            delete reinterpret_cast<PRNTCMD*>(data);
            return 0;
        }
        return PutQueue(reinterpret_cast<PRNTCMD*>(data));
    case M3_TP_CONFIGURATION: {
        if (!data || length < static_cast<int>(sizeof(M3Configuration))) return 321;
        M3Configuration c{};
        c.model = 3;
        c.micr = fiscalCapable_;
        c.codePage = 850;
        std::memcpy(data, &c, sizeof c);
        return 0;
    }
    case M3_TP_EC_LEVEL:
        if (!data || length < 1) return 321;
        data[0] = GetECLevel();
        return 0;
    default:
        return PRNTP::TellPhys(sender, request, data, length);
    }
}

int PRNTM3FP::CopyPrinterStatus(unsigned char* buffer) {
    std::memset(buffer, 0, 16);
    std::memcpy(buffer, status9_, sizeof status9_);
    return 0;
}

int PRNTM3FP::DisableFiscalPrinting() {
    if (fiscalPrinting_ != 1) return 0;
    fiscalPrinting_ = 0;
    return TellDeviceDataWaiting();
}

int PRNTM3FP::EnableFiscalPrinting() {
    if (fiscalPrinting_ != 0) return 0;
    fiscalPrinting_ = 1;
    return TellDeviceDataWaiting();
}

int PRNTM3FP::DiscardData() {
    if (!queue_) return 0;
    queue_->Retry();
    queue_->DiscardData(kStation3, 0);
    working_ = Working{};
    return PRNTP::DiscardData();
}

void PRNTM3FP::AskResume(uint32_t msg, uint32_t p1) {
    status_.set(kWordResume);
    PRNTMSG m;
    m.msg = msg;
    m.p1 = p1;
    m.p2 = status_.word();
    RequestResume(&m);
}

// ---------------------------------------------------------------------------------------
// Frames of the printer.

// The status word and the change events, from a frame whose EC byte is not 0.
void PRNTM3FP::StatusUpdate(const unsigned char* m) {
    if (m[3] == 0) return;
    auto put = [this](uint32_t bit, bool on) {
        if (on) status_.set(bit);
        else status_.reset(bit);
    };
    put(0x01, m[1] & 0x10);
    put(0x02, (m[2] & 0x08) || (m[0] & 0x20));
    put(0x04, m[1] & 0x02);
    put(0x08, !(m[1] & 0x40));
    put(0x10, !(m[2] & 0x04));
    put(0x20, !(m[1] & 0x20));
    put(0x80, !(m[1] & 0x20) && !(m[2] & 0x40));
    put(0x40, (headParkedPosition_ == 0 && (m[0] & 0x02)) || (headParkedPosition_ == 1 && (m[2] & 0x01)));
    put(0x200, m[0] & 0x40);
    put(0x400, m[2] & 0x02);
    put(kWordResume, ResumeRequested());
    put(kWordOnline, TestStatusBits(PDEV_PRESENT) && TestStatusBits(PDEV_ONLINE));
    auto post = [this](uint32_t p1) {
        PRNTMSG e;
        e.msg = POSM_PRN_STATUS_CHANGE;
        e.p1 = p1;
        e.p2 = status_.word();
        SendPrinterMessage(&e);
    };
    if ((status9_[1] ^ m[1]) & 0x10) {
        // The cover opening under a command that must not be lost asks for a resume instead.
        PRNTCMD* outstanding = queue_->GetOutstanding();
        if ((m[1] & 0x10) && outstanding && !(outstanding->classFlags & PRNTCMD_LOST_TOLERANT) &&
            !isFiscal(outstanding)) {
            queue_->Retry();
            AskResume(POSM_PRN_PRINTER_ERROR, 0x10000);
        } else {
            post(0x80000);
        }
    }
    if ((status9_[1] ^ m[1]) & 0x40) post(0x20000);
    if ((status9_[2] ^ m[2]) & 0x04) post(0x10000);
    if ((status9_[1] ^ m[1]) & 0x20) post(0x40000);
}

// Keeps the status bytes of a frame after its update; true while the cover is closed.
bool PRNTM3FP::CoverCheck(const unsigned char* m) {
    StatusUpdate(m);
    std::memcpy(status9_, m, sizeof status9_);
    return !(m[1] & 0x10);
}

int PRNTM3FP::NewMsgRcvd(const unsigned char* data, int n) {
    if (!queue_ || !data || n < 9) {
        clErrorLog(kLogShort, 320, static_cast<uint32_t>(n), kTag, this, sizeof(PRNTM3FP), data,
                   static_cast<uint16_t>(data && n > 0 ? std::min(n, 64) : 0));
    } else {
        const unsigned char* m = data;
        const unsigned char type = m[6], rc = m[8];
        lastRc_ = rc;
        PRNTCMD* outstanding = queue_->GetOutstanding();
        if ((m[7] & 0x80) && n > 9 && owner_) {
            std::vector<unsigned char> fiscal(m + 9, m + n);
            const int code = outstanding && outstanding->code == M3_MICR_READ ? static_cast<int>(M3_TV_MICR_DATA) : static_cast<int>(M3F_TV_DATA);
            owner_->TellVirt(this, code, fiscal.data(), static_cast<int>(fiscal.size()));
        }
        if (type & 0x80) {
            if (outstanding) queue_->Retry();
        } else if (type & 0x20) {
            if (rc == M3F_RC_GOOD) {
                const bool closed = CoverCheck(m);
                if (type & 0x04) {
                    ClearStatusBits(M3F_LIMP);
                } else if (!TestStatusBits(PDEV_ONLINE) && closed) {
                    if (outstanding && (outstanding->code == M3_GET_EC || outstanding->code == 67)) queue_->Retry();
                    else if (!outstanding) SystemCommand(2);
                }
            } else {
                if (rc == 112) ClearStatusBits(M3F_LIMP);
                if (rc != 205) clErrorLog(kLogFrameType, rc, type, kTag, this, sizeof(PRNTM3FP), m, 9);
            }
        } else if (type & 0x40) {
            if (rc == M3F_RC_GOOD) CoverCheck(m);
            else if (rc == 112 || rc == 164) ClearStatusBits(M3F_LIMP);
        } else if (type & 0x08) {
            std::memcpy(status9_, m, sizeof status9_);
            RespondToECLevelComplete(rc);
        } else if (type & 0x04) {
            ClearStatusBits(M3F_LIMP);
        } else if (type & 0x02) {
            CoverCheck(m);
            country_ = m[7] & 0x1F;
            fiscalVersion_ = (m[7] >> 4) & 0x03;
            pld_ = (type & 0x10) ? 1 : 0;
            ProcessIPLComplete(rc);
        } else if (type == 0 || type == 1 || type == 16) {
            CoverCheck(m);
            RespondToCommandComplete(rc);
        } else {
            clErrorLog(kLogBadType, 320, type, kTag, this, sizeof(PRNTM3FP), m, 9);
        }
    }
    if (SendAnyPendingMessage() == 0) return 0;
    const int rc = SendAck();
    if (rc != 0) clErrorLog(kLogAck, static_cast<uint32_t>(rc), 0, kTag, this, sizeof(PRNTM3FP));
    return rc;
}

// Completes and retires the outstanding command.
void PRNTM3FP::CompleteOutstanding() {
    queue_->RespondToCommandComplete();
    queue_->RespondToCommandSuccess();
    working_ = Working{};
}

int PRNTM3FP::RespondToCommandComplete(unsigned char rc) {
    if (!TestStatusBits(PDEV_ONLINE)) return ProcessIPLBringup(rc);
    switch (ClassOf(rc)) {
    case M3F_CLASS_GOOD: return ProcessFiscalGoodReturnCode(rc);
    case M3F_CLASS_APPLICATION: return ProcessFiscalApplicationError(rc);
    case M3F_CLASS_HARDWARE: return ProcessFiscalHardwareError(rc);
    default: return ProcessFiscalDeviceDriverError(rc);
    }
}

int PRNTM3FP::ProcessFiscalGoodReturnCode(unsigned char) {
    PRNTCMD* outstanding = queue_->GetOutstanding();
    if (outstanding) CommandAccepted();
    if (isFiscal(outstanding) && owner_ && outstanding->frame)
        owner_->TellVirt(this, M3F_TV_NOTIFY, outstanding->frame, outstanding->frameLength);
    if (outstanding) CompleteOutstanding();
    return 0;
}

int PRNTM3FP::ProcessFiscalApplicationError(unsigned char rc) {
    queue_->Retry();
    AskResume(POSM_PRN_FISCAL_ERROR, static_cast<uint32_t>(rc) << 16);
    return 0;
}

int PRNTM3FP::ProcessFiscalHardwareError(unsigned char rc) {
    queue_->Retry();
    AskResume(POSM_PRN_FISCAL_ERROR, static_cast<uint32_t>(rc) << 16);
    clErrorLog(kLogHardware, rc, 0, kTag, this, sizeof(PRNTM3FP), status9_, 9);
    return 0;
}

int PRNTM3FP::ProcessFiscalDeviceDriverError(unsigned char rc) {
    PRNTCMD* outstanding = queue_->GetOutstanding();
    auto resume = [this](uint32_t p1) { AskResume(POSM_PRN_PRINTER_ERROR, p1); };
    switch (rc) {
    case 192:
        // The rejected command stays pending and goes again, paced while the rejects go on.
        if (outstanding) CommandRejected();
        queue_->Retry();
        resume(0x20000);
        clErrorLog(kLogReject, rc, 0, kTag, this, sizeof(PRNTM3FP), status9_, 9);
        break;
    case 193:
    case 214:
        queue_->Retry();
        resume(outstanding && outstanding->station == PRN_STATION_DI ? 0x100000 : 0x80000);
        clErrorLog(kLogDocumentLoad, rc, rc == 193 ? 512 : 1024, kTag, this, sizeof(PRNTM3FP), status9_, 9);
        break;
    case 194:
        queue_->Retry();
        resume(0x20000);
        clErrorLog(kLogHome, rc, 0, kTag, this, sizeof(PRNTM3FP), status9_, 9);
        break;
    case 200:
        return ProcessFiscalHardwareError(rc);
    case 201:
    case 202:
    case 213:
        queue_->Retry();
        resume(0x100000);
        clErrorLog(kLogDocumentMissing, rc, 0, kTag, this, sizeof(PRNTM3FP), status9_, 9);
        break;
    case 203:
        if (outstanding) queue_->Retry();
        break;
    case 205:
        break;
    case 206: {
        queue_->Retry();
        const uint32_t p1 = (status9_[1] & 0x02) ? 0x40000 : (status9_[2] & 0x08) ? 0x20000 : 0;
        resume(p1);
        clErrorLog(kLogJournal, rc, p1, kTag, this, sizeof(PRNTM3FP), status9_, 9);
        break;
    }
    case 211:
        queue_->Retry();
        clErrorLog(kLogEEPROM, rc, 0, kTag, this, sizeof(PRNTM3FP), status9_, 9);
        break;
    case 225:
    case 226:
    case 237:
        queue_->Retry();
        resume(0x80000);
        clErrorLog(kLogDocumentPresent, rc, 0, kTag, this, sizeof(PRNTM3FP), status9_, 9);
        break;
    default:
        queue_->Retry();
        clErrorLog(kLogDriverOther, rc, rc, kTag, this, sizeof(PRNTM3FP), status9_, 9);
        break;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// Bring-up.

int PRNTM3FP::ProcessIPLBringup(unsigned char rc) {
    PRNTCMD* outstanding = queue_->GetOutstanding();
    const unsigned short code = outstanding ? outstanding->code : 0;
    if (rc == M3F_RC_GOOD) {
        if (outstanding) {
            if (code == M3_RESET) {
                CompleteOutstanding();
            } else {
                queue_->Retry();
                if (code == M3_GET_EC || code == 67) return 0;
            }
        } else {
            SetStatusBits(M3F_IPL_PENDING);
        }
        return SystemCommand(2);
    }
    if (rc == M3F_RC_WAIT && (code == M3_GET_EC || code == 67)) {
        SetStatusBits(M3F_IPL_PENDING);
        return RespondToECLevelComplete(0);
    }
    return PutIntoLimpState(rc);
}

int PRNTM3FP::ProcessIPLComplete(unsigned char rc) {
    if (ClassOf(rc) != M3F_CLASS_GOOD) return PutIntoLimpState(rc);
    PRNTCMD* outstanding = queue_->GetOutstanding();
    const unsigned short code = outstanding ? outstanding->code : 0;
    if (code == M3_RESET) {
        CompleteOutstanding();
        return SystemCommand(2);
    }
    if (code == M3_GET_EC || code == 67) {
        queue_->Retry();
        return 0;
    }
    if (code == 68) {
        status_.set(kWordOnline);
        NowConfirmed();
        CompleteOutstanding();
        offlineMark_ = 0;
        if (TestStatusBits(M3F_RESUME_DEFERRED)) {
            ClearStatusBits(M3F_RESUME_DEFERRED);
            SetStatusBits(PRNTP_RESUME_REQUESTED);
            ResumeOrRetry(resumeText_, false);
        } else if (TestStatusBits(M3F_RETRY_DEFERRED)) {
            ClearStatusBits(M3F_RETRY_DEFERRED);
            SetStatusBits(PRNTP_RESUME_REQUESTED);
            ResumeOrRetry(retryText_, true);
        }
        return 0;
    }
    queue_->Retry();
    return SystemCommand(2);
}

int PRNTM3FP::RespondToECLevelComplete(unsigned char rc) {
    SetECLevel(rc);
    ecByte_ = status9_[3];
    fiscalCapable_ = (status9_[0] & 0x08) ? 1 : 0;
    if (fiscalCapable_) status_.set(kWordFiscal);
    else status_.reset(kWordFiscal);
    PRNTCMD* outstanding = queue_->GetOutstanding();
    if (outstanding) CompleteOutstanding();
    if (rc != 0) return SystemCommand(9);
    status_.set(kWordOnline);
    NowConfirmed();
    return 0;
}

int PRNTM3FP::PutIntoLimpState(unsigned char rc) {
    if (queue_->GetOutstandingSystemCommand()) queue_->RespondToCommandComplete();
    queue_->Retry();
    NowConfirmed();
    AskResume(POSM_PRN_FISCAL_ERROR, static_cast<uint32_t>(rc) << 16);
    SetStatusBits(M3F_LIMP);
    clErrorLog(kLogLimp, rc, 0, kTag, this, sizeof(PRNTM3FP), status9_, 9);
    return 0;
}

// ---------------------------------------------------------------------------------------
// Sending.

int PRNTM3FP::SendCommand(PRNTCMD* command, bool system) {
    int rc = 0;
    if (system || isFiscal(command)) {
        if (!system && TestStatusBits(M3F_RETRY_MARKER) && command->frame && command->frameLength > 3) {
            command->frame[3] |= 0x80;
            ClearStatusBits(M3F_RETRY_MARKER);
        }
        rc = SendMsg(command->frame, command->frameLength);
    } else {
        std::vector<unsigned char> wrapped{0x1B, 'f', 0xE9, 0x00};
        if (command->frame) wrapped.insert(wrapped.end(), command->frame, command->frame + command->frameLength);
        rc = SendMsg(wrapped.data(), static_cast<int>(wrapped.size()));
    }
    if (rc != 0) {
        if (!Paced(rc)) clErrorLog(system ? kLogSendSystem : kLogSend, static_cast<uint32_t>(rc), command->code, kTag, this,
                   sizeof(PRNTM3FP), command, sizeof(PRNTCMD));
        queue_->Retry();
        return -1;
    }
    SetStatusBits(PRNTP_AWAITING_ACK);
    if (command->code == 69) SetStatusBits(PRNTP_RESET_EXPECTED);
    return 0;
}

bool PRNTM3FP::HoldsWork() const {
    const bool paper = (status9_[1] & 0x40) && (status9_[2] & 0x04);
    return (status9_[1] & 0x10) || Limp() || (!fiscalPrinting_ && !paper);
}

int PRNTM3FP::SendAnyPendingMessage() {
    if (!queue_ || (status9_[1] & 0x10) || AwaitingAck() || TestStatusBits(M3F_LIMP) || queue_->GetOutstanding())
        return -1;
    int rc = 0;
    if (PRNTCMD* system = queue_->GetPendingSystemCommand(rc)) return SendCommand(system, true);
    if (ResumeRequested() || !TestStatusBits(PDEV_ONLINE)) return -1;
    for (int guard = 0; guard < 64; ++guard) {
        PRNTCMD* command = GetNextCommand();
        if (!command) return -1;
        if (command->classFlags & M3F_CLASS_LOCAL) {
            queue_->RespondToAck();
            CompleteOutstanding();
            continue;
        }
        return SendCommand(command, false);
    }
    return -1;
}

// Takes the station's head and has the queue finish it without sending it.
void PRNTM3FP::Settle(unsigned short station) {
    int rc = 0;
    if (!queue_->GetPendingCommand(station, rc)) return;
    queue_->RespondToAck();
    queue_->RespondToCommandComplete();
    queue_->RespondToCommandSuccess();
}

PRNTCMD* PRNTM3FP::GetNextCommand() {
    int rc = 0;
    PRNTCMD* taken = nullptr;
    const bool s = (status9_[1] & 0x40) && (status9_[2] & 0x04);
    auto resume = [this](uint32_t p1) { AskResume(POSM_PRN_PRINTER_ERROR, p1); };
    if (fiscalPrinting_) {
        taken = queue_->GetPendingCommand(kStation3, rc);
    } else {
        PRNTCMD* cr = queue_->QueryPendingCommand(PRN_STATION_CR, rc);
        PRNTCMD* sj = holdJournal_ ? nullptr : queue_->QueryPendingCommand(PRN_STATION_SJ, rc);
        PRNTCMD* di = queue_->QueryPendingCommand(PRN_STATION_DI, rc);
        if (s && !diPrinting_) {
            PRNTCMD* c = cr;
            if (sj && (!cr || older(sj, cr))) c = sj;
            if (c) taken = queue_->GetPendingCommand(c->station, rc);
        } else if (s) {
            if (di) resume(isRegister(di) ? 0x200000 : isRelease(di) ? 0x400000 : 0x100000);
        } else if (diPrinting_) {
            if (di) {
                const bool document = status9_[1] & 0x20;
                if (!document) {
                    if (isRegister(di)) Settle(PRN_STATION_DI);
                    else taken = queue_->GetPendingCommand(PRN_STATION_DI, rc);
                } else if (isRelease(di)) {
                    Settle(PRN_STATION_DI);
                } else if (isRegister(di)) {
                    taken = queue_->GetPendingCommand(PRN_STATION_DI, rc);
                } else {
                    resume(0x100000);
                }
            }
        } else if (cr || sj) {
            resume(0x80000);
        }
    }
    if (!taken) {
        QueueState state{};
        queue_->Query(&state);
        const unsigned short polls = static_cast<unsigned short>(idle_ + 1);
        if (state.sent == 0 && !(status9_[1] & 0x10) && !fiscalPrinting_ && polls >= kIdlePark && polls <= kIdleLimit) {
            unsigned short code = 0;
            if (headParkedPosition_ == 0 && !(status9_[0] & 0x02)) code = 3;
            else if (headParkedPosition_ == 1 && !(status9_[2] & 0x01)) code = 4;
            if (code && SystemCommand(code) == 0) taken = queue_->GetPendingSystemCommand(rc);
        } else if (polls > kIdleLimit && !fiscalPrinting_) {
            if (SystemCommand(7) == 0) taken = queue_->GetPendingSystemCommand(rc);
        }
    }
    if (taken) {
        working_.any = true;
        working_.fiscal = isFiscal(taken);
        working_.code = taken->code;
        working_.station = taken->station;
        working_.classFlags = taken->classFlags;
        working_.frame1 = taken->frame && taken->frameLength > 1 ? taken->frame[1] : 0;
        idle_ = 0;
    } else if (idle_ < 0xFFFF) {
        ++idle_;
    }
    return taken;
}

// ---------------------------------------------------------------------------------------
// System commands and link events.

int PRNTM3FP::SystemCommand(unsigned short code) {
    if (!queue_) return 321;
    unsigned short m3 = 0;
    switch (code) {
    case 1: m3 = 69; break;
    case 2:
        if (!TestStatusBits(M3F_IPL_PENDING)) return 0;
        m3 = 67;
        break;
    case 3:
    case 4:
        if (TestStatusBits(M3F_STATUS_REQUESTED)) return 0;
        m3 = code == 3 ? M3_PARK_CENTRE : M3_PARK_LEFT;
        break;
    case 7: m3 = M3_IDLE_STATUS; break;
    case 8: m3 = 67; break;
    case 9: m3 = 68; break;
    default:
        clErrorLog(kLogBadSystemCommand, 321, code, kTag, this, sizeof(PRNTM3FP), &code, sizeof code);
        return 321;
    }
    PRNTCMDM3* command = new (std::nothrow) PRNTCMDM3;
    if (!command) {
        clErrorLog(kLogSystemNoMemory, 305, code, kTag, this, sizeof(PRNTM3FP));
        return 305;
    }
    const int rc = command->Set(m3, this, 0, 0, 0, nullptr, 0, 0);
    if (rc != 0) {
        clErrorLog(kLogSystemSet, static_cast<uint32_t>(rc), code, kTag, this, sizeof(PRNTM3FP));
        delete command;
        return rc;
    }
    queue_->StoreSystemCommand(command);
    if (code == 1) {
        SetStatusBits(PRNTP_RESET_EXPECTED);
        ClearStatusBits(M3F_LIMP);
    }
    if (code == 3 || code == 4) SetStatusBits(M3F_STATUS_REQUESTED);
    if (!AwaitingAck() && adapter_) adapter_->RequestBuffer();
    return 0;
}

int PRNTM3FP::ClearPORResetInProgress() {
    if (queue_) queue_->FlushSystemCommands();
    working_ = Working{};
    return 0;
}

int PRNTM3FP::PowerOnResetInProgress() {
    ClearStatusBits(PRNTP_RESET_EXPECTED);
    if (queue_) {
        queue_->FlushSystemCommands();
        // Work the printer may have taken: a fiscal frame goes again with the retry marker,
        // so that the printer tells the repeat from a new command; other work asks for a
        // resume.
        PRNTCMD* sent = queue_->GetSentWork();
        if (isFiscal(sent)) SetStatusBits(M3F_RETRY_MARKER);
        else ReportLostWork(sent);
        queue_->Retry();
    }
    working_ = Working{};
    return 0;
}

int PRNTM3FP::LastMsgLost(const unsigned char* data, int n) {
    ++lostMessages_;
    const bool bit = data && n > 6 && (data[6] & 0x20);
    PRNTCMD* outstanding = queue_ ? queue_->GetOutstanding() : nullptr;
    if (isFiscal(outstanding)) {
        if (bit) SetStatusBits(M3F_RETRY_MARKER);
    } else if (outstanding && !(outstanding->classFlags & PRNTCMD_LOST_TOLERANT) && !bit) {
        status_.set(PRN_STATUS_FRAME_LOST);
        AskResume(POSM_PRN_PRINTER_ERROR, PRN_P1_FRAME_LOST);
    }
    if (queue_) queue_->Retry();
    ClearStatusBits(PRNTP_AWAITING_ACK);
    return 0;
}

// ---------------------------------------------------------------------------------------
// Resume and retry.

int PRNTM3FP::ResumePrinting(const unsigned char* text) { return ResumeOrRetry(text, false); }
int PRNTM3FP::RetryPrinting(const unsigned char* text) { return ResumeOrRetry(text, true); }

int PRNTM3FP::ResumeOrRetry(const unsigned char* text, bool retry) {
    if (!ResumeRequested()) return 0;
    status_.reset(kWordResume);
    const size_t length = text ? strnlen(reinterpret_cast<const char*>(text), M3_TEXT_AREA - 1) : 0;
    if (!TestStatusBits(PDEV_ONLINE) || TestStatusBits(M3F_LIMP)) {
        unsigned char* area = retry ? retryText_ : resumeText_;
        std::memset(area, 0, M3_TEXT_AREA);
        if (length) std::memcpy(area, text, length);
        SetStatusBits(retry ? M3F_RETRY_DEFERRED : M3F_RESUME_DEFERRED);
        ClearStatusBits(PRNTP_RESUME_REQUESTED);
        SystemCommand(1);
        return 317;
    }
    if (retry) queue_->Retry();
    int rc = 0;
    const Working& worked = working_;
    if (worked.any && worked.fiscal) {
        if (retry) SetStatusBits(M3F_RETRY_MARKER);
        else queue_->RespondToResumePrinting(kStation3);
    } else if (worked.any && (worked.classFlags & M3F_CLASS_PRINT) && worked.station <= PRN_STATION_DI) {
        unsigned short code = M3_LINE_CR;
        int width = 38;
        if (worked.station == PRN_STATION_SJ) code = M3_LINE_SJ;
        if (worked.station == PRN_STATION_DI) {
            switch (worked.frame1) {
            case 3: code = M3_LINE_DI_03; width = 86; break;
            case 4: code = M3_LINE_DI_04; break;
            case 6: code = M3_LINE_DI_06; width = 86; break;
            default: code = M3_LINE_DI_07; break;
            }
        }
        unsigned char line[M3_RESUME_LINE];
        std::memset(line, ' ', sizeof line);
        std::memcpy(line, text, std::min<size_t>(length, static_cast<size_t>(width)));
        PRNTCMDM3* command = new (std::nothrow) PRNTCMDM3;
        if (!command) {
            clErrorLog(kLogResumeNoMemory, 305, 0, kTag, this, sizeof(PRNTM3FP));
            rc = 305;
        } else if ((rc = command->Set(code, this, 1, 3, static_cast<unsigned short>(width), line, 0, 0)) != 0 ||
                   (rc = queue_->StoreCommand(command, 1)) != 0) {
            clErrorLog(kLogResumeSet, static_cast<uint32_t>(rc), 0, kTag, this, sizeof(PRNTM3FP));
            delete command;
        }
    }
    if (!retry)
        for (unsigned short s = 0; s < 4; ++s) queue_->RespondToResumePrinting(s);
    working_ = Working{};
    ClearStatusBits(PRNTP_RESUME_REQUESTED);
    const int turn = TellDeviceDataWaiting();
    return rc != 0 ? rc : turn;
}

// ---------------------------------------------------------------------------------------

PDEV* _CreatePRNTM3FP(const DeviceID& id) { return new (std::nothrow) PRNTM3FP(id); }

namespace {
const unsigned char kAddresses[] = {0x38};
} // namespace

ObjectSupport objectPRNTM3FP(PRNTM3FP_TYPE_ID, _CreatePRNTM3FP, kAddresses, 1);
