// The adapter's own NVRAM with its write journal.
#include "NVMMP.h"

#include <cstring>
#include <new>

#include "ADAPTER.h"
#include "ObjectSupport.h"
#include "ovkhost.h"
#include "nvrecord.h"

namespace {

const char kTag[] = "@(#)nvmmp.cpp 1.1";

enum : uint32_t {
    LOG_READ_FAILED = 8101,
    LOG_WRITE_FAILED = 8102,
    LOG_BAD_REQUEST = 8103,
    LOG_REPLAY_FAILED = 8104,
    LOG_JOURNAL_UNREADABLE = 8105,
    LOG_OUTSIDE = 8106,
};

void put32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
uint32_t get32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The adapter's record: {int32 0, slot, offset, length, data}.
struct AdapterRecord {
    unsigned char bytes[NVMMP::kRecordHead + NVMMP::kRecordData];
};

} // namespace

NVMMP::NVMMP(const DeviceID& id) : PDEV(id, "NVMMP") {
    deviceType_ = NVRAM_DEVICE_CLASS;
    vdevType_ = NVV_TYPE_ID;
}

NVMMP::~NVMMP() = default;

bool NVMMP::ClientRange(long long offset, long long length) const {
    return offset >= 0 && length > 0 && offset + length <= clientSize_;
}

int NVMMP::AdapterRead(uint32_t offset, unsigned char* data, uint32_t length) {
    if (!adapter_ || length > kRecordData) return 301;
    AdapterRecord* rec = new (std::nothrow) AdapterRecord;
    if (!rec) return 305;
    std::memset(rec->bytes, 0, kRecordHead);
    put32(rec->bytes + 4, id_.slot);
    put32(rec->bytes + 8, offset);
    put32(rec->bytes + 12, length);
    int rc = adapter_->NvramRead(rec->bytes, sizeof rec->bytes);
    if (rc != 0) {
        clErrorLog(LOG_READ_FAILED, 301, static_cast<uint32_t>(rc), kTag, this, NvramBlock(sizeof *this));
        rc = 301;
    } else {
        std::memcpy(data, rec->bytes + kRecordHead, length);
    }
    delete rec;
    return rc;
}

int NVMMP::AdapterWrite(uint32_t offset, const unsigned char* data, uint32_t length) {
    if (!adapter_ || length > kRecordData) return 301;
    AdapterRecord* rec = new (std::nothrow) AdapterRecord;
    if (!rec) return 305;
    std::memset(rec->bytes, 0, sizeof rec->bytes);
    put32(rec->bytes + 4, id_.slot);
    put32(rec->bytes + 8, offset);
    put32(rec->bytes + 12, length);
    std::memcpy(rec->bytes + kRecordHead, data, length);
    int rc = adapter_->NvramWrite(rec->bytes, sizeof rec->bytes);
    if (rc != 0) {
        clErrorLog(LOG_WRITE_FAILED, 301, static_cast<uint32_t>(rc), kTag, this, NvramBlock(sizeof *this));
        rc = 301;
    }
    delete rec;
    return rc;
}

int NVMMP::JournalledWrite(uint32_t offset, const unsigned char* data, uint32_t length) {
    unsigned char block[kJournalBlock] = {};
    block[0] = 1;
    put32(block + 4, offset);
    put32(block + 8, length);
    std::memcpy(block + kJournalHead, data, length);
    int rc = AdapterWrite(journal_, block, kJournalHead + length);
    if (rc != 0) return rc;
    const unsigned char complete = 2;
    rc = AdapterWrite(journal_, &complete, 1);
    if (rc != 0) return rc;
    return AdapterWrite(offset, data, length);
}

int NVMMP::Init() {
    const int rc = PDEV::Init();
    return rc != 0 ? rc : Recover();
}

int NVMMP::Recover() {
    if (!adapter_) return 301;
    NvramInfoStruct info;
    adapter_->GetLocalNvramInfo(info);
    nvramSize_ = info.driverValue[0];
    journal_ = info.driverValue[2];
    maxRecord_ = info.size ? info.size : static_cast<uint32_t>(kMaxRecord);
    if (maxRecord_ > static_cast<uint32_t>(kMaxRecord)) maxRecord_ = kMaxRecord;
    const bool journalInside = static_cast<unsigned long long>(journal_) + kJournalBlock <= nvramSize_;
    clientSize_ = journalInside ? journal_ : nvramSize_;

    unsigned char block[kJournalBlock] = {};
    int rc = AdapterRead(journal_, block, kJournalBlock);
    if (rc != 0) {
        clErrorLog(LOG_JOURNAL_UNREADABLE, 301, static_cast<uint32_t>(rc), kTag, this, NvramBlock(sizeof *this));
        PDEV::Term();
        return 301;
    }
    // Played again only when complete and wholly inside the area clients use.
    const uint32_t target = get32(block + 4), length = get32(block + 8);
    if (block[0] == 2 && length >= 1 && length <= kMaxRecord && ClientRange(target, length)) {
        rc = AdapterWrite(target, block + kJournalHead, length);
        if (rc != 0) {
            clErrorLog(LOG_REPLAY_FAILED, 301, 0, kTag, this, NvramBlock(sizeof *this));
            return 301;
        }
        const unsigned char idle = 0;
        rc = AdapterWrite(journal_, &idle, 1);
        if (rc != 0) return 301;
    }
    NowConfirmed();
    return 0;
}

int NVMMP::TellPhys(const VDEV* /*sender*/, int request, unsigned char* data, int length) {
    NvramRequest rq;
    if ((request != NVRAM_REQ_WRITE && request != NVRAM_REQ_READ && request != NVRAM_REQ_DESCRIBE) ||
        !NvramRecordOf(data, length, rq)) {
        clErrorLog(LOG_BAD_REQUEST, 321, static_cast<uint32_t>(request), kTag, this, NvramBlock(sizeof *this));
        return 321;
    }
    if (request == NVRAM_REQ_DESCRIBE) {
        rq.size = static_cast<int32_t>(clientSize_);
        rq.maxRecord = static_cast<int32_t>(maxRecord_);
        NvramRecordBack(data, rq);
        return 0;
    }
    // Nothing reaches the journal or the end of the NVRAM.
    if (!rq.buffer || rq.length > static_cast<int32_t>(maxRecord_) || !ClientRange(rq.offset, rq.length)) {
        clErrorLog(LOG_OUTSIDE, 321, static_cast<uint32_t>(rq.offset), kTag, this, NvramBlock(sizeof *this),
                   &rq, sizeof rq);
        return 321;
    }
    const uint32_t offset = static_cast<uint32_t>(rq.offset), n = static_cast<uint32_t>(rq.length);
    if (request == NVRAM_REQ_READ) return AdapterRead(offset, rq.buffer, n);
    return JournalledWrite(offset, rq.buffer, n);
}

PDEV* _CreateNVMMP(const DeviceID& id) { return new NVMMP(id); }
ObjectSupport objectNVMMP(NVMMP_TYPE_ID, _CreateNVMMP, static_cast<const unsigned char*>(nullptr), 0);
