// The model-6397 physical printer, receiving side: every frame from the printer, the status
// block and status words, the events, the completions, the device information and raw mode.
#include <algorithm>
#include <cstring>

#include "PRNT63P.h"
#include "VDEV.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)prnt63p.cpp 1.1";

enum : uint32_t {
    kLogInvalidData = 20206,
    kLogAckError = 20207,
};

enum : unsigned short { kRowStatusRequest = 105, kRowFirmware1 = 8, kRowFirmware2 = 9, kRowDeviceInfo = 10 };

bool bit(const unsigned char* b, int byte, int n) { return (b[byte] >> n) & 1; }

bool startsWith(const PRNTCMD* c, std::initializer_list<unsigned char> prefix) {
    return c && c->frame && c->frameLength >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), c->frame);
}

bool isFirmwareLoad(const PRNTCMD* c) {
    return startsWith(c, {0x01, 0x44, 0x4C}) || startsWith(c, {0x01, 0x44, 0x4E}) ||
           startsWith(c, {0x01, 0x44, 0x4F});
}

bool contains(const PRNTCMD* c, int from, std::initializer_list<unsigned char> bytes) {
    if (!c->frame || c->frameLength <= from) return false;
    const unsigned char* begin = c->frame + from;
    const unsigned char* end = c->frame + c->frameLength;
    return std::search(begin, end, bytes.begin(), bytes.end()) != end;
}

// A frame that carries a chase: the virtual printer's counter and ESC S 0A (a bare MCT
// query of index 0A has no counter before it), or one of the two other chase commands.
bool carriesChase(const PRNTCMD* c) {
    return contains(c, 1, {0x1B, 0x53, 0x0A}) || contains(c, 0, {0x1B, 0x3D, 0x99}) ||
           contains(c, 0, {0x1B, 0x00, 0x80, 0x00});
}

// A rejected command that is kept and goes again rather than dropped: the device
// information the printer needs to come online, a chase the application waits for, and an
// MCT query, whose answer the start-up queries or the application wait for.
bool keptOnReject(const PRNTCMD* c) {
    return c->code == kRowDeviceInfo || (c->classFlags & PRN63_CLASS_MCT) || carriesChase(c);
}

bool isRz8Erase(const PRNTCMD* c) { return startsWith(c, {0x01, 0x45, 0x55, 0x41}); }

bool isErase(const PRNTCMD* c) {
    return startsWith(c, {0x01, 0x45, 0x52, 0x41}) || startsWith(c, {0x01, 0x45, 0x54, 0x41}) ||
           startsWith(c, {0x01, 0x45, 0x52, 0x42}) || startsWith(c, {0x01, 0x45, 0x54, 0x42}) ||
           isRz8Erase(c);
}

// Frame bytes 4 to 7, big-endian (0 where the frame is shorter).
uint32_t frameWord(const PRNTCMD* c) {
    uint32_t v = 0;
    for (int i = 4; i < 8; ++i) v = v << 8 | (c->frame && i < c->frameLength ? c->frame[i] : 0);
    return v;
}

} // namespace

void PRNT63P::Log(uint32_t logId, uint32_t rc, uint32_t extra, const void* data, int length) const {
    clErrorLog(logId, rc, extra, kTag, this, static_cast<uint16_t>(sizeof(PRNT63P)), data,
               data ? static_cast<uint16_t>(std::clamp(length, 0, 0xFFFF)) : 0);
}

int PRNT63P::TellOwner(int code, const void* data, int length) {
    if (!owner_) return 0;
    return owner_->TellVirt(this, code, static_cast<unsigned char*>(const_cast<void*>(data)), length);
}

bool PRNT63P::MayRelease() const {
    return bit(block_, 1, 4) && !bit(block_, 0, 5) && !bit(block_, 0, 6) && !bit(block_, 10, 3) &&
           !bit(block_, 11, 3);
}

// ---------------------------------------------------------------------------------------
// Frames.

