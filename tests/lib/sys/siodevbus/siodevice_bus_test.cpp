// The link device on the simulated bus: the system object builds slot 1 with its adapter
// manager over the in-process driver node, a link device class registered at 0x35 talks
// to a scripted station there, and a client process receives the online and offline
// events. The core runs in lockstep with the settable clock.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "COMD.h"
#include "ObjectSupport.h"
#include "Process.h"
#include "SIODEVICE.h"
#include "ServiceConnection.h"
#include "SioFakes.h"
#include "SocketBuffer.h"
#include "TempRoot.h"
#include "busengine.h"
#include "ovkhost.h"
#include "scriptedmodel.h"

using namespace siotest;

namespace {

using Bytes = std::vector<unsigned char>;

constexpr unsigned short kBusDeviceType = 20950;
constexpr uint8_t kSlot = 1;
constexpr uint8_t kPort = 0x11;
constexpr uint8_t kAddress = 0x35;
constexpr uint32_t kDeviceWord = uint32_t(kSlot) << 24 | uint32_t(kPort) << 16 |
                                 uint32_t(kAddress) << 8 | 3; // device type 3

// A link device class as the families write them: one message outstanding, nothing sent
// while a link reset is under way, a lost message goes again, an answer that brings no
// message of ours is acknowledged, and the reset's completion confirms the device.
class BusDevice : public SIODEVICE {
public:
    explicit BusDevice(const DeviceID& id) : SIODEVICE(id, "BUSDEV") { deviceType_ = 3; }

    int CommandResetInProgress() override { return Busy(); }
    int LastAckLost(const unsigned char*, int) override { return 0; }
    int LastMsgAcked() override {
        outstanding.clear();
        return 0;
    }
    int LastMsgLost(const unsigned char*, int) override {
        if (!outstanding.empty()) pending.push_front(outstanding);
        outstanding.clear();
        return 0;
    }
    int NewMsgRcvd(const unsigned char* data, int n) override {
        received.emplace_back(data, data + n);
        if (SendNext() == -1) SendAck();
        return 0;
    }
    int PowerOnResetInProgress() override {
        outstanding.clear();
        return Busy();
    }
    int ResetComplete() override {
        ClearStatusBits(SIODEV_AWAITING_REPLY);
        NowConfirmed();
        return 0;
    }
    int SendAnyPendingMessage() override { return SendNext(); }
    int SequenceResetInProgress(const unsigned char*, int) override { return Busy(); }

    std::deque<Bytes> pending;
    Bytes outstanding;
    std::vector<Bytes> received;

private:
    int Busy() {
        SetStatusBits(SIODEV_AWAITING_REPLY);
        return 0;
    }
    int SendNext() {
        if (pending.empty() || !outstanding.empty() || TestStatusBits(SIODEV_AWAITING_REPLY))
            return -1;
        int rc = SendMsg(pending.front().data(), static_cast<int>(pending.front().size()));
        if (rc == 0) {
            outstanding = pending.front();
            pending.pop_front();
        }
        return rc;
    }
};

PDEV* _CreateBusDevice(const DeviceID& id) { return new BusDevice(id); }

const unsigned char kBusDeviceAddresses[] = {kAddress};
ObjectSupport objectBusDevice(kBusDeviceType, _CreateBusDevice, kBusDeviceAddresses, 1);
// Slot 1 of the standard terminal has adapter type 5, built by factory 3800.
ObjectSupport objectTestAdapter3800(3800, _CreateTestAdapter);

// The client end of a process's connection: reads the 20-byte event messages.
class EventReader {
public:
    struct Event {
        uint32_t type, handle, msg, p1, p2;
    };

