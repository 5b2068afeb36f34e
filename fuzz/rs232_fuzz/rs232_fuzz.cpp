// Arbitrary replies of an RS-232 port and arbitrary requests of the client that holds it:
// the port's physical device takes the replies (received blocks go to the client's queue,
// which is read out after each reply) while the client writes, sends breaks, asks the
// status and changes its settings.
//
// Input: a run of records, each starting with a byte c.
//   c < 0x80: a reply {length, bytes}; bits 0-2 name the command it answers (0 status,
//     1 setup, 4 break, 5 transmit), bits 3-6 move the settable clock in seconds first.
//   c >= 0x80: a client request, by c % 8: 0 write {length, bytes}; 1 send a break;
//     2 get the values; 3 set the values {settings}; 4 set the creation values {settings};
//     5 a request straight to the port {request, settings}; 6 a link event {which};
//     7 release the port and acquire it again.
//   settings: {present (1 bit each: baud, stop bits, parity, data bits, time-out, line
//     mode), baud, stop bits, parity, data bits (one byte each, by table), time-out
//     characters (2), line mode (1)}.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "../FuzzClock.h"
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

// The client's port, attached to the physical port.
struct Client : RS232CV {
    explicit Client(PDEV* port) : RS232CV(DeviceID(1, 0x11, 0x64), 1) { pdev_ = port; }
    bool Hold() { return AcquirePhysical() == 0; }
    void Drop() {
        if (IsHolding()) ReleasePhysical();
    }
    void Detach() {
        Drop();
        pdev_ = nullptr;
    }
};

struct Input {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    size_t left() const { return size - at; }
    uint8_t byte() { return at < size ? data[at++] : 0; }
};

// Settings from the input: each value by table (so that the valid ones are found), the
// out-of-table ones included.
struct Settings {
    PosArg args[6];
    int count = 0;
    Rs232Record record;
};

Settings readSettings(Input& in) {
    static const int32_t kBauds[8] = {110, 300, 1200, 2400, 4800, 9600, 0, 9601};
    static const int32_t kStops[4] = {10, 15, 20, 12};
    const uint8_t present = in.byte();
    const int32_t baud = kBauds[in.byte() & 7];
    const int32_t stop = kStops[in.byte() & 3];
    const int32_t parity = static_cast<int8_t>(in.byte()) % 4;
    const int32_t data = in.byte() % 10;
    const uint8_t low = in.byte();
    const int32_t timeout = static_cast<int16_t>(low | in.byte() << 8);
    const int32_t lineMode = in.byte();
    Settings s;
    const struct {
        const char* name;
        int32_t value;
    } all[6] = {{"baudRate", baud},  {"stopBits", stop},   {"parity", parity},
                {"dataBits", data}, {"timeoutChar", timeout}, {"lineMode", lineMode}};
    for (int i = 0; i < 6; ++i) {
        if (present & (1u << i)) s.args[s.count++] = PosArg{all[i].name, all[i].value};
        s.record.field[4 + i] = all[i].value;
    }
    return s;
}

void clientRequest(uint8_t c, Input& in, Port& port, Client& client) {
    switch (c % 8) {
    case 0: {
        const size_t n = in.byte();
        const size_t have = n < in.left() ? n : in.left();
        std::unique_ptr<unsigned char[]> bytes(new unsigned char[n ? n : 1]());
        if (have) std::memcpy(bytes.get(), in.data + in.at, have);
        in.at += have;
        int written = 0;
        client.Write(bytes.get(), static_cast<unsigned>(n), written);
        break;
    }
    case 1: {
        int out = 0;
        client.IOCtl(POS_RS232_SEND_BREAK, nullptr, 0, out);
        break;
    }
    case 2: {
        PosArg args[] = {{"rs232Status", 0}, {"lineMode", 0}, {"baudRate", 0}, {"timeoutChar", 0}};
        client.GetValues(args, 4);
        break;
    }
    case 3: {
        Settings s = readSettings(in);
        client.SetValues(s.args, s.count);
        break;
    }
    case 4: {
        Settings s = readSettings(in);
        client.SetValuesCreation(s.args, s.count);
        break;
    }
    case 5: {
        const uint8_t request = in.byte();
        Settings s = readSettings(in);
        unsigned char bytes[16] = "fuzz fuzz fuzz";
        s.record.data = bytes;
        s.record.field[1] = request >> 4; // at most the 16 bytes
        port.TellPhys(&client, request & 7, reinterpret_cast<unsigned char*>(&s.record),
                      (request & 8) ? sizeof s.record - 1 : sizeof s.record);
        break;
    }
    case 6:
        switch (in.byte() % 6) {
        case 0: port.PowerOnResetInProgress(); break;
        case 1: port.LastMsgLost(nullptr, 0); break;
        case 2: port.ResetComplete(); break;
        case 3: port.CommandResetInProgress(); break;
        case 4: port.SequenceResetInProgress(nullptr, 0); break;
        default: port.LastAckLost(nullptr, 0); break;
        }
        break;
    default:
        client.Drop();
        client.Hold();
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzroot::usePrivateRoot();
    fuzzclock::useManual();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzclock::restart();
    FuzzAdapter adapter;
    Port port(&adapter);
    Client client(&port);
    if (!client.Hold()) return 0;
    Input in{data, size};
    while (in.left() > 0) {
        const uint8_t c = in.byte();
        if (c & 0x80) {
            clientRequest(c, in, port, client);
        } else {
            ovkhost::advanceClock(static_cast<int32_t>(c >> 3) * 1000);
            port.Answering(c & 0x07);
            const size_t n = in.byte();
            const size_t have = n < in.left() ? n : in.left();
            // Exactly the reply's bytes, so that a read past them is seen.
            const std::vector<uint8_t> reply(in.data + in.at, in.data + in.at + have);
            in.at += have;
            port.NewMsgRcvd(have ? reply.data() : nullptr, static_cast<int>(have));
        }
        port.SendAnyPendingMessage();
        unsigned char block[2048];
        int got = 0;
        client.Read(block, sizeof block, got);
    }
    client.Detach();
    int remaining = 0;
    client.Close(remaining);
    ovkhost::clearCaptures();
    return 0;
}
