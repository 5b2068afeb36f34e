// Raw access in process: a link device on a recording adapter, its proxy with a real device
// server and the query server on loopback ports of a private root, and raw clients over TCP.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ADAPTER.h"
#include "COMD.h"
#include "SDIDEVICE.h"
#include "SIODEVICE.h"
#include "SdiClient.h"
#include "SdiMessages.h"
#include "SdiServer.h"
#include "StubSlot.h"
#include "TempRoot.h"
#include "ovkhost.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Records the information frames it is asked to send.
class Wire : public ADAPTER {
public:
    Wire() : ADAPTER(1, 5, "SDIWIRE") {}
    int CloseDD() override { return 0; }
    int OpenDD() override { return 0; }
    int Run(int, int) override { return 0; }
    int Suspend() override { return 0; }
    int Resume() override { return 0; }
    int RequestBuffer() override {
        ++turns;
        return 0;
    }
    void SetOwner(Slot* slot) { owner_ = slot; }
    int SendFrame(const unsigned char* record, int length) override {
        if (length < 9) return 321;
        if ((record[6] & 0x11) == 0) sent.emplace_back(record + 7, record + length - 2);
        if ((record[6] & 0x1F) == 0x01) ++acks;
        return sendResult;
    }
    std::vector<Bytes> sent;
    int turns = 0;
    int acks = 0;
    int sendResult = 0;
};

// A link device whose own handlers only count.
class Link : public SIODEVICE {
public:
    Link(const DeviceID& id, ADAPTER* wire) : SIODEVICE(id, "RAWLINK") {
        adapter_ = wire;
        deviceType_ = 4;
    }
    int CommandResetInProgress() override { return ++own; }
    int LastAckLost(const unsigned char*, int) override { return ++own; }
    int LastMsgAcked() override { return ++own; }
    int LastMsgLost(const unsigned char*, int) override { return ++own; }
    int NewMsgRcvd(const unsigned char*, int) override { return ++own; }
    int PowerOnResetInProgress() override { return ++own; }
    int ResetComplete() override { return ++own; }
    int SendAnyPendingMessage() override { return -1; }
    int SequenceResetInProgress(const unsigned char*, int) override { return ++own; }
    void NowConfirmed() override {
        ++confirmed;
        SIODEVICE::NowConfirmed();
    }
    void NowNotConfirmed() override {
        ++notConfirmed;
        SIODEVICE::NowNotConfirmed();
    }
    void SetLink(LinkState state) { linkState_ = state; }
    // Counts the takings of the device lock, in a counter that outlives the device.
    int Lock() override {
        if (locks) ++*locks;
        return SIODEVICE::Lock();
    }
    // Counted on the server thread too (a leaving client closes the proxy there).
    std::atomic<int> own{0}, confirmed{0}, notConfirmed{0};
    std::atomic<int>* locks = nullptr;
};

