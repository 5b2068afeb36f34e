// Any bytes as the keyboard natives' outside input: a stream of input events through the
// scan-code mapper, and records of the keyboard driver (status, MSR data) through the
// driver loop's handling.
#include "Ps2Driver.h"
#include "Sniffer.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;
    if (mode & 0x80) {
        ps2::Poller poller;
        while (size > 0) {
            ps2::DataRecord record{};
            size_t n = std::min(size, sizeof record);
            std::memcpy(&record, data, n);
            data += n;
            size -= n;
            ps2::Poller::Result result;
            poller.takeStatus(record, result);
            poller.takeMsr(record, result);
            if (result.msrLength > ps2::kDataSize) __builtin_trap();
            volatile uint8_t sum = 0;
            for (size_t i = 0; i < result.msrLength; ++i) sum = sum + result.msrData[i];
        }
        return 0;
    }
    const bool usb = mode & 0x01;
    const bool numLock = mode & 0x02;
    KeyMapper mapper([numLock] { return numLock; });
    uint8_t out[kSnifferBytes];
    for (; size >= sizeof(input_event); data += sizeof(input_event), size -= sizeof(input_event)) {
        input_event ev;
        std::memcpy(&ev, data, sizeof ev);
        bool cut = false;
        size_t n = snifferBytes(ev, usb, mapper, out, cut);
        if (n > kSnifferBytes) __builtin_trap();
    }
    return 0;
}