int PRNT63P::NewMsgRcvd(const unsigned char* data, int n) {
    if (!data || n <= 7) {
        Log(kLogInvalidData, 320, static_cast<uint32_t>(n), data, data ? std::min(n, 64) : 0);
    } else {
        const bool wasOffline = offlineMode_;
        // The new block: what the frame holds, zero after it.
        unsigned char next[16] = {};
        std::memcpy(next, data, static_cast<size_t>(std::min(n, 16)));
        SetPrinterStatus(next, statusLength_);

        if (bit(next, 4, 0) && n != 13) {
            statusLength_ = 16;
            status16_ = true;
        }
        if (status16_ && n < statusLength_) {
            statusLength_ = 8;
            status16_ = false;
        }
        if (mode_ != kRaw && !(wasOffline && offlineMode_)) SendStatusMessage(next);
        std::memset(block_, 0, sizeof block_);
        std::memcpy(block_, next, static_cast<size_t>(statusLength_));

        if (!(offlineMode_ && wasOffline)) {
            if (bit(block_, 4, 0)) {
                if (n >= statusLength_ + 5)
                    RespondToDeviceInfo(data + statusLength_, n - statusLength_);
                else if (bit(block_, 2, 6))
                    SetOnlineAndStartFirmwareUpdate(1);
                CommandAccepted();
                CompleteCommand();
            }
            if (mode_ == kRaw) ProcessMsgRaw(data, n);
            else ProcessMsgNormal(data, n);
        }
    }
    if (offlineMode_ || SendAnyPendingMessage() == -1) {
        const int rc = SendAck();
        if (rc != 0) Log(kLogAckError, static_cast<uint32_t>(rc), 0);
        return rc;
    }
    return 0;
}

void PRNT63P::CompleteCommand() {
    if (!queue_) return;
    PRNTCMD* command = queue_->GetOutstanding();
    if (!command) return;
    queuedBytes_ = queuedBytes_ > command->frameLength ? queuedBytes_ - command->frameLength : 0;
    queue_->RespondToCommandComplete();
    queue_->RespondToCommandSuccess();
    if (owner_) {
        QueueState state{};
        queue_->Query(&state);
        if (static_cast<int32_t>(state.pending[0]) <= 0) TellOwner(PRN63_TV_QUEUE_EMPTY, nullptr, 0);
    }
}

// ---------------------------------------------------------------------------------------
// Status words and events.

void PRNT63P::SetPrinterStatus(const unsigned char* b, int length) {
    const uint32_t kept = status_.word() & 0x2C002000u;
    status_.reset(0xFFFFFFFFu);
    status_.set(kept);
    if (bit(b, 1, 6)) status_.set(0x10000000);
    status2_.reset(0x3F37F);
    extErrorByte_ = 0;

    const unsigned char subtype = deviceSubtype_;
    if (bit(b, 0, 5)) status_.set(0x200001);
    if (bit(b, 0, 6)) status_.set(0x100001);
    if (subtype == 6 && bit(b, 4, 6)) {
        status_.set(0x100001);
        status2_.set(0x4000);
    }
    if (bit(b, 2, 1)) status_.set(0x2);
    if (!bit(b, 1, 1)) status_.set(0x8);
    if (!bit(b, 1, 2)) status_.set(0x10);
    if (!bit(b, 1, 0)) status_.set(0x20);
    if ((headParkedPosition_ == 0 && bit(b, 0, 1)) || (headParkedPosition_ == 1 && bit(b, 0, 2)))
        status_.set(0x40);
    if (bit(b, 2, 2)) status_.set(0x200);
    if (ResumeRequested()) status_.set(0x100);
    if (TestStatusBits(PDEV_PRESENT) && TestStatusBits(PDEV_ONLINE)) status_.set(0x1000);

    if (bit(b, 1, 7)) status2_.set(0x10000);
    if (bit(b, 1, 4)) status2_.set(0x8000);
    if (bit(b, 2, 6)) status2_.set(0x100);
    if (sensorReport_ && bit(b, 6, 3) != sensorSense_) status2_.set(0x40);
    if (subtype == 6 && bit(b, 4, 7)) status2_.set(0x4);

    diInUse_ = bit(block_, 6, 6) && !(subtype == 6 && bit(block_, 6, 0));
    if (length > 15) SetExtendedPrinterStatus(b);
}

