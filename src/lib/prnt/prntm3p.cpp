// The M3 physical printer: answer parsing, status events, error responses, the choice of
// the next command among the three stations, the font download, the settings read and
// resume and retry.
#include <algorithm>
#include <ctime>
#include <cstring>
#include <new>

#include "ADAPTER.h"
#include "ObjectSupport.h"
#include "PRNTM3.h"
#include "VDEV.h"
#include "ovkhost.h"
#include "sycrc.h"
#include "sylocks.h"
#include "systart.h"

namespace {

const char kTag[] = "@(#)prntm3p.cpp 1.1";

enum : uint32_t {
    kLogNoQueue = 19301,
    kLogAck = 19302,
    kLogDIError = 19305,
    kLogEEPROM = 19306,
    kLogRejectNotReady = 19307,
    kLogFirstReject = 19308,
    kLogReject = 19309,
    kLogFontMismatch = 19312,
    kLogSendSystem = 19314,
    kLogSend = 19315,
    kLogSettingNoMemory = 19320,
    kLogSettingSet = 19321,
    kLogFontNoMemory = 19322,
    kLogFontSet = 19323,
    kLogBadSystemCommand = 19326,
    kLogResumeNoMemory = 19329,
    kLogResumeSet = 19330,
    kLogJournalNoBit = 19332,
    kLogDINoReason = 19333,
    kLogShort = 19346,
    kLogRetryNoMemory = 19349,
    kLogRetrySet = 19350,
    kLogJournal = 19351,
    kLogSystemSet = 19354,
    kLogSystemNoMemory = 19355,
};

enum : uint32_t {
    kWordResume = 0x0100,
    kWordMicr = 0x2000,
    kWordOnline = 0x1000,
};

enum { kIdlePark = 6, kIdleLimit = 400 };

bool older(const PRNTCMD* a, const PRNTCMD* b) {
    return static_cast<int32_t>(a->sequenceNumber - b->sequenceNumber) < 0;
}

uint16_t be16(const unsigned char* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

bool isRegister(const PRNTCMD* c) { return c->code == M3_REGISTER_REVERSE || c->code == M3_REGISTER_FORWARD; }
bool isRelease(const PRNTCMD* c) { return c->code == M3_RELEASE_FORWARD || c->code == M3_RELEASE_REVERSE; }

} // namespace

PRNTM3P::PRNTM3P(const DeviceID& id) : PRNTP(id, "PRNTM3P") {
    vdevType_ = PRNTM3V_TYPE_ID;
    addressWaitTime_ = 144;
    byteWaitTime_ = 72;
    stations_ = 3;
    queue_ = new (std::nothrow) OMSGQUEUE(id, this, 1, 3);
    if (!queue_) {
        clErrorLog(kLogNoQueue, 305, 0, kTag, this, sizeof(PRNTM3P));
        return;
    }
    SetStatusBits(PRNTP_RESET_EXPECTED);
    headParkPending_ = false;
}

PRNTM3P::~PRNTM3P() {
    if (queue_) {
        PRNTP::DiscardData();
        delete queue_;
        queue_ = nullptr;
    }
    delete[] font_;
}

// ---------------------------------------------------------------------------------------
// Requests.

int PRNTM3P::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    DeviceLock lock(this);
    switch (request) {
    case M3_TP_LOAD_FONT:
        if (ecLevel_ == 0xFF) return 0;
        if (!data || length < M3_FONT_BYTES) return 321;
        return LoadFont(data);
    case M3_TP_MICR: {
        if (!data || length < static_cast<int>(sizeof(PRNTCMD))) return 321;
        if (!micr_) {
            // No reader: the command is dropped (it was handed over).
            delete reinterpret_cast<PRNTCMD*>(data);
            return 0;
        }
        return PutQueue(reinterpret_cast<PRNTCMD*>(data));
    }
    case M3_TP_CONFIGURATION: {
        if (!data || length < static_cast<int>(sizeof(M3Configuration))) return 321;
        M3Configuration c{};
        c.openFirst = open_[0];
        c.openSecond = open_[1];
        c.three = 3;
        c.quoteFirst = quote_[0];
        c.quoteSecond = quote_[1];
        c.closeWord = closeWord_;
        c.ampBit6 = ampBit6_ ? 1 : 0;
        c.dbcsMode = ampBit7_ ? 1 : 0;
        c.model = dbcsModel_ ? 4 : 2;
        c.micr = micr_ ? 1 : 0;
        c.codePage = codePage_;
        std::memcpy(data, &c, sizeof c);
        return 0;
    }
    case M3_TP_DBCS_OFF:
    case M3_TP_DBCS_ON:
    case M3_TP_DBCS_MARK_OFF:
        return SystemCommand(static_cast<unsigned short>(request - M3_TP_DBCS_OFF + 21));
    case M3_TP_EC_LEVEL:
        if (!data || length < 1) return 321;
        data[0] = ecLevel_;
        return 0;
    case M3_TP_FIRMWARE_MODE:
        firmwareMode_ = true;
        return 0;
    case M3_TP_DOCUMENT_FRONT:
        documentFront_ = true;
        return 0;
    case PRN_TP_RESUME:
    case PRN_TP_RETRY: {
        // The converted text may hold zero bytes: its length is the one given.
        if (!data || length < 0) return 321;
        const int n = std::min(length, static_cast<int>(M3_TEXT_AREA));
        unsigned char text[M3_TEXT_AREA + 1] = {};
        std::memcpy(text, data, static_cast<size_t>(n));
        givenLength_ = n;
        const int rc = request == PRN_TP_RESUME ? ResumePrinting(text) : RetryPrinting(text);
        givenLength_ = -1;
        return rc;
    }
    default:
        return PRNTP::TellPhys(sender, request, data, length);
    }
}

