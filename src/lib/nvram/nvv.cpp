// The client's NVRAM: records of length, data and CRC in direct and sequential mode, raw
// bytes in mode 222.
#include "NVV.h"

#include <cstring>
#include <vector>

#include "ObjectSupport.h"
#include "PDEV.h"
#include "ovkhost.h"
#include "sycrc.h"

namespace {

const posLookup kModes[] = {
    {"MODE_DIRECT", LookupHash("MODE_DIRECT"), NVRAM_MODE_DIRECT},
    {"MODE_SEQUENTIAL", LookupHash("MODE_SEQUENTIAL"), NVRAM_MODE_SEQUENTIAL},
};

bool named(const PosArg& arg, const char* name) { return arg.name && std::strcmp(arg.name, name) == 0; }

void put16(unsigned char* p, unsigned v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

} // namespace

constexpr unsigned char NVV::kEndMarker[4];

NVV::NVV(const DeviceID& id, int handle) : VDEV(id, handle, "NVV") {}

NVV::~NVV() = default;

int NVV::Tell(int request, NvramRequest& record) {
    if (!pdev_) return 321;
    return pdev_->TellPhys(this, request, reinterpret_cast<unsigned char*>(&record), sizeof record);
}

int NVV::Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
              int count) {
    static const unsigned char kNone[] = "";
    int32_t cursor = 0, mode = 0, size = 0;
    char* vpd = nullptr;
    const posResources table[] = {
        {"nvramCursor", "NvramCursor", POSRES_INTEGER, &cursor, 0, nullptr, 0},
        {"nvramMode", "NvramMode", POSRES_INTEGER, &mode, 0, kModes, 2},
        {"nvramSize", "NvramSize", POSRES_INTEGER, &size, 0, nullptr, 0},
        {"uSBVitalProductData", "USBVitalProductData", POSRES_STRING, &vpd,
         reinterpret_cast<intptr_t>(""), nullptr, 0},
    };
    int rc = LoadResources(resourceName ? resourceName : kNone, className ? className : kNone, table, 4);
    if (rc != 0) return rc;
    DumpResources(table, 4);
    cursor_ = cursor;
    mode_ = mode;
    size_ = 0x7FFFFFFF;

    rc = VDEV::Open(resourceName, className, args, count);
    if (rc != 0) return rc;
    NvramRequest describe;
    rc = Tell(NVRAM_REQ_DESCRIBE, describe);
    if (rc == 0) {
        size_ = describe.size;
        if (cursor_ < 0 || cursor_ >= size_) rc = POSERR_NVRAM_INVALID_CURSOR;
        else if (!ValidMode(mode_)) rc = POSERR_NVRAM_INVALID_MODE;
    }
    if (rc != 0) {
        int remaining = 0;
        VDEV::Close(remaining);
        return rc;
    }
    switch (mode_) {
    case NVRAM_MODE_DIRECT: maxData_ = describe.maxRecord - 4; break;
    case NVRAM_MODE_SEQUENTIAL: maxData_ = describe.maxRecord - 8; break;
    default: maxData_ = describe.maxRecord; break;
    }
    if (maxData_ < 0) maxData_ = 0;
    return 0;
}

int NVV::Write(const void* buffer, unsigned int length, int& count) {
    count = 0;
    if (!IsHolding()) return 315;
    if (length > static_cast<unsigned>(maxData_)) return 318;
    if (cursor_ >= size_) return POSERR_NVRAM_INVALID_CURSOR;
    if (length > 0 && chCheckBuffer(buffer, static_cast<int>(length), CH_ACCESS_READ) != 0) return 318;
    const long long len = length;
    const long long room = static_cast<long long>(size_) - cursor_ -
                           (mode_ == NVRAM_MODE_DIRECT ? 4 : mode_ == NVRAM_MODE_SEQUENTIAL ? 8 : 0);
    if (len > room) return POSERR_NVRAM_NOT_ENOUGH_ROOM;

    std::vector<unsigned char> record;
    if (mode_ == NVRAM_MODE_RAW) {
        record.assign(static_cast<const unsigned char*>(buffer), static_cast<const unsigned char*>(buffer) + length);
    } else {
        record.resize(length + 4);
        put16(record.data(), length);
        if (length) std::memcpy(record.data() + 2, buffer, length);
        put16(record.data() + 2 + length, CalculateCRC(record.data(), static_cast<int>(length) + 2));
        if (mode_ == NVRAM_MODE_SEQUENTIAL) record.insert(record.end(), kEndMarker, kEndMarker + 4);
    }
    NvramRequest rq;
    rq.offset = cursor_;
    rq.buffer = record.data();
    rq.length = static_cast<int32_t>(record.size());
    const int rc = Tell(NVRAM_REQ_WRITE, rq);
    if (rc != 0) return rc;
    count = static_cast<int>(length);
    cursor_ += static_cast<int32_t>(mode_ == NVRAM_MODE_RAW ? length : length + 4);
    return 0;
}