void PRNT63P::SetExtendedPrinterStatus(const unsigned char* b) {
    if (bit(b, 6, 0)) status2_.set(0x20000);
    if (bit(b, 7, 5)) {
        status2_.set(0x200);
        status_.set(0x14000);
    }
    if (bit(b, 7, 7)) status2_.set(0x1002);
    if (bit(b, 8, 0)) status_.set(0x1000000);
    if (bit(b, 8, 6)) status_.set(0x40000000);
    if (bit(b, 8, 6) != bit(block_, 8, 6)) offlineMode_ = bit(b, 8, 6);
    if (bit(b, 9, 1)) status_.set(0x2000000);
    if (bit(b, 10, 0) || bit(b, 10, 1)) status_.set(0x40000);
    if (bit(b, 10, 2)) status_.set(0x400000);
    if (bit(b, 10, 3)) status_.set(0x100000);
    if (bit(b, 10, 5)) status_.set(0x800000);
    if (bit(b, 10, 6)) status_.set(0x4000);
    if (bit(b, 10, 7)) {
        status_.set(0x4000);
        status2_.set(0x200);
    }
    if (bit(b, 11, 1)) status_.set(0x80000);
    if (bit(b, 11, 3)) status_.set(0x200000);
    if (b[12] != 0) {
        status_.set(0x80000000u);
        extErrorByte_ = b[12];
    }
}

void PRNT63P::SendStatusChangeMessage(uint32_t p1, uint32_t p2) {
    PRNTMSG m;
    m.msg = POSM_PRN_STATUS_CHANGE;
    m.p1 = p1;
    m.p2 = p2;
    SendPrinterMessage(&m);
}

void PRNT63P::SendPrinterErrorMessage(uint32_t p1, uint32_t p2) {
    PRNTMSG m;
    m.msg = POSM_PRN_PRINTER_ERROR;
    m.p1 = p1;
    m.p2 = p2;
    SendPrinterMessage(&m);
}

void PRNT63P::SendStatusMessage(const unsigned char* next) {
    const uint32_t word = status_.word();
    auto changed = [&](int byte, int n) { return bit(next, byte, n) != bit(block_, byte, n); };
    if (changed(0, 5)) {
        if (!bit(next, 0, 5) && bit(next, 2, 1) && bit(block_, 2, 1)) {
            homeGrace_ = true;
            homeGraceStart_ = chTime();
        }
        SendStatusChangeMessage(0x80000, word);
    }
    if (changed(0, 6)) SendStatusChangeMessage(0x80000, word);
    if (deviceSubtype_ == 6 && changed(4, 6)) SendStatusChangeMessage(0x80000, word);
    if (changed(1, 1)) SendStatusChangeMessage(0x20000, word);
    if (changed(1, 2)) SendStatusChangeMessage(0x10000, word);
    if (changed(1, 0)) SendStatusChangeMessage(0x40000, word);
    if (sensorReport_ && changed(6, 3))
        SendStatusChangeMessage((status2_.word() & 0x40) ? 0x240000 : 0x250000, word);
    if (deviceSubtype_ == 6 && changed(4, 7)) SendStatusChangeMessage(0x210000, word);
    if (statusLength_ > 15) SendExtendedStatusMessage(next);
}