int PRNTM3P::CopyPrinterStatus(unsigned char* buffer) {
    std::memset(buffer, 0, 16);
    std::memcpy(buffer, status6_, sizeof status6_);
    return 0;
}

void PRNTM3P::Post(uint32_t msg, uint32_t p1, uint32_t p2) {
    PRNTMSG m;
    m.msg = msg;
    m.p1 = p1;
    m.p2 = p2;
    SendPrinterMessage(&m);
}

void PRNTM3P::AskResume(uint32_t p1) {
    status_.set(kWordResume);
    PRNTMSG m;
    m.msg = POSM_PRN_PRINTER_ERROR;
    m.p1 = p1;
    m.p2 = status_.word();
    RequestResume(&m);
}

// ---------------------------------------------------------------------------------------
// Answers of the printer.

int PRNTM3P::NewMsgRcvd(const unsigned char* data, int n) {
    if (!queue_ || !data || n < 4) {
        clErrorLog(kLogShort, 320, static_cast<uint32_t>(n), kTag, this, sizeof(PRNTM3P), data,
                   static_cast<uint16_t>(data && n > 0 ? std::min(n, 64) : 0));
    } else {
        const int length = std::min(n, static_cast<int>(M3_ANSWER_MAX));
        auto* answer = new (std::nothrow) PRNTSTATUSM3;
        if (answer) {
            std::memset(answer->bytes, 0, sizeof answer->bytes);
            std::memcpy(answer->bytes, data, static_cast<size_t>(length));
            const unsigned char* m = answer->bytes;
            SetPrinterStatus(answer);
            SendStatusMessage(answer);
            std::memcpy(status6_, m, sizeof status6_);
            PRNTCMD* outstanding = queue_->GetOutstanding();
            bool handled = false;

            if (m[2] & 0x08) {
                if (journalErrors_ != 0) handled = true;
                else SystemCommand(6);
                RespondToJournalError();
            } else if (!(m[1] & 0x12)) {
                journalErrors_ = 0;
            }

            if (!(m[0] & 0x01)) {
                if (!(m[0] & 0x80)) rejects_ = 0;
                else if (outstanding) {
                    // The rejected command stays pending and goes again, paced while the
                    // rejects go on.
                    CommandRejected();
                    RespondToCommandReject();
                    outstanding = queue_->GetOutstanding(); // the reject may have completed it
                }
                if ((m[2] & 0x10) && outstanding && outstanding->code == M3_FONT_BLOCK) RespondToEEPROMLoadError();
                if (m[0] & 0x20) RespondToHomeError();
            } else {
                if (outstanding) CommandAccepted();
                headPos_ = (m[0] & 0x02) ? 1 : (m[2] & 0x01) ? 0 : 2;
                if (m[0] & 0x20) {
                    RespondToHomeError();
                    handled = true;
                } else {
                    homeErrors_ = 0;
                }
                if (((m[0] & 0x40) || (m[2] & 0x02)) && outstanding && !handled) {
                    RespondToDIError(static_cast<PRNTCMDM3*>(outstanding));
                    handled = true;
                }
                if (!handled && outstanding) {
                    switch (outstanding->code) {
                    case M3_GET_EC:
                        RespondToECLevelComplete();
                        break;
                    case M3_FONT_BLOCK:
                        eepromErrors_ = 0;
                        RespondToLoadFontComplete();
                        break;
                    case M3_MICR_READ:
                        if (length < 5) RespondToMicrReadError();
                        else RespondToMicrRead(m + 4, static_cast<unsigned short>(length - 4));
                        break;
                    default:
                        Settings(outstanding, m, length);
                        queue_->RespondToCommandComplete();
                        if (headPos_ != 2 || documentFront_) {
                            queue_->RespondToCommandSuccess();
                            headParkPending_ = false;
                        }
                        if ((m[1] & 0x02) && !(m[1] & 0x10)) RespondToJournalError();
                        break;
                    }
                } else if (handled && outstanding && outstanding->code == M3_GET_EC) {
                    queue_->FlushSystemCommands();
                }
            }
            delete answer;
        }
    }

    if (acks_ < 5) {
        ++acks_;
    } else if (SendAnyPendingMessage() == 0) {
        return 0;
    }
    const int rc = SendAck();
    if (rc != 0) clErrorLog(kLogAck, static_cast<uint32_t>(rc), 0, kTag, this, sizeof(PRNTM3P));
    return rc;
}

