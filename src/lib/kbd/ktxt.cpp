// The POS keyboard that sends characters.
#include "KBTEXTP.h"

#include "ObjectSupport.h"
#include "VDEV.h"

namespace {

const char kTag[] = "@(#)ktxt.cpp 1.1";
enum : uint32_t { kLogError = 17101, kLogStatusError = 17102, kLogDiagnostics = 17103 };

PDEV* make(const DeviceID& id);
const unsigned char kAddresses[] = {0x12, 0x13};
ObjectSupport gKBTEXTP(KBTEXTP_TYPE_ID, make, kAddresses, 2);

} // namespace

extern "C" PDEV* _CreateKBTEXTP(const DeviceID& id) { return new KBTEXTP(id, "KBTEXTP"); }

namespace {
PDEV* make(const DeviceID& id) { return _CreateKBTEXTP(id); }
} // namespace

KBTEXTP::KBTEXTP(const DeviceID& id, const char* name) : KBP(id, name) {
    vdevType_ = KBV_TYPE_ID;
    deviceSubtype_ = 0;
    // Lights 01 ll; the tone commands as the 50-key keyboard's.
    lights_[0] = 0x01;
    toneOff_[0] = 0x42;
    toneOff_[1] = 0x00;
    tone_[0] = 0x22;
    tone_[1] = 0x00;
    toneFlagsAt_ = 0;
}

KBTEXTP::~KBTEXTP() = default;

int KBTEXTP::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    if (request == KBD_REQ_TYPEMATIC_ON || request == KBD_REQ_TYPEMATIC_OFF) return 0;
    return KBP::TellPhys(sender, request, data, length);
}

int KBTEXTP::NewMsgRcvd(const unsigned char* msg, int length) {
    if (!msg || length < 0) length = 0;
    int start = 2;
    if (length >= 1) {
        // The keyboard's error bit answers the outstanding command with a reject.
        if (msg[0] & 0x80) {
            Log(kLogError, 322, 0, msg, length, kTag);
            RetryRejected();
        } else {
            AnswerAccepted();
        }
        const int old = keyLock_;
        keyLock_ = msg[0] & 0x40 ? 2 : 1;
        if (keyLock_ != old && !Locked() && owner_)
            owner_->PostQueueMsg(KBD_WM_STATUS_CHANGE, 0x10000, static_cast<uint32_t>(keyLock_));
    }
    if (length >= 2) {
        if (msg[1] & 0x02) Log(kLogStatusError, 321, 0, msg, length, kTag);
        if ((msg[1] & 0x04) && length >= 4) {
            SetECLevel(msg[3]);
            ClearPending(KBP_SLOT_EC_LEVEL);
            NowConfirmed();
            start = 3;
        }
        if (msg[1] & 0x08) Log(kLogDiagnostics, 324, 0, msg, length, kTag);
    }
    if (!Locked() && owner_) {
        // Position i carries the character at i + 2; the last two positions have none.
        for (int i = start; i + 2 < length; ++i) {
            if (i < 8 && (msg[0] & (1u << i))) continue;
            // The character travels in bits 16-23: the low 16 bits carry the handle.
            owner_->PostQueueMsg(KBD_WM_CHAR, static_cast<uint32_t>(msg[i + 2]) << 16, 0);
        }
    }
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    if (SendAnyPendingMessage() == 0) return 1;
    return SendAck();
}
