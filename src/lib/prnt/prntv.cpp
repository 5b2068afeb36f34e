// The virtual printer base: open and close, holding the printer, the printer I/O controls,
// chase and marker commands, and the physical printer's messages.
#include "PRNTV.h"

#include <cstring>
#include <new>

#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)prntv.cpp 1.1";

// Log ids of the virtual printer.
enum : uint32_t {
    kLogCloseFlush = 19209,
    kLogReleaseFlush = 19210,
    kLogCloseAfterValidation = 19215,
    kLogStillHeld = 19216,
    kLogUnknownTellVirt = 19217,
    kLogBadChaseStation = 19218,
    kLogDisableDIFlush = 19221,
    kLogEnableDIFlush = 19222,
    kLogDiscardFlush = 19223,
    kLogResetFlush = 19224,
    kLogDisableExclusiveFlush = 19225,
    kLogEnableExclusiveFlush = 19226,
};

constexpr uint32_t kChaseMax = 32767;

} // namespace

std::atomic<uint32_t> PRNTV::uChaseNumber{1};

PRNTV::PRNTV(const DeviceID& id, int handle, const unsigned char* name) : VDEV(id, handle, name) {
    std::memset(parm_.retryString, '\'', kStringMax);
    parm_.retryString[kStringMax] = '\0';
}

PRNTV::~PRNTV() = default;

void PRNTV::Log(uint32_t logId, uint32_t rc, uint32_t extra, const void* data, int length) const {
    clErrorLog(logId, rc, extra, kTag, this, static_cast<uint16_t>(sizeof(PRNTV)), data,
               data ? static_cast<uint16_t>(length) : 0);
}

int PRNTV::Tell(int request, void* data, int length) {
    if (!pdev_) return 321;
    return pdev_->TellPhys(this, request, static_cast<unsigned char*>(data), length);
}

void PRNTV::CopyString(char* out, const char* text) {
    size_t n = text ? strnlen(text, kStringMax) : 0;
    if (n) std::memcpy(out, text, n);
    out[n] = '\0';
}

uint32_t PRNTV::NextChaseNumber() {
    uint32_t current = uChaseNumber.load();
    for (;;) {
        const uint32_t number = current >= 1 && current <= kChaseMax ? current : 1;
        if (uChaseNumber.compare_exchange_weak(current, number + 1)) return number;
    }
}

// ---------------------------------------------------------------------------------------
// Open, close, holding.

int PRNTV::Close(int& remaining) {
    if (IsHolding()) {
        int rc = SendWritePending();
        if (rc != 0) Log(kLogCloseFlush, static_cast<uint32_t>(rc), 0);
        Tell(PRN_TP_DELETE_CHASE, nullptr, 0);
    }
    int rc = VDEV::Close(remaining);
    if (IsHolding()) Log(kLogStillHeld, 321, 0);
    return rc;
}

int PRNTV::AcquirePhysical() {
    int rc = VDEV::AcquirePhysical();
    if (rc != 0) return rc;
    const int di = parm_.diPrinting ? EnableDIPrinting() : DisableDIPrinting();
    const int exclusive = parm_.exclusiveDI ? EnableExclusiveDIPrinting() : DisableExclusiveDIPrinting();
    SetInterleaved();
    const int park = SetHeadParkedPosition();
    int result = park != 0 ? park : (exclusive != 0 ? di : 0);
    if (result == 305) ReleasePhysical();
    return result;
}

int PRNTV::ReleasePhysical() {
    if (IsHolding()) {
        int rc = SendWritePending();
        if (rc != 0) Log(kLogReleaseFlush, static_cast<uint32_t>(rc), 0);
    }
    return VDEV::ReleasePhysical();
}

int PRNTV::Read(void* buffer, unsigned int length, int& count) {
    count = 0;
    int rc = RequireHolding();
    if (rc != 0) return rc;
    rc = Tell(PRN_TP_READ, buffer, static_cast<int>(length));
    count = static_cast<int>(length);
    return rc;
}

// ---------------------------------------------------------------------------------------
// Messages of the physical printer.

