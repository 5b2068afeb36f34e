// The small NVRAM on the bus (1024 bytes at device address 0x100): one write command and
// one read command, each answered by the device.
#include "NVCOPP.h"

#include <cstring>

#include "ObjectSupport.h"
#include "ovkhost.h"
#include "nvrecord.h"

namespace {

const char kTag[] = "@(#)nvcopp.cpp 1.1";

enum : uint32_t {
    LOG_REJECTED = 8401,
    LOG_BATTERY = 8402,
    LOG_BAD_REPLY = 8408,
    LOG_BAD_REQUEST = 8409,
};
// Byte-1 error bits 1 to 5 and their log ids.
const uint32_t kByte1Logs[6] = {0, 8407, 8406, 8405, 8404, 8403};

} // namespace

NVCOPP::NVCOPP(const DeviceID& id) : NVSIOP(id, "NVCOPP") {}

NVCOPP::~NVCOPP() = default;

int NVCOPP::Transfer(int request, NvramRequest& rq) {
    const long long end = static_cast<long long>(rq.offset) + rq.length;
    if (rq.length <= 0 || rq.length > kMaxRecord || !rq.buffer) return 318;
    if (rq.offset < 0 || end > kSize) return POSERR_NVRAM_NOT_ENOUGH_ROOM;
    const unsigned address = static_cast<unsigned>(rq.offset) + kBase;
    if (request == NVRAM_REQ_WRITE) {
        writeCommand_[0] = 0x03;
        writeCommand_[1] = static_cast<unsigned char>(address);
        writeCommand_[2] = static_cast<unsigned char>(address >> 8);
        writeCommand_[3] = static_cast<unsigned char>(rq.length);
        std::memcpy(writeCommand_ + 4, rq.buffer, static_cast<size_t>(rq.length));
        SetSlot(kSlotWrite, writeCommand_, rq.length + 4);
        const int rc = Await(1, kSlotWrite, NVRAM_WAIT_MS);
        if (rc != 0) ClearPending(kSlotWrite);
        return rc;
    }
    readCommand_[0] = 0x02;
    readCommand_[1] = static_cast<unsigned char>(address);
    readCommand_[2] = static_cast<unsigned char>(address >> 8);
    readCommand_[3] = static_cast<unsigned char>(rq.length);
    SetSlot(kSlotRead, readCommand_, sizeof readCommand_);
    wanted_ = rq.length;
    int rc = Await(2, kSlotRead, NVRAM_WAIT_MS);
    if (rc != 0) {
        ClearPending(kSlotRead);
        return rc;
    }
    if (readLength_ < rq.length) return 322; // the device answered with less
    std::memcpy(rq.buffer, readData_, static_cast<size_t>(rq.length));
    return 0;
}

int NVCOPP::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    NvramRequest rq;
    switch (request) {
    case NVRAM_REQ_WRITE:
    case NVRAM_REQ_READ:
    case NVRAM_REQ_DESCRIBE: {
        if (!NvramRecordOf(data, length, rq)) {
            LogWith(LOG_BAD_REQUEST, 321, static_cast<uint32_t>(request), kTag, data, length);
            return 321;
        }
        if (request == NVRAM_REQ_DESCRIBE) {
            rq.size = kSize;
            rq.maxRecord = kMaxRecord;
            NvramRecordBack(data, rq);
            return 0;
        }
        return Transfer(request, rq);
    }
    default:
        return NVSIOP::TellPhys(sender, request, data, length);
    }
}

int NVCOPP::NewMsgRcvd(const unsigned char* data, int n) {
    if (!data || n < 2) {
        LogWith(LOG_BAD_REPLY, 306, static_cast<uint32_t>(n), kTag, data, n);
        return FinishReply();
    }
    const unsigned char b0 = data[0], b1 = data[1];
    const int last = lastSent_;
    if (!(b0 & 0x01)) LogWith(LOG_BATTERY, POSERR_NVRAM_BATTERY_BAD, 0, kTag, data, n);
    if (b0 & 0x80) LogWith(LOG_REJECTED, 322, 0, kTag, data, n);
    bool failed = (b0 & 0x80) != 0;
    for (int bit = 1; bit <= 5; ++bit) {
        if (!(b1 & (1u << bit))) continue;
        LogWith(kByte1Logs[bit], 322, 0, kTag, data, n);
        failed = true;
    }
    int at = 2;
    if (b1 & 0x40) {
        if (n < 3) {
            LogWith(LOG_BAD_REPLY, 306, static_cast<uint32_t>(n), kTag, data, n);
            return FinishReply();
        }
        SetECLevel(data[2]);
        ClearPending(kSlotStatus);
        NowConfirmed();
        at = 3;
    }
    // A read reply: two bytes, the length byte, the data, all within the reply.
    if (last == kSlotRead && (b0 & 0x08) && !failed) {
        if (n >= at + 3 && n >= at + 3 + data[at + 2]) {
            KeepReadData(data + at + 3, data[at + 2]);
            ClearPending(kSlotRead);
        } else {
            LogWith(LOG_BAD_REPLY, 306, static_cast<uint32_t>(n), kTag, data, n);
            failed = true;
        }
    }
    if (b0 & 0x20) ClearPending(last);
    if (b0 & 0x08) {
        if (last == kSlotWrite || last == kSlotRead) {
            ClearPending(last);
            Complete(last, failed);
        }
    }
    return FinishReply();
}

PDEV* _CreateNVCOPP(const DeviceID& id) { return new NVCOPP(id); }

namespace {
const unsigned char addressesNVCOPP[] = {NVRAM_ADDRESS_A, NVRAM_ADDRESS_B};
}
ObjectSupport objectNVCOPP(NVCOPP_TYPE_ID, _CreateNVCOPP, addressesNVCOPP, 2);
