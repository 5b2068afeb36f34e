// Numeric display, physical side: cells as dot data in two row commands.
#include <cstddef>
#include <cstring>
#include <new>

#include "ANUM.h"
#include "ObjectSupport.h"
#include "ovkhost.h"
#include "ovknls.h"

namespace {

const char kTag[] = "@(#)dsanump.cpp 1.1";

enum : uint32_t { kLogBadRequest = 4001 };

// Shown in the first four cells of row 2 until the first update.
const unsigned char kBuiltInPattern[40] = {
    0x78, 0x80, 0x80, 0x80, 0x78, 0x78, 0x00, 0x00, 0x00, 0x78,
    0x70, 0x00, 0x88, 0x00, 0x70, 0x30, 0x48, 0x00, 0x48, 0x30,
    0x70, 0x00, 0x88, 0x00, 0x70, 0x30, 0x48, 0x00, 0x48, 0x30,
    0x08, 0xC8, 0x28, 0x08, 0x18, 0x00, 0x60, 0x00, 0x10, 0x08,
};

} // namespace

ANUMP::ANUMP(const DeviceID& id, const unsigned char* name) : DSP(id, name) {
    vdevType_ = ANUMV_TYPE_ID;
    addressWaitTime_ = 96;
    std::memset(row1_, 0, sizeof row1_);
    std::memset(row2_, 0, sizeof row2_);
    row1_[0] = 0x81;
    row2_[0] = 0x82;
    std::memcpy(row2_ + 2, kBuiltInPattern, sizeof kBuiltInPattern);
    SetSlot(kRow1, row1_, kRowBytes);
    SetSlot(kRow2, row2_, kRowBytes);
    slotCount_ = kSlots;
    SetRowSlots(kRow1, kRow2);
}

ANUMP::~ANUMP() = default;

int ANUMP::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    if (request >= 9992 && request <= 9999) return DSP::TellPhys(sender, request, data, length);
    if (request == DSP_REQ_UPDATE_TEXT && data && length >= static_cast<int>(sizeof(DspTextRecord))) {
        int rc = CheckHolder(sender);
        if (rc != 0) return rc;
        DspTextRecord record;
        std::memcpy(&record, data, sizeof record);
        record.taken = 0;
        if (record.cells) {
            const int first = record.first < 0 ? 0 : record.first;
            const int end = DspTextEnd(record, ANUMV::kCells);
            for (int i = first; i < end; ++i) {
                unsigned char* row = i < kCellsPerRow ? row1_ : row2_;
                std::memcpy(row + 2 + (i % kCellsPerRow) * kCellBytes, gc5x12slice.at(record.cells[i]),
                            kCellBytes);
                SetPending(i < kCellsPerRow ? kRow1 : kRow2);
                ++record.taken;
            }
            std::memcpy(data + offsetof(DspTextRecord, taken), &record.taken, sizeof record.taken);
            return RequestSendTurn();
        }
    }
    LogWith(kLogBadRequest, 321, static_cast<uint32_t>(request), kTag, data,
            data && length > 0 ? length : 0);
    return 321;
}

int ANUMP::PowerOnResetInProgress() {
    DSP::PowerOnResetInProgress();
    SetPending(kRow1);
    SetPending(kRow2);
    return 0;
}

// ---------------------------------------------------------------------------------------

PDEV* _CreateANUMP(const DeviceID& id) { return new (std::nothrow) ANUMP(id, "ANUMP"); }

namespace {
const unsigned char kAddresses[] = {0x20, 0x21};
} // namespace

ObjectSupport objectANUMP(ANUMP_TYPE_ID, _CreateANUMP, kAddresses, 2);
