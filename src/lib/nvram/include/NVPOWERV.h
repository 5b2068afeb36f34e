// A client's power device: switches the terminal off or on and sets the day and time at
// which it switches itself on (the power alarm, packed BCD: day << 24 | hour << 16 |
// minute << 8; day 0 means no alarm).
#pragma once

#include <cstdint>
#include <ctime>

#include "VDEV.h"
#include "nvramdefs.h"

class NVPOWERV : public VDEV {
public:
    NVPOWERV(const DeviceID& id, int handle);
    ~NVPOWERV() override;

    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    // POS_POWER_OFF, POS_POWER_ON, POS_POWER_SET_ALARM ("powerAlarm" argument, else the
    // resource); other requests go to VDEV.
    int IOCtl(int request, PosArg* args, int count, int& out) override;
    // "powerAlarm" as the device reports it, then the common values.
    int GetValues(PosArg* args, int count) override;

    // Checks a packed alarm against the calendar at `now` (local time) and gives the three
    // BCD bytes {hour, minute, day} for the device: 0 or 6401-6403.
    static int AlarmBytes(uint32_t alarm, std::time_t now, unsigned char bytes[3]);

protected:
    int32_t alarm_ = 0; // the "powerAlarm" resource
};

// The source of "now" for the alarm's calendar rule (null: the system clock). Tests fix it.
void NvramSetTimeSource(std::time_t (*source)());