void PRNT63P::SendExtendedStatusMessage(const unsigned char* next) {
    const uint32_t word = status_.word();
    auto changed = [&](int byte, int n) { return bit(next, byte, n) != bit(block_, byte, n); };
    if (changed(6, 0)) SendStatusChangeMessage(0x1020000, word);
    if (changed(7, 5) && bit(next, 1, 6)) {
        QueueState state{};
        if (queue_) queue_->Query(&state);
        const int32_t counts = static_cast<int32_t>(state.pending[0] + state.pending[1] + state.pending[2]) +
                               state.sent + state.system + state.outstanding;
        if (!commandOutstanding_ || counts == 0) SendStatusChangeMessage(0x110000, word);
    }
    if (changed(7, 7)) SendStatusChangeMessage(0x120000, word);
    if (changed(8, 6)) {
        tprintf("Offline mode state changed (offline=%s)\n", bit(next, 8, 6) ? "TRUE" : "FALSE");
        SendStatusChangeMessage(0x1010000, word);
    }
    if (changed(9, 1)) SendStatusChangeMessage(0x1000000, word);
    if (changed(10, 6) || changed(10, 7)) SendStatusChangeMessage(0x100000, word);
    if (bit(block_, 10, 2) && !bit(next, 10, 2)) SendStatusChangeMessage(0x140000, word);
    // When the error byte changes, every error bit set before or now is reported, one by one
    // (0x05 to 0x21 reports 1, 4 and 32).
    if (next[12] != block_[12]) {
        static const int kErrorBits[] = {0, 1, 2, 3, 5};
        for (int n : kErrorBits)
            if ((next[12] | block_[12]) & (1u << n)) SendStatusChangeMessage(0x80000000u, 1u << n);
    }
}

void PRNT63P::RespondToError(uint32_t code) {
    if (ResumeRequested()) return;
    status_.set(0x100);
    PRNTMSG m;
    m.msg = POSM_PRN_PRINTER_ERROR;
    m.p1 = code << 16;
    m.p2 = status_.word();
    RequestResume(&m);
}

int PRNT63P::RespondToChase(const PRNTCMD* /*command*/) {
    const uint32_t p1 = diInUse_ ? 0x40000 : 0x10000;
    if (owner_) {
        unsigned short station = diInUse_ ? PRN_STATION_DI : PRN_STATION_CR;
        TellOwner(PRN_TV_CHASE_DONE, &station, sizeof station);
    }
    PRNTMSG m;
    m.msg = POSM_PRN_CHASE_COMPLETE;
    m.p1 = p1;
    m.p2 = status_.word();
    SendPrinterMessage(&m);
    return 0;
}

int PRNT63P::CopyPrinterStatus(unsigned char* buffer) {
    if (!buffer) return 321;
    std::memset(buffer, 0, 16);
    std::memcpy(buffer, block_, static_cast<size_t>(statusLength_));
    if (statusLength_ == 8) buffer[8] = micrStatus_;
    return 0;
}

// ---------------------------------------------------------------------------------------
// Normal and service mode.

namespace {

void post(PRNTP& printer, uint32_t msg, uint32_t p1, uint32_t p2) {
    PRNTMSG m;
    m.msg = msg;
    m.p1 = p1;
    m.p2 = p2;
    printer.SendPrinterMessage(&m);
}

} // namespace

