// The reader of track 2 and the JIS track.
#include "MSJTKP.h"

#include "MSV.h"
#include "ObjectSupport.h"

namespace {

const char kTag[] = "@(#)msjtkp.cpp 1.1";
enum : uint32_t { kLogReaderError = 10501 };

PDEV* make(const DeviceID& id);
const unsigned char kAddresses[] = {0x40};
ObjectSupport objectMSJTKP(MSJTKP_TYPE_ID, make, kAddresses, 1);

} // namespace

extern "C" PDEV* _CreateMSJTKP(const DeviceID& id) { return new MSJTKP(id, "MSJTKP"); }

namespace {
PDEV* make(const DeviceID& id) { return _CreateMSJTKP(id); }
} // namespace

MSJTKP::MSJTKP(const DeviceID& id, const char* name) : MSP(id, name) {
    ecRequest_[0] = 0x81;
    ecRequest_[1] = 0x00;
}

MSJTKP::~MSJTKP() = default;

int MSJTKP::PowerOnResetInProgress() {
    const int rc = MSP::PowerOnResetInProgress();
    ClearPending(MSP_SLOT_2);
    return rc;
}

int MSJTKP::NewMsgRcvd(const unsigned char* msg, int length) {
    if (!msg || length < 0) length = 0;
    // The reader has no confirmation bit: its answer to a command confirms it, or the
    // command would be sent again after every message.
    if (TestStatusBits(SIODEV_AWAITING_REPLY) && outstanding_ != MSP_SLOT_EC_LEVEL)
        ClearPending(outstanding_);
    const unsigned char* cursor = msg ? msg + 2 : nullptr;
    const unsigned char b0 = length >= 1 ? msg[0] : 0;
    const unsigned char b1 = length >= 2 ? msg[1] : 0;
    if ((b0 & 0x01) && length >= 3) {
        SetECLevel(msg[2]);
        ClearPending(MSP_SLOT_EC_LEVEL);
        SetPending(MSP_SLOT_2);
        ClearPending(MSP_SLOT_3);
        ++cursor;
        NowConfirmed();
    }
    if (b0 & 0x40) Log(kLogReaderError, 322, 0, msg, length, kTag);
    if (SwipeTaker()) {
        if (b1 & 0x77) TrackSlot(3)->error = 1;
        BeginExtract(msg, length);
        int rc = 0;
        if (b1 & 0x80) rc = Extract(cursor, 1);
        if ((b1 & 0x08) && rc == 0) Extract(cursor, 3);
        TellSwipe();
    }
    ReportAnswer((b0 & 0x40) != 0);
    return SendNextOrAck();
}
