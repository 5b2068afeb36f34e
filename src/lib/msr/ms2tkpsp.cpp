// The two-track reader behind the keyboard node.
#include "MS2TKPSP.h"

#include "MSV.h"
#include "ObjectSupport.h"

namespace {

const char kTag[] = "@(#)ms2tkpsp.cpp 1.1";
enum : uint32_t {
    kLogShortEcLevel = 10601,
    kLogShort = 10602,
};

PDEV* make(const DeviceID& id);
ObjectSupport objectMS2TKPSP(MS2TKPSP_TYPE_ID, make, static_cast<const unsigned char*>(nullptr), 0);

} // namespace

extern "C" PDEV* _CreateMS2TKPSP(const DeviceID& id) { return new MS2TKPSP(id, "MS2TKPSP"); }

namespace {
PDEV* make(const DeviceID& id) { return _CreateMS2TKPSP(id); }
} // namespace

MS2TKPSP::MS2TKPSP(const DeviceID& id, const char* name) : MSPSP(id, name) {}

MS2TKPSP::~MS2TKPSP() = default;

int MS2TKPSP::NewMsgRcvd(const unsigned char* msg, int length) {
    if (!msg || length < 2) {
        Log(kLogShort, POSERR_SYS_INVALID_LENGTH, 0, msg, length, kTag);
        MakeOnline();
        return 0;
    }
    const unsigned char b0 = msg[0], b1 = msg[1];
    const unsigned char* cursor = msg + 2;
    int second = 2;
    if (b0 & 0x01) {
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
    if (b0 & 0x18)
        ClearPending(MSP_SLOT_2);
    else
        ClearPending(MSP_SLOT_3);
    if (b0 & 0x20) second = 0;
    if ((b1 & 0x33) && SwipeTaker()) {
        if (b1 & 0x01) TrackSlot(second)->error = 1;
        if (b1 & 0x10) TrackSlot(1)->error = 1;
        BeginExtract(msg, length);
        if (Extract(cursor, 1) == 0) Extract(cursor, second);
        TellSwipe();
    }
    MakeOnline();
    return 0;
}
