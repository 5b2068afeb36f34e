// Arbitrary device replies and client requests to the two NVRAMs on the bus, and arbitrary
// contents and client requests to the adapter's journalled NVRAM.
//
// Byte 0 chooses the target: 0 the small NVRAM, 1 the journalled bus NVRAM, 2 the adapter's
// NVRAM.
//
// For 0 and 1 the rest is a run of records. A record whose first byte is below 0xE0 is a
// device reply {slot it answers (byte % 11), length, bytes}; a reply to slot 1 or 2 of the
// journalled NVRAM is its start-up recovery. 0xE0-0xE7 is a client write {offset (2, signed),
// length (2), data}, 0xE8-0xEF a client read {offset (2, signed), length (2)}: while the
// client waits, the device sends its pending commands and the following reply records answer
// them in turn, each {ignored byte, length, bytes}, until the client's command is answered
// or a record that is no reply comes. 0xF0-0xFF is another request or link event (low four
// bits).
//
// For 2 the rest is {NVRAM size (4), journal offset (4), image length (2), image (the bytes
// found at the journal offset at start-up)} and a run of client requests, each a byte
// (bits 0-1: 0 write {offset (4), length (2), data}, 1 read {offset (4), length (2)},
// 2 describe or a malformed request, 3 the adapter fails its next transfers (bits 2-4)).
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "../FuzzRoot.h"
#include "ADAPTER.h"
#include "NVCOPP.h"
#include "NVMMP.h"
#include "NVOCRP.h"
#include "ovkhost.h"

namespace {

uint32_t get32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// A zeroed heap buffer of exactly n (at least 1) bytes, for a read.
std::unique_ptr<unsigned char[]> zeroed(size_t n) {
    return std::unique_ptr<unsigned char[]>(new unsigned char[n ? n : 1]());
}

// The rest of an input, read front to back.
struct Input {
    const uint8_t* data;
    size_t size;
    size_t at = 0;

    size_t left() const { return size - at; }
    bool take(size_t n, const uint8_t*& p) {
        if (left() < n) return false;
        p = data + at;
        at += n;
        return true;
    }
    // n bytes into a heap buffer of exactly n (at least 1) bytes, zero-filled past the input.
    std::unique_ptr<unsigned char[]> bytes(size_t n) {
        auto b = zeroed(n);
        const size_t have = n < left() ? n : left();
        if (have) std::memcpy(b.get(), data + at, have);
        at += have;
        return b;
    }
};

constexpr uint8_t kFirstRequest = 0xE0;

// An adapter that takes every frame and keeps an NVRAM image for its own NVRAM's reads and
// writes. Transfers outside the NVRAM fail; bytes beyond the image read as zeros.
struct FuzzAdapter : ADAPTER {
    static constexpr uint32_t kImage = 65536;

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
    // The record: {int32 0, slot, offset, length, data}.
    bool Transfer(void* record, int length, bool write) {
        if (failures > 0) {
            --failures;
            return false;
        }
        if (length < 16) return false;
        auto* r = static_cast<uint8_t*>(record);
        const uint32_t offset = get32(r + 8), n = get32(r + 12);
        if (n > static_cast<uint32_t>(length) - 16 || uint64_t(offset) + n > size) return false;
        for (uint32_t i = 0; i < n; ++i) {
            const uint64_t at = uint64_t(offset) + i;
            if (write) {
                if (at < memory.size()) memory[at] = r[16 + i];
            } else {
                r[16 + i] = at < memory.size() ? memory[at] : 0;
            }
        }
        return true;
    }
    int NvramRead(void* record, int length) override { return Transfer(record, length, false) ? 0 : 1; }
    int NvramWrite(void* record, int length) override { return Transfer(record, length, true) ? 0 : 1; }