void PRNT63P::ProcessMsgNormal(const unsigned char* data, int n) {
    const unsigned char* b = block_;
    PRNTCMD* out = queue_ ? queue_->GetOutstanding() : nullptr;

    // 1-2: firmware mode; otherwise rejects and completions.
    if (bit(b, 2, 6)) {
        holdForBufferFull_ = false;
        if (mode_ != kService) {
            firmwareHold_ = true;
            RespondToError(0x4000);
        }
        if (out && isFirmwareLoad(out) && bit(b, 0, 0) && !bit(b, 2, 3)) {
            post(*this, POSM_PRN_RAS_FIRMWARE_UPDATED, 0, frameWord(out));
            CompleteCommand();
        } else if (out && isErase(out) && bit(b, 2, 7)) {
            post(*this, POSM_PRN_RAS_FIRMWARE_ERASED, 0, 1);
            CompleteCommand();
        }
    } else {
        firmwareStartedInFirmwareMode_ = false;
        if (bit(b, 0, 7)) {
            if (out) CommandRejected();
            if (holdForBufferFull_) {
                holdForBufferFull_ = false;
                if (queue_) queue_->Retry();
                commandOutstanding_ = false;
                tprintf("Reject with outstanding command, retry command later\n");
            } else if (out && keptOnReject(out)) {
                // Kept and sent again, paced while the rejects go on, until the printer takes
                // it. The printer refused it, so it is known not done: a resume does not drop
                // it as work sent before.
                queue_->Retry();
                out->everSent = 0;
                commandOutstanding_ = false;
            } else {
                CompleteCommand();
                RespondToError(0x8000);
            }
        } else if (out && ((out->classFlags & (PRN63_CLASS_FIRMWARE | PRN63_CLASS_MCT)) || out->code == 103 ||
                           out->code == 104)) {
            if (bit(b, 2, 7) && (out->classFlags & PRN63_CLASS_FIRMWARE)) {
                holdForBufferFull_ = false;
                if (isRz8Erase(out)) post(*this, POSM_PRN_RAS_FIRMWARE_ERASED, 0, 1);
                if ((out->code == kRowFirmware1 || out->code == kRowFirmware2) && BufferEmpty()) {
                    QueueState state{};
                    if (queue_) queue_->Query(&state);
                    if (owner_ && static_cast<int32_t>(state.pending[0]) < 1)
                        TellOwner(PRN63_TV_QUEUE_EMPTY, nullptr, 0);
                    bufferEmptySeen_ = true;
                }
                CompleteCommand();
            }
        } else if (bit(b, 0, 0)) {
            if (out) CommandAccepted();
            holdForBufferFull_ = false;
            if (bit(b, 1, 7)) {
                tprintf("Buffer Full w/outstanding command, defer deletion\n");
                holdForBufferFull_ = true;
                CompleteCommand();
            } else if (mode_ != kService) {
                CompleteCommand();
            } else if (out && isFirmwareLoad(out)) {
                if (bit(b, 2, 7) && !bit(b, 2, 3)) {
                    post(*this, POSM_PRN_RAS_FIRMWARE_UPDATED, 0, frameWord(out));
                    CompleteCommand();
                }
            } else if (out && startsWith(out, {0x1B, 0x53}) && (out->classFlags & PRN63_CLASS_SERVICE) && owner_) {
                tprintf(bit(b, 4, 3) ? "MCT Response ready\n" : "Waiting for RAS MCT response\n");
            } else {
                CompleteCommand();
            }
        } else if (holdForBufferFull_) {
            holdForBufferFull_ = false;
            CompleteCommand();
        } else if (out && out->code == kRowStatusRequest) {
            tprintf("Status request sent, status received, BUSY reset");
            CompleteCommand();
        }
    }

    // 3: the answer leaves nothing outstanding. A reject (byte 0 bit 7) answers the command as
    // well: without it nothing would be sent again after a rejected command.
    auto settle = [&] {
        if ((bit(b, 0, 0) || bit(b, 0, 7)) && !(queue_ && queue_->GetOutstanding())) commandOutstanding_ = false;
    };
    settle();

    // 4: chase answers.
    if (bit(b, 4, 1)) RespondToChase(nullptr);
    if (bit(b, 8, 1) && b[3] == 0x99) RespondToChase(nullptr);

    // 5: data after the status.
    const int pos = statusLength_;
    const int rest = n - pos;
    if (bit(b, 4, 2) && owner_ && rest > 0) {
        micrStatus_ = data[pos];
        noiseLevel_ = 1;
        int start = pos + 1;
        if (extInfo_ && !(mctStatus_ & 0x1000)) {
            noiseLevel_ = data[pos] ? data[pos] : 1;
            tprintf("....MICR Noise level:  %d (0x%x)\n", noiseLevel_, noiseLevel_);
            start = pos + 2;
        }
        if (start <= n) {
            TellOwner(PRN63_TV_MICR_DATA, data + start, n - start);
        } else {
            Log(kLogInvalidData, 320, static_cast<uint32_t>(n), data, n);
        }
    }
    if (image_ && owner_ && rest > 0) {
        if (bit(b, 4, 6)) TellOwner(PRN63_TV_IMAGE1, data + pos, rest);
        if (bit(b, 4, 7)) TellOwner(PRN63_TV_IMAGE2, data + pos, rest);
    }
    // Each step takes the outstanding command afresh: the one before may have completed it.
    if (bit(b, 4, 4)) ReadAnswerData(data, n, queue_ ? queue_->GetOutstanding() : nullptr);
    if (bit(b, 4, 3)) ReplyData(data, n, queue_ ? queue_->GetOutstanding() : nullptr);
    settle();

    // 6: home check.
    if (!bit(b, 0, 5) && !ResumeRequested()) {
        if (bit(b, 2, 1)) {
            const bool graceOver = !homeGrace_ || chTimeDiff(chTime(), homeGraceStart_) >= 500;
            if (graceOver) {
                if (!homeErrorSeen_) {
                    homeErrorSeen_ = true;
                } else {
                    RespondToError(2);
                }
            }
        } else {
            homeErrorSeen_ = false;
            homeGrace_ = false;
        }
    }

    // 7: errors asking for a resume.
    QueueState state{};
    if (queue_) queue_->Query(&state);
    const bool dataQueued = !BufferEmpty() || state.pending[0] || state.pending[1] || state.pending[2] ||
                            state.sent || state.system;
    if (bit(b, 6, 7) || bit(b, 11, 1)) RespondToError(8192);
    if (bit(b, 10, 5)) RespondToError(257);
    if (bit(b, 7, 5) && dataQueued) RespondToError(256);
    if (bit(b, 10, 0) || bit(b, 10, 1)) RespondToError(258);
    if (bit(b, 2, 2)) RespondToError(16);
    if ((bit(b, 10, 3) || bit(b, 11, 3)) && dataQueued) RespondToError(1);

    // 8: printer errors.
    if (bit(b, 2, 0)) {
        SendPrinterErrorMessage(0x4000000, status_.word());
        CompleteCommand();
    }
    if (bit(b, 2, 3)) {
        out = queue_ ? queue_->GetOutstanding() : nullptr;
        tprintf("eeprom error");
        if (out) tprintf("Request is %d", out->code);
        if (out && out->code == 101) {
            SendPrinterErrorMessage(0x2000000, status_.word());
            CompleteCommand();
        } else {
            RespondToError(512);
            if ((otherDevType_ || extInfo_) && out && isRz8Erase(out)) {
                CompleteCommand();
                tprintf("RZ8/RZ9 microcode load failure\n");
            }
        }
    }
    if (bit(b, 8, 0)) SendPrinterErrorMessage(0x60000, status_.word());
    settle();

    // 9: automatic resume.
    bool clear = !bit(b, 0, 5) && !bit(b, 0, 6) && !bit(b, 11, 3) && !(b[10] & 0x2B) && !bit(b, 7, 5) &&
                 !bit(b, 8, 6) && !ResumeRequested();
    if (bit(b, 6, 6)) clear = clear && !bit(b, 1, 0) && !bit(b, 0, 5);
    if (bit(b, 1, 4) && clear) SystemCommand(34);

    // 10-11.
    if (!diInUse_) receiptByteWait_ = 16;
    if (bit(b, 1, 6) && !bufferEmptySeen_ && owner_) {
        QueueState now{};
        if (queue_) queue_->Query(&now);
        if (static_cast<int32_t>(now.pending[0]) < 1) TellOwner(PRN63_TV_QUEUE_EMPTY, nullptr, 0);
    }
    bufferEmptySeen_ = bit(b, 1, 6);
}

