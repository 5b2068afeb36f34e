// Waiting list of virtual devices for released physical devices.
#include "Notification.h"

#include <new>

#include "COMD.h"
#include "PDEV.h"
#include "VDEV.h"

namespace {
const char kTag[] = "@(#)synotify.cpp";

bool validDevice(const VDEV* vdev) {
    return chCheckBuffer(vdev, static_cast<int>(sizeof(VDEV)), CH_ACCESS_READ) == 0;
}
} // namespace

Notification::Notification(unsigned short entries)
    : count_(entries), entries_(new (std::nothrow) Entry[entries ? entries : 1]) {
    if (!entries_) count_ = 0;
    for (unsigned i = 0; i < count_; ++i) entries_[i] = Entry{nullptr, DeviceID()};
}

Notification::~Notification() { delete[] entries_; }

VDEV* Notification::DeviceAt(int handle) const {
    return handle >= 0 && handle < count_ ? entries_[handle].vdev : nullptr;
}

DeviceID Notification::WaitedForAt(int handle) const {
    return handle >= 0 && handle < count_ ? entries_[handle].id : DeviceID();
}

void Notification::Insert(VDEV* vdev) {
    if (!validDevice(vdev)) return;
    int handle = vdev->GetHandle();
    if (handle <= 0 || handle >= count_) return;
    Entry& e = entries_[handle];
    if (e.vdev && e.vdev != vdev) {
        clErrorLog(551, 321, 0, kTag, this, sizeof(Notification), e.vdev, sizeof(VDEV), vdev,
                   sizeof(VDEV), &handle, sizeof handle);
        return;
    }
    PDEV* pdev = vdev->GetPhysical();
    e = Entry{vdev, pdev ? pdev->GetDeviceID() : DeviceID()};
}

void Notification::Remove(const VDEV* vdev) {
    if (!validDevice(vdev)) return;
    int handle = vdev->GetHandle();
    if (handle <= 0 || handle >= count_) return;
    Entry& e = entries_[handle];
    if (e.vdev && e.vdev != vdev)
        clErrorLog(552, 321, 0, kTag, this, sizeof(Notification), e.vdev, sizeof(VDEV), vdev,
                   sizeof(VDEV), &handle, sizeof handle);
    e = Entry{nullptr, DeviceID()};
}

void Notification::Notify(const DeviceID& id, unsigned char address) {
    // Every row that exists, and no further.
    for (unsigned i = 1; i < count_; ++i) {
        Entry& e = entries_[i];
        if (!e.vdev || e.id != id || e.vdev->GetDeviceID().device != address) continue;
        VDEV* vdev = e.vdev;
        e = Entry{nullptr, DeviceID()};
        if (pcomd)
            pcomd->PostQueueMsg(&vdev->GetEventDestination(), POSM_SYS_DEVICE_RELEASED,
                                static_cast<unsigned long>(vdev->GetHandle()), 0);
    }
}
