// The touch settings record: what a virtual touch device keeps of its resources and what
// travels to the physical device with the setup and tone requests (52 bytes).
#pragma once

#include <cstdint>

struct TCHRES {
    int32_t toneFreq;         // 1 low, 2 medium, 3 high
    int32_t toneVolume;       // 1 low, 3 high
    int32_t toneDuration;     // 0 off, 1 continuous, 2-255 timed
    int32_t backLightOnEvent; // 0/1
    int32_t mode;             // bit 0 tracking, bit 1 enter, bit 2 exit
    int32_t entryClick;       // 0/1
    int32_t exitClick;        // 0/1
    int32_t clickVolume;      // 1 low, 3 high
    int32_t contrast;         // 0-63; -1: the controller's own
    int32_t screenSaverTime;  // 0 off, 1 on, else the backlight time
    int32_t maxX;             // coordinate range the controller reports
    int32_t maxY;
    int32_t brightness;       // 0-7; -1: the controller's own
};
static_assert(sizeof(TCHRES) == 52, "the settings record is 52 bytes");

// Number of fields, in the order above (the resources of the virtual device follow it).
enum { TCHRES_FIELDS = 13 };
