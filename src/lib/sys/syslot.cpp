// Slot: the lock, the adapter, the service step, the poll set, the sniffer notices and
// the start-up and shut-down of the slot.
#include "Slot.h"

#include <cstring>

#include "ADAPTER.h"
#include "ObjectSupport.h"
#include "PDEV.h"
#include "sylocks.h"
#include "sytables.h"
#include "syload.h"

namespace {
const char kTag[] = "@(#)syslot.cpp";
} // namespace

Slot::Slot(unsigned short adapterType, unsigned short slotNumber, const unsigned char* name)
    : STG(name), adapterType_(adapterType), slotNumber_(slotNumber) {
    for (unsigned address = 0; address < 128; ++address) {
        if (ObjectSupport::SIOAddresses[address].deviceType != 0) {
            ObjectSupport::MarkAddressValid(address);
            pollAddrs_.set(address);
        }
    }
}

Slot::~Slot() {
    if (devices_.count != 0) {
        clErrorLog(1001, 321, static_cast<uint32_t>(devices_.count), kTag, this, sizeof(Slot));
        ClosePhysicalDevices();
    }
    if (adapter_) {
        clErrorLog(1002, 321, 0, kTag, this, sizeof(Slot));
        adapter_->Term();
        delete adapter_;
        adapter_ = nullptr;
    }
    lock_.Close();
}

std::vector<PDEV*> Slot::ListedDevices() { return ListElements(devices_); }

PDEV* Slot::DeviceAt(int index) { return ListElementAt(devices_, index); }

// --- lock ----------------------------------------------------------------------------------

int Slot::LockSlot() {
    int rc = lock_.Acquire(15);
    if (rc != 0) {
        clErrorLog(1020, 301, static_cast<uint32_t>(rc), kTag, this, sizeof(Slot));
        return 301;
    }
    lockOwner_ = chGetThreadId();
    return 0;
}

int Slot::UnlockSlot() {
    int rc = lock_.Release();
    if (rc != 0) {
        clErrorLog(1028, 301, static_cast<uint32_t>(rc), kTag, this, sizeof(Slot));
        return 301;
    }
    return 0;
}

// --- start-up and shut-down ----------------------------------------------------------------

int Slot::Init() {
    if (lock_.Open() != 0) {
        clErrorLog(1006, 301, 0, kTag, this, sizeof(Slot));
        return 301;
    }
    SlotLock guard(this);
    return LinkinAdapter();
}

int Slot::MakeInitSniffer() { return 0; }

int Slot::Term() {
    SlotLock guard(this);
    ClosePhysicalDevices();
    return LinkoutAdapter();
}

int Slot::ServiceAdapter(int arg) {
    if (statusDisplay_ == 1) {
        DisplayDeviceStatus();
        statusDisplay_ = 0;
    }
    if (!adapter_) return 337;
    try {
        return adapter_->Run(slotNumber_, arg);
    } catch (...) {
        if (lock_.HeldByCaller()) UnlockSlot();
        return 0;
    }
}

int Slot::StopAdapter() {
    if (!adapter_) return 0;
    try {
        adapter_->StopRunning();
    } catch (...) {
        if (lock_.HeldByCaller()) UnlockSlot();
    }
    return 0;
}

int Slot::Suspend() {
    tprintf("--> Slot Suspend called\n");
    if (!adapter_) return 0;
    try {
        return adapter_->Suspend();
    } catch (...) {
        if (lock_.HeldByCaller()) UnlockSlot();
        return 0;
    }
}

int Slot::Resume() {
    tprintf("--> Slot Resume after standby called\n");
    if (!adapter_) return 0;
    try {
        return adapter_->Resume();
    } catch (...) {
        if (lock_.HeldByCaller()) UnlockSlot();
        return 0;
    }
}

// --- adapter -------------------------------------------------------------------------------

int Slot::FindAdapter(ADAPTER*& adapter) {
    adapter = adapter_;
    return adapter_ ? 0 : 327;
}

int Slot::MakeAdapter(ADAPTER*& out) {
    out = nullptr;
    AdapterInfoRow* row = FindAdapterInfo(adapterType_);
    int rc;
    if (!row) {
        rc = 327;
    } else {
        if (!row->loaded && chLoadLibrary(row->library) == 0) row->loaded = 1;
        if (!row->loaded) return 337;
        rc = ObjectSupport::MakeAdapterObject(row->factoryType, slotNumber_, adapterType_, out);
        if (rc == 0) {
            if (chCheckBuffer(out, sizeof(ADAPTER), CH_ACCESS_WRITE) == 0)
                aprintf("--> %s created\n", out->NameTag());
            return 0;
        }
    }
    clErrorLog(1021, 301, static_cast<uint32_t>(rc), kTag, this, sizeof(Slot));
    return 321;
}

