// The three-track (or JIS) reader behind the keyboard node.
#include "MS3TKPSP.h"

#include <cstring>

#include "MSV.h"
#include "ObjectSupport.h"

namespace {

const char kTag[] = "@(#)ms3tkpsp.cpp 1.1";
enum : uint32_t {
    kLogReaderError = 10701,
    kLogShortEcLevel = 10702,
    kLogShort = 10703,
};

PDEV* make(const DeviceID& id);
ObjectSupport objectMS3TKPSP(MS3TKPSP_TYPE_ID, make, static_cast<const unsigned char*>(nullptr), 0);

} // namespace

extern "C" PDEV* _CreateMS3TKPSP(const DeviceID& id) { return new MS3TKPSP(id, "MS3TKPSP"); }

namespace {
PDEV* make(const DeviceID& id) { return _CreateMS3TKPSP(id); }
} // namespace

MS3TKPSP::MS3TKPSP(const DeviceID& id, const char* name) : MSPSP(id, name) { MakeOnline(); }

MS3TKPSP::~MS3TKPSP() = default;

int MS3TKPSP::Extract(const unsigned char*& cursor, int slot) {
    MsrTrackSlot* s = TrackSlot(slot);
    if (!s || !cursor || !extractEnd_ || cursor >= extractEnd_) return 0;
    if (extractEnd_ - cursor < 2) {
        s->length = 0;
        s->error = 1;
        cursor = extractEnd_;
        return POSERR_SYS_INVALID_LENGTH;
    }
    const int L = cursor[0] + cursor[1];
    cursor += 2;
    if (L > extractEnd_ - cursor) {
        s->length = 0;
        s->error = 1;
        cursor = extractEnd_;
        return POSERR_SYS_INVALID_LENGTH;
    }
    if (L == 0) {
        s->length = 0;
    } else if (L <= maxTrack_[slot] && L <= MSR_TRACK_DATA) {
        s->length = static_cast<int16_t>(L);
        std::memcpy(s->data, cursor, static_cast<size_t>(L));
    } else {
        s->length = 0;
        s->error = 1;
    }
    cursor += L;
    return 0;
}

int MS3TKPSP::NewMsgRcvd(const unsigned char* msg, int length) {
    if (!msg || length < 2) {
        Log(kLogShort, POSERR_SYS_INVALID_LENGTH, 0, msg, length, kTag);
        MakeOnline();
        return 0;
    }
    const unsigned char b0 = msg[0], b1 = msg[1];
    const unsigned char* cursor = msg + 2;
    const bool jis = (b0 & 0x20) != 0;
    if (b0 & 0x3C)
        ClearPending(MSP_SLOT_2);
    else
        ClearPending(MSP_SLOT_3);
    if (b0 & 0x40) {
        if (length < 3) {
            Log(kLogShortEcLevel, POSERR_SYS_INVALID_LENGTH, 0, msg, length, kTag);
        } else {
            SetECLevel(msg[2]);
            ClearPending(MSP_SLOT_EC_LEVEL);
            if (stop_ == 0) SetPending(MSP_SLOT_2);
            ClearPending(MSP_SLOT_3);
            ++cursor;
        }
    }
    if (b0 & 0x80) Log(kLogReaderError, 322, 0, msg, length, kTag);
    if ((b1 & 0x3F) && SwipeTaker()) {
        if (b1 & 0x01) TrackSlot(jis ? 3 : 0)->error = 1;
        if (b1 & 0x04) TrackSlot(1)->error = 1;
        if (b1 & 0x10) TrackSlot(2)->error = 1;
        BeginExtract(msg, length);
        if (jis) {
            if (Extract(cursor, 3) == 0) Extract(cursor, 1);
        } else if (Extract(cursor, 0) == 0 && Extract(cursor, 1) == 0) {
            Extract(cursor, 2);
        }
        TellSwipe();
    }
    MakeOnline();
    return 0;
}
