// Scoped holds of a slot lock and of a device lock, released on every way out of the scope.
#pragma once

#include "DEVICE.h"
#include "Slot.h"

class SlotLock {
public:
    // A null slot holds nothing.
    explicit SlotLock(Slot* slot) : slot_(slot), held_(slot && slot->LockSlot() == 0) {}
    ~SlotLock() {
        if (held_) slot_->UnlockSlot();
    }
    SlotLock(const SlotLock&) = delete;
    SlotLock& operator=(const SlotLock&) = delete;

private:
    Slot* slot_;
    bool held_;
};

class DeviceLock {
public:
    explicit DeviceLock(DEVICE* device) : device_(device) {
        if (device_) device_->Lock();
    }
    ~DeviceLock() {
        if (device_) device_->Unlock();
    }
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;

private:
    DEVICE* device_;
};
