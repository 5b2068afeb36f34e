// The virtual reader: what an application opens with the reader class. It holds one swipe
// in four track slots, starts locked, locks itself again when a swipe arrives (posting the
// data-available event with the data length) and hands the tracks to Read. The application
// unlocks it for the next card.
#pragma once

#include <cstdint>

#include "VDEV.h"
#include "msrdefs.h"

// Status-word bits of a virtual reader.
enum : uint32_t {
    MSV_LOCKED = 0x10000,         // no swipe is taken
    MSV_DATA_AVAILABLE = 0x20000, // a swipe waits in the slots
};

class MSV : public VDEV {
public:
    MSV(const DeviceID& id, int handle, const unsigned char* name);
    MSV(const DeviceID& id, int handle, const char* name = "MSV")
        : MSV(id, handle, reinterpret_cast<const unsigned char*>(name)) {}
    ~MSV() override;

    int Close(int& remaining) override;
    int LockPhysical() override;
    int UnlockPhysical() override;
    int Read(void* buffer, unsigned int length, int& count) override;
    int TellVirt(const PDEV* from, int message, unsigned char* data, int length) override;

    // Bytes that Read hands out for the slots now.
    int calculateDataLength() const;
    // Every slot empty: its track bit, no error, no data.
    void clearData();

    MsrTrackSlot& Slot(int i) { return slots_[i & 3]; }
    const MsrTrackSlot& Slot(int i) const { return slots_[i & 3]; }
    bool IsLocked() const { return TestStatusBits(MSV_LOCKED); }
    bool HasData() const { return TestStatusBits(MSV_DATA_AVAILABLE); }

protected:
    MsrTrackSlot slots_[MSR_TRACKS];
};