// Read data (status byte 4 bit 4): the start-up answers without a virtual printer, else the
// data for the virtual printer (at most 255 bytes).
void PRNT63P::ReadAnswerData(const unsigned char* data, int n, PRNTCMD* out) {
    const int pos = statusLength_;
    const int rest = n - pos;
    if (!owner_) {
        if (!out) return;
        if (out->code == 104) {
            if (rest >= 8) {
                uint32_t w[2] = {};
                for (int k = 0; k < 2; ++k)
                    for (int i = 0; i < 4; ++i) w[k] = w[k] << 8 | data[pos + 4 * k + i];
                if (w[0] == 0xFFFFFFFFu) w[0] = w[1] = 0;
                counters_[0] = w[0];
                counters_[1] = w[1];
            } else {
                Log(kLogInvalidData, 320, 104, data, n);
            }
            CompleteCommand();
            QueueNext(68);
        } else if (out->code == 103) {
            bool digits = rest >= 8;
            uint32_t v = 0;
            for (int i = 0; digits && i < 8; ++i) {
                const unsigned char c = data[pos + i];
                if (c < '0' || c > '9') digits = false;
                else v = v * 10 + (c - '0');
            }
            if (digits) deviceCounter_ = v;
            else Log(kLogInvalidData, 320, 103, data, n);
            CompleteCommand();
            QueueNext(104);
        }
        return;
    }
    if (rest > 0) TellOwner(PRN63_TV_READ_DATA, data + pos, std::min(rest, 255));
    CompleteCommand();
    commandOutstanding_ = false;
}

