// Arbitrary replies of an RS-232 port, taken by the port's physical device while a client's
// port holds it (received blocks go to its queue, which is read out after each reply).
//
// Input: a run of replies, each {state byte, length, bytes}; the state byte's bits 0-2 name
// the command the reply answers (0 status, 1 setup, 4 break, 5 transmit), bit 3 starts a
// transmit first, bits 4-7 move the settable clock in seconds.
#include <cstdint>
#include <vector>

#include "../FuzzRoot.h"
#include "ADAPTER.h"
#include "RS232CP.h"
#include "RS232CV.h"
#include "ovkhost.h"

namespace {

struct FuzzAdapter : ADAPTER {
    FuzzAdapter() : ADAPTER(1, 5, "FuzzAdap") {}
    int CloseDD() override { return 0; }
    int OpenDD() override { return 0; }
    int Run(int, int) override { return 0; }
    int RequestBuffer() override { return 0; }
    int SendFrame(const unsigned char*, int) override { return 0; }
    int Suspend() override { return 0; }
    int Resume() override { return 0; }
};

struct Port : RS232CP {
    explicit Port(ADAPTER* a) : RS232CP(DeviceID(1, 0x11, 0x64)) {
        adapter_ = a;
        SetStatusBits(PDEV_PRESENT | PDEV_ONLINE);
    }
    ~Port() override { adapter_ = nullptr; }
    void Answering(int slot) { lastSent_ = slot; }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzroot::usePrivateRoot();
    ovkhost::useManualClock(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzAdapter adapter;
    Port port(&adapter);
    RS232CV client(DeviceID(1, 0x11, 0x64), 1);
    if (port.Acquire(&client) != 0) return 0;
    size_t at = 0;
    while (at + 2 <= size) {
        const uint8_t state = data[at];
        const size_t n = data[at + 1];
        at += 2;
        if (n > size - at) break;
        if (state & 0x08) {
            unsigned char bytes[4] = {'f', 'u', 'z', 'z'};
            Rs232Record rec;
            rec.data = bytes;
            rec.field[1] = 4;
            port.TellPhys(&client, RS232_REQ_TRANSMIT, reinterpret_cast<unsigned char*>(&rec), sizeof rec);
        }
        ovkhost::advanceClock(static_cast<int32_t>(state >> 4) * 1000);
        port.Answering(state & 0x07);
        const std::vector<uint8_t> reply(data + at, data + at + n); // exactly n bytes
        port.NewMsgRcvd(reply.data(), static_cast<int>(reply.size()));
        port.SendAnyPendingMessage();
        unsigned char block[2048];
        int got = 0;
        client.Read(block, sizeof block, got);
        at += n;
    }
    port.Release(&client);
    int remaining = 0;
    client.Close(remaining);
    ovkhost::clearCaptures();
    return 0;
}
