// Sniffer: construction, the address tables, the slot's notices, the link handlers and the
// creation of a device at an address that answered.
#include "Sniffer.h"

#include <cstring>
#include <new>
#include <vector>

#include "ADAPTER.h"
#include "COMD.h"
#include "ObjectSupport.h"
#include "Slot.h"
#include "sylocks.h"

namespace {

const char kTag[] = "@(#)sysniff.cpp";

constexpr int32_t kSnifferType = 1600;
constexpr long kUnidentified = 1700;

using Entry = Sniffer::OrderEntry;

// The docked walk: the addresses that carry devices, most likely first, then every other
// address once (never walked: they lie beyond the entries in use).
constexpr Entry kWalked[] = {
    {0x00, 1}, {0x5C, 2}, {0x5D, 2}, {0x54, 2}, {0x48, 2}, {0x49, 2}, {0x24, 1}, {0x25, 1},
    {0x2A, 1}, {0x2B, 1}, {0x20, 2}, {0x21, 2}, {0x34, 1}, {0x35, 1}, {0x32, 1}, {0x4A, 1},
    {0x4B, 1}, {0x64, 1}, {0x65, 1}, {0x66, 1}, {0x67, 1}, {0x68, 1}, {0x69, 1}, {0x6A, 1},
    {0x6E, 1}, {0x10, 1}, {0x11, 1}, {0x12, 1}, {0x13, 1}, {0x16, 1}, {0x17, 1}, {0x19, 1},
    {0x1A, 1}, {0x1B, 1}, {0x1C, 2}, {0x1D, 2}, {0x22, 2}, {0x23, 2}, {0x26, 1}, {0x27, 1},
    {0x2C, 1}, {0x2D, 1}, {0x30, 1}, {0x37, 1}, {0x38, 1}, {0x40, 1}, {0x41, 1}, {0x42, 1},
    {0x46, 1}, {0x47, 1}, {0x50, 1}, {0x51, 1},
};
static_assert(sizeof kWalked / sizeof kWalked[0] == Sniffer::kInitSniffCount,
              "the docked walk has 52 entries");

constexpr std::array<Entry, Sniffer::kOrderEntries> makeInitSniffOrder() {
    std::array<Entry, Sniffer::kOrderEntries> order{};
    bool placed[128] = {};
    int n = 0;
    for (const Entry& e : kWalked) {
        order[n++] = e;
        placed[e.address] = true;
    }
    for (int a = 1; a < 128; ++a)
        if (!placed[a]) order[n++] = Entry{static_cast<uint8_t>(a), 0};
    return order;
}

// Gives back the adapter open that Init took, for a device that never got into the list.
void releaseAdapter(PDEV* device) {
    if (ADAPTER* adapter = device->GetAdapter()) {
        int remaining = 0;
        adapter->Close(device, remaining);
    }
}

uint16_t blockLen(int n) { return static_cast<uint16_t>(n <= 0 ? 0 : (n > 0xFFFF ? 0xFFFF : n)); }

} // namespace

PDEV* _CreateSniffer(const DeviceID& id) { return new (std::nothrow) Sniffer(id, "SNIFFER"); }

const std::array<Sniffer::OrderEntry, Sniffer::kOrderEntries> Sniffer::InitSniffOrder =
    makeInitSniffOrder();

ObjectSupport objectSniffer(kSnifferType, _CreateSniffer, static_cast<const unsigned char*>(nullptr), 0);

Sniffer::Sniffer(const DeviceID& id, const unsigned char* name) : SIODEVICE(id, name) {
    id_.device = 0;
    id_.port = 0x11;
    vdevType_ = kSnifferType;
    deviceType_ = PDEV_TYPE_SNIFFER;
    order_[0][0] = OrderEntry{0x00, 1};
    order_[0][1] = OrderEntry{0x42, 4};
    order_[0][2] = OrderEntry{0x49, 4};
    for (int i = 0; i < kOrderEntries; ++i) order_[1][i] = InitSniffOrder[static_cast<size_t>(i)];
}

Sniffer::~Sniffer() = default;

