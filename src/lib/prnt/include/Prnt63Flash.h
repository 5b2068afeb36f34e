// The flash records of a model-6397 printer: its user area starts at byte 256 and holds
// records of one length (1 to 200 bytes), numbered from 1. Writes and reads are collected in
// a staging area of the virtual printer: one kind of flash command (101 write, 102 read)
// with its bytes, sent with the next flush of the write buffer (a write followed by 107).
#pragma once

#include <cstdint>
#include <functional>

#include "Prnt63ReadList.h"

enum : int {
    PRN63_FLASH_USER = 256,        // first byte of the user area
    PRN63_FLASH_AREA = 1016,       // staging capacity once the model id is known
    PRN63_FLASH_AREA_OPEN = 207,   // and before
    PRN63_FLASH_WRITE = 101,
    PRN63_FLASH_READ = 102,
    PRN63_FLASH_COMMIT = 107,
    PRN63_FLASH_SET_LENGTH = 100,
    PRN63_FLASH_MAX_ADDRESS = 0xFFFFFF,
};

// The record layout in force.
struct Prnt63FlashRecords {
    uint16_t recordLength = 0;
    uint32_t maximumRecords = 0;
    uint32_t memoryAvailable = 0;
};

// Memory available for records from the printer's flash size: size - 256 - 1, and 0 for a
// printer reporting less.
uint32_t Prnt63FlashAvailable(uint32_t flashSize);
// The flash address of a record (1 and up) of the layout; false when it has no address
// (record 0 or above the maximum, no record length, the record ending beyond the memory
// available, or an address wider than 24 bits).
bool Prnt63FlashAddress(const Prnt63FlashRecords& records, uint32_t record, uint32_t& address);

// The staging area: its own storage, or the storage of the object that keeps it (bytes,
// fill count, capacity and staged command code).
class Prnt63FlashArea {
public:
    // Flushes the write buffer, which sends what is staged (and then calls Sent).
    using Flush = std::function<int()>;

    Prnt63FlashArea() : data_(own_), fill_(&ownFill_), capacity_(&ownCapacity_), staged_(&ownStaged_) {}
    Prnt63FlashArea(unsigned char* data, uint16_t& fill, uint16_t& capacity, uint16_t& staged)
        : data_(data), fill_(&fill), capacity_(&capacity), staged_(&staged) {}
    Prnt63FlashArea(const Prnt63FlashArea&) = delete;
    Prnt63FlashArea& operator=(const Prnt63FlashArea&) = delete;

    void Clear(uint16_t capacity);
    void SetCapacity(uint16_t capacity) {
        *capacity_ = capacity > PRN63_FLASH_AREA ? uint16_t(PRN63_FLASH_AREA) : capacity;
    }

    // Appends the command's row, flushing first when it does not fit: 0 or the flush's error.
    int AddCmdToWriteFlashBuf(unsigned short code, const Flush& flush);
    // ESC w and ESC r: p points at the selector, len counts from it to the end of the write.
    // The argument bytes consumed; err gets 4930 when the escape is refused (arguments
    // missing, a bad count or record, a record out of memory).
    int EscapeWriteFlash(const unsigned char* p, int len, int& err, const Prnt63FlashRecords& records,
                         const Flush& flush);
    int EscapeReadFlash(const unsigned char* p, int len, int& err, const Prnt63FlashRecords& records,
                        const Flush& flush, Prnt63ReadList& reads);

    unsigned short Staged() const { return *staged_; }
    uint16_t Fill() const { return *fill_; }
    uint16_t Capacity() const { return *capacity_; }
    const unsigned char* Data() const { return data_; }
    // After the staged command was sent.
    void Sent() {
        *fill_ = 0;
        *staged_ = 0;
    }

private:
    // Appends the command with the record length and address in its parameter bytes.
    int Stage(unsigned short code, uint16_t recordLength, uint32_t address, const Flush& flush);
    int Room() const { return *capacity_ > PRN63_FLASH_AREA ? int(PRN63_FLASH_AREA) : int(*capacity_); }

    unsigned char own_[PRN63_FLASH_AREA] = {};
    uint16_t ownFill_ = 0;
    uint16_t ownCapacity_ = PRN63_FLASH_AREA_OPEN;
    uint16_t ownStaged_ = 0;
    unsigned char* data_;
    uint16_t* fill_;
    uint16_t* capacity_;
    uint16_t* staged_;
};

// The data of command 100 that sets the record layout: record length and record count as
// four bytes each, most significant first (the first byte 0).
void Prnt63RecordLayoutBytes(uint16_t recordLength, uint32_t recordCount, unsigned char out[8]);