int NVV::Read(void* buffer, unsigned int length, int& count) {
    count = 0;
    if (!IsHolding()) return 315;
    if (cursor_ < 0 || cursor_ >= size_) return POSERR_NVRAM_INVALID_CURSOR;
    // Never past the end of the NVRAM.
    long long want = mode_ == NVRAM_MODE_RAW ? maxData_ : static_cast<long long>(maxData_) + 4;
    const long long left = static_cast<long long>(size_) - cursor_;
    if (want > left) want = left;
    std::vector<unsigned char> fetched(static_cast<size_t>(want > 0 ? want : 0));
    NvramRequest rq;
    rq.offset = cursor_;
    rq.buffer = fetched.data();
    rq.length = static_cast<int32_t>(fetched.size());
    int rc = Tell(NVRAM_REQ_READ, rq);
    if (rc != 0) return rc;

    if (mode_ == NVRAM_MODE_RAW) {
        const size_t n = length < fetched.size() ? length : fetched.size();
        if (n && chCheckBuffer(buffer, static_cast<int>(n), CH_ACCESS_WRITE) != 0) return 312;
        if (n) std::memcpy(buffer, fetched.data(), n);
        count = static_cast<int>(n);
        return 0;
    }
    if (mode_ == NVRAM_MODE_SEQUENTIAL && fetched.size() >= 4 &&
        std::memcmp(fetched.data(), kEndMarker, 4) == 0)
        return POSERR_NVRAM_EOF;
    if (fetched.size() < 4) return POSERR_NVRAM_INVALID_LENGTH_RECORD;
    const int n = static_cast<int16_t>(fetched[0] | fetched[1] << 8);
    if (n < 0 || n > maxData_ || static_cast<size_t>(n) + 4 > fetched.size())
        return POSERR_NVRAM_INVALID_LENGTH_RECORD;
    const unsigned stored = fetched[2 + n] | fetched[3 + n] << 8;
    if (CalculateCRC(fetched.data(), n + 2) != stored) return POSERR_NVRAM_INVALID_DATA_CRC;
    if (static_cast<unsigned>(n) > length) return 312;
    if (n && chCheckBuffer(buffer, n, CH_ACCESS_WRITE) != 0) return 312;
    if (n) std::memcpy(buffer, fetched.data() + 2, static_cast<size_t>(n));
    count = n;
    cursor_ += n + 4;
    return 0;
}

int NVV::SetValues(PosArg* args, int count) {
    int32_t cursor = cursor_;
    bool cursorGiven = false;
    for (int i = 0; args && i < count; ++i) {
        PosArg& arg = args[i];
        if (named(arg, "nvramCursor")) {
            if (arg.value < 0 || arg.value >= size_) return POSERR_NVRAM_INVALID_CURSOR;
            cursor = static_cast<int32_t>(arg.value);
            cursorGiven = true;
        } else if (named(arg, "uSBVitalProductData")) {
            const void* p = reinterpret_cast<const void*>(arg.value);
            if (chCheckBuffer(p, NVRAM_VPD_SIZE, CH_ACCESS_READ) != 0) return 312;
            std::memcpy(vpd_, p, sizeof vpd_);
            NvramRequest rq;
            rq.buffer = vpd_;
            rq.length = NVRAM_VPD_SIZE;
            const int rc = Tell(NVRAM_REQ_SET_VPD, rq);
            if (rc != 0 && rc != 311) return rc;
        }
    }
    const int rc = VDEV::SetValues(args, count);
    if (rc != 0) return rc;
    if (cursorGiven) cursor_ = cursor;
    return 0;
}

int NVV::SetValuesCreation(PosArg* args, int count) {
    int32_t mode = mode_;
    bool given = false;
    for (int i = 0; args && i < count; ++i) {
        if (!named(args[i], "nvramMode")) continue;
        if (!ValidMode(args[i].value)) return POSERR_NVRAM_INVALID_MODE;
        mode = static_cast<int32_t>(args[i].value);
        given = true;
    }
    const int rc = VDEV::SetValuesCreation(args, count);
    if (rc != 0) return rc;
    if (given) mode_ = mode;
    return 0;
}

int NVV::GetValues(PosArg* args, int count) {
    for (int i = 0; args && i < count; ++i) {
        PosArg& arg = args[i];
        if (named(arg, "nvramCursor")) {
            arg.value = cursor_;
        } else if (named(arg, "nvramMode")) {
            arg.value = mode_;
        } else if (named(arg, "nvramSize")) {
            arg.value = size_;
        } else if (named(arg, "uSBVitalProductData")) {
            unsigned char* p = reinterpret_cast<unsigned char*>(arg.value);
            if (chCheckBuffer(p, NVRAM_VPD_SIZE, CH_ACCESS_WRITE) != 0) return 312;
            unsigned char block[NVRAM_VPD_SIZE] = {};
            NvramRequest rq;
            rq.buffer = block;
            rq.length = NVRAM_VPD_SIZE;
            const int rc = Tell(NVRAM_REQ_GET_VPD, rq);
            if (rc == 0) std::memcpy(p, block, sizeof block);
            else if (rc != 311) return rc;
        }
    }
    return VDEV::GetValues(args, count);
}

VDEV* _CreateNVV(const DeviceID& id, int handle) { return new NVV(id, handle); }
ObjectSupport objectNVV(NVV_TYPE_ID, _CreateNVV);
