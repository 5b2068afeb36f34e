// Shopper display, physical side: the line command with its separator rule and lights.
#include <cstddef>
#include <cstring>
#include <new>

#include "ObjectSupport.h"
#include "SHOP.h"
#include "ovkhost.h"
#include "ovknls.h"

namespace {

const char kTag[] = "@(#)dsshopp.cpp 1.1";

enum : uint32_t { kLogBadRequest = 4501 };

} // namespace

SHOPP::SHOPP(const DeviceID& id, const unsigned char* name) : DSP(id, name) {
    vdevType_ = SHOPV_TYPE_ID;
    line_[0] = 0x80;
    line_[1] = 0x00;
    std::memset(line_ + 2, ' ', kChars);
    std::memcpy(line_ + 2, "U007", 4);
    SetSlot(kLine, line_, kLineBytes);
    slotCount_ = kSlots;
}

SHOPP::~SHOPP() = default;

void SHOPP::FormatLine(const uint16_t* glyphs, unsigned char out[kChars]) {
    int n = 0;
    for (int i = 0; i < kChars; ++i) {
        const unsigned char c = shopMap.at(glyphs[i], ' ');
        const bool separator = c == ',' || c == '.';
        if (i == 2) {
            if (c == ',') out[n++] = c;
        } else if (i == 4 || i == 7 || i == 9) {
            if (separator) out[n++] = c;
        } else {
            out[n++] = separator ? ' ' : c;
        }
    }
    while (n < kChars) out[n++] = ' ';
}

int SHOPP::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    if (request >= 9992 && request <= 9999) return DSP::TellPhys(sender, request, data, length);
    if (request == DSP_REQ_UPDATE_TEXT && data && length >= static_cast<int>(sizeof(DspTextRecord))) {
        int rc = CheckHolder(sender);
        if (rc != 0) return rc;
        DspTextRecord record;
        std::memcpy(&record, data, sizeof record);
        if (record.cells) {
            // The whole line goes every time; the 13th cell carries the lights.
            FormatLine(record.cells, line_ + 2);
            line_[1] = static_cast<unsigned char>(record.cells[kChars] & 0xFF);
            record.taken = record.count < 0 ? 0 : (record.count > kChars ? kChars : record.count);
            std::memcpy(data + offsetof(DspTextRecord, taken), &record.taken, sizeof record.taken);
            SetPending(kLine);
            return RequestSendTurn();
        }
    }
    LogWith(kLogBadRequest, 321, static_cast<uint32_t>(request), kTag, data,
            data && length > 0 ? length : 0);
    return 321;
}

int SHOPP::PowerOnResetInProgress() {
    DSP::PowerOnResetInProgress();
    SetPending(kLine);
    return 0;
}

// ---------------------------------------------------------------------------------------

PDEV* _CreateSHOPP(const DeviceID& id) { return new (std::nothrow) SHOPP(id, "SHOPP"); }

namespace {
const unsigned char kAddresses[] = {0x26, 0x27};
} // namespace

ObjectSupport objectSHOPP(SHOPP_TYPE_ID, _CreateSHOPP, kAddresses, 2);
