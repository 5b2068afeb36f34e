// The object that drives one slot's hardware: the RS-485 adapter manager (SIOAM) or the
// system-board adapter (Planar). Adapter plug-ins derive from it, so the order of its
// virtual operations is a fixed interface.
#pragma once

#include <atomic>
#include <cstdint>

#include "GDList.h"
#include "STG.h"

class PDEV;
class Slot;

// What an adapter knows of its own NVRAM (filled by GetLocalNvramInfo).
struct NvramInfoStruct {
    // From the driver's NVRAM information (offsets 48, 24, 20): [0] the NVRAM's size in
    // bytes, [2] the offset of its journal block.
    uint32_t driverValue[3] = {};
    uint32_t size = 0;            // the largest record (1024)
    int32_t deviceClass = -1;     // type id of the NVRAM device class; -1: none
    uint8_t port = 0;             // port id of the NVRAM; 0: none
};

// Port ids of an adapter.
enum : uint8_t { PORT_PLANAR = 0x00, PORT_RS485_1 = 0x11, PORT_RS485_2 = 0x22 };

class ADAPTER : public STG {
public:
    // The device list is the PDEV list of the slot with that number in the system object's
    // slot table (none when there is no such slot yet: the slot attaches itself when it
    // links the adapter in).
    ADAPTER(int slot, unsigned short adapterType, const unsigned char* name);
    ADAPTER(int slot, unsigned short adapterType, const char* name)
        : ADAPTER(slot, adapterType, reinterpret_cast<const unsigned char*>(name)) {}
    // Logs 101 when devices are still open.
    ~ADAPTER() override;

    virtual int Close(const PDEV* device, int& remaining);
    virtual void DeleteAnyReadyPdevs();
    virtual void GetLocalNvramInfo(NvramInfoStruct& info);
    virtual const unsigned char* GetValidPorts() const;
    virtual int Init();
    virtual int NvramRead(void* record, int length);
    virtual int NvramWrite(void* record, int length);
    virtual int PowerRequest(void* record, int length);
    virtual int Open(const PDEV* device);
    virtual int PdevReadyToBeDeleted(const PDEV* device);
    virtual void StopRunning();
    virtual int Term();
    virtual int ValidatePort(int port);
    // Pure; the bodies of CloseDD, OpenDD, RequestBuffer and SendFrame log and give 321
    // when reached by a qualified call.
    virtual int CloseDD() = 0;
    virtual int OpenDD() = 0;
    virtual int Run(int slot, int arg) = 0;
    virtual int RequestBuffer() = 0;
    virtual int SendFrame(const unsigned char* record, int length) = 0;
    virtual void AddNotDockedAddress(unsigned char address);
    virtual void SetDockedState();
    virtual void ResetDockedState();
    virtual int GetDockedState();
    virtual int Suspend() = 0;
    virtual int Resume() = 0;

    // Field access for the slot, the sniffer and the link devices.
    int GetSlotNumber() const { return slot_; }
    unsigned short GetAdapterType() const { return adapterType_; }
    int GetOpenCount() const { return openCount_; }
    int GetPortCount() const { return portCount_; }
    void SetPortCount(int count) { portCount_ = count; }
    // Sets entry index (0-3) of the valid-port array.
    void SetValidPort(int index, unsigned char port) {
        if (index >= 0 && index < kValidPorts) validPorts_[index] = port;
    }
    int GetRunFlag() const { return running_; }
    int GetStartedFlag() const { return started_; }
    // Set when the set of polled addresses changed; the adapter then rebuilds its poll list
    // and deletes the devices queued for deletion.
    void SetPollListStale() { pollListStale_ = 1; }
    int GetPollListStale() const { return pollListStale_; }
    GDList_PDEV* GetDeviceList() const { return devices_; }
    // The slot that owns the adapter, and its device list (set by the slot when it links
    // the adapter in).
    Slot* GetOwnerSlot() const { return owner_; }
    void AttachSlot(Slot* slot);
    int GetNotDockedCount() const { return notDockedCount_; }
    const unsigned char* GetNotDockedAddresses() const { return notDocked_; }
    bool IsNotDockedAddress(unsigned char address) const;

    enum { kValidPorts = 4, kNotDockedMax = 10 };

protected:
    int32_t openCount_ = 0;
    std::atomic<int32_t> pollListStale_{0};
    GDList_PDEV deleteList_;
    unsigned short adapterType_;
    int32_t slot_;
    std::atomic<int32_t> running_{1};
    int32_t started_ = 0;
    GDList_PDEV* devices_ = nullptr;
    Slot* owner_ = nullptr;
    int32_t portCount_ = -1;
    unsigned char validPorts_[kValidPorts] = {0xFF, 0xFF, 0xFF, 0xFF};
    unsigned char notDocked_[kNotDockedMax] = {};
    uint16_t notDockedCount_ = 0;
    int16_t docked_ = 1;
};
