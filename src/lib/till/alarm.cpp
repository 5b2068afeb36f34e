// The client's alarm: sound, silence and status.
#include "ALARM.h"

#include <cstring>

#include "ObjectSupport.h"
#include "PDEV.h"
#include "ovkhost.h"

ALARM::ALARM(const DeviceID& id, int handle) : VDEV(id, handle, "ALARM") {}

ALARM::~ALARM() = default;

int ALARM::GetValues(PosArg* args, int count) {
    for (int i = 0; args && i < count; ++i) {
        PosArg& arg = args[i];
        if (!arg.name || std::strcmp(arg.name, "alarmStatus") != 0) continue;
        TillRequest rec{0, 0};
        if (pdev_) {
            int rc = pdev_->TellPhys(this, CDP_REQ_ALARM_STATUS,
                                     reinterpret_cast<unsigned char*>(&rec), sizeof rec);
            if (rc != 0) return rc;
        }
        arg.value = rec.result;
    }
    return VDEV::GetValues(args, count);
}

int ALARM::IOCtl(int request, PosArg* args, int count, int& out) {
    if (request != POS_ALARM_SILENCE_ALARM && request != POS_ALARM_SOUND_ALARM)
        return VDEV::IOCtl(request, args, count, out);
    out = 0;
    if (!IsHolding() || !pdev_) return 315;
    TillRequest rec{0, 0};
    return pdev_->TellPhys(this,
                           request == POS_ALARM_SOUND_ALARM ? CDP_REQ_SOUND_ALARM : CDP_REQ_SILENCE_ALARM,
                           reinterpret_cast<unsigned char*>(&rec), sizeof rec);
}

VDEV* _CreateALARM(const DeviceID& id, int handle) { return new ALARM(id, handle); }
ObjectSupport objectALARM(ALARM_TYPE_ID, _CreateALARM);