int Sniffer::Init() {
    int rc = PDEV::Init(); // attaches to the slot's adapter
    if (rc != 0) return rc;
    for (PortRecord& port : ports_) {
        port.table.reset(new (std::nothrow) AddressRow[128]);
        if (!port.table) {
            ports_[0].table.reset();
            ports_[1].table.reset();
            releaseAdapter(this);
            adapter_ = nullptr;
            return 305;
        }
        static_assert(sizeof(AddressRow) == sizeof(SIOAddressRow), "rows are copies");
        std::memcpy(port.table.get(), ObjectSupport::SIOAddresses.rows, 128 * sizeof(AddressRow));
        for (int a = 0; a < 128; ++a) {
            port.table[a].present = 0;
            port.table[a].lastResetTime = 0;
        }
        port.savedState = BETWEEN_PASSES;
    }
    index_ = 0;
    portCount_ = 2;
    SetCurrentPort(0);

    // The devices the slot already has are not looked for.
    Slot* slot = pcomd ? pcomd->GetSlot(id_.slot) : nullptr;
    if (slot) {
        SlotLock guard(slot);
        for (PDEV* device : slot->ListedDevices()) {
            if (device == this || device->GetDeviceType() == PDEV_TYPE_SNIFFER) continue;
            DeviceID found = device->GetDeviceID();
            unsigned char data[3] = {found.slot, found.port, found.device};
            TellPhys(nullptr, SNIFF_DEVICE_PRESENT, data, 3);
        }
    }
    return 0;
}

int Sniffer::Term() {
    ports_[0].table.reset();
    ports_[1].table.reset();
    curTable_ = nullptr;
    index_ = -1;
    return PDEV::Term();
}

const Sniffer::AddressRow* Sniffer::GetAddressRow(uint8_t port, uint8_t address) const {
    const AddressRow* table = port == 0x11 ? ports_[0].table.get()
                              : port == 0x22 ? ports_[1].table.get()
                                             : nullptr;
    return table && address < 0x80 ? &table[address] : nullptr;
}

Sniffer::AddressRow* Sniffer::TableOfPort(uint8_t portId) {
    if (portId == 0x11) return ports_[0].table.get();
    if (portId == 0x22) return ports_[1].table.get();
    return nullptr;
}

const Sniffer::OrderEntry* Sniffer::GetOrder(int& count) const {
    const int which = docked_ ? 1 : 0;
    count = orderCount_[which];
    return order_[which];
}

int Sniffer::PositionOf(uint8_t address) const {
    int count = 0;
    const OrderEntry* order = GetOrder(count);
    for (int i = 0; i < count; ++i)
        if (order[i].address == address) return i;
    return 0;
}

// ---------------------------------------------------------------------------------------
// Notices from the slot.

int Sniffer::TellPhys(const VDEV* sender, int code, unsigned char* data, int length) {
    switch (code) {
    case SNIFF_DEVICE_LEFT: {
        if (!data || length < 3 || data[2] > 0x7F) return 0;
        AddressRow* table = TableOfPort(data[1]);
        if (!table) return 0;
        const uint8_t address = data[2];
        const int port = data[1] == 0x11 ? 0 : 1;
        table[address].present = 0;
        const int position = PositionOf(address);
        if (walkState_ == NOTHING_LEFT) {
            // The walk had nothing left: it starts again with the address that came free.
            index_ = position;
            pollByte_ = 0x20;
            walkState_ = BETWEEN_PASSES;
            factor_ = 0;
            passes_ = 0;
            SetCurrentPort(port);
        }
        if (ports_[port].savedState == NOTHING_LEFT) {
            ports_[port].savedState = BETWEEN_PASSES;
            ports_[port].savedIndex = position;
        }
        return 0;
    }
    case SNIFF_DEVICE_PRESENT: {
        if (!data || length < 3 || data[2] > 0x7F) return 0;
        if (AddressRow* table = TableOfPort(data[1])) table[data[2]].present = 1;
        return 0;
    }
    case SNIFF_RESCAN:
        rescan_ = 1;
        return 0;
    case SNIFF_POLL_BYTE:
        if (data && length >= 1) data[0] = pollByte_;
        return 0;
    default:
        return PDEV::TellPhys(sender, code, data, length);
    }
}

// ---------------------------------------------------------------------------------------
// The bus at the borrowed address.

int Sniffer::ProcessInput(const unsigned char* record, int len) {
    if (id_.device == 0) {
        clErrorLog(1608, 306, 0, kTag, this, sizeof(Sniffer), record, record ? blockLen(len) : 0);
        return 306;
    }
    PDEV* device = nullptr;
    int rc = CreateNewDevice(device);
    if (rc == 0 && device) {
        DeviceLock lock(device);
        device->ProcessInput(record, len);
    }
    return rc;
}

