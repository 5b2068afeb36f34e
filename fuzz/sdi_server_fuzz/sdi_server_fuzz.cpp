// Arbitrary byte streams from a raw-access client, taken as both servers take them: the
// stream is cut into frames (16-bit length, text, end byte) and each text goes to the
// device server's and the query server's message handling. Behind the device server stands
// a link device without adapter, so that commands are queued and sent (and fail) for real;
// every fourth frame is also sent back as a device event. The servers do not listen: their
// one client is made up, and what they write goes nowhere.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "../FuzzRoot.h"
#include "SDIDEVICE.h"
#include "SIODEVICE.h"
#include "SdiMessages.h"
#include "SdiServer.h"
#include "ovkhost.h"

namespace {

class Link : public SIODEVICE {
public:
    explicit Link(const DeviceID& id) : SIODEVICE(id, "FUZZLINK") {
        deviceType_ = 6;
        SetStatusBits(PDEV_ONLINE);
    }
    int CommandResetInProgress() override { return 0; }
    int LastAckLost(const unsigned char*, int) override { return 0; }
    int LastMsgAcked() override { return 0; }
    int LastMsgLost(const unsigned char*, int) override { return 0; }
    int NewMsgRcvd(const unsigned char*, int) override { return 0; }
    int PowerOnResetInProgress() override { return 0; }
    int ResetComplete() override { return 0; }
    int SendAnyPendingMessage() override { return -1; }
    int SequenceResetInProgress(const unsigned char*, int) override { return 0; }
    void NowConfirmed() override { SetStatusBits(PDEV_ONLINE); }
    void NowNotConfirmed() override { ClearStatusBits(PDEV_ONLINE); }
};

constexpr int kClient = 2; // accept result: connection 1

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzroot::usePrivateRoot();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const DeviceID id(1, 0x11, 0x54);
    Link link(id);
    SDIDEVICE* proxy = new SDIDEVICE(id, reinterpret_cast<const unsigned char*>("FUZZ"), &link, 6, false);
    SdiVirtual* server = proxy->GetServer();
    SdiQuery query("JSIOQUERY", false);
    query.UpdateDeviceList(id, 4711);

    size_t at = 0;
    int frames = 0;
    while (size - at >= 2) {
        const size_t n = size_t(data[at]) << 8 | data[at + 1];
        if (n > static_cast<size_t>(sdi::kMaxText) || size - at - 2 < n) break; // the server ends the connection
        const char* text = reinterpret_cast<const char*>(data + at + 2);
        at += 2 + n + (size - at - 2 > n ? 1 : 0);
        if (server) {
            server->CreateClient(kClient); // again after a "<close>"
            server->ProcessClientMessage(1, text, static_cast<int>(n));
            if (++frames % 4 == 0)
                server->SendRs485Message('N', 0, 0, reinterpret_cast<const unsigned char*>(text),
                                         static_cast<int>(n), true, false);
            server->CheckForNonAcknowledgedMessage();
        }
        query.CreateClient(kClient);
        query.ProcessClientMessage(1, text, static_cast<int>(n));
        proxy->SendAnyPendingMessage();
        proxy->LastMsgAcked();
    }
    delete proxy;
    return 0;
}
