// Registries of adapter, physical-device and virtual-device classes, and the tables of bus
// addresses.
#include "ObjectSupport.h"

#include <mutex>

#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)ObjectSupport.cpp";

template <class Factory, int Capacity>
struct Registry {
    struct Row {
        unsigned short typeId;
        Factory factory;
    };
    Row rows[Capacity];
    int count = 0;

    const Row* find(unsigned short typeId) const {
        for (int i = 0; i < count; ++i)
            if (rows[i].typeId == typeId) return &rows[i];
        return nullptr;
    }
};

struct Registries {
    std::mutex mutex;
    Registry<AdapterFactory, ObjectSupport::kAdapterRows> adapters;
    Registry<PhysicalFactory, ObjectSupport::kPhysicalRows> physicals;
    Registry<VirtualFactory, ObjectSupport::kVirtualRows> virtuals;
};

// Built on first use, so registrations from static initialisers never depend on the order in
// which libraries are initialised.
Registries& registries() {
    static Registries r;
    return r;
}

// Appends a row unless the type id already has one (the first registration stays in force).
// A full registry refuses the row with an error-log entry.
template <class R, class Factory>
void enter(R& registry, int capacity, unsigned short typeId, Factory factory) {
    if (!factory || registry.find(typeId)) return;
    if (registry.count >= capacity) {
        clErrorLog(24210, 305, typeId, kTag);
        return;
    }
    registry.rows[registry.count].typeId = typeId;
    registry.rows[registry.count].factory = factory;
    ++registry.count;
}

struct Range {
    uint8_t first, last, addressWait, byteWait, deviceType, flags;
};

// Initial address rows; every address not listed has address wait 0x1E and nothing else.
// Columns: first and last address, address wait, byte wait, device type, flags.
constexpr Range kRanges[] = {
    {0x10, 0x13, 0x1E, 0x00, 9, 0},  // checkout keyboards (0x10, 0x11), text keyboards (0x12, 0x13)
    {0x16, 0x17, 0x1E, 0x00, 9, 0},  // matrix keyboards
    {0x19, 0x1D, 0x1E, 0x00, 9, 0},  // PLU keyboard (0x19), alphanumeric POS keyboards
                                     // (0x1A, 0x1B), POS keyboards (0x1C, 0x1D)
    {0x20, 0x21, 0x60, 0x00, 2, 0},  // numeric displays
    {0x2A, 0x2D, 0x60, 0x00, 2, 0},  // graphic displays
    {0x22, 0x23, 0x23, 0x00, 2, 0},  // operator displays
    {0x24, 0x25, 0x60, 0x48, 2, 0},  // alphanumeric operator displays
    {0x26, 0x27, 0x1E, 0x00, 2, 0},  // shopper displays
    {0x30, 0x30, 0xC0, 0x48, 3, 0},  // M2 printer
    {0x32, 0x32, 0x90, 0x48, 3, 0},  // TRJ printer
    {0x34, 0x35, 0x90, 0x48, 3, 0},  // M3 printer (0x34), model-6397 printer (0x35)
    {0x37, 0x37, 0x90, 0x48, 3, 0},  // SRJ printer
    {0x38, 0x38, 0x1E, 0x48, 3, 0},  // fiscal M3 printer
    {0x40, 0x41, 0x1E, 0x00, 5, 0},  // one-track and JIS magnetic-stripe readers
    {0x46, 0x49, 0x1E, 0x00, 5, 0},  // two-track (0x46, 0x47) and three-track (0x48, 0x49) readers
    {0x42, 0x42, 0x50, 0x20, 4, 0},  // mobile scanner
    {0x4A, 0x4B, 0x30, 0x00, 4, 0},  // table-top scanners and scanners 8612, 8634 (0x4A),
                                     // hand-held scanners (0x4B)
    {0x50, 0x51, 0x1E, 0x00, 8, 1},  // bus NVRAMs
    {0x54, 0x54, 0x90, 0x68, 6, 1},  // cash-drawer unit
    {0x5C, 0x5D, 0x90, 0x68, 13, 0}, // touch screens
    {0x64, 0x69, 0x30, 0x00, 10, 1}, // RS-232 ports
    {0x6A, 0x6A, 0x30, 0x00, 11, 0}, // scale
    {0x6E, 0x6E, 0x30, 0x00, 11, 0}, // scale
};

