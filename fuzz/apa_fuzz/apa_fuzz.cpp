// Arbitrary replies of the graphic display to its physical device, and arbitrary writes of
// a client (bitmaps, text in the three display modes) to its virtual device, which hands
// its picture to the physical device after each one.
//
// Input: a run of steps, each {kind, x, y, length, bytes}. Kind bit 0 clear: a reply to
// the command of slot (kind >> 1) mod 14. Kind bit 0 set: a client write in display mode
// (kind >> 1) mod 3 with character size (kind >> 3) & 1 at pixel (4 x (int8) x,
// 4 x (int8) y).
#include <cstdint>
#include <vector>

#include "../FuzzClock.h"
#include "../FuzzRoot.h"
#include "ADAPTER.h"
#include "APA2.h"
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

struct Display : APA2P {
    explicit Display(ADAPTER* a) : APA2P(DeviceID(1, 0x11, 0x2A), "APA2P") {
        adapter_ = a;
        SetStatusBits(PDEV_PRESENT | PDEV_ONLINE);
    }
    ~Display() override { adapter_ = nullptr; }
    void Answering(int slot) { lastSent_ = slot; }
};

struct Client : APA2V {
    explicit Client(PDEV* p) : APA2V(DeviceID(1, 0x11, 0x2A), 1, "APA2V") {
        pdev_ = p;
        SetStatusBits(VDEV_HOLDING);
    }
    ~Client() override {
        ClearStatusBits(VDEV_HOLDING);
        pdev_ = nullptr;
    }
    void Layout(int mode, int charSize, int x, int y) {
        mode_ = mode;
        charSize_ = charSize;
        SetGlyphSize(mode, charSize);
        if (cursor_ >= cellCount_) cursor_ = 0; // as a change of size does
        pixelX_ = x;
        pixelY_ = y;
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzroot::usePrivateRoot();
    fuzzclock::useManual();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzclock::restart();
    FuzzAdapter adapter;
    Display display(&adapter);
    Client client(&display);
    if (display.Acquire(&client) != 0) return 0;
    size_t at = 0;
    while (at + 4 <= size) {
        const uint8_t kind = data[at];
        const int x = 4 * static_cast<int8_t>(data[at + 1]);
        const int y = 4 * static_cast<int8_t>(data[at + 2]);
        const size_t n = data[at + 3];
        at += 4;
        if (n > size - at) break;
        const std::vector<uint8_t> bytes(data + at, data + at + n); // exactly n bytes
        if (kind & 1) {
            client.Layout((kind >> 1) % 3, (kind >> 3) & 1, x, y);
            int written = 0;
            client.Write(bytes.data(), static_cast<unsigned>(bytes.size()), written);
        } else {
            display.Answering((kind >> 1) % APA2P::kSlots);
            display.NewMsgRcvd(bytes.data(), static_cast<int>(bytes.size()));
        }
        display.SendAnyPendingMessage();
        at += n;
    }
    display.Release(&client);
    ovkhost::clearCaptures();
    return 0;
}
