// A table that ties virtual devices to the physical device each waits for, for device
// classes that keep their own waiting list. Notify sends each waiting device the
// device-released event (0x4213, first parameter its handle) once.
#pragma once

#include "ovktypes.h"

class VDEV;

class Notification {
public:
    // entries rows; row 0 is not used (rows are indexed by handle).
    explicit Notification(unsigned short entries);
    ~Notification();
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    // Enters vdev at its handle, waiting for its physical device. Ignored for an invalid
    // object or a handle outside 1 .. entries - 1; logs 551 when another device is there.
    virtual void Insert(VDEV* vdev);
    // Clears the row of vdev's handle (logs 552 first when another device is there).
    virtual void Remove(const VDEV* vdev);
    // Posts 0x4213 to every device waiting for id at address and clears its row.
    virtual void Notify(const DeviceID& id, unsigned char address);

    unsigned short Entries() const { return count_; }
    VDEV* DeviceAt(int handle) const;
    DeviceID WaitedForAt(int handle) const;

private:
    struct Entry {
        VDEV* vdev;
        DeviceID id;
    };
    unsigned short count_;
    Entry* entries_;
};