constexpr SIOAddressTable initialAddresses() {
    SIOAddressTable t{};
    for (auto& row : t.rows) row.addressWaitTime = 0x1E;
    for (const Range& r : kRanges) {
        for (unsigned a = r.first; a <= r.last; ++a) {
            t.rows[a].addressWaitTime = r.addressWait;
            t.rows[a].byteWaitTime = r.byteWait;
            t.rows[a].deviceType = r.deviceType;
            t.rows[a].flags = r.flags;
        }
    }
    return t;
}

} // namespace

// Constant-initialised: ready before any static initialiser registers a class.
SIOAddressTable ObjectSupport::SIOAddresses = initialAddresses();

const NonSIOAddressRow ObjectSupport::NonSIOAddresses[kNonSIORows] = {
    {0x81, 0x81, 9},  // system-board keyboard
    {0x82, 0x82, 5},  // magnetic-stripe reader of the system-board keyboard
    {0x85, 0x85, 8},  // the adapter's own NVRAM
    {0x87, 0x85, 12}, // power device of the adapter's NVRAM
    {0xFE, 0xFE, 1},  // sniffers (internal)
    {0xFF, 0xFF, 1},  // internal
    {0xFD, 0xFD, 1},  // keyboard swap (internal)
    {0x83, 0x54, 6},  // second cash drawer of the cash-drawer unit
    {0x84, 0x54, 7},  // alarm of the cash-drawer unit
    {0x86, 0x51, 12}, // power device of the NVRAM at 0x51
};

ObjectSupport::ObjectSupport(unsigned short typeId, AdapterFactory factory) : typeId_(typeId) {
    Registries& r = registries();
    std::lock_guard<std::mutex> g(r.mutex);
    enter(r.adapters, kAdapterRows, typeId, factory);
}

ObjectSupport::ObjectSupport(unsigned short typeId, PhysicalFactory factory,
                             const unsigned char* addresses, int count)
    : typeId_(typeId) {
    Registries& r = registries();
    std::lock_guard<std::mutex> g(r.mutex);
    for (int i = 0; addresses && i < count; ++i)
        if (addresses[i] <= 0x7F) MarkAddressValid(addresses[i]);
    enter(r.physicals, kPhysicalRows, typeId, factory);
}

ObjectSupport::ObjectSupport(unsigned short typeId, PhysicalFactory factory,
                             unsigned char* addresses, int count)
    : ObjectSupport(typeId, factory, static_cast<const unsigned char*>(addresses), count) {}

ObjectSupport::ObjectSupport(unsigned short typeId, VirtualFactory factory) : typeId_(typeId) {
    Registries& r = registries();
    std::lock_guard<std::mutex> g(r.mutex);
    enter(r.virtuals, kVirtualRows, typeId, factory);
}

int ObjectSupport::MakeAdapterObject(unsigned short typeId, int slot, unsigned short adapterType,
                                     ADAPTER*& out) {
    AdapterFactory factory;
    {
        Registries& r = registries();
        std::lock_guard<std::mutex> g(r.mutex);
        auto row = r.adapters.find(typeId);
        if (!row) return 327;
        factory = row->factory;
    }
    out = factory(slot, adapterType);
    return out ? 0 : 305;
}

int ObjectSupport::MakePhysicalObject(unsigned short typeId, const DeviceID& id, PDEV*& out) {
    PhysicalFactory factory;
    {
        Registries& r = registries();
        std::lock_guard<std::mutex> g(r.mutex);
        auto row = r.physicals.find(typeId);
        if (!row) return -1;
        factory = row->factory;
    }
    out = factory(id);
    return out ? 0 : 305;
}

int ObjectSupport::MakeVirtualObject(unsigned short typeId, const DeviceID& id, int handle,
                                     VDEV*& out) {
    VirtualFactory factory;
    {
        Registries& r = registries();
        std::lock_guard<std::mutex> g(r.mutex);
        auto row = r.virtuals.find(typeId);
        if (!row) return -1;
        factory = row->factory;
    }
    out = factory(id, handle);
    return out ? 0 : 305;
}

bool ObjectSupport::AdapterRegistered(unsigned short typeId) {
    Registries& r = registries();
    std::lock_guard<std::mutex> g(r.mutex);
    return r.adapters.find(typeId) != nullptr;
}

bool ObjectSupport::PhysicalRegistered(unsigned short typeId) {
    Registries& r = registries();
    std::lock_guard<std::mutex> g(r.mutex);
    return r.physicals.find(typeId) != nullptr;
}

bool ObjectSupport::VirtualRegistered(unsigned short typeId) {
    Registries& r = registries();
    std::lock_guard<std::mutex> g(r.mutex);
    return r.virtuals.find(typeId) != nullptr;
}
