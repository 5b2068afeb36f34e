// Operator display, physical side: two 20-character rows, the euro sign and seven
// user-defined characters.
#include <cstddef>
#include <cstring>
#include <new>

#include "OPER.h"
#include "ObjectSupport.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)dsoperp.cpp 1.1";

enum : uint32_t { kLogBadRequest = 4201, kLogLastMsgLost = 4202 };

const unsigned char kEuroPattern[8] = {0x06, 0x09, 0x1C, 0x08, 0x1C, 0x09, 0x06, 0x00};

} // namespace

OPERP::OPERP(const DeviceID& id, const unsigned char* name) : DSP(id, name) {
    vdevType_ = OPERV_TYPE_ID;
    addressWaitTime_ = 35;
    byteWaitTime_ = 16;

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

    SetSlot(kRow1, row1_, kRowBytes);
    SetSlot(kRow2, row2_, kRowBytes);
    SetSlot(kEuro, euro_, sizeof euro_);
    for (int n = 1; n <= DspUserChars::kChars; ++n) {
        patterns_[n - 1][0] = 0x40;
        patterns_[n - 1][1] = static_cast<unsigned char>(n);
        SetSlot(kFirstPattern + n - 1, patterns_[n - 1], sizeof patterns_[n - 1]);
    }
    slotCount_ = kSlots;
    SetRowSlots(kRow1, kRow2);
}

OPERP::~OPERP() = default;

int OPERP::UpdateText(DspTextRecord& record) {
    record.taken = 0;
    if (!record.text) return 321;
    const int first = record.first < 0 ? 0 : record.first;
    const int end = DspTextEnd(record, OPERV::kCells);
    for (int i = first; i < end; ++i) {
        unsigned char* row = i < 20 ? row1_ : row2_;
        row[2 + i % 20] = record.text[i];
        SetPending(i < 20 ? kRow1 : kRow2);
        ++record.taken;
    }
    return 0;
}

int OPERP::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    switch (request) {
    case DSP_REQ_UPDATE_TEXT: {
        if (!data || length < static_cast<int>(sizeof(DspTextRecord))) break;
        int rc = CheckHolder(sender);
        if (rc != 0) return rc;
        DspTextRecord record;
        std::memcpy(&record, data, sizeof record);
        rc = UpdateText(record);
        std::memcpy(data + offsetof(DspTextRecord, taken), &record.taken, sizeof record.taken);
        if (rc != 0) {
            NewRequest();
            break;
        }
        // The rows go out in the adapter's next round, not after the poller's idle wait.
        return RequestSendTurn();
    }
    case DSP_REQ_PATTERNS: {
        const int need = DspUserChars::kChars * DspUserChars::kPatternBytes;
        if (!data || length < need) break;
        int rc = CheckHolder(sender);
        if (rc != 0) return rc;
        for (int n = 0; n < DspUserChars::kChars; ++n) {
            std::memcpy(patterns_[n] + 2, data + n * DspUserChars::kPatternBytes,
                        DspUserChars::kPatternBytes);
            SetPending(kFirstPattern + n);
        }
        NewRequest();
        return 0;
    }
    default:
        if (request >= 9992 && request <= 9999) return DSP::TellPhys(sender, request, data, length);
        break;
    }
    LogWith(kLogBadRequest, 321, static_cast<uint32_t>(request), kTag, data,
            data && length > 0 ? length : 0);
    return 321;
}

int OPERP::PowerOnResetInProgress() {
    DSP::PowerOnResetInProgress();
    for (int slot = kRow1; slot < kSlots; ++slot) SetPending(slot);
    inFlight_.Reset();
    return 0;
}

int OPERP::SendAnyPendingMessage() { return SendKeepingRowInFlight(inFlight_); }

int OPERP::LastMsgAcked() {
    NoteAcked();
    inFlight_.Acked();
    return 0;
}

int OPERP::LastMsgLost(const unsigned char* data, int n) {
    LogWith(kLogLastMsgLost, 306, 0, kTag, data, n);
    // A row in flight goes again from its copy; any other command from its slot.
    return LostKeepingRowInFlight(inFlight_);
}

// ---------------------------------------------------------------------------------------

PDEV* _CreateOPERP(const DeviceID& id) { return new (std::nothrow) OPERP(id, "OPERP"); }

namespace {
const unsigned char kAddresses[] = {0x22, 0x23};
} // namespace

ObjectSupport objectOPERP(OPERP_TYPE_ID, _CreateOPERP, kAddresses, 2);