// The answers of raw data (72) and the settings queries and writes (70, 71, 73-76).
void PRNTM3P::Settings(const PRNTCMD* command, const unsigned char* m, int n) {
    const unsigned short code = command->code;
    const unsigned char* f = command->frame;
    const int fl = f ? command->frameLength : 0;
    const bool query = n == 6 && fl >= 2 && f[0] == 0x0B;
    if (code == M3_RAW_CR && owner_) {
        const uint32_t p1 = fl >= 2 ? static_cast<uint32_t>(f[0] << 8 | f[1]) << 16 : 0;
        if (m[2] & 0x10) {
            Post(POSM_PRN_RAS_ERROR, p1, 0);
        } else {
            uint32_t p2 = 0;
            if (n == 8 && fl >= 2 && f[0] == 0x01 && f[1] == 0x19)
                p2 = static_cast<uint32_t>(m[6]) << 24 | static_cast<uint32_t>(m[7]) << 16 |
                     static_cast<uint32_t>(m[4]) << 8 | m[5];
            else if (query)
                p2 = be16(m + 4);
            Post(POSM_PRN_RAS_STATUS, p1, p2);
        }
    }
    if (code == M3_RAW_CR || code == M3_WRITE_SETTING) {
        if (query && f[1] < M3_SETTINGS) settings_[f[1]] = be16(m + 4);
    }
    if (code != M3_RAW_CR && code != M3_WRITE_SETTING && code != M3_READ_AMPERSAND &&
        (code < M3_READ_DOLLAR || code > M3_READ_CLOSE))
        return;
    if (!query || !dbcsModel_) return;
    const unsigned char letter = f[1];
    const uint16_t word = be16(m + 4);
    if (letter < M3_SETTINGS) settings_[letter] = word;
    switch (letter) {
    case '$':
        codePage_ = word;
        if (settingsRunning_) SystemCommand(18);
        if (word == 0xFFFF) StartK7eLoadFontsProgram();
        break;
    case '&':
        ampWord_ = word;
        ampBit7_ = m[5] & 0x80;
        ampBit6_ = m[5] & 0x40;
        if (settingsRunning_) SystemCommand(17);
        break;
    case '\'':
        quote_[0] = m[4];
        quote_[1] = m[5];
        if (settingsRunning_) SystemCommand(19);
        break;
    case '(':
        open_[0] = m[4];
        open_[1] = m[5];
        if (settingsRunning_) SystemCommand(20);
        break;
    case ')':
        closeWord_ = word;
        settingsRunning_ = false;
        break;
    default:
        break;
    }
}

int PRNTM3P::SetPrinterStatus(const PRNTSTATUSM3* status) {
    const unsigned char* m = status->bytes;
    auto put = [this](uint32_t bit, bool on) {
        if (on) status_.set(bit);
        else status_.reset(bit);
    };
    put(0x0001, m[1] & 0x10);
    put(0x0002, (m[2] & 0x08) || (m[0] & 0x20));
    put(0x0004, m[1] & 0x02);
    put(0x0008, !(m[1] & 0x40));
    put(0x0010, !(m[2] & 0x04));
    put(0x0020, !(m[1] & 0x20));
    put(0x0080, !(m[1] & 0x20) && !(m[2] & 0x40));
    put(0x0040, (headParkedPosition_ == 0 && (m[0] & 0x02)) || (headParkedPosition_ == 1 && (m[2] & 0x01)));
    put(kWordResume, ResumeRequested());
    put(0x0200, m[0] & 0x40);
    put(0x0400, m[2] & 0x02);
    put(kWordOnline, TestStatusBits(PDEV_PRESENT) && TestStatusBits(PDEV_ONLINE));
    if (m[1] & 0x20) documentFront_ = false;
    return 0;
}

