// The data a model-6397 printer sends back (MICR code lines and raw-mode answers, flash
// records, check images and scan results), kept for the application's reads: one entry per
// piece of data in the read list, and the flash reads still waiting for their data in the
// pending list. The physical printer stores entries from the link's thread while an
// application reads, so both lists are used only under the read lock. Each stored entry is
// announced with a data-available event.
#pragma once

#include <cstdint>
#include <functional>

#include "GDList.h"
#include "ovkhost.h"

enum : int {
    PRN63_READ_MAX = 2048,          // data bytes of one entry
    PRN63_READ_MICR = 1,            // MICR or raw-mode data
    PRN63_READ_FLASH = 3,
    PRN63_READ_SCAN_COMPLETE = 4,
    PRN63_READ_SCAN = 5,
    PRN63_READ_MCT = 153,
    PRN63_READ_OLDEST = 255,        // read mode: the oldest entry's type
};

struct ReadData {
    uint32_t recordNumber = 0;
    uint32_t length = 0;
    unsigned char data[PRN63_READ_MAX];
    uint16_t type = 0;
};
using GDList_ReadData = GDList<ReadData>;

class Prnt63ReadList {
public:
    // Posts the data-available event with its two parameters.
    using Poster = std::function<void(unsigned long p1, unsigned long p2)>;

    explicit Prnt63ReadList(Poster post = nullptr);
    ~Prnt63ReadList();
    Prnt63ReadList(const Prnt63ReadList&) = delete;
    Prnt63ReadList& operator=(const Prnt63ReadList&) = delete;

    void SetPoster(Poster post) { post_ = std::move(post); }
    // The two magnetic-ink status bytes that go with MICR events.
    void SetMicrStatus(unsigned char first, unsigned char second) {
        micr_[0] = first;
        micr_[1] = second;
    }

    // 0, or 301 (logged 20311 / 20312 with the semaphore's code).
    int ReadLock();
    int ReadUnlock();

    // Appends the entry (owned from now on) and posts the event of key (the lock held).
    void AddToReadList(ReadData* entry, int key);
    // New entries of type 1 (key 2), 5 (key 5) and 4 (key 4, not for a report of four zero
    // bytes): 0, or 318 for more than 2048 bytes (logged, nothing kept), 305 without memory.
    int StoreMicrData(const unsigned char* data, int n);
    int StoreScanData(const unsigned char* data, int n);
    int StoreScanComplete(const unsigned char* data, int n);
    // The data of the oldest pending flash read: moved to the read list (key 3); nothing
    // without a pending read.
    int StoreFlashData(const unsigned char* data, int n);
    // A flash read of this record waits for its data.
    int AddPendingRead(uint32_t recordNumber);
    // Drops every entry of the type (3: the pending reads too).
    void DiscardMicrData(int type);
    // The type of the oldest entry, 0 when none.
    int OldestType();

    // Each hands out the oldest entry of its type: 0 and got the bytes copied (0 when none),
    // or 312 when n is too small (the entry stays). ReadFlashData gives the record number
    // and length (32-bit, little-endian) before the data; record 0 is dropped with 4930.
    int ReadMicrData(unsigned char* buf, int n, int& got);
    int ReadScanComp(unsigned char* buf, int n, int& got);
    int ReadScanData(unsigned char* buf, int n, int& got);
    int ReadFlashData(unsigned char* buf, int n, int& got);

    int Count();
    int PendingCount();

private:
    int Store(int type, int key, const char* name, const unsigned char* data, int n);
    int ReadOf(int type, const char* name, unsigned char* buf, int n, int& got);
    // Unlinks the element at the list's cursor, which must be entry (else logged with id
    // and left in place). True when unlinked.
    bool Unlink(GDList_ReadData& list, ReadData* entry, uint32_t logId);
    void FreeAll(GDList_ReadData& list);

    Poster post_;
    mutexSem lock_;
    GDList_ReadData pending_;
    GDList_ReadData list_;
    unsigned char micr_[2] = {};
};

// Traces the data a read returned (component 93, point 307); in MICR data every digit
// shows as "*".
void Prnt63TraceRead(int type, const unsigned char* data, int n);
