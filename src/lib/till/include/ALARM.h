// A client's alarm (device number 0x84) of the cash-drawer unit: sounds and silences it
// and reports whether it is connected and sounding.
#pragma once

#include "VDEV.h"
#include "tilldefs.h"

class ALARM : public VDEV {
public:
    ALARM(const DeviceID& id, int handle);
    ~ALARM() override;

    // "alarmStatus", then the common values.
    int GetValues(PosArg* args, int count) override;
    // POS_ALARM_SILENCE_ALARM and POS_ALARM_SOUND_ALARM; other requests go to VDEV.
    int IOCtl(int request, PosArg* args, int count, int& out) override;
};