int PRNTV::TellVirt(const PDEV* /*from*/, int message, unsigned char* data, int length) {
    switch (message) {
    case PRN_TV_CHASE_DONE: {
        if (!data || length < 2) return 321;
        unsigned short station;
        std::memcpy(&station, data, sizeof station);
        DecrementChase(station);
        return 0;
    }
    case PRN_TV_MESSAGE: {
        if (!data || length < static_cast<int>(sizeof(PRNTMSG))) return 321;
        PRNTMSG m;
        std::memcpy(&m, data, sizeof m);
        SendUserAMessage(&m);
        return 0;
    }
    default:
        Log(kLogUnknownTellVirt, 311, static_cast<uint32_t>(message));
        return 311;
    }
}

int PRNTV::SendUserAMessage(const PRNTMSG* message) {
    if (!message) return 321;
    return PostQueueMsg(message->msg, message->p1, message->p2);
}

void PRNTV::DecrementChase(unsigned short station) {
    if (station > 2) {
        Log(kLogBadChaseStation, 321, station);
        return;
    }
    if (chaseCount_[station] > 0) --chaseCount_[station];
}

// ---------------------------------------------------------------------------------------
// Commands for the queue.

int PRNTV::SetChase(unsigned short stations) {
    if (stations > 7) return POSERR_PRN_INVALID_STATION;
    static const unsigned short kCodes[3] = {PRNTCMD_CHASE_CR, PRNTCMD_CHASE_SJ, PRNTCMD_CHASE_DI};
    for (unsigned short s = 0; s < 3; ++s) {
        if (!(stations & stationBits_[s])) continue;
        PRNTCMD* command = new (std::nothrow) PRNTCMD;
        if (!command) return 305;
        command->Set(kCodes[s], this, 0, 0, 0, nullptr, 0, 0);
        command->SetChaseNumber(NextChaseNumber());
        int rc = Tell(PRN_TP_PUT_QUEUE, command, sizeof(PRNTCMD));
        if (rc != 0) {
            delete command; // not taken
            return rc;
        }
        ++chaseCount_[s];
    }
    return 0;
}

int PRNTV::QueueMarker(unsigned short code, unsigned short value) {
    int rc = RequireHolding();
    if (rc != 0) return rc;
    PRNTCMD* command = new (std::nothrow) PRNTCMD;
    if (!command) return 305;
    command->Set(code, this, 0, 0, 0, nullptr, 0, 0);
    if (code == PRNTCMD_SET_INTERLEAVE)
        command->SetInterleaved(value);
    else
        command->SetHeadParkedPosition(value);
    rc = Tell(PRN_TP_PUT_QUEUE, command, sizeof(PRNTCMD));
    if (rc != 0) delete command;
    return rc;
}

int PRNTV::SetInterleaved() { return QueueMarker(PRNTCMD_SET_INTERLEAVE, parm_.interleaved); }

int PRNTV::SetHeadParkedPosition() {
    return QueueMarker(PRNTCMD_SET_HEAD_PARK, parm_.headParkedPosition);
}

// ---------------------------------------------------------------------------------------
// Requests to the physical printer.

int PRNTV::GetPrinterStatus(uint32_t& status) {
    unsigned char word[4] = {};
    int rc = Tell(PRN_TP_STATUS, word, sizeof word);
    std::memcpy(&status, word, sizeof status);
    return rc;
}

int PRNTV::GetPrinterStatus2(uint32_t& status) {
    unsigned char word[4] = {};
    int rc = Tell(PRN_TP_STATUS2, word, sizeof word);
    std::memcpy(&status, word, sizeof status);
    return rc;
}

int PRNTV::GetRawPrinterStatus(unsigned char* buffer) {
    return Tell(PRN_TP_RAW_STATUS, buffer, kRawStatusSize);
}

// The DI switches: each needs the printer held, flushes the buffered print data first (a
// failure is only logged), records the wish and tells the physical printer.
#define PRNTV_DI_SWITCH(Name, field, value, logId, request)                     \
    int PRNTV::Name() {                                                           \
        int rc = RequireHolding();                                                \
        if (rc != 0) return rc;                                                   \
        rc = SendWritePending();                                                  \
        if (rc != 0) Log(logId, static_cast<uint32_t>(rc), 0);                    \
        parm_.field = value;                                                      \
        return Tell(request, nullptr, 0);                                         \
    }