    uint32_t size = 0, journal = 0;
    int failures = 0;
    std::vector<uint8_t> memory;
};

// A bus NVRAM on the fuzz adapter, as if its link were up and the device online. A client
// waiting for the device does not block: the device's replies come from the input then.
template <class P>
struct OnBus : P {
    explicit OnBus(ADAPTER* a, Input& in) : P(DeviceID(1, 0x11, 0x51)), in_(in) {
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
    // One reply record {ignored byte, length, bytes}: false at the end of the input.
    bool Reply() {
        const uint8_t* head;
        if (!in_.take(2, head)) return false;
        const size_t n = head[1] < in_.left() ? head[1] : in_.left();
        auto reply = in_.bytes(n); // exactly n bytes
        this->NewMsgRcvd(reply.get(), static_cast<int>(n));
        return true;
    }
    int NvramWait(int kind, int slot, int /*timeoutMs*/) override {
        if (kind != 1 && kind != 2) return 321;
        this->SetPending(slot);
        this->SendAnyPendingMessage();
        while (!this->done_ && in_.left() > 0 && in_.data[in_.at] < kFirstRequest) {
            if (!Reply()) break;
        }
        return 0; // an unanswered command gives 329
    }

private:
    Input& in_;
};

template <class P>
void request(OnBus<P>& device, int code, Input& in) {
    const uint8_t* head;
    if (!in.take(4, head)) return;
    NvramRequest rq;
    rq.offset = static_cast<int16_t>(get16(head));
    rq.length = get16(head + 2) % 1100;
    auto buffer = code == NVRAM_REQ_WRITE ? in.bytes(rq.length) : zeroed(rq.length);
    rq.buffer = buffer.get();
    device.TellPhys(nullptr, code, reinterpret_cast<unsigned char*>(&rq), sizeof rq);
}

template <class P>
void other(OnBus<P>& device, int which) {
    NvramRequest rq;
    unsigned char data[NVRAM_VPD_SIZE] = {};
    rq.buffer = data;
    rq.length = 8;
    auto* record = reinterpret_cast<unsigned char*>(&rq);
    switch (which) {
    case 10: device.TellPhys(nullptr, NVRAM_REQ_WRITE, record, sizeof rq - 1); break;
    case 11: device.PowerOnResetInProgress(); break;
    case 12: device.LastMsgLost(nullptr, 0); break;
    case 13: device.ResetComplete(); break;
    case 14: device.SendAnyPendingMessage(); break;
    case 15: device.CommandResetInProgress(); break;
    default: device.TellPhys(nullptr, which, which >= 4 && which <= 7 ? data : record,
                             which >= 4 && which <= 7 ? 3 : static_cast<int>(sizeof rq));
    }
}

template <class P>
void onBus(Input& in) {
    FuzzAdapter adapter;
    OnBus<P> device(&adapter, in);
    while (in.left() >= 1) {
        const uint8_t c = in.data[in.at++];
        if (c < kFirstRequest) {
            device.Arm(c % 11);
            --in.at;
            if (!device.Reply()) break;
        } else if (c < 0xE8) {
            request(device, NVRAM_REQ_WRITE, in);
        } else if (c < 0xF0) {
            request(device, NVRAM_REQ_READ, in);
        } else {
            other(device, c & 15);
        }
    }
}

struct NvramDevice : NVMMP {
    explicit NvramDevice(ADAPTER* a) : NVMMP(DeviceID(1, 0x11, 0x85)) { adapter_ = a; }
    ~NvramDevice() override { adapter_ = nullptr; }
};

void adapterNvram(Input& in) {
    const uint8_t* head;
    if (!in.take(10, head)) return;
    FuzzAdapter adapter;
    adapter.size = get32(head);
    adapter.journal = get32(head + 4);
    adapter.memory.assign(adapter.size < FuzzAdapter::kImage ? adapter.size : FuzzAdapter::kImage, 0);
    const size_t imageLength = get16(head + 8) < in.left() ? get16(head + 8) : in.left();
    for (size_t i = 0; i < imageLength; ++i) {
        const uint64_t at = uint64_t(adapter.journal) + i;
        if (at < adapter.memory.size()) adapter.memory[at] = in.data[in.at + i];
    }
    in.at += imageLength;
    NvramDevice device(&adapter);
    if (device.Recover() != 0) return;
    while (in.left() >= 1) {
        const uint8_t c = in.data[in.at++];
        NvramRequest rq;
        auto* record = reinterpret_cast<unsigned char*>(&rq);
        switch (c & 3) {
        case 0:
        case 1: {
            if (!in.take(6, head)) return;
            rq.offset = static_cast<int32_t>(get32(head));
            rq.length = get16(head + 4) % 1100;
            auto buffer = (c & 3) == 0 ? in.bytes(rq.length) : zeroed(rq.length);
            rq.buffer = buffer.get();
            device.TellPhys(nullptr, (c & 3) == 0 ? NVRAM_REQ_WRITE : NVRAM_REQ_READ, record, sizeof rq);
            break;
        }
        case 2:
            device.TellPhys(nullptr, (c >> 2) % 10, record, (c & 0x80) ? sizeof rq - 1 : sizeof rq);
            break;
        default:
            adapter.failures = (c >> 2) & 7;
            break;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzroot::usePrivateRoot();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    Input in{data + 1, size - 1};
    switch (data[0] % 3) {
    case 0: onBus<NVCOPP>(in); break;
    case 1: onBus<NVOCRP>(in); break;
    default: adapterNvram(in); break;
    }
    ovkhost::clearCaptures();
    return 0;
}