int PRNTM3P::SendStatusMessage(const PRNTSTATUSM3* status) {
    const unsigned char* m = status->bytes;
    const unsigned char was1 = status6_[1], was2 = status6_[2];
    auto post = [this](uint32_t p1) { Post(POSM_PRN_STATUS_CHANGE, p1, status_.word()); };
    if ((was1 ^ m[1]) & 0x10) post(0x80000);
    if ((was1 ^ m[1]) & 0x40) post(0x20000);
    if ((was2 ^ m[2]) & 0x04) post(0x10000);
    if ((was1 ^ m[1]) & 0x20) post(0x40000);
    if ((was1 ^ m[1]) & 0x02) post(0x800000);
    if (!(was1 & 0x10)) firmwareMode_ = false;
    return 0;
}

bool PRNTM3P::HoldsWork() const {
    const unsigned char* m = status6_;
    return (m[1] & 0x12) || !(m[1] & 0x40) || !(m[2] & 0x04) || (m[2] & 0x08) || (m[0] & 0x20);
}

// ---------------------------------------------------------------------------------------
// Error responses.

int PRNTM3P::RespondToHomeError() {
    queue_->Retry();
    AskResume(0x20000);
    NowNotConfirmed();
    ++homeErrors_;
    return 0;
}

int PRNTM3P::RespondToMicrReadError() {
    queue_->Retry();
    AskResume(0x800000);
    return 0;
}

int PRNTM3P::RespondToMicrRead(const unsigned char* data, unsigned short length) {
    if (owner_) owner_->TellVirt(this, M3_TV_MICR_DATA, const_cast<unsigned char*>(data), length);
    queue_->RespondToCommandComplete();
    queue_->RespondToCommandSuccess();
    return 0;
}

int PRNTM3P::RespondToDIError(PRNTCMDM3* command) {
    queue_->Retry();
    uint32_t reason = 0;
    if (status6_[0] & 0x40) reason = 512;
    else if (status6_[2] & 0x02) reason = 1024;
    else clErrorLog(kLogDINoReason, 321, 0, kTag, this, sizeof(PRNTM3P), status6_, 6);
    const uint32_t p1 = command && command->station == PRN_STATION_DI ? 0x100000 : 0x80000;
    AskResume(p1);
    clErrorLog(kLogDIError, reason, p1, kTag, this, sizeof(PRNTM3P), status6_, 6);
    return 0;
}

int PRNTM3P::RespondToJournalError() {
    headParkPending_ = false;
    uint32_t p1 = 0;
    if (status6_[1] & 0x02) {
        queue_->Retry();
        p1 = 0x20000;
    } else {
        clErrorLog(kLogJournalNoBit, 321, 0, kTag, this, sizeof(PRNTM3P), status6_, 6);
    }
    if (journalErrors_ == 1) {
        AskResume(p1);
        NowNotConfirmed();
        clErrorLog(kLogJournal, 0, p1, kTag, this, sizeof(PRNTM3P), status6_, 6);
    }
    ++journalErrors_;
    return 0;
}

int PRNTM3P::RespondToCommandReject() {
    if (status6_[1] & 0x10) {
        queue_->Retry();
        AskResume(0x10000);
        clErrorLog(kLogRejectNotReady, 0, 0, kTag, this, sizeof(PRNTM3P), status6_, 6);
        return 0;
    }
    if (status6_[0] & 0x20) return 0;
    PRNTCMD* outstanding = queue_->GetOutstanding();
    if (outstanding && outstanding->code == M3_RAW_CR && outstanding->frame && outstanding->frameLength >= 2 &&
        (outstanding->frame[0] == 0x0A || outstanding->frame[0] == 0x0B)) {
        Post(POSM_PRN_RAS_ERROR, (outstanding->frame[0] || outstanding->frame[1]) ? 0x10000 : 0, 0);
        queue_->RespondToCommandComplete();
        queue_->RespondToCommandSuccess();
    }
    queue_->Retry();
    if (rejects_ == 0) {
        clErrorLog(kLogFirstReject, 1, 0, kTag, this, sizeof(PRNTM3P), status6_, 6);
        SystemCommand(1);
        ++rejects_;
    } else {
        AskResume(0x20000);
        clErrorLog(kLogReject, 2, 0, kTag, this, sizeof(PRNTM3P), status6_, 6);
    }
    return 0;
}

int PRNTM3P::RespondToEEPROMLoadError() {
    ++eepromErrors_;
    if (eepromErrors_ <= 11) queue_->Retry();
    else if (eepromErrors_ == 12) clErrorLog(kLogEEPROM, 0, 0, kTag, this, sizeof(PRNTM3P), status6_, 6);
    return 0;
}

