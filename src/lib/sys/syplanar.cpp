// The system-board adapter: no driver exchange, only the output step of the slot's devices.
#include "Planar.h"

#include <new>
#include <vector>

#include "ObjectSupport.h"
#include "PDEV.h"
#include "PlanarSniffer.h"
#include "Slot.h"
#include "sylocks.h"

namespace {

const char kTag[] = "@(#)syplanar.cpp";

constexpr unsigned short kPlanarType = 1400;

} // namespace

ADAPTER* _CreatePlanar(int slot, unsigned short adapterType) {
    return new (std::nothrow) Planar(slot, adapterType, "PLANAR");
}

ObjectSupport objectPlanar(kPlanarType, _CreatePlanar);

Planar::Planar(int slot, unsigned short adapterType, const unsigned char* name)
    : ADAPTER(slot, adapterType, name) {
    portCount_ = 1;
    validPorts_[0] = PORT_PLANAR;
}

Planar::~Planar() = default;

int Planar::CloseDD() { return 0; }
int Planar::OpenDD() { return 0; }
int Planar::RequestBuffer() { return 0; }
int Planar::SendFrame(const unsigned char* /*record*/, int /*length*/) { return 0; }
int Planar::Suspend() { return 0; }
int Planar::Resume() { return 0; }

int Planar::Run(int /*slot*/, int /*arg*/) {
    int result = 0;
    if (!started_) {
        started_ = 1;
        SlotLock guard(owner_);
        // The planar sniffer stands at the end of the list.
        PDEV* sniffer = nullptr;
        if (devices_) {
            std::vector<PDEV*> devices = ListElements(*devices_);
            for (auto it = devices.rbegin(); it != devices.rend() && !sniffer; ++it)
                if ((*it)->GetDeviceType() == PDEV_TYPE_SNIFFER) sniffer = *it;
        }
        if (sniffer) {
            DeviceLock lock(sniffer);
            result = sniffer->TellPhys(nullptr, PLANAR_MAKE_DEVICES, nullptr, 0);
        }
        pollListStale_ = 0;
    }
    if (devices_ && devices_->count > 0) ProcessOutput();
    return result;
}

void Planar::ProcessOutput() {
    if (!devices_) return;
    {
        SlotLock guard(owner_);
        std::vector<PDEV*> devices = ListElements(*devices_);
        for (size_t i = 0; i < devices.size(); ++i) {
            PDEV* device = devices[i];
            {
                DeviceLock lock(device);
                device->ProcessOutput(0);
            }
            if (pollListStale_ || devices_->count != static_cast<int>(devices.size()) ||
                ListElementAt(*devices_, static_cast<int>(i)) != device) {
                clErrorLog(1401, 321, static_cast<uint32_t>(i), kTag, this, sizeof(Planar));
                break;
            }
        }
    }
    if (pollListStale_) {
        DeleteAnyReadyPdevs();
        pollListStale_ = 0;
    }
}
