// Class registration by numeric type id. Plug-ins (and the core itself) build static
// ObjectSupport objects; each enters a factory into the core's registry of adapters,
// physical devices or virtual devices. The core creates objects through the first row
// registered for a type id. Registrations are never removed.
#pragma once

#include <cstdint>

#include "ovktypes.h"

class ADAPTER;
class PDEV;
class VDEV;

using AdapterFactory = ADAPTER* (*)(int slot, unsigned short adapterType);
using PhysicalFactory = PDEV* (*)(const DeviceID& id);
using VirtualFactory = VDEV* (*)(const DeviceID& id, int handle);

// What the core knows of an RS-485 address 0x00-0x7F (12 bytes a row).
struct SIOAddressRow {
    uint8_t valid;            // a class is registered for the address (or the slot set it)
    uint8_t addressWaitTime;  // passed to the bus adapter for the address
    uint8_t byteWaitTime;
    uint8_t reserved1[5];
    uint8_t deviceType;       // 0: no device class known for the address
    uint8_t reserved2;
    uint8_t flags;            // bit 0 read by the adapter manager
    uint8_t reserved3;
};
static_assert(sizeof(SIOAddressRow) == 12, "address rows are 12 bytes");

struct SIOAddressTable {
    SIOAddressRow rows[128];
    SIOAddressRow& operator[](unsigned address) { return rows[address & 0x7F]; }
    const SIOAddressRow& operator[](unsigned address) const { return rows[address & 0x7F]; }
};

// An address that applications use above 0x7F, the bus address that carries it, and the
// device type there.
struct NonSIOAddressRow {
    uint8_t applicationAddress;
    uint8_t busAddress;
    uint8_t deviceType;
};

class ObjectSupport {
public:
    // Registry capacities.
    enum { kAdapterRows = 16, kPhysicalRows = 96, kVirtualRows = 96, kNonSIORows = 10 };

    // Registers an adapter class.
    ObjectSupport(unsigned short typeId, AdapterFactory factory);
    // Registers a physical-device class and marks each of its count addresses (0x00-0x7F)
    // valid.
    ObjectSupport(unsigned short typeId, PhysicalFactory factory, unsigned char* addresses,
                  int count);
    ObjectSupport(unsigned short typeId, PhysicalFactory factory, const unsigned char* addresses,
                  int count);
    // Registers a virtual-device class.
    ObjectSupport(unsigned short typeId, VirtualFactory factory);

    // 0 and the new adapter; 305 when the factory returned null; 327 when the type id is not
    // registered (out unchanged).
    static int MakeAdapterObject(unsigned short typeId, int slot, unsigned short adapterType,
                                 ADAPTER*& out);
    // 0 and the new device; 305 when the factory returned null; -1 when not registered.
    static int MakePhysicalObject(unsigned short typeId, const DeviceID& id, PDEV*& out);
    static int MakeVirtualObject(unsigned short typeId, const DeviceID& id, int handle,
                                 VDEV*& out);

    // Whether a class is registered for the type id.
    static bool AdapterRegistered(unsigned short typeId);
    static bool PhysicalRegistered(unsigned short typeId);
    static bool VirtualRegistered(unsigned short typeId);

    // The type id this registration object was built for.
    unsigned short TypeId() const { return typeId_; }

    // The valid mark of an address: set while a plug-in loads (on the thread that loads
    // it), read by the clients' request threads. Read and set it only through these.
    static bool AddressValid(unsigned address) {
        return __atomic_load_n(&SIOAddresses[address].valid, __ATOMIC_ACQUIRE) != 0;
    }
    static void MarkAddressValid(unsigned address) {
        __atomic_store_n(&SIOAddresses[address].valid, uint8_t{1}, __ATOMIC_RELEASE);
    }

    static SIOAddressTable SIOAddresses;
    static const NonSIOAddressRow NonSIOAddresses[kNonSIORows];

private:
    unsigned short typeId_;
};
