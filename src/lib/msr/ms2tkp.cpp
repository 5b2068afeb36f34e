// The two-track reader.
#include "MS2TKP.h"

#include "MSV.h"
#include "ObjectSupport.h"

namespace {

const char kTag[] = "@(#)ms2tkp.cpp 1.1";
enum : uint32_t {
    kLogReaderError = 10301,
    kLogStatus = 10302,
    kLogShortEcLevel = 10303,
    kLogShort = 10304,
};

PDEV* make(const DeviceID& id);
const unsigned char kAddresses[] = {0x46, 0x47};
ObjectSupport objectMS2TKP(MS2TKP_TYPE_ID, make, kAddresses, 2);

} // namespace

extern "C" PDEV* _CreateMS2TKP(const DeviceID& id) { return new MS2TKP(id, "MS2TKP"); }

namespace {
PDEV* make(const DeviceID& id) { return _CreateMS2TKP(id); }
} // namespace

MS2TKP::MS2TKP(const DeviceID& id, const char* name) : MSP(id, name) {}

MS2TKP::~MS2TKP() = default;

int MS2TKP::NewMsgRcvd(const unsigned char* msg, int length) {
    if (!msg || length < 2) {
        Log(kLogShort, POSERR_SYS_INVALID_LENGTH, 0, msg, length, kTag);
        return SendNextOrAck();
    }
    const unsigned char b0 = msg[0], b1 = msg[1];
    const unsigned char* cursor = msg + 2;
    int second = 2;
    if (b0 & 0x02) {
        if (length < 3) {
            Log(kLogShortEcLevel, POSERR_SYS_INVALID_LENGTH, 0, msg, length, kTag);
        } else {
            SetECLevel(msg[2]);
            ClearPending(MSP_SLOT_EC_LEVEL);
            SetPending(MSP_SLOT_2);
            ClearPending(MSP_SLOT_3);
            ++cursor;
            NowConfirmed();
        }
    }
    if (b0 & 0x04) Log(kLogStatus, 324, 0, msg, length, kTag);
    if (b0 & 0x30)
        ClearPending(MSP_SLOT_2);
    else
        ClearPending(MSP_SLOT_3);
    if (b0 & 0x40) second = 0;
    if (b0 & 0x80) Log(kLogReaderError, 322, 0, msg, length, kTag);
    if ((b1 & 0xCC) && SwipeTaker()) {
        if (b1 & 0x04) TrackSlot(second)->error = 1;
        if (b1 & 0x40) TrackSlot(1)->error = 1;
        BeginExtract(msg, length);
        if (Extract(cursor, 1) == 0) Extract(cursor, second);
        TellSwipe();
    }
    ReportAnswer((b0 & 0x80) != 0);
    return SendNextOrAck();
}