// A slot with a real lock that tells each time a thread asks for it.
class GateSlot : public StubSlot {
public:
    GateSlot() : StubSlot(5, 1, "GATESLOT") { lock_.Open(); }
    int LockSlot() override {
        {
            std::lock_guard<std::mutex> g(mutex_);
            ++asked_;
        }
        changed_.notify_all();
        return Slot::LockSlot();
    }
    int UnlockSlot() override { return Slot::UnlockSlot(); }
    // Waits until the lock has been asked for `count` times in all.
    bool WaitForAsked(int count) {
        std::unique_lock<std::mutex> g(mutex_);
        return changed_.wait_for(g, std::chrono::seconds(20), [&] { return asked_ >= count; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int asked_ = 0;
};

// Waits (bounded) until the condition holds.
bool eventually(const std::function<bool()>& condition, int timeoutMs = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// The lock of a server's connection list, out of a test's reach otherwise.
struct ListLock : SdiServerBase {
    static mutexSem& of(SdiServerBase& server) { return server.*(&ListLock::lock_); }
};

class SdiServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ovkhost::clearCaptures();
        comd_ = std::make_unique<COMD>();
        link_ = std::make_unique<Link>(DeviceID(1, 0x11, 0x3C), &wire_);
        proxy_ = new SDIDEVICE(link_->GetDeviceID(), reinterpret_cast<const unsigned char*>("RAWLINK"),
                               link_.get(), 4);
        comd_->AddSdiDevice(proxy_);
        server_ = proxy_->GetServer();
        ASSERT_TRUE(eventually([&] { return server_->Listening(); }));
        port_ = server_->GetPort();
    }
    void TearDown() override {
        // The clients left as the test ended: the server thread closes the proxy for each,
        // under the slot's lock in the daemon. Here nothing else holds the device back, so
        // it goes only once that thread is done with it.
        eventually([&] { return !server_->ServerThreadRunning(); });
        link_.reset(); // the proxy is left detached, as when a device goes away
        comd_.reset();
    }

    // A client through version and open; the open answer is checked.
    void OpenClient(SdiClient& c, char mode = 'N') {
        ASSERT_TRUE(c.Connect(port_));
        const std::string answer = c.Open(mode);
        ASSERT_EQ(answer.compare(0, 9, "<open>OK "), 0) << answer;
    }
    // Runs a link handler as the polling thread does.
    template <class F>
    void Poll(F step) {
        step(*proxy_);
    }
    std::string Status(SdiClient& c) {
        c.Send("<status></status>");
        return c.ReceiveStarting("<status>");
    }
    SdiEvent NextEvent(SdiClient& c) {
        SdiEvent e;
        const std::string text = c.ReceiveStarting("<rs485>");
        EXPECT_TRUE(ParseSdiEvent(text, e)) << text.size();
        return e;
    }

    TempRoot root_;
    std::unique_ptr<COMD> comd_;
    Wire wire_;
    std::unique_ptr<Link> link_;
    SDIDEVICE* proxy_ = nullptr;
    SdiVirtual* server_ = nullptr;
    int port_ = 0;
};

TEST_F(SdiServerTest, ListensOnTheFirstDevicePortAndIsListed) {
    EXPECT_EQ(port_, root_.queryPort() + 1);
    SdiClient q;
    ASSERT_TRUE(q.Connect(root_.queryPort()));
    // Without the closing tag the list comes all the same.
    ASSERT_TRUE(q.Send("<query>"));
    // The update that announces the first server may still reach a client that connected
    // just after it started: the list is the reply to the query.
    std::string list;
    do {
        ASSERT_TRUE(q.Receive(list));
    } while (list.rfind("<update>", 0) == 0 && list.find("<deviceNumber>60</deviceNumber>") != std::string::npos);
    EXPECT_EQ(list, "<query><device><slotNumber>1</slotNumber><portNumber>17</portNumber>"
                    "<deviceNumber>60</deviceNumber><tcpPort>" + std::to_string(port_) +
                    "</tcpPort></device></query>");

    // The second server takes the next port; the query client is told.
    Link second(DeviceID(1, 0x22, 0x10), &wire_);
    SDIDEVICE* other = new SDIDEVICE(second.GetDeviceID(), reinterpret_cast<const unsigned char*>("SECOND"),
                                     &second, 9);
    comd_->AddSdiDevice(other);
    std::string update;
    do {
        ASSERT_TRUE(q.Receive(update));
    } while (update.find("<deviceNumber>60</deviceNumber>") != std::string::npos &&
             update.find("<deviceNumber>16</deviceNumber>") == std::string::npos);
    EXPECT_NE(update.find("<update><device><slotNumber>1</slotNumber>"), std::string::npos) << update;
    EXPECT_NE(update.find("<deviceNumber>16</deviceNumber><tcpPort>" +
                          std::to_string(root_.queryPort() + 2) + "</tcpPort></device></update>"),
              std::string::npos)
        << update;
    other->GetServer()->Stop();
}

TEST(SdiPorts, DeviceWhoseTenPortsAreTakenGetsNoServerAndNoEntry) {
    TempRoot root;
    std::vector<int> taken;
    for (int i = 1; i <= 10; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_ANY);
        addr.sin_port = htons(static_cast<uint16_t>(root.queryPort() + i));
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ::listen(fd, 1);
        taken.push_back(fd);
    }
    ovkhost::clearCaptures();
    {
        COMD comd;
        Wire wire;
        Link link(DeviceID(1, 0x11, 0x20), &wire);
        SDIDEVICE* proxy = new SDIDEVICE(link.GetDeviceID(), reinterpret_cast<const unsigned char*>("X"),
                                         &link, 2);
        comd.AddSdiDevice(proxy);
        ASSERT_TRUE(eventually([] { return ovkhost::errorLogged(2109); }));
        EXPECT_FALSE(proxy->GetServer()->Listening());
        ASSERT_NE(comd.GetSdiQuery(), nullptr);
        EXPECT_EQ(comd.GetSdiQuery()->DeviceCount(), 0);
        EXPECT_EQ(comd.GetSdiQuery()->DeviceList(), "");
        proxy->DetachDevice();
    }
    for (int fd : taken) ::close(fd);
}

TEST_F(SdiServerTest, AnswersBeforeOpenAndMalformedCommands) {
    SdiClient c;
    ASSERT_TRUE(c.Connect(port_));
    std::string version;
    ASSERT_TRUE(c.Receive(version));
    EXPECT_EQ(version, "<version>SCANNER(RAWLINK) 0.0.1.0</version>");
    // An open before the client's version and a status before the open: no answer.
    ASSERT_TRUE(c.Send("<open>M 0</open>"));
    ASSERT_TRUE(c.Send("<status></status>"));
    ASSERT_TRUE(c.Send("<version>tester 1.2.3 4 5</version>"));
    ASSERT_TRUE(c.Send("<open>N 0</open>"));
    std::string answer;
    ASSERT_TRUE(c.Receive(answer));
    EXPECT_EQ(answer.compare(0, 9, "<open>OK "), 0) << answer;

    struct Case {
        std::string text;
        std::string answer;
    } cases[] = {
        {"<rs485>\x57\x00\x00\x00\x00\x00\x07\x1e\x00\x00\x02\x00\x80", "<ack>FAIL 0000</ack>"},
        {std::string("<rs485>W\0\0\0\0</rs485>", 20), "<ack>FAIL 0000</ack>"},
        {"<rs485></rs485>", "<ack>FAIL 0000</ack>"},
    };
    for (const Case& k : cases) {
        ASSERT_TRUE(c.Send(k.text));
        EXPECT_EQ(c.ReceiveStarting("<ack>"), k.answer) << k.text.size();
    }
    // 2000 declared bytes: cut, refused with the message id, nothing queued.
    ASSERT_TRUE(c.SendCommand('W', 0, 77, Bytes(2000, 1)));
    EXPECT_EQ(c.ReceiveStarting("<ack>"), "<ack>FAIL 0077</ack>");
    // 'W' without data: refused (321), nothing queued.
    ASSERT_TRUE(c.SendCommand('W', 0, 78, {}));
    EXPECT_EQ(c.ReceiveStarting("<ack>"), "<ack>FAIL 0078</ack>");
    EXPECT_EQ(proxy_->GetQueue()->Count(0), 0);
    // An unknown letter: 311.
    ASSERT_TRUE(c.SendCommand('X', 0, 79, {1}));
    EXPECT_EQ(c.ReceiveStarting("<ack>"), "<ack>FAIL 0079</ack>");
    EXPECT_EQ(Status(c), "<status>OFFLINE 1.17.60 raw 1</status>");
}

TEST_F(SdiServerTest, CommandsGoOutInOrderAndEventsCarryThem) {
    link_->SetStatusBits(PDEV_ONLINE);
    link_->SetLink(SIODEVICE::IDLE);
    SdiClient c;
    OpenClient(c);
    EXPECT_EQ(link_->GetRoute(), 1);
    EXPECT_EQ(Status(c), "<status>ONLINE 1.17.60 raw 1</status>");

    ASSERT_TRUE(c.SendCommand('W', 0, 42, {0x00, 0x80}));
    EXPECT_EQ(c.ReceiveStarting("<ack>"), "<ack>OK 0042</ack>");
    EXPECT_GE(wire_.turns, 1);
    ASSERT_TRUE(c.SendCommand('W', 1, 43, {0x05}));
    EXPECT_EQ(c.ReceiveStarting("<ack>"), "<ack>OK 0043</ack>");
    // The priority command goes first, then (after its acknowledgement) the normal one.
    EXPECT_EQ(proxy_->SendAnyPendingMessage(), 0);
    ASSERT_EQ(wire_.sent.size(), 1u);
    EXPECT_EQ(wire_.sent[0], Bytes{0x05});
    EXPECT_EQ(proxy_->SendAnyPendingMessage(), -1); // awaiting the acknowledgement
    proxy_->LastMsgAcked();
    SdiEvent acked = NextEvent(c);
    EXPECT_EQ(acked.letter, 'A');
    EXPECT_EQ(acked.messageId, 43u);
    EXPECT_EQ(proxy_->SendAnyPendingMessage(), 0);
    EXPECT_EQ(wire_.sent.back(), (Bytes{0x00, 0x80}));

    // The device's answer: an "N" event with its data and no command.
    const Bytes answer = {0x81, 0x02};
    proxy_->NewMsgRcvd(answer.data(), 2);
    SdiEvent news = NextEvent(c);
    EXPECT_EQ(news.letter, 'N');
    EXPECT_EQ(news.messageId, 0u);
    EXPECT_EQ(news.data, answer);
    EXPECT_EQ(link_->own.load(), 0); // the device class heard nothing while routed
}

TEST_F(SdiServerTest, DiscardResetAndTheLostState) {
    link_->SetStatusBits(PDEV_ONLINE);
    link_->SetLink(SIODEVICE::IDLE);
    SdiClient c;
    OpenClient(c);
    for (uint32_t id : {1u, 2u}) {
        ASSERT_TRUE(c.SendCommand('W', 0, id, {static_cast<uint8_t>(id)}));
        ASSERT_FALSE(c.ReceiveStarting("<ack>OK").empty());
    }
    // 'D' with data: the queue is emptied, then the new command queued.
    ASSERT_TRUE(c.SendCommand('D', 0, 3, {0x33}));
    EXPECT_EQ(c.ReceiveStarting("<ack>"), "<ack>OK 0003</ack>");
    EXPECT_EQ(proxy_->GetQueue()->Count(0), 1);

    // Sent, then lost: the "L" event carries the command; the lost state holds back normal
    // commands, priority ones still go.
    ASSERT_EQ(proxy_->SendAnyPendingMessage(), 0);
    const char reason[] = "lost";
    proxy_->LastMsgLost(reinterpret_cast<const unsigned char*>(reason), 4);
    SdiEvent lost = NextEvent(c);
    EXPECT_EQ(lost.letter, 'L');
    EXPECT_EQ(lost.messageId, 3u);
    EXPECT_EQ(lost.data, Bytes{0x33});
    EXPECT_TRUE(proxy_->TestStatusBits(SDIDEV_MESSAGE_LOST));
    EXPECT_EQ(proxy_->SendAnyPendingMessage(), -1);
    ASSERT_TRUE(c.SendCommand('W', 1, 4, {0x44}));
    ASSERT_FALSE(c.ReceiveStarting("<ack>OK").empty());
    EXPECT_EQ(proxy_->SendAnyPendingMessage(), 0);
    EXPECT_EQ(wire_.sent.back(), Bytes{0x44});
    proxy_->LastMsgAcked();
    EXPECT_EQ(proxy_->SendAnyPendingMessage(), -1);
    // 'R' clears the state: the normal command goes again.
    ASSERT_TRUE(c.SendCommand('R', 0, 5, {}));
    EXPECT_EQ(c.ReceiveStarting("<ack>"), "<ack>OK 0005</ack>");
    EXPECT_EQ(proxy_->SendAnyPendingMessage(), 0);
    EXPECT_EQ(wire_.sent.back(), Bytes{0x33});

    // A crossed frame: retried without an "L" event.
    const size_t before = wire_.sent.size();
    proxy_->LastMsgLost(reinterpret_cast<const unsigned char*>("PassingInTheNight"), 17);
    EXPECT_FALSE(proxy_->TestStatusBits(SDIDEV_MESSAGE_LOST));
    EXPECT_EQ(proxy_->SendAnyPendingMessage(), 0);
    EXPECT_EQ(wire_.sent.size(), before + 1);
    EXPECT_EQ(wire_.sent.back(), Bytes{0x33});
    ASSERT_TRUE(c.Send("<status></status>"));
    std::string next;
    ASSERT_TRUE(c.Receive(next));
    EXPECT_EQ(next.compare(0, 8, "<status>"), 0); // no event came before the answer
}

TEST_F(SdiServerTest, EventsAreKeptUntilAcknowledgedAndMonitorsKeepNothing) {
    ovkhost::useManualClock(true);
    ovkhost::setClock(1000);
    SdiClient c, m;
    OpenClient(c);
    OpenClient(m, 'M');
    EXPECT_EQ(server_->MonitorCount(), 1);
    // The monitor sees the other client's request and the answer.
    ASSERT_TRUE(c.Send("<status></status>"));
    EXPECT_EQ(m.ReceiveStarting("<status>"), "<status></status>");
    EXPECT_EQ(m.ReceiveStarting("<status>"), "<status>OFFLINE 1.17.60 raw 2</status>");

    proxy_->ResetComplete();
    SdiEvent e = NextEvent(c);
    EXPECT_EQ(e.letter, 'C');
    EXPECT_EQ(NextEvent(m).serverId, e.serverId);
    SdiConnection* client = nullptr;
    SdiConnection* monitor = nullptr;
    ASSERT_EQ(server_->FindConnection(1, client) == 0 || server_->FindConnection(2, client) == 0, true);
    for (uint32_t id = 0; id < 12; ++id) {
        SdiConnection* k = nullptr;
        if (server_->FindConnection(id, k) != 0) continue;
        (k->IsMonitor() ? monitor : client) = k;
    }
    ASSERT_NE(client, nullptr);
    ASSERT_NE(monitor, nullptr);
    EXPECT_EQ(client->SentCount(), 1);
    EXPECT_EQ(monitor->SentCount(), 0);
    // Not acknowledged in time: sent once more with bit 15, then dropped.
    ovkhost::advanceClock(SDIMSG::kAckWaitMs);
    SdiEvent again = NextEvent(c);
    EXPECT_EQ(again.serverId, e.serverId);
    EXPECT_EQ(again.flags & SDIMSG_RETRANSMIT, SDIMSG_RETRANSMIT);
    ovkhost::advanceClock(SDIMSG::kAckWaitMs);
    EXPECT_TRUE(eventually([&] { return client->SentCount() == 0; }));
    // An acknowledged event leaves the list at once.
    proxy_->ResetComplete();
    SdiEvent second = NextEvent(c);
    ASSERT_TRUE(c.Send("<ack>OK " + std::to_string(second.serverId) + "</ack>"));
    EXPECT_TRUE(eventually([&] { return client->SentCount() == 0; }));
    // One more request after the last look at the connection: the server thread deletes it
    // (once c leaves) only after that look.
    EXPECT_EQ(Status(c).rfind("<status>", 0), 0u);
    ovkhost::useManualClock(false);
}

TEST_F(SdiServerTest, LeavingClientsCloseTheProxyOnceEach) {
    link_->SetStatusBits(PDEV_ONLINE);
    SdiClient a, b;
    OpenClient(a);
    // b connects but never opens; it leaves without "<close>".
    ASSERT_TRUE(b.Connect(port_));
    std::string version;
    ASSERT_TRUE(b.Receive(version));
    EXPECT_TRUE(eventually([&] { return server_->ConnectionCount() == 2; }));
    b.Close();
    EXPECT_TRUE(eventually([&] { return server_->ConnectionCount() == 1; }));
    // The server thread has done with b once it answers a.
    EXPECT_EQ(Status(a), "<status>ONLINE 1.17.60 raw 1</status>");
    EXPECT_EQ(proxy_->OpenCount(), 1);
    EXPECT_EQ(link_->GetRoute(), 1);

    // "<close>" with another client's number ends only the sender.
    SdiClient c;
    OpenClient(c);
    EXPECT_EQ(proxy_->OpenCount(), 2);
    ASSERT_TRUE(c.Send("<close>9</close>"));
    EXPECT_EQ(c.ReceiveStarting("<close>"), "<close>OK 9</close>");
    EXPECT_TRUE(c.ClosedByPeer());
    EXPECT_TRUE(eventually([&] { return server_->ConnectionCount() == 1; }));
    // The server thread has closed the proxy for c once it answers a.
    EXPECT_EQ(Status(a), "<status>ONLINE 1.17.60 raw 1</status>");
    EXPECT_EQ(proxy_->OpenCount(), 1);

    // The last client of an online device leaves: the device is online again for the
    // applications, its handlers its own again, and the server thread ends.
    proxy_->ResetComplete();
    link_->confirmed = 0;
    a.Close();
    // Confirming the device is the last thing the server thread does for the last client.
    EXPECT_TRUE(eventually([&] { return link_->confirmed == 1; }));
    EXPECT_EQ(proxy_->OpenCount(), 0);
    EXPECT_EQ(link_->GetRoute(), 0);
    EXPECT_TRUE(eventually([&] { return !server_->ServerThreadRunning(); }));
    // The next client starts a new one.
    SdiClient d;
    OpenClient(d);
    EXPECT_TRUE(server_->ServerThreadRunning());
}

// A client that leaves as soon as it is accepted: its connection is listed before its version
// request goes out, and another thread that ends the connections of gone clients must not
// end it until the accept thread is done writing to it.
TEST_F(SdiServerTest, AClientLeavingAtOnceIsEndedOnlyAfterItsVersionRequest) {
    SdiClient c;
    std::promise<void> connected, hookDone;
    std::shared_future<void> isConnected = connected.get_future().share();
    server_->setAfterAddForTest([&](SdiConnection* connection) {
        isConnected.wait(); // the test thread is done with the client
        c.Close();
        EXPECT_TRUE(eventually([&] { return !connection->isAlive(); }));
        // What the server thread would do now, from a thread of its own.
        const int rc = std::async(std::launch::async, [&] {
            mutexSem& lock = ListLock::of(*server_);
            const int taken = lock.Acquire(0);
            if (taken == 0) {
                server_->CheckForAnyClientDisconnected();
                lock.Release();
            }
            return taken;
        }).get();
        EXPECT_NE(rc, 0) << "the connection could be ended while it was being written to";
        hookDone.set_value();
    });
    const bool ok = c.Connect(port_);
    connected.set_value();
    const bool ran = ok && hookDone.get_future().wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    server_->setAfterAddForTest({});
    ASSERT_TRUE(ok);
    ASSERT_TRUE(ran);
    // The server thread ends it afterwards, and the proxy it never opened stays closed.
    EXPECT_TRUE(eventually([&] { return server_->ConnectionCount() == 0; }));
    EXPECT_EQ(proxy_->OpenCount(), 0);
    // The next client is served as usual.
    SdiClient d;
    OpenClient(d);
    EXPECT_EQ(Status(d), "<status>OFFLINE 1.17.60 raw 1</status>");
}

TEST_F(SdiServerTest, BadFramesEndOnlyTheirConnection) {
    SdiClient good;
    OpenClient(good);
    const std::vector<Bytes> bad = {
        {0xFF, 0xFF, 'x'},                 // longer than any frame
        {0x00},                            // half a length, then nothing
        {0x00, 0x20, '<', 's'},            // half a frame
    };
    for (const Bytes& bytes : bad) {
        SdiClient c;
        ASSERT_TRUE(c.Connect(port_));
        std::string version;
        ASSERT_TRUE(c.Receive(version));
        ASSERT_TRUE(c.SendRaw(bytes));
        EXPECT_TRUE(c.ClosedByPeer(8000)) << bytes.size();
    }
    EXPECT_EQ(Status(good), "<status>OFFLINE 1.17.60 raw 1</status>");
}

TEST_F(SdiServerTest, AnEleventhClientIsRefused) {
    std::vector<std::unique_ptr<SdiClient>> clients;
    for (int i = 0; i < 10; ++i) {
        clients.push_back(std::make_unique<SdiClient>());
        ASSERT_TRUE(clients.back()->Connect(port_));
        std::string version;
        ASSERT_TRUE(clients.back()->Receive(version)) << i;
    }
    SdiClient extra;
    ASSERT_TRUE(extra.Connect(port_));
    EXPECT_TRUE(extra.ClosedByPeer());
    ASSERT_TRUE(clients[9]->Send("<version>tester 1.2.3 4 5</version>"));
    ASSERT_TRUE(clients[9]->Send("<open>N 0</open>"));
    ASSERT_EQ(clients[9]->ReceiveStarting("<open>").compare(0, 9, "<open>OK "), 0);
    EXPECT_EQ(Status(*clients[9]), "<status>OFFLINE 1.17.60 raw 10</status>");
}

TEST_F(SdiServerTest, DetachedProxyAnswersMinusTwo) {
    link_.reset();
    EXPECT_EQ(proxy_->Open('N'), -2);
    EXPECT_EQ(proxy_->Close('N'), -2);
    SdiClient c;
    ASSERT_TRUE(c.Connect(port_));
    EXPECT_EQ(c.Open().compare(0, 9, "<open>OK "), 0);
    ASSERT_TRUE(c.SendCommand('W', 0, 5, {1}));
    EXPECT_EQ(c.ReceiveStarting("<ack>"), "<ack>FAIL 0005</ack>");
}

TEST_F(SdiServerTest, DelayedAcknowledgementAndSendDelayFollowTheClock) {
    ovkhost::useManualClock(true);
    ovkhost::setClock(10000);
    link_->SetLink(SIODEVICE::IDLE);
    const Bytes data = {0x81};

    // An acknowledgement delay postpones the acknowledgement of a received message.
    proxy_->SetDelays(100, 0, 0);
    proxy_->NewMsgRcvd(data.data(), 1);
    EXPECT_EQ(wire_.acks, 0);
    ovkhost::advanceClock(99);
    EXPECT_EQ(proxy_->SendAnyPendingMessage(), -1);
    EXPECT_EQ(wire_.acks, 0);
    ovkhost::advanceClock(1);
    EXPECT_EQ(proxy_->SendAnyPendingMessage(), 0);
    EXPECT_EQ(wire_.acks, 1);

    // A send delay holds a command back until the delay start plus the delay.
    proxy_->SetDelays(0, 50, 30);
    proxy_->NewMsgRcvd(data.data(), 1); // acknowledged at once, the delay starts
    EXPECT_EQ(wire_.acks, 2);
    SDICMD* command = new SDICMD(1, 12, Bytes{'W', 0, 0, 0, 0, 0, 9, 30, 0, 0, 1, 0x07}.data());
    ASSERT_EQ(proxy_->PutQueue(command), 0);
    ovkhost::advanceClock(49);
    EXPECT_EQ(proxy_->SendAnyPendingMessage(), -1);
    EXPECT_TRUE(wire_.sent.empty());
    ovkhost::advanceClock(1);
    EXPECT_EQ(proxy_->SendAnyPendingMessage(), 0);
    ASSERT_EQ(wire_.sent.size(), 1u);
    EXPECT_EQ(wire_.sent[0], Bytes{0x07});
    ovkhost::useManualClock(false);
}

// The device's link hangs on a slot with a real lock, as in the daemon.
class SdiSlotLockTest : public SdiServerTest {
protected:
    void SetUp() override {
        wire_.SetOwner(&slot_);
        SdiServerTest::SetUp();
        link_->locks = &locks_;
    }
    GateSlot slot_;
    std::atomic<int> locks_{0};
    // A second slot, for a device that takes the place of the first at the same address.
    GateSlot otherSlot_;
    Wire otherWire_;
};

TEST_F(SdiSlotLockTest, TheDeviceLeavesItsProxyUnderTheSlotsLock) {
    ASSERT_EQ(proxy_->GetSlot(), &slot_);
    ASSERT_EQ(slot_.LockSlot(), 0);
    Link* link = link_.get();
    std::thread going([&] { link_.reset(); });
    // Its going waits for the slot's lock; until it has it the proxy keeps its device.
    EXPECT_TRUE(slot_.WaitForAsked(2));
    EXPECT_EQ(proxy_->GetDevice(), link);
    EXPECT_EQ(proxy_->GetSlot(), &slot_);
    slot_.UnlockSlot();
    going.join();
    EXPECT_EQ(proxy_->GetDevice(), nullptr);
    EXPECT_EQ(proxy_->GetSlot(), nullptr);
}

TEST_F(SdiSlotLockTest, ADeviceGoneWhileTheServerWaitsForTheSlotIsNotUsed) {
    SdiClient c;
    ASSERT_TRUE(c.Connect(port_));
    std::string version;
    ASSERT_TRUE(c.Receive(version));
    ASSERT_TRUE(c.Send("<version>tester 1.2.3 4 5</version>"));
    // The server thread takes the open to the proxy and waits for the slot held here; the
    // device goes meanwhile.
    ASSERT_EQ(slot_.LockSlot(), 0);
    ASSERT_TRUE(c.Send("<open>N 0</open>"));
    ASSERT_TRUE(slot_.WaitForAsked(2));
    const int before = locks_;
    link_.reset();
    slot_.UnlockSlot();
    // The open finds no device: its lock is not taken and the proxy is not opened.
    EXPECT_EQ(c.ReceiveStarting("<open>").compare(0, 9, "<open>OK "), 0);
    EXPECT_EQ(locks_, before);
    EXPECT_EQ(proxy_->OpenCount(), 0);
    EXPECT_EQ(proxy_->GetDevice(), nullptr);
}

// The device is replaced at the same address behind another slot while the server thread waits
// for the first slot's lock: the new device takes the proxy under the other slot's lock, and
// the server, once it holds the first slot's lock, sees the slot changed and takes the other
// slot's lock before it touches the new device.
TEST_F(SdiSlotLockTest, ADeviceReplacedBehindAnotherSlotIsUsedUnderThatSlotsLock) {
    otherWire_.SetOwner(&otherSlot_);
    SdiClient c;
    ASSERT_TRUE(c.Connect(port_));
    std::string version;
    ASSERT_TRUE(c.Receive(version));
    ASSERT_TRUE(c.Send("<version>tester 1.2.3 4 5</version>"));
    ASSERT_EQ(slot_.LockSlot(), 0);
    ASSERT_TRUE(c.Send("<open>N 0</open>"));
    ASSERT_TRUE(slot_.WaitForAsked(2));
    const int before = locks_;
    link_.reset();

    // The new device's attaching waits for its slot's lock, held here.
    auto replacement = std::make_unique<Link>(proxy_->GetDeviceID(), &otherWire_);
    std::atomic<int> newLocks{0};
    replacement->locks = &newLocks;
    ASSERT_EQ(otherSlot_.LockSlot(), 0);
    std::thread attaching([&] { proxy_->AttachDevice(replacement.get(), 4); });
    EXPECT_TRUE(otherSlot_.WaitForAsked(2)) << "the device was attached without its slot's lock";
    EXPECT_EQ(proxy_->GetSlot(), nullptr);
    otherSlot_.UnlockSlot();
    attaching.join();
    ASSERT_EQ(proxy_->GetSlot(), &otherSlot_);
    ASSERT_EQ(proxy_->GetDevice(), replacement.get());

    // With the other slot held here, the server thread gets the first slot's lock: it must
    // wait for the other slot's before it opens the new device.
    ASSERT_EQ(otherSlot_.LockSlot(), 0);
    slot_.UnlockSlot();
    EXPECT_TRUE(otherSlot_.WaitForAsked(4)) << "the server did not read the slot again";
    EXPECT_EQ(proxy_->OpenCount(), 0);
    EXPECT_EQ(newLocks, 0);
    otherSlot_.UnlockSlot();
    EXPECT_EQ(c.ReceiveStarting("<open>").compare(0, 9, "<open>OK "), 0);
    // Read under the slot's lock, as the server thread changes it (its close comes later).
    ASSERT_EQ(otherSlot_.LockSlot(), 0);
    EXPECT_EQ(proxy_->OpenCount(), 1);
    otherSlot_.UnlockSlot();
    EXPECT_GE(newLocks, 1);
    EXPECT_EQ(locks_, before);
    c.Close();
    link_ = std::move(replacement); // goes at the end as the first one did
}

TEST(SdiDelays, ReadFromTheEnvironmentForAddress38Only) {
    TempRoot root;
    setenv("DELAY_ACK_S01_P11_D38", "250", 1);
    setenv("DELAY_SEND_S01_P11_D38", "x", 1);
    setenv("DELAY_ACK_S01_P11_D39", "7", 1);
    ovkhost::clearCaptures();
    {
        SDIDEVICE at38(DeviceID(1, 0x11, 0x38), reinterpret_cast<const unsigned char*>("A"), nullptr, 2, false);
        SDIDEVICE at39(DeviceID(1, 0x11, 0x39), reinterpret_cast<const unsigned char*>("B"), nullptr, 2, false);
    }
    std::vector<std::string> delays;
    for (const std::string& line : ovkhost::printedLines())
        if (line.find("delay") != std::string::npos) delays.push_back(line);
    EXPECT_EQ(delays, std::vector<std::string>{"Slot=1, Port=11, Addr=38: rr_delay=250\n"});
    for (const char* v : {"DELAY_ACK_S01_P11_D38", "DELAY_SEND_S01_P11_D38", "DELAY_ACK_S01_P11_D39"})
        unsetenv(v);
}

} // namespace

