// Slot: the physical devices. Building them through the device table, finding them, and
// linking them into and out of the slot's list.
#include <cstring>

#include "ADAPTER.h"
#include "ObjectSupport.h"
#include "PDEV.h"
#include "Slot.h"
#include "sylocks.h"
#include "sytables.h"
#include "syload.h"

namespace {

const char kTag[] = "@(#)syslotdev.cpp";

bool valid(const void* object, int size) { return chCheckBuffer(object, size, CH_ACCESS_WRITE) == 0; }

uint32_t packId(const DeviceID& id) {
    return uint32_t(id.slot) << 24 | uint32_t(id.port) << 16 | uint32_t(id.device) << 8;
}

} // namespace

int Slot::MapApplAddrToSIO(DeviceID& id) {
    if (id.device < 0x80) return 0;
    for (const NonSIOAddressRow& row : ObjectSupport::NonSIOAddresses) {
        if (row.applicationAddress == id.device) {
            id.device = row.busAddress;
            break;
        }
    }
    return 0;
}

int Slot::FindPhysical(const DeviceID& id, PDEV*& out) {
    out = nullptr;
    if (id.slot != slotNumber_) {
        clErrorLog(1004, 326, packId(id), kTag, this, sizeof(Slot));
        return 326;
    }
    DeviceID key = id;
    MapApplAddrToSIO(key);
    SlotLock guard(this);
    for (PDEV* device : ListElements(devices_)) {
        if (device->GetDeviceID() == key) {
            out = device;
            return 0;
        }
    }
    return 0;
}

int Slot::MakePhysical(const DeviceID& id, long type, PDEV*& out) {
    out = nullptr;
    int rc = 321;
    PhysicalInfoRow* row = id.slot == slotNumber_ ? FindPhysicalInfo(id.device, type) : nullptr;
    if (row) {
        if (!row->loaded && chLoadLibrary(row->library) == 0) {
            row->loaded = 1;
            BitVec256 none;
            SetValidPollAddrs(none);
            if (row->library2[0]) chLoadLibrary(row->library2);
        }
        if (!row->loaded) return 337;
        rc = ObjectSupport::MakePhysicalObject(row->factoryType, id, out);
        if (rc == 0) {
            if (valid(out, sizeof(PDEV))) {
                aprintf("--> %s (%x.%x.%x) created\n", out->NameTag(), id.slot, id.port, id.device);
                return 0;
            }
            rc = 321;
        }
    }
    int32_t requested = static_cast<int32_t>(type);
    clErrorLog(1022, static_cast<uint32_t>(rc), packId(id), kTag, &requested, sizeof requested);
    return rc;
}

int Slot::LinkinPhysical(const PDEV* constDevice) {
    PDEV* device = const_cast<PDEV*>(constDevice);
    if (!valid(device, sizeof(PDEV))) {
        clErrorLog(1011, 321, 0, kTag, this, sizeof(Slot));
        return 321;
    }
    const DeviceID& id = device->GetDeviceID();
    if (id.slot != slotNumber_) {
        clErrorLog(1012, 321, packId(id), kTag, this, sizeof(Slot));
        return 321;
    }
    for (PDEV* entry : ListElements(devices_)) {
        if (!valid(entry, sizeof(PDEV))) {
            clErrorLog(1014, 321, packId(id), kTag, this, sizeof(Slot));
            return 321;
        }
        if (entry == device) {
            clErrorLog(1013, 321, packId(id), kTag, this, sizeof(Slot));
            return 321;
        }
        if (entry->GetDeviceID() == id) {
            clErrorLog(1015, 321, packId(id), kTag, this, sizeof(Slot), entry, sizeof(PDEV));
            return 321;
        }
    }
    // Physical devices go to the head of the list, the sniffer to its end.
    if (device->GetDeviceType() != 0xFF) devices_.start();
    else devices_.end();
    return devices_.linkin(device) == 0 ? 0 : 305;
}

int Slot::LinkoutPhysical(const PDEV* constDevice) {
    PDEV* device = const_cast<PDEV*>(constDevice);
    if (!valid(device, sizeof(PDEV))) return 0;
    DeviceID id = device->GetDeviceID();
    bool found = false;
    {
        SlotLock guard(this);
        for (int rc = devices_.start(); rc == 0;) {
            PDEV* entry = devices_.get();
            if (!valid(entry, sizeof(PDEV))) {
                clErrorLog(1016, 321, packId(id), kTag, this, sizeof(Slot));
                return 321;
            }
            if (entry == device) {
                PDEV* removed = devices_.linkout();
                if (removed != device) clErrorLog(1017, 321, packId(id), kTag, this, sizeof(Slot));
                found = true;
                break;
            }
            if (entry->GetDeviceID() == id)
                clErrorLog(1018, 0, packId(id), kTag, this, sizeof(Slot), entry, sizeof(PDEV));
            rc = devices_.fwd();
        }
        if (found) {
            if (adapter_ && valid(adapter_, sizeof(ADAPTER))) adapter_->SetPollListStale();
            if (device->GetDeviceType() != 0xFF) NotifySniffers(1231, &id, 3);
        }
    }
    if (!found) {
        clErrorLog(1019, 321, packId(id), kTag, this, sizeof(Slot));
        return 321;
    }
    return 0;
}

int Slot::OpenPhysicalDevices() {
    SlotLock guard(this);
    std::vector<PDEV*> devices = ListElements(devices_);
    for (size_t i = 0; i < devices.size(); ++i) {
        int rc = valid(devices[i], sizeof(PDEV)) ? devices[i]->Open(nullptr) : 321;
        if (rc == 0) continue;
        clErrorLog(1027, static_cast<uint32_t>(rc),
                   static_cast<uint32_t>(i) | static_cast<uint32_t>(devices.size()) << 16, kTag,
                   this, sizeof(Slot));
        // Undo the opens that succeeded, last first; the device that failed was not opened.
        for (size_t j = i; j-- > 0;) {
            int remaining = 0;
            devices[j]->Close(nullptr, remaining);
        }
        return rc;
    }
    return 0;
}

int Slot::ClosePhysicalDevices() {
    std::vector<PDEV*> devices = ListElements(devices_);
    int failure = 0;
    for (PDEV* device : devices) {
        if (!valid(device, sizeof(PDEV))) continue;
        int remaining = 0;
        int rc = 0;
        // A device the slot never opened (its start-up failed) has no open to give back.
        if (device->OpenCount() > 0) rc = device->Close(nullptr, remaining);
        if (rc != 0 || remaining > 0) {
            if (rc != 0) failure = rc;
            device->ForceOffline();
            continue;
        }
        rc = device->Term();
        if (rc != 0) failure = rc;
        // Term unlinks the device through the system object's slot table; a device it
        // could not unlink must not stay listed once deleted.
        {
            SlotLock guard(this);
            for (int more = devices_.start(); more == 0; more = devices_.fwd())
                if (devices_.get() == device) {
                    devices_.linkout();
                    break;
                }
        }
        delete device;
    }
    if (failure != 0) clErrorLog(1003, static_cast<uint32_t>(failure), 0, kTag, this, sizeof(Slot));
    return failure;
}
