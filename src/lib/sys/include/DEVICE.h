// A lockable, open-counted device at a DeviceID: the common base of physical (PDEV) and
// virtual (VDEV) devices.
#pragma once

#include <atomic>

#include "STG.h"
#include "ovkhost.h"
#include "ovktypes.h"

class DEVICE : public STG {
public:
    DEVICE(const DeviceID& id, const unsigned char* name);
    DEVICE(const DeviceID& id, const char* name)
        : DEVICE(id, reinterpret_cast<const unsigned char*>(name)) {}
    // Logs 302 when the device is still open.
    ~DEVICE() override;

    // The order of these operations is part of the interface with the plug-ins.
    virtual int Close(int& remaining); // one open less; closes the device lock
    virtual int Init();
    virtual int Lock();                // acquires the device lock (wait 15)
    virtual int Open();                // opens the device lock; one open more
    virtual int Term();
    virtual int Unlock();

    // Releases the device lock without check or log (frees a lock a departed client held).
    void ClearLock();

    const DeviceID& GetDeviceID() const { return id_; }
    int32_t OpenCount() const { return openCount_; }

protected:
    mutexSem lock_;
    // Opened and closed by the request threads of every client that uses the device.
    std::atomic<int32_t> openCount_{0};
    DeviceID id_;
};