int PRNTM3P::RespondToECLevelComplete() {
    const unsigned char* m = status6_;
    if (!(m[1] & 0x08)) {
        queue_->Retry();
        return 0;
    }
    ecLevel_ = m[3];
    if (ecLevel_ == 0xFF) {
        ackWaitTime_ = 5000;
        interleaved_ = 1;
    }
    micr_ = m[0] & 0x08;
    if (micr_) status_.set(kWordMicr);
    else status_.reset(kWordMicr);
    dbcsModel_ = m[0] & 0x04;
    deviceSubtype_ = dbcsModel_ ? 3 : 0;
    queue_->RespondToCommandComplete();
    NowConfirmed();
    status_.set(kWordOnline);
    if (dbcsModel_) {
        settingsRunning_ = true;
        SystemCommand(16);
    }
    if (verify_) {
        verify_ = false;
        if (check_[0] != m[4] || check_[1] != m[5])
            clErrorLog(kLogFontMismatch, 0, 0, kTag, this, sizeof(PRNTM3P), status6_, 6);
    } else {
        check_[0] = m[4];
        check_[1] = m[5];
        if (font_) {
            const unsigned short crc = CalculateCRC(font_, M3_FONT_BYTES);
            const bool current = m[4] == (crc & 0xFF) && m[5] == ((crc >> 8) ? 1 : 0);
            if (!current) {
                fontBlock_ = 1;
                fontOffset_ = 0;
                SystemCommand(5);
            }
        }
    }
    int rc = 0;
    if (resumeAfterReset_) {
        resumeAfterReset_ = false;
        rc = ReplaceLine(texts_, textLengths_[0], false);
    } else if (retryAfterReset_) {
        retryAfterReset_ = false;
        rc = ReplaceLine(texts_ + M3_TEXT_AREA, textLengths_[1], true);
    }
    return rc;
}

// ---------------------------------------------------------------------------------------
// Font download.

int PRNTM3P::LoadFont(const unsigned char* font) {
    auto* copy = new (std::nothrow) unsigned char[M3_FONT_BYTES];
    if (!copy) {
        clErrorLog(kLogFontNoMemory, 305, 0, kTag, this, sizeof(PRNTM3P));
        return 305;
    }
    std::memcpy(copy, font, M3_FONT_BYTES);
    delete[] font_;
    font_ = copy;
    fontBlock_ = 1;
    fontOffset_ = 0;
    return SystemCommand(5);
}

int PRNTM3P::RespondToLoadFontComplete() {
    queue_->RespondToCommandComplete();
    queue_->RespondToCommandSuccess();
    if (fontBlock_ == 0) return 0;
    fontOffset_ += M3_FONT_BLOCK_BYTES;
    ++fontBlock_;
    if (fontOffset_ + M3_FONT_BLOCK_BYTES > M3_FONT_BYTES) {
        fontBlock_ = 0;
        return 0;
    }
    return SystemCommand(5);
}

int PRNTM3P::StartK7eLoadFontsProgram() {
    const DeviceID& id = GetDeviceID();
    return chStartK7eDownload(id.slot, id.port, reinterpret_cast<const unsigned char*>(""));
}

// ---------------------------------------------------------------------------------------
// Sending.

int PRNTM3P::SendCommand(PRNTCMD* command, uint32_t failLog) {
    lastSendTime_ = static_cast<int32_t>(clock());
    const int rc = SendMsg(command->frame, command->frameLength);
    if (rc != 0) {
        if (!Paced(rc)) clErrorLog(failLog, static_cast<uint32_t>(rc), command->code, kTag, this, sizeof(PRNTM3P), command, 60);
        queue_->Retry();
        return rc;
    }
    SetStatusBits(PRNTP_AWAITING_ACK);
    if (command->code == M3_RESET) SetStatusBits(PRNTP_RESET_EXPECTED);
    return 0;
}

int PRNTM3P::SendAnyPendingMessage() {
    if (!queue_ || AwaitingAck()) return -1;
    int rc = 0;
    PRNTCMD* outstanding = queue_->GetOutstanding();
    if (!outstanding || (outstanding->classFlags & PRNTCMD_PIPELINED)) {
        if (!queue_->GetOutstandingSystemCommand()) {
            if (PRNTCMD* system = queue_->GetPendingSystemCommand(rc))
                return SendCommand(system, kLogSendSystem) == 0 ? 0 : -1;
        }
    }
    // Nothing goes over an outstanding system command: its answer is the next one.
    if (queue_->GetOutstandingSystemCommand() || ResumeRequested() || !TestStatusBits(PDEV_ONLINE))
        return -1;
    PRNTCMD* command = GetNextCommand();
    if (!command) return -1;
    return SendCommand(command, kLogSend) == 0 ? 0 : -1;
}

