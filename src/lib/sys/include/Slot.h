// A slot: one adapter position 0 to 8, owner of its adapter and its physical devices.
//
// This base holds the order of the slot operations and what the system object needs to
// build slots; the slot classes (SioSlot for RS-485, PlanarSlot for the system board)
// provide the operations.
#pragma once

#include <cstdint>

#include "STG.h"
#include "ovktypes.h"

class ADAPTER;
class PDEV;

// A set of bus addresses: bit n of word n / 32 stands for address n.
struct BitVec256 {
    uint32_t words[8] = {};
    void set(unsigned n) { words[(n >> 5) & 7] |= 1u << (n & 31); }
    bool test(unsigned n) const { return (words[(n >> 5) & 7] >> (n & 31)) & 1u; }
};

class Slot : public STG {
public:
    ~Slot() override = default;

    virtual int MakeSniffer(unsigned short type) = 0;
    virtual int ClosePhysicalDevices() = 0;
    virtual int FindAdapter(ADAPTER*& adapter) = 0;
    virtual int FindPhysical(const DeviceID& id, PDEV*& device) = 0;
    virtual void DisplayDeviceStatus() = 0;
    virtual int GetValidPollAddrs(BitVec256& set) const = 0;
    virtual int Init() = 0;
    virtual int LinkinAdapter() = 0;
    virtual int LinkinPhysical(const PDEV* device) = 0;
    virtual int LinkoutAdapter() = 0;
    virtual int LinkoutPhysical(const PDEV* device) = 0;
    virtual int LockSlot() = 0;
    virtual int MapApplAddrToSIO(DeviceID& id) = 0;
    virtual int MakeAdapter(ADAPTER*& adapter) = 0;
    virtual int MakeInitSniffer() = 0;
    virtual int MakePhysical(const DeviceID& id, long type, PDEV*& device) = 0;
    virtual int NotifySniffers(int code, void* data, int length) = 0;
    virtual int OpenPhysicalDevices() = 0;
    virtual int ServiceAdapter(int arg) = 0;
    virtual int SetValidPollAddrs(const BitVec256& set) = 0;
    virtual int StopAdapter() = 0;
    virtual int Term() = 0;
    virtual int TermSniffer() = 0;
    virtual int UnlockSlot() = 0;
    virtual int WhoIsOnline(const MsgQueueInfo& queue) = 0;
    virtual int Resume() = 0;
    virtual int Suspend() = 0;

    unsigned short GetAdapterType() const { return adapterType_; }
    unsigned short GetSlotNumber() const { return slotNumber_; }

protected:
    Slot(unsigned short adapterType, unsigned short slotNumber, const unsigned char* name)
        : STG(name), adapterType_(adapterType), slotNumber_(slotNumber) {}
    Slot(unsigned short adapterType, unsigned short slotNumber, const char* name)
        : STG(name), adapterType_(adapterType), slotNumber_(slotNumber) {}

    unsigned short adapterType_;
    unsigned short slotNumber_;
};

// Slot types reported by the driver node.
enum : uint16_t { SLOT_TYPE_PLANAR = 1, SLOT_TYPE_RS485 = 2 };

// Builds the slot object for a slot of type 2 (RS-485: a SioSlot named "SioSlot") or 1
// (system board: a PlanarSlot named "PlnrSlot"); null for other types or when none can be
// made. The slot classes install it; without one no slot is built.
using SlotBuilder = Slot* (*)(unsigned short slotType, unsigned short adapterType, int slotNumber);
// Installs builder (null removes it) and returns the one installed before.
SlotBuilder SetSlotBuilder(SlotBuilder builder);
Slot* BuildSlot(unsigned short slotType, unsigned short adapterType, int slotNumber);
