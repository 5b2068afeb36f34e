#include "PDEV.h"

#include <cstring>

#include "ADAPTER.h"
#include "COMD.h"
#include "Slot.h"

namespace {

const char kTag[] = "@(#)sypdev.cpp";

uint32_t packDevice(const DeviceID& id, unsigned char address, unsigned char deviceType) {
    return uint32_t(id.slot) << 24 | uint32_t(id.port) << 16 | uint32_t(address) << 8 | deviceType;
}

Slot* slotOf(const DeviceID& id) { return pcomd ? pcomd->GetSlot(id.slot) : nullptr; }

} // namespace

PDEV::PDEV(const DeviceID& id, const unsigned char* name) : DEVICE(id, name) {}

PDEV::~PDEV() = default;

int PDEV::Init() {
    int rc = DEVICE::Init();
    if (rc != 0) return rc;
    ADAPTER* adapter = nullptr;
    Slot* slot = slotOf(id_);
    if (slot) slot->FindAdapter(adapter);
    if (!adapter) {
        DEVICE::Term();
        return 327;
    }
    rc = adapter->Open(this);
    if (rc != 0) {
        DEVICE::Term();
        return rc;
    }
    adapter_ = adapter;
    return 0;
}

int PDEV::Term() {
    int result = 0;
    Slot* slot = slotOf(id_);
    int unlink = slot ? slot->LinkoutPhysical(this) : 326;
    if (unlink != 0) {
        clErrorLog(605, 321, static_cast<uint32_t>(unlink), kTag, this, sizeof(PDEV));
        result = 321;
    } else {
        ClearStatusBits(PDEV_LINKED);
    }
    if (adapter_) {
        int remaining = 0;
        int rc = adapter_->Close(this, remaining);
        if (result == 0) result = rc;
    }
    int rc = DEVICE::Term();
    if (result == 0) result = rc;
    adapter_ = nullptr;
    return result;
}

int PDEV::Close(const VDEV* /*vdev*/, int& remaining) { return DEVICE::Close(remaining); }

bool PDEV::Confirmed(unsigned char /*address*/) const { return TestStatusBits(PDEV_ONLINE); }

int PDEV::GetVdevInfo(unsigned char address, unsigned char& deviceType, long& vdevType) const {
    if (address == id_.device) {
        deviceType = deviceType_;
        vdevType = vdevType_;
        return 0;
    }
    deviceType = 0;
    vdevType = 0;
    return 317;
}

int PDEV::Init(const char* /*name*/) { return 0; }

int PDEV::Init(const char* /*name*/, unsigned char /*value*/) { return 0; }

void PDEV::NowConfirmed() {
    if (TestStatusBits(PDEV_ONLINE)) return;
    SetStatusBits(PDEV_ONLINE);
    aprintf("--> %s (%x.%x.%x) online\n", nameTag_, id_.slot, id_.port, id_.device);
    PostOnlineMsg(nullptr, id_.device, deviceType_, deviceSubtype_);
}

void PDEV::NowNotConfirmed() {
    if (!TestStatusBits(PDEV_ONLINE)) return;
    ClearStatusBits(PDEV_ONLINE);
    aprintf("--> %s (%x.%x.%x) offline\n", nameTag_, id_.slot, id_.port, id_.device);
    PostOfflineMsg(nullptr, id_.device, deviceType_, deviceSubtype_);
}

int PDEV::Open(const VDEV* /*vdev*/) { return DEVICE::Open(); }

int PDEV::ProcessInput(const unsigned char* data, int length) {
    clErrorLog(604, 321, 0, kTag, this, sizeof(PDEV), data,
               static_cast<uint16_t>(data && length > 0 ? (length > 0xFFFF ? 0xFFFF : length) : 0));
    return 321;
}

int PDEV::ProcessError(const unsigned char* data, int length) {
    clErrorLog(603, 321, 0, kTag, this, sizeof(PDEV), data,
               static_cast<uint16_t>(data && length > 0 ? (length > 0xFFFF ? 0xFFFF : length) : 0));
    return 321;
}

void PDEV::ProcessOutput(long /*nowMs*/) {}

void PDEV::TellQueueWhosOnline(const MsgQueueInfo* queue) {
    if (Confirmed(id_.device)) PostOnlineMsg(queue, id_.device, deviceType_, deviceSubtype_);
}

int PDEV::TellPhys(const VDEV* /*sender*/, int request, unsigned char* data, int /*length*/) {
    if (request < 9992 || request > 9999) return 311;
    if (!data) return 321;
    int32_t word;
    switch (request) {
    case 9992:
        std::memcpy(&word, data, sizeof word);
        SetAckWaitTime(word);
        break;
    case 9993:
        word = static_cast<int32_t>(GetAckWaitTime());
        std::memcpy(data, &word, sizeof word);
        break;
    case 9994: SetECLevel(data[0]); break;
    case 9995: data[0] = GetECLevel(); break;
    case 9996: SetByteWaitTime(data[0]); break;
    case 9997: data[0] = GetByteWaitTime(); break;
    case 9998: SetAddressWaitTime(data[0]); break;
    case 9999: data[0] = GetAddressWaitTime(); break;
    }
    return 0;
}

int PDEV::Acquire(VDEV* vdev) {
    if (owner_ && owner_ != vdev) return 313;
    if (owner_ == vdev) return 314;
    owner_ = vdev;
    return 0;
}

int PDEV::Release(VDEV* vdev) {
    if (!owner_ || owner_ != vdev) return 315;
    owner_ = nullptr;
    return 0;
}

int PDEV::GetLastMessageLostCounts() { return 0; }
int PDEV::GetLastAckLostCounts() { return 0; }
int PDEV::GetPollTimeoutCounts() { return 0; }
int PDEV::GetPowerOnResetCounts() { return 0; }
int PDEV::GetRequestOnlineCounts() { return 0; }
int PDEV::GetCommandRejectCounts() { return 0; }
int PDEV::GetUnknownMessageCounts() { return 0; }
unsigned char PDEV::GetAddressWaitTime() { return 0; }
void PDEV::SetAddressWaitTime(unsigned char) {}
unsigned char PDEV::GetByteWaitTime() { return 0; }
void PDEV::SetByteWaitTime(unsigned char) {}
unsigned char PDEV::GetECLevel() { return 0; }
void PDEV::SetECLevel(unsigned char) {}
long PDEV::GetAckWaitTime() { return 0; }
void PDEV::SetAckWaitTime(long) {}
int PDEV::Resume() { return 0; }
int PDEV::Suspend() { return 0; }

void PDEV::PostOnlineMsg(const MsgQueueInfo* queue, unsigned char address,
                         unsigned char deviceType, unsigned char subtype) const {
    if (pcomd)
        pcomd->PostQueueMsg(queue, POSM_SYS_DEVICE_ONLINE, packDevice(id_, address, deviceType),
                            subtype);
}

void PDEV::PostOfflineMsg(const MsgQueueInfo* queue, unsigned char address,
                          unsigned char deviceType, unsigned char subtype) const {
    if (pcomd)
        pcomd->PostQueueMsg(queue, POSM_SYS_DEVICE_OFFLINE, packDevice(id_, address, deviceType),
                            subtype);
}

void PDEV::ForceOffline() {
    ClearStatusBits(PDEV_PRESENT);
    NowNotConfirmed();
}