PRNTV_DI_SWITCH(EnableDIPrinting, diPrinting, 1, kLogEnableDIFlush, PRN_TP_ENABLE_DI)
PRNTV_DI_SWITCH(DisableDIPrinting, diPrinting, 0, kLogDisableDIFlush, PRN_TP_DISABLE_DI)
PRNTV_DI_SWITCH(EnableExclusiveDIPrinting, exclusiveDI, 1, kLogEnableExclusiveFlush,
                PRN_TP_ENABLE_EXCLUSIVE_DI)
PRNTV_DI_SWITCH(DisableExclusiveDIPrinting, exclusiveDI, 0, kLogDisableExclusiveFlush,
                PRN_TP_DISABLE_EXCLUSIVE_DI)

#undef PRNTV_DI_SWITCH

int PRNTV::DiscardData() {
    int rc = RequireHolding();
    if (rc != 0) return rc;
    rc = SendWritePending();
    if (rc != 0) Log(kLogDiscardFlush, static_cast<uint32_t>(rc), 0);
    return Tell(PRN_TP_DISCARD, nullptr, 0);
}

int PRNTV::ResetPrinter() {
    int rc = RequireHolding();
    if (rc != 0) return rc;
    rc = SendWritePending();
    if (rc != 0) Log(kLogResetFlush, static_cast<uint32_t>(rc), 0);
    return Tell(PRN_TP_RESET, nullptr, 0);
}

namespace {

// The first argument called name whose value is a readable string, or null.
const char* stringArg(const PosArg* args, int count, const char* name) {
    for (int i = 0; args && i < count; ++i) {
        if (!args[i].name || std::strcmp(args[i].name, name) != 0) continue;
        const char* text = reinterpret_cast<const char*>(args[i].value);
        return chCheckBuffer(text, 0, CH_ACCESS_STRING) == 0 ? text : nullptr;
    }
    return nullptr;
}

} // namespace

int PRNTV::ResumePrinting(PosArg* args, int count) {
    int rc = RequireHolding();
    if (rc != 0) return rc;
    SendWritePending();
    if (const char* text = stringArg(args, count, "resumeString")) {
        validateResumeString(reinterpret_cast<const unsigned char*>(text));
        CopyString(parm_.resumeString, text);
    }
    return Tell(PRN_TP_RESUME, parm_.resumeString, static_cast<int>(std::strlen(parm_.resumeString)));
}

int PRNTV::RetryPrinting(PosArg* args, int count) {
    int rc = RequireHolding();
    if (rc != 0) return rc;
    SendWritePending();
    if (const char* text = stringArg(args, count, "retryString")) {
        validateRetryString(reinterpret_cast<const unsigned char*>(text));
        CopyString(parm_.retryString, text);
    }
    return Tell(PRN_TP_RETRY, parm_.retryString, static_cast<int>(std::strlen(parm_.retryString)));
}

int PRNTV::IOCtl(int request, PosArg* args, int count, int& out) {
    switch (request) {
    case POS_PRN_DISABLE_DI_PRINTING: out = 0; return DisableDIPrinting();
    case POS_PRN_ENABLE_DI_PRINTING: out = 0; return EnableDIPrinting();
    case POS_PRN_RESUME_PRINTING: out = 0; return ResumePrinting(args, count);
    case POS_PRN_RETRY_PRINTING: out = 0; return RetryPrinting(args, count);
    case POS_PRN_DISCARD_DATA: out = 0; return DiscardData();
    case POS_PRN_RESET_PRINTER: out = 0; return ResetPrinter();
    case POS_PRN_DISABLE_EXCLUSIVE_DI_PRINTING: out = 0; return DisableExclusiveDIPrinting();
    case POS_PRN_ENABLE_EXCLUSIVE_DI_PRINTING: out = 0; return EnableExclusiveDIPrinting();
    default: return VDEV::IOCtl(request, args, count, out);
    }
}
