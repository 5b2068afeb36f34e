// The three-track (or JIS) reader with its optional encoder.
#include "MS3TKP.h"

#include <cstring>

#include "ADAPTER.h"
#include "MSV.h"
#include "ObjectSupport.h"

namespace {

const char kTag[] = "@(#)ms3tkp.cpp 1.1";
enum : uint32_t {
    kLogReaderError = 10401,
    kLogBadInformation = 10402,
    kLogShort = 10404,
};
constexpr unsigned char kEncoderType = 5;

PDEV* make(const DeviceID& id);
const unsigned char kAddresses[] = {0x48, 0x49};
ObjectSupport objectMS3TKP(MS3TKP_TYPE_ID, make, kAddresses, 2);

} // namespace

extern "C" PDEV* _CreateMS3TKP(const DeviceID& id) { return new MS3TKP(id, "MS3TKP"); }

namespace {
PDEV* make(const DeviceID& id) { return _CreateMS3TKP(id); }
} // namespace

MS3TKP::MS3TKP(const DeviceID& id, const char* name) : MSP(id, name) {
    slots_[MSP_SLOT_1] = {information_, sizeof information_};
    slot2Bytes_[0] = 0x01;
    slot2Bytes_[1] = 0x0F;
    slot3Bytes_[0] = 0x01;
    slot3Bytes_[1] = 0x00;
    slots_[MSP_SLOT_2].length = 2;
    slots_[MSP_SLOT_3].length = 2;
}

MS3TKP::~MS3TKP() = default;

int MS3TKP::NewMsgRcvd(const unsigned char* msg, int length) {
    if (!msg || length < 2) {
        Log(kLogShort, POSERR_SYS_INVALID_LENGTH, 0, msg, length, kTag);
        return SendNextOrAck();
    }
    const unsigned char b0 = msg[0], b1 = msg[1];
    const unsigned char* cursor = msg + 2;
    bool jis = false;
    if (b0 & 0x01) {
        if (length != 7) {
            Log(kLogBadInformation, POSERR_SYS_INVALID_LENGTH, 0, msg, length, kTag);
        } else {
            slot2Bytes_[1] = msg[4];
            SetPending(MSP_SLOT_2);
            ClearPending(MSP_SLOT_1);
            ClearPending(MSP_SLOT_3);
            if (msg[3] == kEncoderType) {
                encoder_ = true;
                vdevType_ = MSEV_TYPE_ID;
                deviceSubtype_ = 1;
                tprintf("MSR with Encoder\n");
            }
        }
    }
    if (b0 & 0x20) jis = true;
    if (b0 & 0x3C)
        ClearPending(MSP_SLOT_2);
    else
        ClearPending(MSP_SLOT_3);
    if (b0 & 0x40) {
        if (length < 3) {
            Log(kLogShort, POSERR_SYS_INVALID_LENGTH, 0, msg, length, kTag);
        } else {
            SetECLevel(msg[2]);
            ClearPending(MSP_SLOT_EC_LEVEL);
            SetPending(MSP_SLOT_1);
            ++cursor;
        }
    }
    if (b0 & 0x80) Log(kLogReaderError, 322, 0, msg, length, kTag);
    // A reader that is not ready is offline until it says otherwise.
    if (b0 & 0x02)
        NowNotConfirmed();
    else
        NowConfirmed();

    if (encoder_ && owner_) {
        if (b1 & 0x10) owner_->TellVirt(this, MSR_MSG_WRITE_FAILED, nullptr, 0);
        if (b1 & 0x20) owner_->TellVirt(this, MSR_MSG_WRITE_SUCCESS, nullptr, 0);
    }
    if (encoder_ && (b1 & 0x80)) {
        if (IsPending(MSP_SLOT_ENCODE_TIMEOUT))
            ClearPending(MSP_SLOT_ENCODE_TIMEOUT);
        else
            ClearPending(MSP_SLOT_ENCODE_DATA);
    }
    const bool swipe = (b1 & 0x0F) || (!encoder_ && (b1 & 0x30));
    if (swipe && SwipeTaker()) {
        if (b1 & 0x01) TrackSlot(jis ? 3 : 0)->error = 1;
        if (b1 & 0x04) TrackSlot(1)->error = 1;
        if (!encoder_ && (b1 & 0x10)) TrackSlot(2)->error = 1;
        BeginExtract(msg, length);
        if (jis) {
            if (Extract(cursor, 3) == 0) Extract(cursor, 1);
        } else if (Extract(cursor, 0) == 0 && Extract(cursor, 1) == 0) {
            Extract(cursor, 2);
        }
        TellSwipe();
    }
    ReportAnswer((b0 & 0x80) != 0);
    return SendNextOrAck();
}

int MS3TKP::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    if (request != MSR_REQ_ENCODE_TIMEOUT && request != MSR_REQ_ENCODE_DATA)
        return MSP::TellPhys(sender, request, data, length);
    if (!encoder_) return 0;
    // Refused offline before anything is queued: it would be written once the reader is back.
    if (!LinkUpAndConfirmed()) return POSERR_SYS_DEVICE_OFFLINE;
    if (request == MSR_REQ_ENCODE_TIMEOUT) {
        if (!data || length < 1) return POSERR_SYS_INVALID_LENGTH;
        encodeTimeout_[2] = data[0];
        SetPending(MSP_SLOT_ENCODE_TIMEOUT);
    } else {
        // The length travels in one byte.
        if (length < 0 || length > 0xFF || (length > 0 && !data)) return POSERR_SYS_INVALID_LENGTH;
        encodeData_[2] = static_cast<unsigned char>(length);
        if (length > 0) std::memcpy(encodeData_ + 3, data, static_cast<size_t>(length));
        slots_[MSP_SLOT_ENCODE_DATA].length = length + 3;
        SetPending(MSP_SLOT_ENCODE_DATA);
    }
    NewRequest();
    return adapter_ ? adapter_->RequestBuffer() : 327;
}