int Sniffer::ProcessError(const unsigned char* data, int len) {
    if (data && len == 1 && data[0] == 0x13) ++ownTimeouts_;
    return SIODEVICE::ProcessError(data, len);
}

int Sniffer::CreateNewDevice(PDEV*& out) {
    out = nullptr;
    int count = 0;
    GetOrder(count);
    if (index_ < 0 || index_ >= count || !curTable_) return 321;
    pollByte_ = 0x20;
    passes_ = 0;

    const DeviceID at = id_;
    Slot* slot = pcomd ? pcomd->GetSlot(at.slot) : nullptr;
    PDEV* device = nullptr;
    int rc = slot ? slot->MakePhysical(at, kUnidentified, device) : 326;
    if (rc == 0 && device) {
        rc = device->Init();
        if (rc == 0) {
            // The sniffer holds the same id until it moves on: out of the way for the call.
            id_.device = 0;
            rc = slot->LinkinPhysical(device);
            if (rc != 0) {
                clErrorLog(1612, static_cast<uint32_t>(rc), 0, kTag, this, sizeof(Sniffer), device,
                           sizeof(PDEV));
                releaseAdapter(device);
            } else {
                rc = device->Open(nullptr);
                if (rc != 0) device->Term();
            }
            id_.device = at.device;
        }
    } else if (rc == 0) {
        rc = 321;
    }
    if (rc != 0) {
        LogCreationFailure(at, rc);
        delete device;
        device = nullptr;
    } else {
        curTable_[at.device & 0x7F].present = 1;
        if (auto* link = dynamic_cast<SIODEVICE*>(device)) {
            link->TakeOverLink(*this);
            link->SetStatusBits(PDEV_PRESENT);
        }
        out = device;
    }
    GoToNextAddr(chTime());
    return rc;
}

// An address whose device cannot be made (its plug-in is missing, say) answers again at
// every round of the walk: the first failure is logged in full, later ones only counted.
void Sniffer::LogCreationFailure(const DeviceID& at, int rc) {
    const int port = at.port == 0x22 ? 1 : 0;
    int heldBack = 0;
    if (!ports_[port].creationLog[at.device & 0x7F].Due(chTime(), heldBack)) return;
    if (heldBack == 0)
        clErrorLog(1602, static_cast<uint32_t>(rc),
                   uint32_t(at.slot) << 24 | uint32_t(at.port) << 16 | uint32_t(at.device) << 8, kTag,
                   this, sizeof(Sniffer));
    else
        aprintf("RS-485 slot %d port 0x%02x address 0x%02x: the device still cannot be created "
                "(rc %d), %d more failures since the last report\n",
                at.slot, at.port, at.device, rc, heldBack + 1);
}

// ---------------------------------------------------------------------------------------
// Link handlers: the sniffer never runs a link of its own, so each of these is unexpected.

int Sniffer::CommandResetInProgress() {
    clErrorLog(1601, 321, 0, kTag, this, sizeof(Sniffer));
    return 0;
}

int Sniffer::LastAckLost(const unsigned char* /*data*/, int /*n*/) {
    SendAck();
    clErrorLog(1603, 321, 0, kTag, this, sizeof(Sniffer));
    return 0;
}

int Sniffer::LastMsgAcked() {
    clErrorLog(1604, 321, 0, kTag, this, sizeof(Sniffer));
    return 0;
}

int Sniffer::LastMsgLost(const unsigned char* /*data*/, int /*n*/) {
    clErrorLog(1605, 321, 0, kTag, this, sizeof(Sniffer));
    return 0;
}

int Sniffer::NewMsgRcvd(const unsigned char* data, int n) {
    clErrorLog(1606, 321, 0, kTag, this, sizeof(Sniffer), data, data ? blockLen(n) : 0);
    return 0;
}

int Sniffer::PowerOnResetInProgress() {
    SetStatusBits(SIODEV_AWAITING_REPLY);
    clErrorLog(1607, 321, 0, kTag, this, sizeof(Sniffer));
    return 0;
}

int Sniffer::ResetComplete() {
    clErrorLog(1609, 321, 0, kTag, this, sizeof(Sniffer));
    return 0;
}

int Sniffer::SendAnyPendingMessage() {
    clErrorLog(1610, 321, 0, kTag, this, sizeof(Sniffer));
    return 321;
}

int Sniffer::SequenceResetInProgress(const unsigned char* data, int n) {
    clErrorLog(1611, 321, 0, kTag, this, sizeof(Sniffer), data, data ? blockLen(n) : 0);
    return 0;
}