// A system command queued now and returned as the one to send.
PRNTCMD* PRNTM3P::SendSystem(unsigned short code) {
    if (queue_->GetOutstandingSystemCommand()) return nullptr;
    if (SystemCommand(code) != 0) return nullptr;
    int rc = 0;
    return queue_->GetPendingSystemCommand(rc);
}

void PRNTM3P::CompleteUnsent(unsigned short station) {
    int rc = 0;
    if (!queue_->GetPendingCommand(station, rc)) return;
    queue_->RespondToAck();
    queue_->RespondToCommandComplete();
    queue_->RespondToCommandSuccess();
}

// The document head: registering with no document and releasing with one are done at once
// without the printer; other commands wait for a document to be there.
PRNTCMD* PRNTM3P::DocumentRule(PRNTCMD* di) {
    const bool document = status6_[1] & 0x20;
    if (!document && isRegister(di) && !documentFront_) {
        CompleteUnsent(PRN_STATION_DI);
        return nullptr;
    }
    if (document && isRelease(di) && !documentFront_) {
        CompleteUnsent(PRN_STATION_DI);
        return nullptr;
    }
    if (document && !isRegister(di)) {
        AskResume(0x100000);
        return nullptr;
    }
    return di;
}

PRNTCMD* PRNTM3P::GetNextCommand() {
    int rc = 0;
    PRNTCMD* cr = queue_->QueryPendingCommand(PRN_STATION_CR, rc);
    PRNTCMD* sj = queue_->QueryPendingCommand(PRN_STATION_SJ, rc);
    PRNTCMD* di = queue_->QueryPendingCommand(PRN_STATION_DI, rc);
    const unsigned char b0 = status6_[0], b1 = status6_[1], b2 = status6_[2];
    PRNTCMD* chosen = nullptr;
    auto resume = [this](uint32_t p1) {
        status_.set(kWordResume);
        AskResume(p1);
    };
    if (!exclusiveDI_) {
        PRNTCMD* c = cr;
        if (sj && (!cr || !older(cr, sj))) c = sj;
        if (di && (!c || older(di, c))) chosen = DocumentRule(di);
        else chosen = c;
    } else if (!(b1 & 0x40) || !(b2 & 0x04)) {
        if (di && diPrinting_) {
            chosen = DocumentRule(di);
        } else if (!diPrinting_ && (cr || (sj && !holdJournal_))) {
            resume(0x80000);
        }
    } else if (!interleaved_) {
        if (diPrinting_) {
            if (di) resume(isRegister(di) ? 0x200000 : isRelease(di) ? 0x400000 : 0x100000);
        } else {
            PRNTCMD* s = holdJournal_ ? nullptr : sj;
            switch (headPos_) {
            case 0: chosen = cr ? cr : s; break;
            case 1:
                if (cr && s) chosen = lastHeadPos_ == 0 ? s : cr;
                else chosen = cr ? cr : s;
                break;
            default: chosen = s ? s : cr; break;
            }
        }
    } else if (diPrinting_) {
        if (di) resume(isRegister(di) ? 0x200000 : isRelease(di) ? 0x400000 : 0x100000);
    } else {
        PRNTCMD* s = holdJournal_ ? nullptr : sj;
        chosen = cr;
        if (s && (!cr || older(s, cr))) chosen = s;
    }

    PRNTCMD* returned = nullptr;
    if (chosen && lastStation_ == PRN_STATION_SJ && chosen->station != PRN_STATION_SJ && !firmwareMode_) {
        returned = SendSystem(3);
    } else if (chosen && chosen->station != PRN_STATION_SJ) {
        returned = queue_->GetPendingCommand(chosen->station, rc);
    } else if (chosen) {
        if (b1 & 0x02) {
            // A journal error: the command waits for the resume.
            resume(0x40000);
        } else if ((b0 & 0x02) || ecLevel_ != 0xFF) {
            returned = queue_->GetPendingCommand(PRN_STATION_SJ, rc);
        } else {
            returned = SendSystem(3);
        }
    } else {
        QueueState state{};
        queue_->Query(&state);
        const bool blocked = headParkPending_ || (b1 & 0x10) || state.sent != 0;
        // Finished work that no success retired (it completed with the head at neither
        // position) waits in the sent list: a park retires it.
        const bool unretired =
            state.sent != 0 && state.unacknowledged == 0 && state.incomplete == 0 && state.outstanding == 0;
        // This poll is the (idleCount_ + 1)th without a command.
        const int polls = idleCount_ + 1;
        if (unretired && !firmwareMode_) {
            returned = SendSystem(3);
        } else if (polls > kIdleLimit) {
            returned = SendSystem(7);
        } else if (!blocked && polls >= kIdlePark && !firmwareMode_) {
            if (headParkedPosition_ == 0 && !(b0 & 0x02)) returned = SendSystem(3);
            else if (headParkedPosition_ == 1 && !(b2 & 0x01)) returned = SendSystem(4);
        }
    }
    if (returned) {
        lastCode_ = returned->code;
        lastStation_ = returned->station;
        lastClass_ = returned->classFlags;
        lastFrame1_ = returned->frame && returned->frameLength > 1 ? returned->frame[1] : 0;
        lastHeadPos_ = headPos_;
        idleCount_ = 0;
    } else {
        ++idleCount_;
    }
    return returned;
}