int Slot::LinkinAdapter() {
    ADAPTER* adapter = nullptr;
    int rc = MakeAdapter(adapter);
    if (rc != 0) return rc;
    if (!adapter) return 321;
    if (chCheckBuffer(adapter, sizeof(ADAPTER), CH_ACCESS_WRITE) != 0) {
        clErrorLog(1008, 321, 0, kTag, this, sizeof(Slot));
        delete adapter;
        return 321;
    }
    adapter->AttachSlot(this);
    rc = adapter->Init();
    if (rc != 0) {
        clErrorLog(1009, 321, static_cast<uint32_t>(rc), kTag, this, sizeof(Slot));
        delete adapter;
        return 321;
    }
    if (adapter_) clErrorLog(1010, 321, 0, kTag, this, sizeof(Slot));
    adapter_ = adapter;
    return 0;
}

int Slot::LinkoutAdapter() {
    int rc = 0;
    if (adapter_ && chCheckBuffer(adapter_, sizeof(ADAPTER), CH_ACCESS_WRITE) == 0) rc = adapter_->Term();
    delete adapter_;
    adapter_ = nullptr;
    return rc;
}

// --- poll set and sniffer notices ------------------------------------------------------------

int Slot::SetValidPollAddrs(const BitVec256& set) {
    for (unsigned address = 0; address < 128; ++address)
        if (ObjectSupport::AddressValid(address)) pollAddrs_.set(address);
    BitVec256 copy = set;
    return NotifySniffers(1233, &copy, static_cast<int>(sizeof copy));
}

int Slot::GetValidPollAddrs(BitVec256& set) const {
    set = pollAddrs_;
    return 0;
}

int Slot::NotifySniffers(int code, void* data, int length) {
    devices_.end();
    for (int rc = devices_.bkwd(); rc == 0; rc = devices_.bkwd()) {
        PDEV* device = devices_.get();
        if (!device || device->GetDeviceType() != 0xFF) continue;
        int result = device->TellPhys(nullptr, code, static_cast<unsigned char*>(data), length);
        if (result != 0) {
            uint16_t n = static_cast<uint16_t>(data && length > 0 ? length : 0);
            clErrorLog(1026, 321, static_cast<uint32_t>(result), kTag, &slotNumber_,
                       sizeof slotNumber_, device, sizeof(PDEV), data, n, &code, sizeof code);
        }
        return result;
    }
    return 0;
}

int Slot::WhoIsOnline(const MsgQueueInfo& queue) {
    for (PDEV* device : ListElements(devices_))
        if (chCheckBuffer(device, sizeof(PDEV), CH_ACCESS_READ) == 0) device->TellQueueWhosOnline(&queue);
    return 0;
}

void Slot::DisplayDeviceStatus() {
    for (PDEV* device : ListElements(devices_)) {
        if (chCheckBuffer(device, sizeof(PDEV), CH_ACCESS_READ) != 0) continue;
        if (device->GetDeviceType() == 0xFF) continue;
        char name[9] = {};
        std::memcpy(name, device->NameTag() + 2, 8);
        const DeviceID& id = device->GetDeviceID();
        aprintf("%-8s (%02x.%02x.%02x) %7s %02x %6d %6d %6d %6d %6d %6d %6d\n", name, id.slot,
                id.port, id.device, device->Confirmed(id.device) ? "Online" : "Offline",
                device->GetECLevel(), device->GetLastMessageLostCounts(),
                device->GetLastAckLostCounts(), device->GetPollTimeoutCounts(),
                device->GetPowerOnResetCounts(), device->GetRequestOnlineCounts(),
                device->GetCommandRejectCounts(), device->GetUnknownMessageCounts());
    }
}

// --- sniffer -------------------------------------------------------------------------------

int Slot::MakeSniffer(unsigned short type) {
    if (snifferFlag_) return 0;
    const DeviceID id(static_cast<uint8_t>(slotNumber_), 0, 0xFE);
    PDEV* existing = nullptr;
    int rc = FindPhysical(id, existing);
    if (rc != 0) return rc;
    if (existing) {
        snifferFlag_ = 1;
        clErrorLog(1025, 0, 0, kTag, this, sizeof(Slot));
        return 0;
    }
    PDEV* sniffer = nullptr;
    rc = MakePhysical(id, type, sniffer);
    if (rc != 0) return rc;
    if (chCheckBuffer(sniffer, sizeof(PDEV), CH_ACCESS_WRITE) != 0) {
        clErrorLog(1023, 321, 0, kTag, this, sizeof(Slot));
        return 321;
    }
    rc = sniffer->Init();
    if (rc != 0) {
        clErrorLog(1024, 321, static_cast<uint32_t>(rc), kTag, this, sizeof(Slot));
        delete sniffer;
        return rc;
    }
    rc = LinkinPhysical(sniffer);
    if (rc != 0) {
        clErrorLog(1029, 321, static_cast<uint32_t>(rc), kTag, this, sizeof(Slot));
        sniffer->Term();
        delete sniffer;
        return rc;
    }
    snifferFlag_ = 1;
    return 0;
}

int Slot::TermSniffer() {
    if (!snifferFlag_) return 0;
    PDEV* sniffer = nullptr;
    int rc = FindPhysical(DeviceID(static_cast<uint8_t>(slotNumber_), 0, 0xFE), sniffer);
    if (rc == 0 && sniffer && chCheckBuffer(sniffer, sizeof(PDEV), CH_ACCESS_WRITE) == 0) {
        rc = sniffer->Term();
        delete sniffer;
    }
    snifferFlag_ = 0;
    return rc;
}
