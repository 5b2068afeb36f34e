// SioSlot: the start-up and shut-down of an RS-485 slot (adapter, sniffer, the adapter's
// own NVRAM device, opening the devices).
#include "SioSlot.h"

#include "ADAPTER.h"
#include "PDEV.h"

namespace {
const char kTag[] = "@(#)syslotsio.cpp";

constexpr unsigned short kSnifferType = 1600;
constexpr uint8_t kNvramAddress = 0x85;
} // namespace

SioSlot::SioSlot(unsigned short adapterType, unsigned short slotNumber, const unsigned char* name)
    : Slot(adapterType, slotNumber, name) {}

SioSlot::~SioSlot() = default;

int SioSlot::Init() {
    Slot::Init();
    if (!adapter_) return 321;
    int rc = MakeInitSniffer();
    if (rc == 0) {
        MakeLocalNvram();
        rc = OpenPhysicalDevices();
        if (rc == 0) return 0;
    }
    ClosePhysicalDevices();
    TermLocalNvram();
    TermSniffer();
    return rc;
}

int SioSlot::MakeInitSniffer() { return MakeSniffer(kSnifferType); }

int SioSlot::Term() {
    ClosePhysicalDevices();
    int nvram = TermLocalNvram();
    int sniffer = TermSniffer();
    int slot = Slot::Term();
    if (slot != 0) return slot;
    if (nvram != 0) return nvram;
    return sniffer;
}

int SioSlot::MakeLocalNvram() {
    if (localNvram_) return 0;
    if (!adapter_) return 0;
    NvramInfoStruct info;
    info.deviceClass = -1;
    adapter_->GetLocalNvramInfo(info);
    if (info.deviceClass == -1) return 0;
    const DeviceID id(static_cast<uint8_t>(slotNumber_), info.port, kNvramAddress);
    PDEV* device = nullptr;
    int rc = FindPhysical(id, device);
    if (rc != 0 || device) {
        localNvram_ = 1;
        clErrorLog(1103, static_cast<uint32_t>(rc), 0, kTag, this, sizeof(SioSlot));
        return rc;
    }
    rc = MakePhysical(id, info.deviceClass, device);
    if (rc != 0) return rc;
    if (chCheckBuffer(device, sizeof(PDEV), CH_ACCESS_WRITE) != 0) {
        clErrorLog(1101, 321, 0, kTag, this, sizeof(SioSlot));
        return 321;
    }
    rc = device->Init();
    if (rc != 0) {
        clErrorLog(1102, static_cast<uint32_t>(rc), 0, kTag, this, sizeof(SioSlot));
        delete device;
        return rc;
    }
    rc = LinkinPhysical(device);
    if (rc != 0) {
        clErrorLog(1104, static_cast<uint32_t>(rc), 0, kTag, this, sizeof(SioSlot));
        device->Term();
        delete device;
        return rc;
    }
    localNvram_ = 1;
    nvramClass_ = info.deviceClass;
    nvramPort_ = info.port;
    return 0;
}

int SioSlot::TermLocalNvram() {
    int rc = 0;
    if (localNvram_ && nvramClass_ != -1) {
        PDEV* device = nullptr;
        rc = FindPhysical(DeviceID(static_cast<uint8_t>(slotNumber_), nvramPort_, kNvramAddress), device);
        if (rc == 0 && device && chCheckBuffer(device, sizeof(PDEV), CH_ACCESS_WRITE) == 0) {
            rc = device->Term();
            delete device;
        }
    }
    localNvram_ = 0;
    return rc;
}