// ---------------------------------------------------------------------------------------
// System commands.

int PRNTM3P::SystemCommandSet(unsigned short code) {
    PRNTCMDM3* command = new (std::nothrow) PRNTCMDM3;
    if (!command) {
        clErrorLog(kLogSystemNoMemory, 305, code, kTag, this, sizeof(PRNTM3P));
        return 305;
    }
    const int rc = command->Set(code, this, 0, 0, 0, nullptr, 0, 0);
    if (rc != 0) {
        clErrorLog(kLogSystemSet, static_cast<uint32_t>(rc), code, kTag, this, sizeof(PRNTM3P));
        delete command;
        return rc;
    }
    queue_->StoreSystemCommand(command);
    return 0;
}

int PRNTM3P::SystemCommand(unsigned short code) {
    if (!queue_) return 321;
    int rc = 0;
    switch (code) {
    case 1:
        rc = SystemCommandSet(M3_RESET);
        if (rc == 0) SetStatusBits(PRNTP_RESET_EXPECTED);
        break;
    case 2:
        queue_->FlushSystemCommands();
        rc = SystemCommandSet(M3_GET_EC);
        break;
    case 3:
    case 4:
        if ((status6_[1] & 0x10) || headParkPending_) return 0;
        rc = SystemCommandSet(code == 3 ? M3_PARK_CENTRE : M3_PARK_LEFT);
        if (rc == 0) headParkPending_ = true;
        break;
    case 5: {
        const auto first = static_cast<unsigned char>(fontBlock_ * 8 - 48);
        if (first <= 215 || !font_) {
            fontBlock_ = 0;
            return 0;
        }
        PRNTCMDM3* command = new (std::nothrow) PRNTCMDM3;
        if (!command) {
            clErrorLog(kLogFontNoMemory, 305, 0, kTag, this, sizeof(PRNTM3P));
            return 305;
        }
        rc = command->Set(M3_FONT_BLOCK, this, first, 8, M3_FONT_BLOCK_BYTES, font_ + fontOffset_, 0, 0);
        if (rc != 0) {
            clErrorLog(kLogFontSet, static_cast<uint32_t>(rc), 0, kTag, this, sizeof(PRNTM3P));
            delete command;
            return rc;
        }
        queue_->StoreSystemCommand(command);
        break;
    }
    case 6: rc = SystemCommandSet(M3_JOURNAL_ERROR); break;
    case 7: rc = SystemCommandSet(M3_IDLE_STATUS); break;
    case 16: rc = SystemCommandSet(M3_READ_AMPERSAND); break;
    case 17: rc = SystemCommandSet(M3_READ_DOLLAR); break;
    case 18: rc = SystemCommandSet(M3_READ_QUOTE); break;
    case 19: rc = SystemCommandSet(M3_READ_OPEN); break;
    case 20: rc = SystemCommandSet(M3_READ_CLOSE); break;
    case 21:
    case 22:
    case 23: {
        static const unsigned char kBits[3] = {0x40, 0xC0, 0x00};
        const uint16_t amp = settings_[static_cast<unsigned char>('&')];
        const unsigned char frame[5] = {0x0A, '&', 0x00, static_cast<unsigned char>(amp >> 8),
                                        static_cast<unsigned char>((amp & 0x3F) | kBits[code - 21])};
        PRNTCMDM3* command = new (std::nothrow) PRNTCMDM3;
        if (!command) {
            clErrorLog(kLogSettingNoMemory, 305, code, kTag, this, sizeof(PRNTM3P));
            return 305;
        }
        rc = command->Set(M3_WRITE_SETTING, this, 0, 0, sizeof frame, frame, 0, 0);
        if (rc == 0) rc = PutQueue(command);
        if (rc != 0) {
            clErrorLog(kLogSettingSet, static_cast<uint32_t>(rc), code, kTag, this, sizeof(PRNTM3P));
            delete command;
        }
        return rc;
    }
    default:
        clErrorLog(kLogBadSystemCommand, 321, code, kTag, this, sizeof(PRNTM3P), &code, sizeof code);
        return 321;
    }
    // Offline the link's idle cycle sends it; no send turn to ask for then.
    if (rc == 0 && !AwaitingAck() && adapter_) adapter_->RequestBuffer();
    return rc;
}

