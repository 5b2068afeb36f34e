// The slot of an RS-485 adapter: a Slot whose start-up also builds the sniffer and the
// adapter's own NVRAM device.
#pragma once

#include "Slot.h"

class SioSlot : public Slot {
public:
    SioSlot(unsigned short adapterType, unsigned short slotNumber, const unsigned char* name);
    SioSlot(unsigned short adapterType, unsigned short slotNumber, const char* name)
        : SioSlot(adapterType, slotNumber, reinterpret_cast<const unsigned char*>(name)) {}
    ~SioSlot() override;

    int Init() override;
    int MakeInitSniffer() override;
    int Term() override;
    // Added operations.
    virtual int MakeLocalNvram();
    virtual int TermLocalNvram();

    int GetLocalNvramFlag() const { return localNvram_; }

private:
    int32_t localNvram_ = 0;
    // Where the adapter's NVRAM device was made (class -1: none).
    long nvramClass_ = -1;
    unsigned char nvramPort_ = 0;
};
