// The virtual reader: one swipe in four track slots, handed over by Read.
#include "MSV.h"

#include <cstring>

#include "ObjectSupport.h"
#include "PDEV.h"

namespace {

VDEV* makeMSV(const DeviceID& id, int handle) { return new MSV(id, handle); }
ObjectSupport objectMSV(MSV_TYPE_ID, makeMSV);

} // namespace

extern "C" VDEV* _CreateMSV(const DeviceID& id, int handle) { return new MSV(id, handle); }

MSV::MSV(const DeviceID& id, int handle, const unsigned char* name) : VDEV(id, handle, name) {
    clearData();
    SetStatusBits(MSV_LOCKED);
}

MSV::~MSV() = default;

void MSV::clearData() {
    for (int i = 0; i < MSR_TRACKS; ++i) {
        slots_[i].trackBit = 1 << i;
        slots_[i].error = 0;
        slots_[i].length = 0;
        std::memset(slots_[i].data, 0, sizeof slots_[i].data);
    }
}

int MSV::calculateDataLength() const {
    int total = 0;
    for (const MsrTrackSlot& s : slots_) {
        if (s.error)
            total += MSR_SLOT_HEADER;
        else if (s.length > 0)
            total += s.length + MSR_SLOT_HEADER;
    }
    return total;
}

int MSV::TellVirt(const PDEV*, int message, unsigned char*, int) {
    if (message != MSR_MSG_SWIPE || IsLocked()) return 0;
    LockPhysical();
    SetStatusBits(MSV_DATA_AVAILABLE);
    PostQueueMsg(MSR_DATA_AVAIL, 0, static_cast<unsigned long>(calculateDataLength()));
    return 0;
}

int MSV::LockPhysical() {
    if (!IsHolding()) return 315;
    const int rc = pdev_ ? pdev_->TellPhys(this, MSR_REQ_LOCK, nullptr, 0) : 321;
    if (rc == 0) SetStatusBits(MSV_LOCKED);
    return rc;
}

int MSV::UnlockPhysical() {
    if (!IsHolding()) return 315;
    const int rc = pdev_ ? pdev_->TellPhys(this, MSR_REQ_UNLOCK, nullptr, 0) : 321;
    if (rc == 0) {
        clearData();
        ClearStatusBits(MSV_LOCKED | MSV_DATA_AVAILABLE);
    }
    return rc;
}

int MSV::Read(void* buffer, unsigned int length, int& count) {
    count = 0;
    if (buffer && length > 0) std::memset(buffer, 0, length);
    if (!IsHolding()) return 315;
    if (!pdev_ || !pdev_->Confirmed(id_.device)) return POSERR_SYS_DEVICE_OFFLINE;
    if (!IsLocked()) return 0;
    if (!HasData()) return POSERR_SYS_LOCKED_NO_DATA_READ;
    const int total = calculateDataLength();
    if (!buffer || length < static_cast<unsigned int>(total)) return POSERR_SYS_BUFFER_TOO_SMALL;
    auto* out = static_cast<unsigned char*>(buffer);
    for (const MsrTrackSlot& s : slots_) {
        if (s.error) {
            MsrTrackSlot header = s;
            header.length = 0;
            std::memcpy(out, &header, MSR_SLOT_HEADER);
            out += MSR_SLOT_HEADER;
        } else if (s.length > 0) {
            std::memcpy(out, &s, MSR_SLOT_HEADER + static_cast<size_t>(s.length));
            out += MSR_SLOT_HEADER + s.length;
        }
    }
    count = total;
    clearData();
    ClearStatusBits(MSV_DATA_AVAILABLE);
    return 0;
}

int MSV::Close(int& remaining) {
    if (!IsLocked()) LockPhysical();
    clearData();
    return VDEV::Close(remaining);
}