int PRNTM3P::ClearPORResetInProgress() {
    PRNTCMD* outstanding = queue_ ? queue_->GetOutstanding() : nullptr;
    if (outstanding && outstanding->code == M3_RESET) {
        queue_->RespondToAck();
        queue_->RespondToCommandComplete();
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// Resume and retry.

int PRNTM3P::ResumePrinting(const unsigned char* text) {
    const int n = givenLength_ >= 0 ? givenLength_ : static_cast<int>(text ? strnlen(reinterpret_cast<const char*>(text), M3_TEXT_AREA) : 0);
    return ResumeOrRetry(text, n, false);
}

int PRNTM3P::RetryPrinting(const unsigned char* text) {
    const int n = givenLength_ >= 0 ? givenLength_ : static_cast<int>(text ? strnlen(reinterpret_cast<const char*>(text), M3_TEXT_AREA) : 0);
    return ResumeOrRetry(text, n, true);
}

int PRNTM3P::ResumeOrRetry(const unsigned char* text, int length, bool retry) {
    if (!ResumeRequested()) return 0;
    status_.reset(kWordResume);
    ClearStatusBits(PRNTP_RESUME_REQUESTED);
    if (retry) queue_->Retry();
    length = text ? std::max(0, std::min(length, static_cast<int>(M3_TEXT_AREA))) : 0;
    if (!TestStatusBits(PDEV_PRESENT) || !TestStatusBits(PDEV_ONLINE)) {
        unsigned char* area = texts_ + (retry ? M3_TEXT_AREA : 0);
        std::memset(area, 0, M3_TEXT_AREA);
        if (length) std::memcpy(area, text, static_cast<size_t>(length));
        textLengths_[retry ? 1 : 0] = length;
        (retry ? retryAfterReset_ : resumeAfterReset_) = true;
        SystemCommand(1);
        return 317;
    }
    return ReplaceLine(text, length, retry);
}

int PRNTM3P::ReplaceLine(const unsigned char* text, int length, bool retry) {
    int rc = 0;
    if ((lastClass_ & M3_CLASS_PRINT) && length > 0) {
        unsigned short code = 0;
        int width = 38;
        switch (lastStation_) {
        case PRN_STATION_CR: code = M3_LINE_CR; break;
        case PRN_STATION_SJ: code = M3_LINE_SJ; break;
        default:
            switch (lastFrame1_) {
            case 0x03: code = M3_LINE_DI_03; width = 86; break;
            case 0x04: code = M3_LINE_DI_04; break;
            case 0x06: code = M3_LINE_DI_06; width = 86; break;
            default: code = M3_LINE_DI_07; break;
            }
        }
        unsigned char line[M3_RESUME_LINE];
        std::memset(line, ' ', sizeof line);
        const int cut = std::min(length, width);
        std::memcpy(line, text, static_cast<size_t>(cut));
        // Subtype 3 sends the text as cut, others the full width.
        const int n = deviceSubtype_ == 3 ? cut : width;
        PRNTCMDM3* command = new (std::nothrow) PRNTCMDM3;
        if (!command) {
            clErrorLog(retry ? kLogRetryNoMemory : kLogResumeNoMemory, 305, 0, kTag, this, sizeof(PRNTM3P));
            rc = 305;
        } else if ((rc = command->Set(code, this, 1, 3, static_cast<unsigned short>(n), line, 0, 0)) != 0) {
            clErrorLog(retry ? kLogRetrySet : kLogResumeSet, static_cast<uint32_t>(rc), 0, kTag, this, sizeof(PRNTM3P));
            delete command;
        } else if ((rc = queue_->StoreCommand(command, 1)) != 0) {
            delete command;
        }
        lastClass_ = 0;
    }
    if (!retry)
        for (unsigned short s = 0; s < 3; ++s) queue_->RespondToResumePrinting(s);
    ClearStatusBits(PRNTP_RESUME_REQUESTED);
    const int turn = TellDeviceDataWaiting();
    return rc != 0 ? rc : turn;
}

// ---------------------------------------------------------------------------------------

PDEV* _CreatePRNTM3P(const DeviceID& id) { return new (std::nothrow) PRNTM3P(id); }

namespace {
const unsigned char kAddresses[] = {0x34};
} // namespace

ObjectSupport objectPRNTM3P(PRNTM3P_TYPE_ID, _CreatePRNTM3P, kAddresses, 1);
