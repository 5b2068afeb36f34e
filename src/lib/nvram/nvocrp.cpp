// The journalled NVRAM on the bus and the terminal's power control.
#include "NVOCRP.h"

#include <cstring>

#include "ObjectSupport.h"
#include "VDEV.h"
#include "ovkhost.h"
#include "nvrecord.h"

namespace {

const char kTag[] = "@(#)nvocrp.cpp 1.1";

enum : uint32_t {
    LOG_POWER_HELD = 8301,
    LOG_REJECTED = 8302,
    LOG_BATTERY = 8303,
    LOG_BAD_REPLIES = 8308,
    LOG_BAD_REQUEST = 8309,
};
// Byte-1 error bits 2 to 5 and their log ids.
const uint32_t kByte1Logs[6] = {0, 0, 8307, 8306, 8305, 8304};

void put16(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
void put32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
uint32_t get32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

NVOCRP::NVOCRP(const DeviceID& id) : NVSIOP(id, "NVOCRP") {
    SetSlot(kSlotJournalRead, journalRead_, sizeof journalRead_);
    SetSlot(kSlotStaged, staged_, sizeof staged_);
    SetSlot(kSlotPowerOff, powerOff_, sizeof powerOff_);
    SetSlot(kSlotPowerOn, powerOn_, sizeof powerOn_);
}

NVOCRP::~NVOCRP() {
    if (powerHolder_) clErrorLog(LOG_POWER_HELD, 321, 0, kTag, this, NvramBlock(sizeof *this));
}

int NVOCRP::Init() {
    badReplies_ = 0;
    SetPending(kSlotJournalRead);
    return NVSIOP::Init();
}

// ---------------------------------------------------------------------------------------
// The power device.

bool NVOCRP::Confirmed(unsigned char address) const {
    if (address == POWER_ADDRESS_B) return powerOnline_ != 0;
    return PDEV::Confirmed(address);
}

int NVOCRP::GetVdevInfo(unsigned char address, unsigned char& deviceType, long& vdevType) const {
    if (address == POWER_ADDRESS_B) {
        deviceType = POWER_DEVICE_CLASS;
        vdevType = NVPOWERV_TYPE_ID;
        return 0;
    }
    return PDEV::GetVdevInfo(address, deviceType, vdevType);
}

void NVOCRP::AnnouncePower(bool online, const MsgQueueInfo* queue) {
    if (!queue)
        aprintf(online ? "--> %s (%x.%x.%x) online\n" : "--> %s (%x.%x.%x) offline\n", nameTag_,
                id_.slot, id_.port, POWER_ADDRESS_B);
    if (online)
        PostOnlineMsg(queue, POWER_ADDRESS_B, POWER_DEVICE_CLASS, deviceSubtype_);
    else
        PostOfflineMsg(queue, POWER_ADDRESS_B, POWER_DEVICE_CLASS, deviceSubtype_);
}

void NVOCRP::NowConfirmed() {
    PDEV::NowConfirmed();
    if (!powerOnline_) {
        powerOnline_ = 1;
        AnnouncePower(true, nullptr);
    }
}

void NVOCRP::NowNotConfirmed() {
    NVSIOP::NowNotConfirmed();
    if (powerOnline_) {
        powerOnline_ = 0;
        AnnouncePower(false, nullptr);
    }
}

void NVOCRP::TellQueueWhosOnline(const MsgQueueInfo* queue) {
    PDEV::TellQueueWhosOnline(queue);
    if (powerOnline_) AnnouncePower(true, queue);
}

int NVOCRP::Acquire(VDEV* vdev) {
    if (!vdev) return 321;
    if (vdev->GetDeviceID().device != POWER_ADDRESS_B) return PDEV::Acquire(vdev);
    if (powerHolder_) return powerHolder_ == vdev ? 314 : 313;
    powerHolder_ = vdev;
    return 0;
}

int NVOCRP::Release(VDEV* vdev) {
    if (!vdev) return 315;
    if (vdev->GetDeviceID().device != POWER_ADDRESS_B) return PDEV::Release(vdev);
    if (powerHolder_ != vdev) return 315;
    powerHolder_ = nullptr;
    return 0;
}

// ---------------------------------------------------------------------------------------
// Requests.

bool NVOCRP::Inside(const NvramRequest& rq) const {
    const long long end = static_cast<long long>(rq.offset) + rq.length;
    return rq.offset >= 0 && rq.length > 0 && rq.length <= kMaxRecord && end <= kSize && rq.buffer;
}

int NVOCRP::Write(const NvramRequest& rq) {
    const uint32_t address = static_cast<uint32_t>(rq.offset) + kBase;
    const uint32_t n = static_cast<uint32_t>(rq.length);
    // Journal header: state 01, two zero bytes, address (4), length (4), five zero bytes.
    std::memcpy(header_, "\x03\x00\x4C\x10\x00", 5);
    std::memset(header_ + 5, 0, 16);
    header_[5] = 0x01;
    put32(header_ + 5 + 3, address);
    put32(header_ + 5 + 7, n);
    SetSlot(kSlotHeader, header_, sizeof header_);
    stage_[0] = 0x03;
    put16(stage_ + 1, kStaged);
    put16(stage_ + 3, n);
    std::memcpy(stage_ + 5, rq.buffer, n);
    SetSlot(kSlotStage, stage_, static_cast<int>(5 + n));
    copy_[0] = 0x40;
    put16(copy_ + 1, address);
    put16(copy_ + 3, n);
    put16(copy_ + 5, kStaged);
    SetSlot(kSlotCopy, copy_, sizeof copy_);
    SetPending(kSlotHeader);
    SetPending(kSlotStage);
    SetPending(kSlotStaged);
    RequestSendTurn();
    const int rc = Await(1, kSlotCopy, NVRAM_WAIT_MS);
    if (rc != 0) {
        for (int slot = kSlotHeader; slot <= kSlotCopy; ++slot) ClearPending(slot);
    }
    return rc;
}

int NVOCRP::Read(NvramRequest& rq) {
    const uint32_t address = static_cast<uint32_t>(rq.offset) + kBase;
    read_[0] = 0x02;
    put16(read_ + 1, address);
    put16(read_ + 3, static_cast<uint32_t>(rq.length));
    SetSlot(kSlotRead, read_, sizeof read_);
    wanted_ = rq.length;
    const int rc = Await(2, kSlotRead, NVRAM_WAIT_MS);
    if (rc != 0) {
        ClearPending(kSlotRead);
        return rc;
    }
    if (readLength_ < rq.length) return 322;
    std::memcpy(rq.buffer, readData_, static_cast<size_t>(rq.length));
    return 0;
}

int NVOCRP::TellPhys(const VDEV* sender, int request, unsigned char* data, int length) {
    NvramRequest rq;
    switch (request) {
    case NVRAM_REQ_WRITE:
    case NVRAM_REQ_READ:
    case NVRAM_REQ_DESCRIBE:
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
        if (!Inside(rq)) return rq.length > kMaxRecord || rq.length <= 0 ? 318 : POSERR_NVRAM_NOT_ENOUGH_ROOM;
        return request == NVRAM_REQ_WRITE ? Write(rq) : Read(rq);
    case NVRAM_REQ_POWER_OFF:
    case NVRAM_REQ_POWER_ON:
        SetPending(request == NVRAM_REQ_POWER_OFF ? kSlotPowerOff : kSlotPowerOn);
        return RequestSendTurn();
    case NVRAM_REQ_SET_ALARM:
    case NVRAM_REQ_GET_ALARM:
        return 316;
    default:
        return NVSIOP::TellPhys(sender, request, data, length);
    }
}

// ---------------------------------------------------------------------------------------
// Start-up recovery.

void NVOCRP::JournalRead(const unsigned char* journal, int n) {
    if (n < 16 || journal[0] != 0x02) return;
    const uint32_t address = get32(journal + 3), length = get32(journal + 7);
    if (length < 1 || length > kMaxRecord || address < kBase ||
        static_cast<unsigned long long>(address) + length > kBase + kSize)
        return;
    replayAddress_ = address;
    replayLength_ = length;
    put16(stagedRead_ + 3, length);
    SetSlot(kSlotStagedRead, stagedRead_, sizeof stagedRead_);
    SetPending(kSlotStagedRead);
}

void NVOCRP::StagedRead(const unsigned char* staged, int n) {
    if (replayLength_ == 0 || n < static_cast<int>(replayLength_)) return;
    // Written back like the client's writes: address (2), length (2), data.
    replay_[0] = 0x03;
    put16(replay_ + 1, replayAddress_);
    put16(replay_ + 3, replayLength_);
    std::memcpy(replay_ + 5, staged, replayLength_);
    SetSlot(kSlotReplay, replay_, static_cast<int>(5 + replayLength_));
    SetPending(kSlotReplay);
    replayLength_ = 0;
}

// ---------------------------------------------------------------------------------------
// Replies.

int NVOCRP::NewMsgRcvd(const unsigned char* data, int n) {
    const int last = lastSent_;
    // The reply's length: status bytes, the EC level when byte 1 bit 6 says so, two bytes,
    // a 16-bit length and that many data bytes, exactly.
    int at = 0;
    bool good = data && n >= 2;
    if (good) {
        at = (data[1] & 0x40) ? 7 : 6;
        good = n >= at && n == at + (data[at - 2] | data[at - 1] << 8);
    }
    // Past the allowance the count stays until the device is initialised again.
    if (!good && badReplies_ <= kBadRepliesAllowed) ++badReplies_;
    else if (badReplies_ <= kBadRepliesAllowed) badReplies_ = 0;
    if (badReplies_ > kBadRepliesAllowed) {
        // The device kept answering nonsense: every command is given up.
        LogWith(LOG_BAD_REPLIES, 306, static_cast<uint32_t>(badReplies_), kTag, data, n);
        ClearPending(last);
        Complete(last, true);
        return FinishReply();
    }
    if (!good) return FinishReply(); // not taken: the command goes again

    const unsigned char b0 = data[0], b1 = data[1];
    const unsigned char* payload = data + at;
    const int length = n - at;
    if (!(b0 & 0x01)) LogWith(LOG_BATTERY, POSERR_NVRAM_BATTERY_BAD, 0, kTag, data, n);
    if (b0 & 0x80) LogWith(LOG_REJECTED, 322, 0, kTag, data, n);
    bool failed = (b0 & 0x80) != 0;
    for (int bit = 2; bit <= 5; ++bit) {
        if (!(b1 & (1u << bit))) continue;
        LogWith(kByte1Logs[bit], 322, 0, kTag, data, n);
        failed = true;
    }
    if (b1 & 0x02) failed = true;
    if (b1 & 0x40) {
        SetECLevel(data[2]);
        ClearPending(kSlotStatus);
        NowConfirmed();
    }
    if (b0 & 0x20) ClearPending(last);
    if (b0 & 0x08) {
        ClearPending(last);
        if (!failed) {
            if (last == kSlotJournalRead) JournalRead(payload, length);
            else if (last == kSlotStagedRead) StagedRead(payload, length);
            else if (last == kSlotRead) KeepReadData(payload, length);
        }
        if (last == kSlotCopy || last == kSlotRead) Complete(last, failed);
        // A step of a write that failed ends the write.
        if (failed && last >= kSlotHeader && last <= kSlotStaged) {
            for (int slot = kSlotHeader; slot <= kSlotCopy; ++slot) ClearPending(slot);
            Complete(kSlotCopy, true);
        }
    }
    return FinishReply();
}

PDEV* _CreateNVOCRP(const DeviceID& id) { return new NVOCRP(id); }

namespace {
const unsigned char addressesNVOCRP[] = {NVRAM_ADDRESS_A, NVRAM_ADDRESS_B};
}
ObjectSupport objectNVOCRP(NVOCRP_TYPE_ID, _CreateNVOCRP, addressesNVOCRP, 2);
