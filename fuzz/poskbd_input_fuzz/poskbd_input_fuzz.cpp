// Any bytes as the keyboard natives' outside input: a stream of input events through the
// scan-code mapper; records of the keyboard driver (status, MSR data) through the driver
// loop's handling; or the keyboard driver itself answering the natives' requests.
//
// Byte 0: bit 7 clear: input events (bit 0 USB, bit 1 Num Lock on). Bits 7 and 6 set: the
// driver: a run of steps, each a byte (by value % 4: 0 one poll of status and MSR data,
// 1 one request {which}, 2 the driver closed, 3 the driver opened); every answer the driver
// gives takes a byte (bit 0: the request fails) and the record's bytes from the input. Bit 7
// alone: status and MSR records, each 1008 bytes.
#include "Ps2Driver.h"
#include "Sniffer.h"
#include "Device.h"

#include <errno.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// The driver's answers come from the input being run.
struct Answers {
    const uint8_t* data = nullptr;
    size_t size = 0;
} answers;

constexpr int kDriverFd = 77;

bool endsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

int fakeOpen(const char* path, int) {
    if (path && endsWith(path, "/dev/ps2driver")) return kDriverFd;
    errno = ENOENT;
    return -1;
}
int fakeClose(int) { return 0; }
ssize_t fakeRead(int, void*, size_t) { return 0; }
ssize_t fakeWrite(int, const void*, size_t n) { return static_cast<ssize_t>(n); }
int fakePoll(struct pollfd*, unsigned long, int) { return 0; }

int fakeIoctl(int fd, unsigned long request, void* arg) {
    if (fd != kDriverFd || answers.size == 0) {
        errno = EIO;
        return -1;
    }
    const uint8_t control = answers.data[0];
    ++answers.data;
    --answers.size;
    if (control & 1) {
        errno = EIO;
        return -1;
    }
    const size_t n = std::min<size_t>(_IOC_SIZE(request), answers.size);
    std::memcpy(arg, answers.data, n);
    answers.data += n;
    answers.size -= n;
    return 0;
}

const OvkDevOps kDriverOps = {fakeOpen, fakeClose, fakeRead, fakeWrite, fakeIoctl, fakePoll};

// One request of the natives, in a record big enough for any of them.
void request(uint8_t which) {
    static const unsigned long kCodes[] = {ps2::kPosLeds, ps2::kMsrData,   ps2::kStatus,
                                           ps2::kTone,    ps2::kClick,     ps2::kTypematic,
                                           ps2::kEnable,  ps2::kTracks,    ps2::kTrapKeys,
                                           ps2::kQuery,   ps2::kDoubleKeys, ps2::kCodeUpdate};
    static ps2::CodeUpdateRecord record; // the largest record
    std::memset(&record, 0, sizeof record);
    const int rc = ps2::send(kCodes[which % (sizeof kCodes / sizeof kCodes[0])], &record);
    if (rc > 0) __builtin_trap();
}

void driver(const uint8_t* data, size_t size) {
    ovkPosKbdSetDevOps(&kDriverOps);
    answers = {};
    ps2::close();
    ps2::open();
    ps2::Poller poller;
    while (size > 0) {
        const uint8_t step = data[0];
        ++data;
        --size;
        uint8_t which = 0;
        if (step % 4 == 1 && size > 0) {
            which = data[0];
            ++data;
            --size;
        }
        answers = {data, size};
        switch (step % 4) {
        case 0: {
            const ps2::Poller::Result result = poller.poll();
            if (result.msrLength > ps2::kDataSize) __builtin_trap();
            volatile uint8_t sum = 0;
            for (size_t i = 0; i < result.msrLength; ++i) sum = sum + result.msrData[i];
            break;
        }
        case 1: request(which); break;
        case 2: ps2::close(); break;
        default: ps2::open(); break;
        }
        data = answers.data;
        size = answers.size;
    }
    answers = {};
    ps2::close();
    ovkPosKbdSetDevOps(nullptr);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;
    if ((mode & 0xC0) == 0xC0) {
        driver(data, size);
        return 0;
    }
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
