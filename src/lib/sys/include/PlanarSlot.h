// The slot of the system board: its adapter is always the built-in Planar (adapter type 0)
// and its sniffer the PlanarSniffer (type 1800), which makes the on-board keyboard and MSR.
#pragma once

#include "Slot.h"

class PlanarSlot : public Slot {
public:
    // The adapter type reported by the driver is not used: the planar slot's is 0.
    PlanarSlot(unsigned short adapterType, unsigned short slotNumber, const unsigned char* name);
    PlanarSlot(unsigned short adapterType, unsigned short slotNumber, const char* name)
        : PlanarSlot(adapterType, slotNumber, reinterpret_cast<const unsigned char*>(name)) {}
    ~PlanarSlot() override;

    int Init() override;
    int MakeInitSniffer() override;
    int Term() override;
};
