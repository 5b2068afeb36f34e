// Flash records of the model-6397 printer: addresses and the staging area.
#include "Prnt63Flash.h"

#include <algorithm>
#include <cstring>

#include "PRNTCMD63.h"
#include "ovkhost.h"

namespace {

uint32_t le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

uint32_t Prnt63FlashAvailable(uint32_t flashSize) {
    return flashSize > PRN63_FLASH_USER + 1 ? flashSize - PRN63_FLASH_USER - 1 : 0;
}

bool Prnt63FlashAddress(const Prnt63FlashRecords& records, uint32_t record, uint32_t& address) {
    if (record == 0 || record > records.maximumRecords || records.recordLength == 0) return false;
    const uint64_t length = records.recordLength;
    const uint64_t at = length > 1 ? PRN63_FLASH_USER + (uint64_t(record) - 1) * length + 1
                                   : PRN63_FLASH_USER + uint64_t(record) - 1;
    if (at + length > uint64_t(PRN63_FLASH_USER) + records.memoryAvailable) return false;
    if (at > PRN63_FLASH_MAX_ADDRESS) return false;
    address = static_cast<uint32_t>(at);
    return true;
}

void Prnt63FlashArea::Clear(uint16_t capacity) {
    Sent();
    SetCapacity(capacity);
}

int Prnt63FlashArea::AddCmdToWriteFlashBuf(unsigned short code, const Flush& flush) {
    CmdRow row;
    if (!PRNTCMD63::CopyRow(code, row)) return 321;
    if (*fill_ + row.length > Room()) {
        const int rc = flush ? flush() : 0;
        if (rc) return rc;
        if (*fill_ + row.length > Room()) return 318;
    }
    std::memcpy(data_ + *fill_, row.bytes, row.length);
    *fill_ = static_cast<uint16_t>(*fill_ + row.length);
    *staged_ = code;
    return 0;
}

int Prnt63FlashArea::Stage(unsigned short code, uint16_t recordLength, uint32_t address, const Flush& flush) {
    const int rc = AddCmdToWriteFlashBuf(code, flush);
    if (rc) return rc;
    // Parameter bytes: the record length's low byte and the 24-bit address, high first.
    unsigned char* params = data_ + *fill_ - 4;
    params[0] = static_cast<unsigned char>(recordLength);
    params[1] = static_cast<unsigned char>(address >> 16);
    params[2] = static_cast<unsigned char>(address >> 8);
    params[3] = static_cast<unsigned char>(address);
    return 0;
}

int Prnt63FlashArea::EscapeWriteFlash(const unsigned char* p, int len, int& err,
                                      const Prnt63FlashRecords& records, const Flush& flush) {
    const int args = p && len > 1 ? len - 1 : 0;
    if (args < 6) {
        err = 4930;
        return args;
    }
    const uint32_t record = le32(p + 1);
    const int count = p[5] | p[6] << 8;
    if (count == 0) {
        tprintf("number of bytes to write is invalid %d", count);
        err = 4930;
        return 6;
    }
    if (args - 6 < count) {
        err = 4930;
        return args;
    }
    const int consumed = 6 + count;
    uint32_t address = 0;
    if (record == 0 || record > records.maximumRecords || records.recordLength == 0) {
        tprintf("record number is invaild");
        err = 4930;
        return consumed;
    }
    if (!Prnt63FlashAddress(records, record, address)) {
        tprintf("memory range exceeded");
        err = 4930;
        return consumed;
    }
    const int length = records.recordLength;
    const CmdRow* row = PRNTCMD63::GetCmd(PRN63_FLASH_WRITE);
    const int staged = (row ? row->length : 6) + length;
    // A staged read goes out on its own; the record goes whole into the area or not at all.
    if (*staged_ == PRN63_FLASH_READ || *fill_ + staged > Room()) {
        const int rc = flush ? flush() : 0;
        if (rc) {
            err = rc;
            return consumed;
        }
    }
    if (*fill_ + staged > Room()) {
        err = 4930;
        return consumed;
    }
    const int rc = Stage(PRN63_FLASH_WRITE, records.recordLength, address, flush);
    if (rc) {
        err = rc;
        return consumed;
    }
    const int copy = std::min(count, length);
    std::memcpy(data_ + *fill_, p + 7, static_cast<size_t>(copy));
    std::memset(data_ + *fill_ + copy, 0, static_cast<size_t>(length - copy));
    *fill_ = static_cast<uint16_t>(*fill_ + length);
    return consumed;
}

int Prnt63FlashArea::EscapeReadFlash(const unsigned char* p, int len, int& err,
                                     const Prnt63FlashRecords& records, const Flush& flush,
                                     Prnt63ReadList& reads) {
    const int args = p && len > 1 ? len - 1 : 0;
    if (args < 4) {
        err = 4930;
        return args;
    }
    const uint32_t record = le32(p + 1);
    uint32_t address = 0;
    if (record == 0 || record > records.maximumRecords || !Prnt63FlashAddress(records, record, address)) {
        tprintf("Invalid recNum recNum=%llx, maxRecords=%llx", static_cast<unsigned long long>(record),
                static_cast<unsigned long long>(records.maximumRecords));
        err = 4930;
        return 4;
    }
    if (*staged_ == PRN63_FLASH_WRITE || *fill_ > 42) {
        const int rc = flush ? flush() : 0;
        if (rc) {
            err = rc;
            return 4;
        }
    }
    const int rc = Stage(PRN63_FLASH_READ, records.recordLength, address, flush);
    if (rc) {
        err = rc;
        return 4;
    }
    reads.AddPendingRead(record);
    return 4;
}

void Prnt63RecordLayoutBytes(uint16_t recordLength, uint32_t recordCount, unsigned char out[8]) {
    const uint32_t values[2] = {recordLength, recordCount};
    for (int i = 0; i < 2; ++i) {
        out[4 * i] = 0;
        out[4 * i + 1] = static_cast<unsigned char>(values[i] >> 16);
        out[4 * i + 2] = static_cast<unsigned char>(values[i] >> 8);
        out[4 * i + 3] = static_cast<unsigned char>(values[i]);
    }
}
