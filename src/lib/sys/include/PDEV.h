// A physical device: attached to the adapter of its slot, acquired by at most one virtual
// device at a time, confirmed online and offline by the link code. Every physical-device
// class of the plug-ins derives from it, so the order of its virtual operations is a fixed
// interface.
#pragma once

#include "DEVICE.h"

class ADAPTER;
class VDEV;

// Status-word bits of a physical device.
enum : uint32_t {
    PDEV_LINKED = 0x0001,  // cleared by Term once the slot has unlinked the device
    PDEV_PRESENT = 0x0100, // created after an answer on the bus; ForceOffline clears it
    PDEV_ONLINE = 0x0400,  // confirmed; changed only by NowConfirmed / NowNotConfirmed
};

// Events posted to every client process when a device goes online or offline:
// p1 = slot << 24 | port << 16 | address << 8 | device type, p2 = subtype.
enum : uint32_t {
    POSM_SYS_DEVICE_OFFLINE = 0x420C,
    POSM_SYS_DEVICE_ONLINE = 0x420D,
};

// Device type byte of a sniffer and of an identifying oracle.
enum : uint8_t { PDEV_TYPE_ORACLE = 254, PDEV_TYPE_SNIFFER = 0xFF };

class PDEV : public DEVICE {
public:
    PDEV(const DeviceID& id, const unsigned char* name);
    PDEV(const DeviceID& id, const char* name)
        : PDEV(id, reinterpret_cast<const unsigned char*>(name)) {}
    ~PDEV() override;

    using DEVICE::Close;
    using DEVICE::Init;
    using DEVICE::Open;

    // In DEVICE's slots: attach to / detach from the slot's adapter.
    int Init() override;
    int Term() override;

    // Added operations, in this order.
    virtual int Close(const VDEV* vdev, int& remaining);
    virtual bool Confirmed(unsigned char address) const;
    virtual int GetVdevInfo(unsigned char address, unsigned char& deviceType,
                            long& vdevType) const;
    virtual int Init(const char* name);
    virtual int Init(const char* name, unsigned char value);
    virtual void NowConfirmed();
    virtual void NowNotConfirmed();
    virtual int Open(const VDEV* vdev);
    virtual int ProcessInput(const unsigned char* data, int length);
    virtual int ProcessError(const unsigned char* data, int length);
    virtual void ProcessOutput(long nowMs);
    virtual void TellQueueWhosOnline(const MsgQueueInfo* queue);
    virtual int TellPhys(const VDEV* sender, int request, unsigned char* data, int length);
    virtual int Acquire(VDEV* vdev);
    virtual int Release(VDEV* vdev);
    virtual int GetLastMessageLostCounts();
    virtual int GetLastAckLostCounts();
    virtual int GetPollTimeoutCounts();
    virtual int GetPowerOnResetCounts();
    virtual int GetRequestOnlineCounts();
    virtual int GetCommandRejectCounts();
    virtual int GetUnknownMessageCounts();
    virtual unsigned char GetAddressWaitTime();
    virtual void SetAddressWaitTime(unsigned char value);
    virtual unsigned char GetByteWaitTime();
    virtual void SetByteWaitTime(unsigned char value);
    virtual unsigned char GetECLevel();
    virtual void SetECLevel(unsigned char value);
    virtual long GetAckWaitTime();
    virtual void SetAckWaitTime(long value);
    virtual int Resume();
    virtual int Suspend();

    // Posts 0x420D / 0x420C to queue, or to every client process when queue is null.
    void PostOnlineMsg(const MsgQueueInfo* queue, unsigned char address,
                       unsigned char deviceType, unsigned char subtype) const;
    void PostOfflineMsg(const MsgQueueInfo* queue, unsigned char address,
                        unsigned char deviceType, unsigned char subtype) const;
    // Clears the present bit and goes offline.
    void ForceOffline();

    ADAPTER* GetAdapter() const { return adapter_; }
    VDEV* GetOwner() const { return owner_; }
    int32_t GetVdevType() const { return vdevType_; }
    unsigned char GetDeviceType() const { return deviceType_; }
    unsigned char GetDeviceSubtype() const { return deviceSubtype_; }

protected:
    ADAPTER* adapter_ = nullptr;
    VDEV* owner_ = nullptr;
    int32_t vdevType_ = 0;
    unsigned char deviceType_ = 1;
    unsigned char deviceSubtype_ = 0;
};
