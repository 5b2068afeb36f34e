// The virtual base of the touch screens: the settings record a model keeps goes down to
// the controller when the application acquires the device.
#pragma once

#include <cstdint>

#include "TCHRES.h"
#include "VDEV.h"
#include "tchdefs.h"

// Status-word bit of a touch virtual device: its settings passed their checks at Open.
enum : uint32_t { TCHV_SETTINGS_VALID = 0x10000 };

class TCHV : public VDEV {
public:
    TCHV(const DeviceID& id, int handle, const unsigned char* name);
    TCHV(const DeviceID& id, int handle, const char* name)
        : TCHV(id, handle, reinterpret_cast<const unsigned char*>(name)) {}
    ~TCHV() override;

    // Clears settings-valid, then VDEV::Open.
    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    // Releases (result ignored), then VDEV::Close.
    int Close(int& remaining) override;
    // VDEV::AcquirePhysical; on success the settings go down (setup request), whose
    // result is not returned.
    int AcquirePhysical() override;
    int ReleasePhysical() override;

    const TCHRES& Settings() const { return settings_; }
    bool SettingsValid() const { return TestStatusBits(TCHV_SETTINGS_VALID); }

protected:
    TCHRES settings_{};
};
