// Alphanumeric operator display, physical side: configuration query, row, clear, lights,
// code-page and character commands, and the display's type from its device information.
#include <cstddef>
#include <cstring>
#include <new>

#include "ANOP.h"
#include "ObjectSupport.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)dsanopp.cpp 1.1";

enum : uint32_t {
    kLogCommandReject = 5202,
    kLogBadRequest = 5203,
    kLogBadEcMessage = 5204,
    kLogBadDevInfo = 5205,
    kLogLastMsgLost = 5206,
};

const unsigned char kEuroPattern[8] = {0x06, 0x09, 0x1C, 0x08, 0x1C, 0x09, 0x06, 0x00};
constexpr int kPatternRecord = 10; // a pattern record of request 8: 2 bytes, 8 pattern bytes

} // namespace

ANOPP::ANOPP(const DeviceID& id, const unsigned char* name) : DSP(id, name) {
    vdevType_ = ANOPV_TYPE_ID;
    addressWaitTime_ = 96;
    byteWaitTime_ = 72;

    row1_[0] = 0x81;
    row2_[0] = 0x82;
    row1_[1] = row2_[1] = 0x28;
    std::memset(row1_ + 2, ' ', 20);
    std::memset(row2_ + 2, ' ', 20);
    std::memcpy(row2_ + 2, "U007", 4);
    euro_[0] = 0x40;
    euro_[1] = 0x00;
    std::memcpy(euro_ + 2, kEuroPattern, sizeof kEuroPattern);
    std::memset(patterns_, 0, sizeof patterns_);

    SetSlot(kConfigQuery, configQuery_, sizeof configQuery_, true);
    SetSlot(kClearRow1, clearRow1_, sizeof clearRow1_);
    SetSlot(kClearRow2, clearRow2_, sizeof clearRow2_);
    SetSlot(kCodePage, codePageCmd_, sizeof codePageCmd_);
    SetSlot(kRow1, row1_, kRowBytes);
    SetSlot(kRow2, row2_, kRowBytes);
    SetSlot(kLights, lightsCmd_, sizeof lightsCmd_);
    SetSlot(kEuro, euro_, sizeof euro_);
    for (int n = 1; n <= DspUserChars::kChars; ++n) {
        patterns_[n - 1][0] = 0x40;
        patterns_[n - 1][1] = static_cast<unsigned char>(n);
        SetSlot(kFirstPattern + n - 1, patterns_[n - 1], sizeof patterns_[n - 1]);
    }
    slotCount_ = kSlots;
    SetRowSlots(kRow1, kRow2);
}

ANOPP::~ANOPP() = default;

void ANOPP::MarkPending(int slot) {
    SetPending(slot);
    requested_ |= 1u << slot;
    NewRequest();
}

// ---------------------------------------------------------------------------------------
// Requests of the virtual device.

int ANOPP::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    if (request >= 9992 && request <= 9999) return DSP::TellPhys(sender, request, data, length);
    const bool isRecord = data && length >= static_cast<int>(sizeof(DspTextRecord));

    switch (request) {
    case DSP_REQ_UPDATE_TEXT: {
        if (!isRecord) break;
        int rc = CheckHolder(sender);
        if (rc != 0) return rc;
        DspTextRecord record;
        std::memcpy(&record, data, sizeof record);
        record.taken = 0;
        if (record.clear) {
            std::memset(row1_ + 2, ' ', 20);
            std::memset(row2_ + 2, ' ', 20);
            MarkPending(kClearRow1);
            MarkPending(kClearRow2);
        }
        if ((record.textUpdate || record.textUpdate2) && record.text) {
            const int first = record.first < 0 ? 0 : record.first;
            const int end = DspTextEnd(record, ANOPV::kCells);
            for (int i = first; i < end; ++i) {
                unsigned char* row = i < 20 ? row1_ : row2_;
                row[2 + i % 20] = record.text[i];
                MarkPending(i < 20 ? kRow1 : kRow2);
                ++record.taken;
            }
        }
        if (record.lightsUpdate) {
            const uint32_t v = static_cast<uint32_t>(record.lights);
            lightsCmd_[1] = static_cast<unsigned char>((v >> 24) & 0x03);
            lightsCmd_[2] = static_cast<unsigned char>((v >> 16) & 0xFF);
            lightsCmd_[3] = static_cast<unsigned char>((v >> 8) & 0x03);
            lightsCmd_[4] = static_cast<unsigned char>(v & 0xFF);
            MarkPending(kLights);
        }
        std::memcpy(data + offsetof(DspTextRecord, taken), &record.taken, sizeof record.taken);
        return RequestSendTurn();
    }
    case DSP_REQ_CONFIGURATION:
    case DSP_REQ_TYPE:
        if (!data || length < 1) break;
        data[0] = request == DSP_REQ_TYPE ? type_ : config_;
        return 0;
    case DSP_REQ_CODE_PAGE: {
        if (!isRecord) break;
        int rc = CheckHolder(sender);
        if (rc != 0) return rc;
        DspTextRecord record;
        std::memcpy(&record, data, sizeof record);
        codePageCmd_[1] = static_cast<unsigned char>(record.codePage & 0xFF);
        MarkPending(kCodePage);
        return 0;
    }
    case DSP_REQ_PATTERNS: {
        if (!data || length < DspUserChars::kChars * kPatternRecord) break;
        int rc = CheckHolder(sender);
        if (rc != 0) return rc;
        for (int n = 0; n < DspUserChars::kChars; ++n) {
            std::memcpy(patterns_[n] + 2, data + n * kPatternRecord + 2, DspUserChars::kPatternBytes);
            MarkPending(kFirstPattern + n);
        }
        return 0;
    }
    default:
        break;
    }
    LogWith(kLogBadRequest, 321, static_cast<uint32_t>(request), kTag, data,
            data && length > 0 ? length : 0);
    return 321;
}

