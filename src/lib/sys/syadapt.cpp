// Adapter base: open count, devices waiting for deletion, valid ports and docked state.
#include "ADAPTER.h"

#include "COMD.h"
#include "PDEV.h"
#include "Slot.h"

namespace {
const char kTag[] = "@(#)syadapt.cpp";
} // namespace

ADAPTER::ADAPTER(int slot, unsigned short adapterType, const unsigned char* name)
    : STG(name), adapterType_(adapterType), slot_(slot) {
    if (Slot* owner = pcomd ? pcomd->GetSlot(slot) : nullptr) AttachSlot(owner);
}

void ADAPTER::AttachSlot(Slot* slot) {
    owner_ = slot;
    devices_ = slot ? slot->GetDeviceList() : nullptr;
}

ADAPTER::~ADAPTER() {
    if (openCount_ != 0)
        clErrorLog(101, 321, static_cast<uint32_t>(openCount_), kTag, this, sizeof(ADAPTER));
}

int ADAPTER::Close(const PDEV* /*device*/, int& remaining) {
    remaining = 0;
    if (openCount_ > 0) remaining = --openCount_;
    return 0;
}

void ADAPTER::DeleteAnyReadyPdevs() {
    for (;;) {
        if (deleteList_.start() != 0) break;
        PDEV* device = deleteList_.linkout();
        if (!device) break;
        int remaining = 0;
        device->Close(nullptr, remaining);
        device->Term();
        delete device;
    }
}

void ADAPTER::GetLocalNvramInfo(NvramInfoStruct& /*info*/) {}

const unsigned char* ADAPTER::GetValidPorts() const { return validPorts_; }

int ADAPTER::Init() { return 0; }

int ADAPTER::NvramRead(void* /*record*/, int /*length*/) { return 321; }

int ADAPTER::NvramWrite(void* /*record*/, int /*length*/) { return 321; }

int ADAPTER::PowerRequest(void* /*record*/, int /*length*/) { return 321; }

int ADAPTER::Open(const PDEV* /*device*/) {
    ++openCount_;
    return 0;
}

int ADAPTER::PdevReadyToBeDeleted(const PDEV* device) {
    deleteList_.end();
    if (deleteList_.linkin(const_cast<PDEV*>(device)) != 0) {
        clErrorLog(102, 305, 0, kTag, this, sizeof(ADAPTER), &device, sizeof device);
        return 305;
    }
    return 0;
}

void ADAPTER::StopRunning() { running_ = 0; }

int ADAPTER::Term() { return 0; }

int ADAPTER::ValidatePort(int port) {
    int n = portCount_ < kValidPorts ? portCount_ : kValidPorts;
    for (int i = 0; i < n; ++i)
        if (validPorts_[i] == port) return 0;
    return 328;
}

int ADAPTER::CloseDD() {
    clErrorLog(103, 321, 0, kTag, this, sizeof(ADAPTER));
    return 321;
}

int ADAPTER::OpenDD() {
    clErrorLog(104, 321, 0, kTag, this, sizeof(ADAPTER));
    return 321;
}

int ADAPTER::RequestBuffer() {
    clErrorLog(105, 321, 0, kTag, this, sizeof(ADAPTER));
    return 321;
}

int ADAPTER::SendFrame(const unsigned char* record, int length) {
    uint16_t n = static_cast<uint16_t>(record && length > 0 ? (length > 0xFFFF ? 0xFFFF : length) : 0);
    clErrorLog(106, 321, 0, kTag, this, sizeof(ADAPTER), record, n);
    return 321;
}

void ADAPTER::AddNotDockedAddress(unsigned char address) {
    if (notDockedCount_ < kNotDockedMax) notDocked_[notDockedCount_++] = address;
}

void ADAPTER::SetDockedState() { docked_ = 1; }

void ADAPTER::ResetDockedState() {
    docked_ = 0;
    notDockedCount_ = 0;
}

int ADAPTER::GetDockedState() { return docked_; }

bool ADAPTER::IsNotDockedAddress(unsigned char address) const {
    for (int i = 0; i < notDockedCount_ && i < kNotDockedMax; ++i)
        if (notDocked_[i] == address) return true;
    return false;
}