namespace {
// Leaves by a reset, as a client that is killed does.
void Reset(SdiClient& c) {
    const struct linger hard {1, 0};
    setsockopt(c.fd(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    c.Close();
}
} // namespace

// Every client number is held and one client leaves while the server thread is busy (it
// waits for the slot): the next client gets that number although its old connection is
// still listed. The stale connection is ended and the new client is served, version request
// first; the others are served as before.
TEST_F(SdiSlotLockTest, ANumberThatComesBackWhileItsOldConnectionIsListedServesTheNewClient) {
    SdiClient holder;
    ASSERT_TRUE(holder.Connect(port_));
    std::string version;
    ASSERT_TRUE(holder.Receive(version));
    ASSERT_TRUE(holder.Send("<version>tester 1.2.3 4 5</version>"));
    ASSERT_EQ(slot_.LockSlot(), 0);
    ASSERT_TRUE(holder.Send("<open>N 0</open>"));
    ASSERT_TRUE(slot_.WaitForAsked(2));
    std::vector<std::unique_ptr<SdiClient>> clients;
    for (int i = 0; i < 9; ++i) {
        clients.push_back(std::make_unique<SdiClient>());
        ASSERT_TRUE(clients.back()->Connect(port_));
        ASSERT_TRUE(clients.back()->Receive(version)) << i;
    }
    ASSERT_TRUE(eventually([&] { return server_->ConnectionCount() == 10; }));
    Reset(*clients[4]);
    SdiClient next;
    ASSERT_TRUE(next.Connect(port_));
    ASSERT_TRUE(next.Receive(version, 3000)) << "the new client got no version request";
    EXPECT_EQ(version.compare(0, 9, "<version>"), 0) << version;
    slot_.UnlockSlot();
    EXPECT_EQ(holder.ReceiveStarting("<open>").compare(0, 9, "<open>OK "), 0);
    ASSERT_TRUE(next.Send("<version>tester 1.2.3 4 5</version>"));
    ASSERT_TRUE(next.Send("<open>N 0</open>"));
    ASSERT_EQ(next.ReceiveStarting("<open>").compare(0, 9, "<open>OK "), 0);
    EXPECT_EQ(Status(next), "<status>OFFLINE 1.17.60 raw 10</status>");
    ASSERT_TRUE(clients[8]->Send("<version>tester 1.2.3 4 5</version>"));
    ASSERT_TRUE(clients[8]->Send("<open>N 0</open>"));
    ASSERT_EQ(clients[8]->ReceiveStarting("<open>").compare(0, 9, "<open>OK "), 0);
    EXPECT_EQ(Status(*clients[8]), "<status>OFFLINE 1.17.60 raw 10</status>");
}