// Reply data (status byte 4 bit 3): RAS answers in service mode, MCT answers, else a chase.
void PRNT63P::ReplyData(const unsigned char* data, int n, PRNTCMD* out) {
    const int pos = statusLength_;
    const int rest = n - pos;
    if (mode_ == kService && owner_ && out && (out->classFlags & PRN63_CLASS_SERVICE)) {
        const uint32_t d0 = rest > 0 ? data[pos] : 0, d1 = rest > 1 ? data[pos + 1] : 0;
        if (rest < 2) Log(kLogInvalidData, 320, static_cast<uint32_t>(n), data, n);
        post(*this, POSM_PRN_RAS_STATUS, d0 << 24 | d1 << 16, 0);
    }
    if (mode_ == kService && out && (out->classFlags & PRN63_CLASS_SERVICE) && !(out->classFlags & PRN63_CLASS_MCT)) {
        CompleteCommand();
        out = queue_ ? queue_->GetOutstanding() : nullptr;
    }
    if (out && (out->classFlags & PRN63_CLASS_MCT)) {
        ProcessMctResponse(out, rest > 0 ? data + pos : nullptr, std::max(rest, 0));
        CompleteCommand();
    } else if (!out && mode_ != kService && chaseReport_ && owner_) {
        RespondToChase(nullptr);
    }
}

// ---------------------------------------------------------------------------------------
// Raw mode.

void PRNT63P::ProcessMsgRaw(const unsigned char* data, int n) {
    const unsigned char* b = block_;
    if (bit(b, 0, 0) || bit(b, 0, 7) || (b[4] & 0x95)) {
        CompleteCommand();
        commandOutstanding_ = false;
    }
    if (!owner_) return;
    post(*this, POSM_PRN_RAW_STATUS, uint32_t(b[0]) << 16 | uint32_t(b[1]) << 24,
         uint32_t(b[2]) | uint32_t(b[4]) << 8 | uint32_t(b[5]) << 16 | uint32_t(b[6]) << 24);
    if (status16_)
        post(*this, POSM_PRN_RAW_STATUS2, uint32_t(b[7]) << 16 | uint32_t(b[8]) << 24,
             uint32_t(b[9]) | uint32_t(b[10]) << 8 | uint32_t(b[11]) << 16 | uint32_t(b[12]) << 24);
    const bool withData = (b[4] & 0x1D) || (image_ && (b[4] & 0xC0));
    const int pos = statusLength_;
    if (withData && n > pos) TellOwner(PRN63_TV_RAW_DATA, data + pos, n - pos);
}

// ---------------------------------------------------------------------------------------
// Device information.

