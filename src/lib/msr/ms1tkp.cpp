// The one-track reader.
#include "MS1TKP.h"

#include <cstring>

#include "MSV.h"
#include "ObjectSupport.h"

namespace {

const char kTag[] = "@(#)ms1tkp.cpp 1.1";
enum : uint32_t { kLogReaderError = 10201 };

PDEV* make(const DeviceID& id);
const unsigned char kAddresses[] = {0x40, 0x47};
ObjectSupport objectMS1TKP(MS1TKP_TYPE_ID, make, kAddresses, 2);

} // namespace

extern "C" PDEV* _CreateMS1TKP(const DeviceID& id) { return new MS1TKP(id, "MS1TKP"); }

namespace {
PDEV* make(const DeviceID& id) { return _CreateMS1TKP(id); }
} // namespace

MS1TKP::MS1TKP(const DeviceID& id, const char* name) : MSP(id, name) {
    static const unsigned char kSlot2[] = {0x01, 0x00};
    static const unsigned char kSlot3[] = {0x00, 0x00};
    std::memcpy(slot2Bytes_, kSlot2, 2);
    std::memcpy(slot3Bytes_, kSlot3, 2);
    slots_[MSP_SLOT_2].length = 2;
    slots_[MSP_SLOT_3].length = 2;
}

MS1TKP::~MS1TKP() = default;

int MS1TKP::NewMsgRcvd(const unsigned char* msg, int length) {
    if (!msg || length < 1) return SendNextOrAck();
    const unsigned char b0 = msg[0];
    const unsigned char* cursor = msg + 1;
    int count = length - 1;
    const bool error = (b0 & 0x0D) != 0;
    if ((b0 & 0x02) && count >= 1) {
        SetECLevel(msg[1]);
        ClearPending(MSP_SLOT_EC_LEVEL);
        SetPending(MSP_SLOT_2);
        ClearPending(MSP_SLOT_3);
        NowConfirmed();
        ++cursor;
        --count;
    }
    if (b0 & 0x20) ClearPending(outstanding_);
    if (b0 & 0x80) Log(kLogReaderError, 322, 0, msg, length, kTag);
    if ((count > 0 || error) && SwipeTaker()) {
        MsrTrackSlot* track = TrackSlot(1);
        if (count > MSR_TRACK_DATA) {
            // More than the slot holds: an unreadable track, as an over-long block.
            track->length = 0;
            track->error = 1;
        } else {
            track->length = static_cast<int16_t>(count);
            if (count > 0) std::memcpy(track->data, cursor, static_cast<size_t>(count));
            if (error) track->error = 1;
        }
        TellSwipe();
    }
    ReportAnswer((b0 & 0x80) != 0);
    return SendNextOrAck();
}
