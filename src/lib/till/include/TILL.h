// A client's cash drawer: drawer 1 (device number 0x54) or drawer 2 (0x83) of the unit. It
// opens the drawer with its pulse width and reports the drawer's status; the unit posts
// the opened and closed events to the holder.
#pragma once

#include <cstdint>

#include "VDEV.h"
#include "tilldefs.h"

class TILL : public VDEV {
public:
    TILL(const DeviceID& id, int handle);
    ~TILL() override;

    // Loads "pulseWidth", opens, and refuses a width outside 5..1048 ms with 5401 (closed
    // again).
    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    // "pulseWidth" is checked before anything is applied.
    int SetValues(PosArg* args, int count) override;
    // "pulseWidth" and "tillStatus", then the common values.
    int GetValues(PosArg* args, int count) override;
    // POS_TILL_OPEN_TILL; other requests go to VDEV.
    int IOCtl(int request, PosArg* args, int count, int& out) override;

    int32_t PulseWidth() const { return pulseWidth_; }
    bool IsDrawer1() const { return id_.device == TILL_DRAWER1_ADDRESS; }

protected:
    static bool ValidPulseWidth(intptr_t ms) {
        return ms >= TILL_PULSE_WIDTH_MIN && ms <= TILL_PULSE_WIDTH_MAX;
    }

    int32_t pulseWidth_ = TILL_PULSE_WIDTH_DEFAULT; // milliseconds
};
