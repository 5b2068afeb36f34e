#include "Ps2Driver.h"

#include "Device.h"

#include <errno.h>
#include <fcntl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

namespace ps2 {
namespace {

std::mutex driverMutex;
int driverFd = -1;
std::atomic<int> type{'d'};

} // namespace

bool open() {
    std::lock_guard<std::mutex> lock(driverMutex);
    if (driverFd < 0) driverFd = posKbdOps().open(posKbdPath("/dev/ps2driver").c_str(), O_RDWR);
    type = driverFd >= 0 ? 'e' : 'd';
    return driverFd >= 0;
}

void close() {
    std::lock_guard<std::mutex> lock(driverMutex);
    if (driverFd >= 0) posKbdOps().close(driverFd);
    driverFd = -1;
}

bool isOpen() {
    std::lock_guard<std::mutex> lock(driverMutex);
    return driverFd >= 0;
}

int keyboardType() { return type; }

int send(unsigned long code, void* record) {
    int fd;
    {
        std::lock_guard<std::mutex> lock(driverMutex);
        fd = driverFd;
    }
    if (fd < 0) return kNotOpen;
    if (posKbdOps().ioctl(fd, code, record) < 0) return -errno;
    return 0;
}

void Poller::takeStatus(const DataRecord& record, Result& result) {
    if (record.completion != kDone) return;
    if (std::memcmp(record.data, previous_, sizeof previous_) == 0) return;
    std::memcpy(previous_, record.data, sizeof previous_);
    std::memcpy(result.status, previous_, sizeof previous_);
    result.statusChanged = true;
}

void Poller::takeMsr(const DataRecord& record, Result& result) {
    if (record.completion != kDone || record.length == 0) return;
    // The driver's length is not to be trusted beyond the record's data field.
    result.msrLength = std::min<size_t>(record.length, kDataSize);
    result.msrData = record.data;
}

Poller::Result Poller::poll() {
    Result result;
    std::memset(&status_, 0, sizeof status_);
    if (send(kStatus, &status_) == 0) takeStatus(status_, result);
    std::memset(&msr_, 0, sizeof msr_);
    if (send(kMsrData, &msr_) == 0) takeMsr(msr_, result);
    return result;
}

uint8_t posLightBits(const bool lights[7]) {
    static const uint8_t bits[7] = {0x01, 0x02, 0x04, 0x08, 0x20, 0x40, 0x10};
    uint8_t out = 0;
    for (int i = 0; i < 7; ++i)
        if (lights[i]) out |= bits[i];
    return out;
}

ToneResult toneRecord(bool on, bool timed, int duration, int frequency, int volume,
                      const ToneConstants& c, ByteRecord& record) {
    uint8_t flags;
    record.extra = 0;
    if (!on) {
        flags = 0x40;
    } else {
        if (timed) {
            flags = 0x00;
            record.extra = static_cast<uint8_t>(duration & 0xFF);
        } else {
            flags = 0x20;
        }
        if (frequency == c.f875) {
        } else if (frequency == c.f1300) {
            flags |= 0x08;
        } else if (frequency == c.f2000) {
            flags |= 0x10;
        } else {
            return ToneBadFrequency;
        }
        if (volume == c.low) {
            flags |= 0x04;
        } else if (volume != c.high) {
            return ToneBadVolume;
        }
    }
    record.value = flags;
    return ToneOk;
}

uint16_t trapBits(int keys, const TrapConstants& c) {
    const struct {
        int constant;
        uint16_t bits;
    } rows[] = {{c.ctrlAltDelete, 0x0001}, {c.ctrlEsc, 0x0002},     {c.altEsc, 0x0004},
                {c.altTab, 0x0008},        {c.altShiftTab, 0x0010}, {c.altHome, 0x0020},
                {c.numLock, 0x0040},       {c.capsLock, 0x0080},    {c.scrollLock, 0x0100},
                {c.posSpecific, 0x0200},   {c.hotKeys, 0x003E}};
    uint16_t out = 0;
    for (const auto& r : rows)
        if (r.constant & keys) out |= r.bits;
    if (c.all & keys) out = 0xFFFF;
    return out;
}

} // namespace ps2
