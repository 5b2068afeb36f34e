// Arbitrary device replies to the two NVRAMs on the bus, and arbitrary journals to the
// start-up of the journalled NVRAMs.
//
// Byte 0 chooses the target: 0 the small NVRAM, 1 the journalled bus NVRAM, 2 the adapter's
// NVRAM. For 0 and 1 the rest is a run of replies, each {slot the reply answers, length,
// bytes}; a reply to slot 1 or 2 of the journalled NVRAM is its start-up recovery. For 2
// the rest is {NVRAM size (4), journal offset (4), the bytes every adapter read returns}.
#include <cstdint>
#include <cstring>
#include <vector>

#include "../FuzzRoot.h"
#include "ADAPTER.h"
#include "NVCOPP.h"
#include "NVMMP.h"
#include "NVOCRP.h"
#include "ovkhost.h"

namespace {

uint32_t get32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// An adapter that takes every frame and serves NVRAM reads from the input.
struct FuzzAdapter : ADAPTER {
    FuzzAdapter() : ADAPTER(1, 5, "FuzzAdap") {}
    int CloseDD() override { return 0; }
    int OpenDD() override { return 0; }
    int Run(int, int) override { return 0; }
    int RequestBuffer() override { return 0; }
    int SendFrame(const unsigned char*, int) override { return 0; }
    int Suspend() override { return 0; }
    int Resume() override { return 0; }
    void GetLocalNvramInfo(NvramInfoStruct& info) override {
        info.driverValue[0] = size;
        info.driverValue[2] = journal;
        info.size = 1024;
    }
    int NvramRead(void* record, int length) override {
        if (length < 16) return 1;
        auto* r = static_cast<uint8_t*>(record);
        const size_t room = static_cast<size_t>(length) - 16;
        std::memset(r + 16, 0, room);
        std::memcpy(r + 16, memory.data(), memory.size() < room ? memory.size() : room);
        return 0;
    }
    int NvramWrite(void*, int) override { return 0; }
    uint32_t size = 0, journal = 0;
    std::vector<uint8_t> memory;
};

// A bus NVRAM on the fuzz adapter, as if its link were up and the device online.
template <class P>
struct OnBus : P {
    explicit OnBus(ADAPTER* a) : P(DeviceID(1, 0x11, 0x51)) {
        this->adapter_ = a;
        this->SetStatusBits(PDEV_PRESENT | PDEV_ONLINE);
        this->wanted_ = 1024;
    }
    ~OnBus() override { this->adapter_ = nullptr; }
    // The next reply answers `slot`, for which a client waits.
    void Arm(int slot) {
        this->lastSent_ = slot;
        this->awaitedSlot_ = slot;
        this->done_ = 0;
        this->SetPending(slot);
    }
};

struct NvramDevice : NVMMP {
    explicit NvramDevice(ADAPTER* a) : NVMMP(DeviceID(1, 0x11, 0x85)) { adapter_ = a; }
    ~NvramDevice() override { adapter_ = nullptr; }
};

template <class P>
void replies(const uint8_t* data, size_t size) {
    FuzzAdapter adapter;
    OnBus<P> device(&adapter);
    size_t at = 0;
    while (at + 2 <= size) {
        const int slot = data[at] % 11;
        const size_t n = data[at + 1];
        at += 2;
        if (n > size - at) break;
        device.Arm(slot);
        const std::vector<uint8_t> reply(data + at, data + at + n); // exactly n bytes
        device.NewMsgRcvd(reply.data(), static_cast<int>(reply.size()));
        at += n;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzroot::usePrivateRoot();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    switch (data[0] % 3) {
    case 0:
        replies<NVCOPP>(data + 1, size - 1);
        break;
    case 1:
        replies<NVOCRP>(data + 1, size - 1);
        break;
    default: {
        if (size < 9) return 0;
        FuzzAdapter adapter;
        adapter.size = get32(data + 1);
        adapter.journal = get32(data + 5);
        adapter.memory.assign(data + 9, data + size);
        NvramDevice device(&adapter);
        device.Recover();
        break;
    }
    }
    ovkhost::clearCaptures();
    return 0;
}