void PRNT63P::RespondToDeviceInfo(const unsigned char* info, int n) {
    SetCapabilities(0);
    status2_.reset(0x80);
    if (n > 14) {
        extInfo_ = true;
        devType_ = info[0];
        deviceSubtype_ = info[1];
        SetECLevel(info[3]);
        revision_ = info[4];
        std::memcpy(f_, info + 5, sizeof f_);
        feature_ = info[10];
        tprintf("DevType=%02x, SubType=%02x, EC=%02x, Rev=%02x, F3=%02x, F4=%02x\n", devType_, deviceSubtype_,
                ecLevel_, revision_, f_[2], f_[3]);
        SetCapabilities(1);
        sectorQueries_ = true;
        const bool f5b12 = (f_[4] & 0x06) == 0x06;
        if (deviceSubtype_ != 8) {
            deviceSubtype_ = 9;
        } else if (f_[1] != 0) {
            deviceSubtype_ = f5b12 ? 41 : 9;
        } else {
            deviceSubtype_ = f5b12 ? 105 : 73;
            f2Zero_ = true;
        }
    } else {
        extInfo_ = false;
        devType_ = info[0];
        deviceSubtype_ = info[1];
        option_ = info[2];
        feature_ = info[3];
        SetECLevel(info[4]);
        if (devType_ == 48) {
            station_[0] = option_ & 0x01;
            station_[1] = option_ & 0x02;
            dbcs_ = option_ & 0x10;
            further_[0] = feature_ & 0x01;
            further_[1] = option_ & 0x40;
            featureBit1_ = feature_ & 0x02;
        } else {
            deviceSubtype_ = 8;
            station_[0] = station_[1] = true;
            otherDevType_ = true;
            dbcs_ = false;
            further_[0] = false;
            further_[1] = option_ & 0x20;
        }
        featureBit5_ = feature_ & 0x20;
        if (feature_ & 0x04) {
            deviceSubtype_ = 136;
            image_ = true;
        }
        if (feature_ & 0x10) {
            deviceSubtype_ = 200;
            image_ = false;
        }
        sectorQueries_ = otherDevType_ || (feature_ & 0x34);
        if (deviceSubtype_ != 0 && deviceSubtype_ != 6 && ecLevel_ > 55) extQuerySet_ = true;
    }
    if (station_[0]) status_.set(0x2000);
    else status_.reset(0x2000);
    if (featureBit1_ || featureBit5_) status2_.set(0x80);
    tprintf("Subtype=%x, EC Level=%x", deviceSubtype_, ecLevel_);

    if (mode_ == kService || owner_) {
        NowConfirmed();
        status_.set(0x1000);
    } else if (bit(block_, 2, 6)) {
        SetOnlineAndStartFirmwareUpdate(1);
    } else {
        queriesDone_ = false;
        QueueNext(132);
    }
}

void PRNT63P::SetCapabilities(int derive) {
    if (!derive) {
        std::fill(std::begin(station_), std::end(station_), false);
        std::fill(std::begin(further_), std::end(further_), false);
        std::fill(std::begin(ext_), std::end(ext_), false);
        std::fill(std::begin(furtherExt_), std::end(furtherExt_), false);
        otherDevType_ = featureBit1_ = featureBit5_ = dbcs_ = extQuerySet_ = image_ = f2Zero_ = false;
        sectorQueries_ = false;
        capBits_[0] = capBits_[1] = 0;
        return;
    }
    const unsigned char f1 = f_[0], f2 = f_[1], f3 = f_[2], f4 = f_[3], f5 = f_[4];
    further_[0] = f1 == '2';
    further_[1] = f3 & 0x01;
    for (int i = 0; i < 7; ++i) ext_[i] = (f3 >> (i + 1)) & 1;
    ext_[7] = f4 & 0x02;
    ext_[8] = f4 & 0x04;
    station_[0] = f4 & 0x08;
    station_[1] = f4 & 0x10;
    image_ = f4 & 0x20;
    furtherExt_[0] = furtherExt_[1] = f4 & 0x40;
    furtherExt_[3] = f5 & 0x02;
    furtherExt_[4] = f5 & 0x08;
    furtherExt_[5] = f5 & 0x10;
    dbcs_ = f5 & 0x04;

    uint32_t b1 = f2 == 0 ? 0x4021 : 0x21;
    if (f5 & 0x02) b1 |= (f5 & 0x04) ? 0xC00 : 0x400;
    if (f5 & 0x08) b1 |= (f5 & 0x10) ? 0x300 : 0x100;
    if (f2 != 0) {
        b1 |= (f4 & 0x02) ? 0xC : 0x4;
        if (f4 & 0x04) b1 |= 0x10;
    }
    if (f4 & 0x40) b1 |= 0x802;
    if (f3 & 0x04) b1 |= 0x40;
    uint32_t b2 = 0;
    for (int i = 0; i < 5; ++i)
        if ((f3 >> (i + 3)) & 1) b2 |= 1u << i;
    capBits_[0] = b1;
    capBits_[1] = b2;
}
