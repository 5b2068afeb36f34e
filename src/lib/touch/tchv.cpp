// The virtual base of the touch screens.
#include "TCHV.h"

#include "PDEV.h"

TCHV::TCHV(const DeviceID& id, int handle, const unsigned char* name) : VDEV(id, handle, name) {}

TCHV::~TCHV() = default;

int TCHV::Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
               int count) {
    ClearStatusBits(TCHV_SETTINGS_VALID);
    return VDEV::Open(resourceName, className, args, count);
}

int TCHV::Close(int& remaining) {
    ReleasePhysical();
    return VDEV::Close(remaining);
}

int TCHV::AcquirePhysical() {
    const int rc = VDEV::AcquirePhysical();
    if (rc == 0 && pdev_)
        pdev_->TellPhys(this, TCH_REQ_SETUP, reinterpret_cast<unsigned char*>(&settings_),
                        sizeof settings_);
    return rc;
}

int TCHV::ReleasePhysical() { return VDEV::ReleasePhysical(); }
