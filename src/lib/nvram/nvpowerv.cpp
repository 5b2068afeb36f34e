// The client's power device: power off, power on and the power alarm.
#include "NVPOWERV.h"

#include <cstring>

#include "ObjectSupport.h"
#include "PDEV.h"
#include "ovkhost.h"

namespace {

std::time_t (*g_timeSource)() = nullptr;

std::time_t now() { return g_timeSource ? g_timeSource() : std::time(nullptr); }

// A BCD byte as a number; -1 when a digit is not decimal.
int fromBcd(unsigned b) {
    if ((b >> 4) > 9 || (b & 15) > 9) return -1;
    return static_cast<int>((b >> 4) * 10 + (b & 15));
}

bool named(const PosArg& arg, const char* name) { return arg.name && std::strcmp(arg.name, name) == 0; }

// The alarm's day, hour and minute in month `monthOffset` from now's; false when the day
// does not exist in that month.
bool place(const std::tm& base, int monthOffset, int day, int hour, int minute, std::time_t& at) {
    std::tm t{};
    t.tm_year = base.tm_year;
    t.tm_mon = base.tm_mon + monthOffset;
    t.tm_year += t.tm_mon / 12;
    t.tm_mon %= 12;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_isdst = -1;
    const int month = t.tm_mon;
    at = std::mktime(&t);
    return at != static_cast<std::time_t>(-1) && t.tm_mday == day && t.tm_mon == month;
}

} // namespace

void NvramSetTimeSource(std::time_t (*source)()) { g_timeSource = source; }

NVPOWERV::NVPOWERV(const DeviceID& id, int handle) : VDEV(id, handle, "NVPOWERV") {}

NVPOWERV::~NVPOWERV() = default;

int NVPOWERV::AlarmBytes(uint32_t alarm, std::time_t at, unsigned char bytes[3]) {
    const unsigned dayByte = alarm >> 24 & 0xFF, hourByte = alarm >> 16 & 0xFF, minuteByte = alarm >> 8 & 0xFF;
    const int day = fromBcd(dayByte), hour = fromBcd(hourByte), minute = fromBcd(minuteByte);
    if (day == 0) {
        bytes[0] = bytes[1] = bytes[2] = 0;
        return 0;
    }
    if (hour < 0 || hour > 23) return POSERR_POWER_INVALID_HOUR;
    if (minute < 0 || minute > 59) return POSERR_POWER_INVALID_MINUTES;
    if (day < 1 || day > 31) return POSERR_POWER_INVALID_DAY;
    std::tm local{};
    if (!localtime_r(&at, &local)) return POSERR_POWER_INVALID_DAY;
    // This month, unless the alarm lies before now plus one minute: then next month.
    const long alarmMinutes = day * 1440L + hour * 60L + minute;
    const long soonest = local.tm_mday * 1440L + local.tm_hour * 60L + local.tm_min + 1;
    std::time_t when = 0;
    if (!place(local, alarmMinutes < soonest ? 1 : 0, day, hour, minute, when))
        return POSERR_POWER_INVALID_DAY;
    bytes[0] = static_cast<unsigned char>(hourByte);
    bytes[1] = static_cast<unsigned char>(minuteByte);
    bytes[2] = static_cast<unsigned char>(dayByte);
    return 0;
}

int NVPOWERV::Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
                   int count) {
    static const unsigned char kNone[] = "";
    int32_t alarm = 0;
    const posResources table[] = {
        {"powerAlarm", "PowerAlarm", POSRES_INTEGER, &alarm, 0, nullptr, 0},
    };
    const int rc = LoadResources(resourceName ? resourceName : kNone, className ? className : kNone, table, 1);
    if (rc != 0) return rc;
    alarm_ = alarm;
    return VDEV::Open(resourceName, className, args, count);
}

int NVPOWERV::IOCtl(int request, PosArg* args, int count, int& out) {
    if (request != POS_POWER_OFF && request != POS_POWER_ON && request != POS_POWER_SET_ALARM)
        return VDEV::IOCtl(request, args, count, out);
    out = 0;
    if (!IsHolding() || !pdev_) return 315;
    unsigned char bytes[3] = {};
    if (request != POS_POWER_SET_ALARM)
        return pdev_->TellPhys(this, request == POS_POWER_OFF ? NVRAM_REQ_POWER_OFF : NVRAM_REQ_POWER_ON,
                               bytes, sizeof bytes);
    uint32_t alarm = static_cast<uint32_t>(alarm_);
    for (int i = 0; args && i < count; ++i)
        if (named(args[i], "powerAlarm")) alarm = static_cast<uint32_t>(args[i].value);
    const int rc = AlarmBytes(alarm, now(), bytes);
    if (rc != 0) return rc;
    return pdev_->TellPhys(this, NVRAM_REQ_SET_ALARM, bytes, sizeof bytes);
}

int NVPOWERV::GetValues(PosArg* args, int count) {
    for (int i = 0; args && i < count; ++i) {
        if (!named(args[i], "powerAlarm")) continue;
        unsigned char bytes[3] = {};
        if (!pdev_) return 321;
        const int rc = pdev_->TellPhys(this, NVRAM_REQ_GET_ALARM, bytes, sizeof bytes);
        if (rc != 0) return rc;
        args[i].value = static_cast<intptr_t>(uint32_t(bytes[2]) << 24 | uint32_t(bytes[0]) << 16 |
                                              uint32_t(bytes[1]) << 8);
    }
    return VDEV::GetValues(args, count);
}

VDEV* _CreateNVPOWERV(const DeviceID& id, int handle) { return new NVPOWERV(id, handle); }
ObjectSupport objectNVPOWERV(NVPOWERV_TYPE_ID, _CreateNVPOWERV);
