// A slot: one adapter position 0 to 8, owner of its adapter, its physical devices and its
// sniffer. Slot holds what every slot does; SioSlot (RS-485) and PlanarSlot (system board)
// add their start-up. The order of the virtual operations is a fixed interface.
#pragma once

#include <cstdint>
#include <vector>

#include "GDList.h"
#include "STG.h"
#include "ovkhost.h"
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
    Slot(unsigned short adapterType, unsigned short slotNumber, const unsigned char* name);
    Slot(unsigned short adapterType, unsigned short slotNumber, const char* name)
        : Slot(adapterType, slotNumber, reinterpret_cast<const unsigned char*>(name)) {}
    // Closes devices still listed (log 1001) and terminates an adapter still linked
    // (log 1002).
    ~Slot() override;

    virtual int MakeSniffer(unsigned short type);
    virtual int ClosePhysicalDevices();
    virtual int FindAdapter(ADAPTER*& adapter);
    virtual int FindPhysical(const DeviceID& id, PDEV*& device);
    virtual void DisplayDeviceStatus();
    virtual int GetValidPollAddrs(BitVec256& set) const;
    virtual int Init();
    virtual int LinkinAdapter();
    virtual int LinkinPhysical(const PDEV* device);
    virtual int LinkoutAdapter();
    virtual int LinkoutPhysical(const PDEV* device);
    virtual int LockSlot();
    virtual int MapApplAddrToSIO(DeviceID& id);
    virtual int MakeAdapter(ADAPTER*& adapter);
    virtual int MakeInitSniffer();
    virtual int MakePhysical(const DeviceID& id, long type, PDEV*& device);
    virtual int NotifySniffers(int code, void* data, int length);
    virtual int OpenPhysicalDevices();
    virtual int ServiceAdapter(int arg);
    virtual int SetValidPollAddrs(const BitVec256& set);
    virtual int StopAdapter();
    virtual int Term();
    virtual int TermSniffer();
    virtual int UnlockSlot();
    virtual int WhoIsOnline(const MsgQueueInfo& queue);
    virtual int Resume();
    virtual int Suspend();

    unsigned short GetAdapterType() const { return adapterType_; }
    unsigned short GetSlotNumber() const { return slotNumber_; }
    ADAPTER* GetAdapter() const { return adapter_; }
    // The slot's device list: physical devices at its head, the sniffer at its end. Walk it
    // only with the slot lock held.
    GDList_PDEV* GetDeviceList() { return &devices_; }
    // The devices in list order (slot lock held).
    std::vector<PDEV*> ListedDevices();
    // The device at position index of the list, or null (slot lock held).
    PDEV* DeviceAt(int index);
    unsigned long LockOwner() const { return lockOwner_; }
    bool LockHeldByCaller() const { return lock_.HeldByCaller(); }
    int GetSnifferFlag() const { return snifferFlag_; }
    // The daemon asks for the device status table, printed by the next service step.
    void RequestStatusDisplay() { statusDisplay_ = 1; }

protected:
    BitVec256 pollAddrs_;
    mutexSem lock_;
    unsigned long lockOwner_ = 0;
    unsigned short adapterType_;
    unsigned short slotNumber_;
    ADAPTER* adapter_ = nullptr;
    GDList_PDEV devices_;
    int32_t statusDisplay_ = 0;
    int32_t snifferFlag_ = 0;
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