    EventReader() {
        int fds[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        client_ = fds[1];
        sb_ = new sockbuf(fds[0]);
        connection_ = new Connection(sb_);
    }
    ~EventReader() {
        delete connection_;
        delete sb_;
        ::close(client_);
    }
    EventReader(const EventReader&) = delete;
    EventReader& operator=(const EventReader&) = delete;

    ServiceConnection* connection() { return connection_; }

    // The system events (online, offline) sent so far.
    std::vector<Event> drain() {
        std::vector<Event> out;
        for (;;) {
            std::array<uint8_t, 20> raw;
            size_t got = 0;
            while (got < raw.size()) {
                pollfd p{client_, POLLIN, 0};
                if (::poll(&p, 1, got ? 1000 : 0) <= 0) break;
                ssize_t n = ::read(client_, raw.data() + got, raw.size() - got);
                if (n <= 0) break;
                got += static_cast<size_t>(n);
            }
            if (got < raw.size()) return out;
            Event e;
            std::memcpy(&e, raw.data(), sizeof e);
            if (e.msg == POSM_SYS_DEVICE_ONLINE || e.msg == POSM_SYS_DEVICE_OFFLINE) out.push_back(e);
        }
    }

private:
    struct Connection : ServiceConnection {
        explicit Connection(sockbuf* sb) : ServiceConnection(sb) {}
        int handleInput(Selector*) override { return 0; }
    };
    int client_ = -1;
    sockbuf* sb_ = nullptr;
    ServiceConnection* connection_ = nullptr;
};

const unsigned char* u(const char* s) { return reinterpret_cast<const unsigned char*>(s); }

class SioDeviceBusTest : public ::testing::Test {
protected:
    void SetUp() override {
        ovkhost::useManualClock(true);
        ovkhost::setClock(5000);
        ovkhost::clearCaptures();
        ResetLoadedFlagsForTest();
        markAdapterRowsLoaded();
        root_.write("/etc/shop.res", "! none\n");

        auto model = std::make_unique<bussim::ScriptedModel>();
        model_ = model.get();
        ASSERT_NE(engine_.attach(kSlot, kPort, kAddress, std::move(model)), nullptr);
        chSetDevNodeBackend(&engine_);
        comd_ = std::make_unique<COMD>();
        slot_ = pcomd->GetSlot(kSlot);
        ASSERT_NE(slot_, nullptr);
        ASSERT_NE(dynamic_cast<SIOAM*>(slot_->GetAdapter()), nullptr);
        ASSERT_NE(useTestSniffer(slot_), nullptr);

        // The device class registered at 0x35, made through its factory and linked in as
        // the slot does it for a device found on the bus.
        PDEV* made = nullptr;
        ASSERT_EQ(ObjectSupport::MakePhysicalObject(kBusDeviceType, DeviceID(kSlot, kPort, kAddress), made), 0);
        dev_ = dynamic_cast<BusDevice*>(made);
        ASSERT_NE(dev_, nullptr);
        ASSERT_EQ(dev_->Init(), 0);
        ASSERT_EQ(slot_->LinkinPhysical(dev_), 0);
        ASSERT_EQ(dev_->Open(nullptr), 0);

        process_ = std::make_unique<Process>(4711, 32, "Process");
        unsigned char ranges[32] = {};
        process_->InitializeEnvironment(ranges, 437, 0, 0, 0x1000);
        ASSERT_EQ(process_->DLL_PosInitialize(events_.connection(), u("shop"), u("/etc/shop.res"),
                                              nullptr, 0), 0);
        ASSERT_EQ(comd_->AddProcess(process_.get()), 0);
    }
    void TearDown() override {
        if (comd_ && process_) comd_->RemoveProcess(process_->GetProcessId());
        process_.reset();
        comd_.reset();
        chSetDevNodeBackend(nullptr);
        ovkhost::useManualClock(false);
        ResetLoadedFlagsForTest();
    }

    void cycle(int ms = kStep) {
        ovkhost::advanceClock(ms);
        slot_->ServiceAdapter(0);
    }
    // Cycles until cond holds; false when it does not within limitMs of settable time.
    template <class Cond>
    bool runFor(int limitMs, Cond cond) {
        for (int t = 0; t <= limitMs; t += kStep) {
            if (cond()) return true;
            cycle();
        }
        return cond();
    }
    bool online() const { return dev_->TestStatusBits(PDEV_ONLINE); }
    void expectNoLinkFaults() {
        for (uint32_t id = 901; id <= 920; ++id) EXPECT_FALSE(ovkhost::errorLogged(id)) << id;
    }

    static constexpr int kStep = 20;

    TempRoot root_;
    bussim::BusEngine engine_;
    bussim::ScriptedModel* model_ = nullptr;
    std::unique_ptr<COMD> comd_;
    Slot* slot_ = nullptr;
    BusDevice* dev_ = nullptr; // owned by the slot
    EventReader events_;
    std::unique_ptr<Process> process_;
};

TEST_F(SioDeviceBusTest, DeviceComesOnlineAndExchangesMessages) {
    ASSERT_TRUE(runFor(3000, [&] { return online(); }));
    EXPECT_EQ(dev_->GetLinkState(), SIODEVICE::IDLE);
    EXPECT_TRUE(dev_->TestStatusBits(PDEV_PRESENT));
    auto got = events_.drain();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].msg, POSM_SYS_DEVICE_ONLINE);
    EXPECT_EQ(got[0].p1, kDeviceWord);
    EXPECT_EQ(got[0].p2, 0u);