// ---------------------------------------------------------------------------------------
// Link notifications.

int ANOPP::NewMsgRcvd(const unsigned char* data, int n) {
    if (data && n > 0) {
        const unsigned char status = data[0];
        if (status & 0x10) {
            if (n >= 6) {
                config_ = data[1];
                unsigned char type = data[2];
                info_[0] = data[3];
                info_[1] = data[4];
                const unsigned char ec = data[5];
                SetECLevel(ec);
                if (type == ANOP_TYPE_VFD && ec > 15) type = ANOP_TYPE_LCVFD;
                if (type == ANOP_TYPE_VFD2 && ec > 15) type = ANOP_TYPE_LCVFD2;
                if (type == 1 || type == 3) SetAckWaitTime(100);
                type_ = type;
                deviceSubtype_ = type;
                ClearPending(kConfigQuery);
                NowConfirmed();
            } else {
                LogWith(kLogBadDevInfo, 322, static_cast<uint32_t>(n), kTag, data, n);
            }
        }
        if (status & 0x20) {
            if (n >= 2) {
                SetECLevel(data[1]);
                ClearPending(0);
            } else {
                LogWith(kLogBadEcMessage, 322, static_cast<uint32_t>(n), kTag, data, n);
            }
        }
        bool retry = false;
        if (status & 0x80) {
            LogWith(kLogCommandReject, 322, 0, kTag, data, n);
            retry = RetryRejected();
        } else {
            AnswerAccepted();
        }
        // The display answered the command it was sent last; one that a client request has
        // made pending again since it went out, or that it rejected, still goes.
        if (!retry && lastSent_ >= kClearRow1 && lastSent_ < kSlots && !((requested_ >> lastSent_) & 1u))
            ClearPending(lastSent_);
    }
    ClearStatusBits(SIODEV_AWAITING_REPLY);
    int rc = SendAnyPendingMessage();
    if (rc == -1) return SendAck();
    return rc + 1;
}

int ANOPP::PowerOnResetInProgress() {
    DSP::PowerOnResetInProgress();
    SetPending(kConfigQuery);
    for (int slot = kCodePage; slot < kSlots; ++slot) SetPending(slot);
    inFlight_.Reset();
    return 0;
}

int ANOPP::SendAnyPendingMessage() {
    // A slot sent from its pending bit is no longer owed to a client request; a resent row
    // copy leaves the row's request as it is.
    const bool resend = inFlight_.resend;
    int rc = SendKeepingRowInFlight(inFlight_);
    if (rc == 0 && !resend) requested_ &= ~(1u << lastSent_);
    return rc;
}

int ANOPP::LastMsgAcked() {
    NoteAcked();
    inFlight_.Acked();
    return 0;
}

int ANOPP::LastMsgLost(const unsigned char* data, int n) {
    LogWith(kLogLastMsgLost, 306, 0, kTag, data, n);
    return LostKeepingRowInFlight(inFlight_);
}

// ---------------------------------------------------------------------------------------

PDEV* _CreateANOPP(const DeviceID& id) { return new (std::nothrow) ANOPP(id, "ANOPP"); }

namespace {
const unsigned char kAddresses[] = {0x24, 0x25};
} // namespace

ObjectSupport objectANOPP(ANOPP_TYPE_ID, _CreateANOPP, kAddresses, 2);
