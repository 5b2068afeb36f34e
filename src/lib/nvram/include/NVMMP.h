// The NVRAM of the terminal adapter itself, reached through the adapter's NVRAM read and
// write operations (no bus address). Writes are journalled in a 1040-byte block inside the
// NVRAM: {state, 3 reserved, target offset, length, 4 reserved, data}. State 1 means the
// block is being written, 2 that it is complete; a complete block found at start-up is
// written to its target again, so that a write cut short lands in full or not at all.
#pragma once

#include <cstdint>

#include "PDEV.h"
#include "nvramdefs.h"

class NVMMP : public PDEV {
public:
    enum { kJournalHead = 16, kJournalBlock = 16 + 1024, kMaxRecord = 1024, kRecordHead = 16,
           kRecordData = 2048 };

    explicit NVMMP(const DeviceID& id);
    ~NVMMP() override;

    // Attaches to the adapter, reads the description and the journal, plays a complete
    // journal again, and goes online.
    using PDEV::Init;
    int Init() override;
    // What Init does once attached: the description, the journal played again when it is
    // complete, online. 0, or 301 when the journal cannot be read or played.
    int Recover();
    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;

    uint32_t GetNvramSize() const { return nvramSize_; }
    uint32_t GetJournalOffset() const { return journal_; }
    // What clients may use: the bytes below the journal when it lies inside the NVRAM.
    uint32_t GetClientSize() const { return clientSize_; }

protected:
    // One transfer through the adapter: 0, or 301 (logged) when the adapter failed.
    int AdapterRead(uint32_t offset, unsigned char* data, uint32_t length);
    int AdapterWrite(uint32_t offset, const unsigned char* data, uint32_t length);
    int JournalledWrite(uint32_t offset, const unsigned char* data, uint32_t length);
    // True for a range clients may use.
    bool ClientRange(long long offset, long long length) const;

    uint32_t nvramSize_ = 0;
    uint32_t journal_ = 0;
    uint32_t clientSize_ = 0;
    uint32_t maxRecord_ = kMaxRecord;
};