    // Nine requests, each answered with its own reply: N(S) and N(R) wrap on both sides.
    for (int i = 0; i < 9; ++i) {
        const Bytes request = {'Q', static_cast<unsigned char>('0' + i)};
        model_->on(request, {'A', static_cast<unsigned char>('0' + i)});
        dev_->pending.push_back(request);
    }
    ASSERT_TRUE(runFor(5000, [&] { return dev_->received.size() == 9 && dev_->outstanding.empty(); }));
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(dev_->received[i], (Bytes{'A', static_cast<unsigned char>('0' + i)})) << i;
    ASSERT_EQ(model_->received().size(), 9u);
    EXPECT_EQ(model_->received()[8], (Bytes{'Q', '8'}));
    EXPECT_EQ(dev_->GetSendSequence(), 1);
    EXPECT_EQ(dev_->GetReceiveSequence(), 1);
    EXPECT_TRUE(runFor(200, [&] { return dev_->GetLinkState() == SIODEVICE::IDLE; }));
    EXPECT_EQ(dev_->GetLastMessageLostCounts(), 0);
    EXPECT_EQ(dev_->GetLastAckLostCounts(), 0);
    expectNoLinkFaults();
    EXPECT_TRUE(events_.drain().empty());
}

TEST_F(SioDeviceBusTest, StationTakenAwayGoesOfflineAndComesBackOnline) {
    ASSERT_TRUE(runFor(3000, [&] { return online(); }));
    ASSERT_EQ(events_.drain().size(), 1u);
    // Settle: nothing more to send, the device idles on the bus.
    ASSERT_TRUE(runFor(500, [&] { return dev_->GetLinkState() == SIODEVICE::IDLE; }));

    ASSERT_TRUE(engine_.takeAway(kSlot, kPort, kAddress));
    const int32_t lastSend = dev_->GetLastSendTime();

    // Poll time-outs; 5 s after the last send the link is reset with SNRM, 10 s more
    // without NSA make a power-on reset: the device goes offline.
    ASSERT_TRUE(runFor(20000, [&] { return dev_->GetLinkState() == SIODEVICE::WAITNSA; }));
    const int32_t snrmAt = chTime();
    EXPECT_GE(chTimeDiff(snrmAt, lastSend), 5000);
    EXPECT_LE(chTimeDiff(snrmAt, lastSend), 5000 + 2 * kStep);
    EXPECT_GT(dev_->GetPollTimeoutCount(), 4);
    EXPECT_TRUE(online());
    EXPECT_TRUE(events_.drain().empty());

    ASSERT_TRUE(runFor(20000, [&] { return !online(); }));
    const int32_t offlineAt = chTime();
    EXPECT_GE(chTimeDiff(offlineAt, snrmAt), 10000);
    EXPECT_LE(chTimeDiff(offlineAt, snrmAt), 10000 + 2 * kStep);
    EXPECT_FALSE(dev_->TestStatusBits(PDEV_PRESENT));
    EXPECT_EQ(dev_->GetPowerOnResetCounts(), 1);
    auto got = events_.drain();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].msg, POSM_SYS_DEVICE_OFFLINE);
    EXPECT_EQ(got[0].p1, kDeviceWord);

    // Still away: further power-on resets every 10 s, no more events.
    for (int i = 0; i < 20000 / kStep; ++i) cycle();
    EXPECT_FALSE(online());
    EXPECT_EQ(dev_->GetPowerOnResetCounts(), 3);
    EXPECT_TRUE(events_.drain().empty());

    // Plugged in again: the station asks to come online and the link comes up.
    ASSERT_TRUE(engine_.bringBack(kSlot, kPort, kAddress));
    ASSERT_TRUE(runFor(2000, [&] { return online(); }));
    EXPECT_EQ(dev_->GetLinkState(), SIODEVICE::IDLE);
    EXPECT_EQ(dev_->GetRequestOnlineCounts(), 2);
    got = events_.drain();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].msg, POSM_SYS_DEVICE_ONLINE);
    EXPECT_EQ(got[0].p1, kDeviceWord);

    // And it works again. A frame queued with the adapter manager shows as sent until the
    // buffer carries it out.
    model_->on({'Q'}, {'A'});
    dev_->pending.push_back({'Q'});
    const DeviceID id(kSlot, kPort, kAddress);
    EXPECT_EQ(dev_->PdevSentMsg(id), 0);
    ASSERT_EQ(dev_->SendAnyPendingMessage(), 0);
    EXPECT_EQ(dev_->PdevSentMsg(id), 1);
    EXPECT_EQ(dev_->PdevSentMsg(DeviceID(kSlot, kPort, 0x36)), 0);
    ASSERT_TRUE(runFor(1000, [&] { return dev_->received.size() == 1; }));
    EXPECT_EQ(dev_->received[0], Bytes{'A'});
    EXPECT_EQ(dev_->PdevSentMsg(id), 0);
}

} // namespace
