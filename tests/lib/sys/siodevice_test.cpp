// The RS-485 link device against a fake adapter that captures every outgoing frame record,
// with received frames fed by hand and the timers driven on the settable clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ADAPTER.h"
#include "LinkRecords.h"
#include "SIODEVICE.h"
#include "TempRoot.h"
#include "ovkhost.h"

namespace {

using Bytes = std::vector<unsigned char>;

const unsigned char kAdapterName[] = "FakeAdap";
constexpr unsigned char kPort = 0x11;
constexpr unsigned char kAddress = 0x35;

// Captures the frame records the device hands over; can refuse them like a full buffer.
class FakeAdapter : public ADAPTER {
public:
    FakeAdapter() : ADAPTER(1, 5, kAdapterName) {}
    int CloseDD() override { return 0; }
    int OpenDD() override { return 0; }
    int Run(int, int) override { return 0; }
    int RequestBuffer() override { return 0; }
    int SendFrame(const unsigned char* record, int length) override {
        if (refuse) return 607;
        frames.emplace_back(record, record + length);
        return 0;
    }
    int Suspend() override { return 0; }
    int Resume() override { return 0; }

    std::vector<Bytes> frames;
    bool refuse = false;
};

// A device class that behaves as the families do: one message outstanding at a time, a
// lost message goes out again, NewMsgRcvd answers with the next message or an RR, nothing
// is sent while a link reset is under way, and the reset's completion confirms the device.
class TestDevice : public SIODEVICE {
public:
    TestDevice(ADAPTER* adapter, unsigned char port = kPort, unsigned char address = kAddress)
        : SIODEVICE(DeviceID(1, port, address), "TestDev") {
        adapter_ = adapter;
        deviceType_ = 3;
    }
    ~TestDevice() override { adapter_ = nullptr; }

    int CommandResetInProgress() override {
        SetStatusBits(SIODEV_AWAITING_REPLY);
        return note("CommandResetInProgress");
    }
    // As the families do: the next message, which carries the acknowledgement, or an RR.
    int LastAckLost(const unsigned char* data, int n) override {
        note("LastAckLost", data, n);
        return sendNext() == -1 ? SendAck() : 0;
    }
    int LastMsgAcked() override {
        acked = outstanding;
        outstanding.clear();
        return note("LastMsgAcked");
    }
    int LastMsgLost(const unsigned char* data, int n) override {
        if (throwIn == "LastMsgLost") throw std::runtime_error("handler");
        if (!outstanding.empty()) pending.push_front(outstanding);
        outstanding.clear();
        return note("LastMsgLost", data, n);
    }
    int NewMsgRcvd(const unsigned char* data, int n) override {
        note("NewMsgRcvd", data, n);
        received.emplace_back(data, data + n);
        // "REJ" rejects the command it answers: it stays pending, as the families keep it.
        if (n == 3 && std::memcmp(data, "REJ", 3) == 0) {
            CommandRejected();
            if (!acked.empty()) pending.push_front(acked);
        } else if (n > 0) {
            CommandAccepted();
        }
        acked.clear();
        if (sendNext() == -1) SendAck();
        return 0;
    }
    int PowerOnResetInProgress() override {
        SetStatusBits(SIODEV_AWAITING_REPLY);
        return note("PowerOnResetInProgress");
    }
    int ResetComplete() override {
        ClearStatusBits(SIODEV_AWAITING_REPLY);
        NowConfirmed();
        return note("ResetComplete");
    }
    int SendAnyPendingMessage() override {
        if (throwIn == "SendAnyPendingMessage") throw std::runtime_error("handler");
        ++pendingCalls;
        const int rc = sendNext();
        if (afterAsk) {
            auto hook = afterAsk;
            afterAsk = nullptr;
            hook();
        }
        return rc;
    }
    int SequenceResetInProgress(const unsigned char* data, int n) override {
        SetStatusBits(SIODEV_AWAITING_REPLY);
        return note("SequenceResetInProgress", data, n);
    }

    // The handler calls since the last take, each with its data as text when it has any.
    std::vector<std::string> take() {
        std::vector<std::string> out;
        out.swap(calls);
        return out;
    }

    std::deque<Bytes> pending;
    Bytes outstanding;
    Bytes acked;
    std::vector<Bytes> received;
    std::vector<std::string> calls;
    std::string throwIn;
    int pendingCalls = 0;
    std::function<void()> afterAsk; // once, as a client's request would come during the call

private:
    int note(const char* name, const unsigned char* data = nullptr, int n = 0) {
        std::string entry = name;
        if (data && n > 0) entry += "(" + std::string(reinterpret_cast<const char*>(data), n) + ")";
        calls.push_back(entry);
        return 0;
    }
    int sendNext() {
        if (pending.empty() || !outstanding.empty() || TestStatusBits(SIODEV_AWAITING_REPLY))
            return -1;
        Bytes msg = pending.front();
        int rc = SendMsg(msg.data(), static_cast<int>(msg.size()));
        if (rc == 0) {
            pending.pop_front();
            outstanding = msg;
        }
        return rc;
    }
};

// A received frame record: length L, port, address, control, data, two check bytes.
Bytes inFrame(unsigned char control, const std::string& data = "", unsigned char port = kPort,
              unsigned char address = kAddress) {
    return linkrec::received(port, address, control, Bytes(data.begin(), data.end()));
}

unsigned char iFrame(int ns, int nr) { return static_cast<unsigned char>((nr & 7) << 5 | (ns & 7) << 1); }
unsigned char rr(int nr) { return static_cast<unsigned char>((nr & 7) << 5 | 0x01); }

// An outgoing record, checked for its layout: length, port, waits, address, check bytes.
struct OutFrame {
    unsigned char control = 0;
    std::string data;
};

OutFrame decodeOut(const Bytes& rec, unsigned char addressWait = 30, unsigned char byteWait = 0) {
    OutFrame f;
    const linkrec::Sent s = linkrec::decodeSent(rec);
    EXPECT_TRUE(s.wellFormed);
    if (!s.wellFormed) return f;
    EXPECT_EQ(s.port, kPort);
    EXPECT_EQ(s.addressWait, addressWait);
    EXPECT_EQ(s.byteWait, byteWait);
    EXPECT_EQ(s.address, kAddress);
    EXPECT_TRUE(s.checkOk);
    f.control = s.control;
    f.data.assign(s.data.begin(), s.data.end());
    return f;
}

class SioDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ovkhost::useManualClock(true);
        ovkhost::setClock(100000);
        ovkhost::clearCaptures();
    }
    void TearDown() override { ovkhost::useManualClock(false); }

    void feed(unsigned char control, const std::string& data = "") {
        Bytes rec = inFrame(control, data);
        dev.ProcessInput(rec.data(), static_cast<int>(rec.size()));
    }
    // One adapter cycle after ms of settable time.
    void cycle(int ms = 0) {
        ovkhost::advanceClock(ms);
        dev.ProcessOutput(chTime());
    }
    // The control bytes sent since the last call (each record's layout checked).
    std::vector<unsigned char> sent() {
        std::vector<unsigned char> out;
        for (const Bytes& rec : adapter.frames) out.push_back(decodeOut(rec).control);
        adapter.frames.clear();
        return out;
    }
    // ROL, then SNRM answered by NSA: the link is up and the device online.
    void bringUp() {
        feed(SIODEV_CTL_ROL);
        feed(SIODEV_CTL_NSA);
        ASSERT_EQ(dev.GetLinkState(), SIODEVICE::IDLE);
        adapter.frames.clear();
        dev.take();
        ovkhost::clearCaptures();
    }
    bool printed(const std::string& text) {
        auto lines = ovkhost::printedLines();
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.find(text) != std::string::npos; });
    }

    TempRoot root;
    FakeAdapter adapter;
    TestDevice dev{&adapter};
};

TEST_F(SioDeviceTest, StartsInInitWithTheLinkDefaults) {
    EXPECT_EQ(dev.GetLinkState(), SIODEVICE::INIT);
    EXPECT_EQ(dev.GetSequenceByte(), 0);
    EXPECT_EQ(dev.GetAddressWaitTime(), 30);
    EXPECT_EQ(dev.GetByteWaitTime(), 0);
    EXPECT_EQ(dev.GetECLevel(), 0);
    EXPECT_EQ(dev.GetAckWaitTime(), 500);
    EXPECT_EQ(dev.StatusWord() & (SIODEV_INIT_TIMER | PDEV_PRESENT | PDEV_ONLINE), 0u);
    for (int count : {dev.GetLastMessageLostCounts(), dev.GetLastAckLostCounts(),
                      dev.GetPollTimeoutCounts(), dev.GetPowerOnResetCounts(),
                      dev.GetRequestOnlineCounts(), dev.GetCommandRejectCounts(),
                      dev.GetUnknownMessageCounts()})
        EXPECT_EQ(count, 0);

    // The timing values are reachable through the base's request channel.
    unsigned char ack[4];
    int32_t value = 750;
    std::memcpy(ack, &value, 4);
    EXPECT_EQ(dev.TellPhys(nullptr, 9992, ack, 4), 0);
    EXPECT_EQ(dev.GetAckWaitTime(), 750);
    unsigned char wait = 12;
    EXPECT_EQ(dev.TellPhys(nullptr, 9998, &wait, 1), 0);
    wait = 0;
    EXPECT_EQ(dev.TellPhys(nullptr, 9999, &wait, 1), 0);
    EXPECT_EQ(wait, 12);
}

TEST_F(SioDeviceTest, RequestOnlineThenNsaBringsTheLinkUp) {
    feed(SIODEV_CTL_ROL);
    EXPECT_EQ(sent(), std::vector<unsigned char>{SIODEV_CTL_SNRM});
    EXPECT_EQ(dev.GetLinkState(), SIODEVICE::WAITNSA);
    EXPECT_EQ(dev.GetRequestOnlineCounts(), 1);
    EXPECT_EQ(dev.take(), std::vector<std::string>{"PowerOnResetInProgress"});

    feed(SIODEV_CTL_NSA);
    EXPECT_EQ(dev.GetLinkState(), SIODEVICE::IDLE);
    EXPECT_TRUE(dev.TestStatusBits(PDEV_PRESENT));
    EXPECT_TRUE(dev.TestStatusBits(PDEV_ONLINE));
    EXPECT_EQ(dev.take(), std::vector<std::string>{"ResetComplete"});
    EXPECT_EQ(dev.pendingCalls, 1);
    EXPECT_TRUE(printed("--> <<TestDev >> (1.11.35) online"));
    EXPECT_TRUE(sent().empty());
}

TEST_F(SioDeviceTest, SilentDeviceGetsAPowerOnResetAfterThreeSeconds) {
    cycle(); // starts the INIT timer
    EXPECT_TRUE(dev.TestStatusBits(SIODEV_INIT_TIMER));
    cycle(2999);
    EXPECT_TRUE(sent().empty());
    cycle(1);
    auto frames = adapter.frames;
    ASSERT_EQ(frames.size(), 1u);
    OutFrame nsi = decodeOut(frames[0]);
    EXPECT_EQ(nsi.control, SIODEV_CTL_NSI);
    EXPECT_EQ(nsi.data, std::string("\x00\x40", 2));
    EXPECT_EQ(dev.GetLinkState(), SIODEVICE::WAITNSA);
    EXPECT_EQ(dev.GetPowerOnResetCounts(), 1);

    feed(SIODEV_CTL_NSA);
    EXPECT_EQ(dev.GetLinkState(), SIODEVICE::IDLE);
    EXPECT_TRUE(dev.TestStatusBits(PDEV_ONLINE));
}

TEST_F(SioDeviceTest, FramesInInitStartAReset) {
    struct Case {
        unsigned char control;
        unsigned char answer;
    };
    for (Case c : {Case{rr(3), SIODEV_CTL_SNRM}, Case{SIODEV_CTL_NSA, SIODEV_CTL_SNRM},
                   Case{iFrame(2, 1), SIODEV_CTL_NSI}}) {
        SCOPED_TRACE(int(c.control));
        TestDevice fresh(&adapter);
        Bytes rec = inFrame(c.control, "x");
        fresh.ProcessInput(rec.data(), static_cast<int>(rec.size()));
        ASSERT_EQ(adapter.frames.size(), 1u);
        EXPECT_EQ(decodeOut(adapter.frames[0]).control, c.answer);
        adapter.frames.clear();
        EXPECT_EQ(fresh.GetLinkState(), SIODEVICE::WAITNSA);
        EXPECT_TRUE(fresh.take().empty());
    }
}

TEST_F(SioDeviceTest, OutgoingRecordLayout) {
    bringUp();
    dev.SetAddressWaitTime(0x21);
    dev.SetByteWaitTime(0x04);
    const unsigned char msg[] = {0x01, 0x02, 0x03};
    ASSERT_EQ(dev.SendMsg(msg, 3), 0);
    ASSERT_EQ(adapter.frames.size(), 1u);
    const unsigned short crc = CalculateCRC(Bytes{kAddress, 0x00, 0x01, 0x02, 0x03}.data(), 5);
    const Bytes expected = {0x07, 0x00, kPort, 0x21, 0x04, kAddress, 0x00, 0x01, 0x02, 0x03,
                            static_cast<unsigned char>(crc & 0xFF),
                            static_cast<unsigned char>(crc >> 8)};
    EXPECT_EQ(adapter.frames[0], expected);
    EXPECT_EQ(dev.GetLastSendTime(), chTime());

    // An RR carries no data: a 9-byte record.
    adapter.frames.clear();
    feed(rr(1));
    ASSERT_EQ(dev.SendAck(), 0);
    ASSERT_EQ(adapter.frames.size(), 1u);
    EXPECT_EQ(adapter.frames[0].size(), 9u);
    EXPECT_EQ(decodeOut(adapter.frames[0], 0x21, 0x04).control, rr(0));
}

TEST_F(SioDeviceTest, NineMessagesWrapTheSendSequence) {
    bringUp();
    for (int i = 0; i < 9; ++i) dev.pending.push_back(Bytes{static_cast<unsigned char>('a' + i)});
    cycle(10); // IDLE: the device sends its first message; each RR lets the next one go
    std::vector<unsigned char> controls;
    for (int i = 0; i < 9; ++i) {
        ASSERT_EQ(dev.GetLinkState(), SIODEVICE::WAITACK);
        auto out = sent();
        ASSERT_EQ(out.size(), 1u);
        controls.push_back(out[0]);
        feed(rr(dev.GetSendSequence()));
    }
    const std::vector<unsigned char> expected = {0x00, 0x02, 0x04, 0x06, 0x08,
                                                 0x0A, 0x0C, 0x0E, 0x00};
    EXPECT_EQ(controls, expected);
    EXPECT_EQ(dev.GetLinkState(), SIODEVICE::IDLE);
    EXPECT_EQ(dev.GetSendSequence(), 1);
    EXPECT_EQ(dev.GetLastMessageLostCounts(), 0);
    EXPECT_TRUE(sent().empty());
}

TEST_F(SioDeviceTest, NineReceivedMessagesWrapTheReceiveSequence) {
    bringUp();
    std::vector<unsigned char> acks;
    for (int i = 0; i < 9; ++i) {
        feed(iFrame(i, 0), std::string(1, static_cast<char>('a' + i)));
        auto out = sent();
        ASSERT_EQ(out.size(), 1u);
        acks.push_back(out[0]);
        EXPECT_EQ(dev.GetLinkState(), SIODEVICE::IDLE);
    }
    const std::vector<unsigned char> expected = {0x21, 0x41, 0x61, 0x81, 0xA1,
                                                 0xC1, 0xE1, 0x01, 0x21};
    EXPECT_EQ(acks, expected);
    ASSERT_EQ(dev.received.size(), 9u);
    EXPECT_EQ(dev.received[8], Bytes{'i'});
}

TEST_F(SioDeviceTest, AnswerThatAcknowledgesCarriesTheNextExchange) {
    bringUp();
    dev.pending.push_back(Bytes{'q'});
    cycle(10);
    EXPECT_EQ(sent(), std::vector<unsigned char>{iFrame(0, 0)});
    // The device answers with its own message, acknowledging ours (N(R) 1).
    dev.pending.push_back(Bytes{'r'});
    feed(iFrame(0, 1), "reply");
    EXPECT_EQ(dev.take(), (std::vector<std::string>{"LastMsgAcked", "NewMsgRcvd(reply)"}));
    EXPECT_EQ(dev.GetReceiveSequence(), 1);
    // NewMsgRcvd sent the next message with N(S) 1 and N(R) 1.
    EXPECT_EQ(sent(), std::vector<unsigned char>{iFrame(1, 1)});
    EXPECT_EQ(dev.GetLinkState(), SIODEVICE::WAITACK);
}

TEST_F(SioDeviceTest, RepeatedFrameInIdleIsNotPassedOnAsNew) {
    bringUp();
    feed(iFrame(0, 0), "once");
    EXPECT_EQ(sent(), std::vector<unsigned char>{rr(1)});
    dev.take();
    feed(iFrame(0, 0), "once"); // our RR was lost: the device sends the frame again
    EXPECT_EQ(dev.take(), std::vector<std::string>{"LastAckLost(once)"});
    EXPECT_EQ(dev.received.size(), 1u);
    EXPECT_EQ(dev.GetLastAckLostCounts(), 1);
    EXPECT_TRUE(ovkhost::errorLogged(904));
    EXPECT_EQ(dev.GetReceiveSequence(), 1);
    EXPECT_EQ(dev.GetLinkState(), SIODEVICE::IDLE);
}

TEST_F(SioDeviceTest, OutOfPlaceFramesResetTheSequence) {
    struct Case {
        const char* name;
        unsigned char control;
        bool waitAck;   // a message of ours is outstanding
        uint32_t logId;
    };
    const Case cases[] = {
        {"I-frame out of sequence in IDLE", iFrame(3, 0), false, 905},
        {"I-frame out of sequence in WAITACK", iFrame(4, 0), true, 908},
        {"NSA in IDLE", SIODEV_CTL_NSA, false, 910},
        {"NSA in WAITACK", SIODEV_CTL_NSA, true, 910},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeAdapter a;
        TestDevice d(&a);
        Bytes rol = inFrame(SIODEV_CTL_ROL), nsa = inFrame(SIODEV_CTL_NSA);
        d.ProcessInput(rol.data(), static_cast<int>(rol.size()));
        d.ProcessInput(nsa.data(), static_cast<int>(nsa.size()));
        if (c.waitAck) {
            const unsigned char m = 'm';
            ASSERT_EQ(d.SendMsg(&m, 1), 0);
        }
        a.frames.clear();
        d.take();
        ovkhost::clearCaptures();
        Bytes rec = inFrame(c.control);
        d.ProcessInput(rec.data(), static_cast<int>(rec.size()));
        EXPECT_TRUE(ovkhost::errorLogged(c.logId));
        ASSERT_EQ(a.frames.size(), 1u);
        EXPECT_EQ(decodeOut(a.frames[0]).control, SIODEV_CTL_SNRM);
        EXPECT_EQ(d.GetLinkState(), SIODEVICE::WAITNSA);
        EXPECT_EQ(d.GetSequenceByte(), 0);
        EXPECT_EQ(d.take(), std::vector<std::string>{"SequenceResetInProgress"});
    }
}

TEST_F(SioDeviceTest, FramesWhileWaitingForNsa) {
    feed(SIODEV_CTL_ROL);
    adapter.frames.clear();
    dev.take();
    feed(iFrame(0, 0), "early");
    EXPECT_TRUE(ovkhost::errorLogged(909));
    EXPECT_EQ(dev.take(), std::vector<std::string>{"SequenceResetInProgress(early)"});
    EXPECT_EQ(sent(), std::vector<unsigned char>{SIODEV_CTL_SNRM});
    feed(rr(0));
    EXPECT_TRUE(ovkhost::errorLogged(912));
    EXPECT_EQ(sent(), std::vector<unsigned char>{SIODEV_CTL_SNRM});
    EXPECT_TRUE(dev.received.empty());
    EXPECT_EQ(dev.GetLinkState(), SIODEVICE::WAITNSA);
}

TEST_F(SioDeviceTest, ReceiveReadyWithAWrongNrMakesTheMessageGoAgain) {
    bringUp();
    dev.pending.push_back(Bytes{'x'});
    cycle(10);
    EXPECT_EQ(sent(), std::vector<unsigned char>{iFrame(0, 0)});
    EXPECT_EQ(dev.GetSendSequence(), 1);

    feed(rr(0)); // the device did not get it
    EXPECT_TRUE(ovkhost::errorLogged(911));
    EXPECT_EQ(dev.GetLastMessageLostCounts(), 1);
    auto calls = dev.take();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].rfind("LastMsgLost", 0), 0u);
    // N(S) taken from the device's N(R): the message goes again as N(S) 0.
    auto frames = adapter.frames;
    ASSERT_EQ(frames.size(), 1u);
    OutFrame again = decodeOut(frames[0]);
    EXPECT_EQ(again.control, iFrame(0, 0));
    EXPECT_EQ(again.data, "x");
    EXPECT_EQ(dev.GetLinkState(), SIODEVICE::WAITACK);

    adapter.frames.clear();
    feed(rr(1));
    EXPECT_EQ(dev.GetLinkState(), SIODEVICE::IDLE);
    EXPECT_EQ(dev.take(), std::vector<std::string>{"LastMsgAcked"});
}

TEST_F(SioDeviceTest, RepeatedFrameWhileOursIsUnacknowledgedIsALostMessage) {
    bringUp();
    feed(iFrame(0, 0), "in");
    sent();
    dev.pending.push_back(Bytes{'o'});
    cycle(10);
    EXPECT_EQ(sent(), std::vector<unsigned char>{iFrame(0, 1)});
    dev.take();
    // The device repeats its frame and has not seen ours.
    feed(iFrame(0, 0), "in");
    EXPECT_TRUE(ovkhost::errorLogged(906));
    EXPECT_EQ(dev.take(), std::vector<std::string>{"LastMsgLost(in)"});
    EXPECT_EQ(dev.GetLastMessageLostCounts(), 1);
    EXPECT_EQ(dev.received.size(), 1u);
    // Sent again with the same N(S).
    EXPECT_EQ(sent(), std::vector<unsigned char>{iFrame(0, 1)});
}

TEST_F(SioDeviceTest, NewFrameWhileOursIsUnacknowledged) {
    for (bool crossed : {false, true}) {
        SCOPED_TRACE(crossed ? "crossed" : "not crossed");
        FakeAdapter a;
        TestDevice d(&a);
        Bytes rol = inFrame(SIODEV_CTL_ROL), nsa = inFrame(SIODEV_CTL_NSA);
        d.ProcessInput(rol.data(), static_cast<int>(rol.size()));
        d.ProcessInput(nsa.data(), static_cast<int>(nsa.size()));
        d.pending.push_back(Bytes{'o'});
        d.ProcessOutput(chTime());
        a.frames.clear();
        d.take();
        ovkhost::clearCaptures();

        if (crossed) {
            const char pass[] = "PassingInTheNight";
            d.ProcessError(reinterpret_cast<const unsigned char*>(pass), 17);
            EXPECT_TRUE(d.Crossed());
        }
        Bytes rec = inFrame(iFrame(0, 0), "new");
        d.ProcessInput(rec.data(), static_cast<int>(rec.size()));
        EXPECT_EQ(ovkhost::errorLogged(907), !crossed);
        EXPECT_EQ(d.take(), (std::vector<std::string>{
                                crossed ? "LastMsgLost(PassingInTheNight)" : "LastMsgLost(new)",
                                "NewMsgRcvd(new)"}));
        EXPECT_EQ(d.GetLastMessageLostCounts(), 1);
        // NewMsgRcvd sent our message again: N(S) 0, acknowledging theirs with N(R) 1.
        ASSERT_EQ(a.frames.size(), 1u);
        EXPECT_EQ(decodeOut(a.frames[0]).control, iFrame(0, 1));

        const char clear[] = "ClearPassingInTheNight";
        d.ProcessError(reinterpret_cast<const unsigned char*>(clear), 22);
        EXPECT_FALSE(d.Crossed());
    }
}

// A device that rejects everything: three resends at once, then one message a second, for as
// long as the rejects last, counted over every command; a client's new request goes at once
// once; an accepted answer ends the pacing.
TEST_F(SioDeviceTest, ADeviceThatKeepsRejectingIsPacedToOneMessageASecond) {
    bringUp();
    auto answer = [&](const std::string& text) {
        feed(iFrame(dev.GetReceiveSequence(), dev.GetSendSequence()), text);
    };
    auto infoFrames = [&] {
        int n = 0;
        for (unsigned char c : sent()) n += (c & 0x11) == 0;
        return n;
    };
    dev.pending.push_back(Bytes{'a'});
    dev.pending.push_back(Bytes{'b'});
    cycle(10);
    ASSERT_EQ(infoFrames(), 1);
    for (int reject = 1; reject <= RejectPacer::kAtOnce; ++reject) {
        answer("REJ");
        EXPECT_EQ(infoFrames(), 1) << "reject " << reject << " goes again at once";
    }
    // The fourth reject in a row: held for the pace, the cycles meanwhile send nothing.
    answer("REJ");
    EXPECT_EQ(infoFrames(), 0);
    const int calls = dev.pendingCalls;
    for (int i = 0; i < 99; ++i) cycle(10);
    EXPECT_EQ(infoFrames(), 0);
    EXPECT_EQ(dev.pendingCalls, calls) << "a held message is not asked for every cycle";
    cycle(10);
    EXPECT_EQ(infoFrames(), 1);
    EXPECT_EQ(dev.pending.size(), 1u);
    // Rejected again: a second later again, whichever command is due.
    answer("REJ");
    cycle(500);
    EXPECT_EQ(infoFrames(), 0);
    cycle(500);
    EXPECT_EQ(infoFrames(), 1);
    answer("REJ");
    // A client's new request goes at once, once.
    dev.pending.push_front(Bytes{'c'});
    dev.NewRequest();
    cycle(10);
    EXPECT_EQ(infoFrames(), 1);
    answer("REJ");
    cycle(10);
    EXPECT_EQ(infoFrames(), 0);
    // The device repeats its message (our acknowledgement was lost) while the pace holds the
    // next command back: the link acknowledges the repeat itself.
    feed(iFrame(dev.GetReceiveSequence() - 1, dev.GetSendSequence()), "REJ");
    EXPECT_EQ(sent(), std::vector<unsigned char>{rr(dev.GetReceiveSequence())});
    // Accepted: the pacing ends, the next command goes at once.
    cycle(1000);
    ASSERT_EQ(infoFrames(), 1);
    answer("OK");
    EXPECT_EQ(infoFrames(), 1);
    EXPECT_FALSE(dev.GetRejectPacer().Pacing());
}

// While the device is paced a request frees one send for its own new message only: requests
// that queue nothing, however often they come, never release the held, rejected command, nor
// a message the pace held back since, and each asks the device class at most once.
TEST_F(SioDeviceTest, ARequestWhilePacedSendsOnlyItsOwnNewMessage) {
    bringUp();
    auto answer = [&](const std::string& text) {
        feed(iFrame(dev.GetReceiveSequence(), dev.GetSendSequence()), text);
    };
    auto infoFrames = [&] {
        std::vector<std::string> out;
        for (const Bytes& rec : adapter.frames) {
            const OutFrame f = decodeOut(rec);
            if ((f.control & 0x11) == 0) out.push_back(f.data);
        }
        adapter.frames.clear();
        return out;
    };
    dev.pending.push_back(Bytes{'a'});
    cycle(10);
    for (int reject = 0; reject <= RejectPacer::kAtOnce; ++reject) answer("REJ");
    ASSERT_TRUE(dev.GetRejectPacer().Pacing());
    infoFrames();
    // A request every 50 ms that queues nothing: the held 'a' goes once a second, no more,
    // and the device class is asked once per request at most, never every cycle.
    int sentA = 0;
    const int callsBefore = dev.pendingCalls;
    for (int ms = 0; ms < 5000; ms += 10) {
        if (ms % 50 == 0) dev.NewRequest();
        cycle(10);
        for (const std::string& d : infoFrames()) {
            EXPECT_EQ(d, "a");
            ++sentA;
            answer("REJ");
        }
    }
    EXPECT_GE(sentA, 4);
    EXPECT_LE(sentA, 6);
    EXPECT_LE(dev.pendingCalls - callsBefore, 100 + sentA * 2);
    // A request with its own message behind the held one: the class offers 'a' first, so
    // nothing goes at once; the message waits for the pace, and nothing is asked per cycle.
    dev.pending.push_back(Bytes{'b'});
    dev.NewRequest();
    cycle(10);
    EXPECT_TRUE(infoFrames().empty());
    const int calls = dev.pendingCalls;
    for (int i = 0; i < 20; ++i) cycle(10);
    EXPECT_EQ(dev.pendingCalls, calls);
    EXPECT_TRUE(infoFrames().empty());
    // Its own message first: it goes at once, once; rejected, it is held as well.
    dev.pending.push_front(Bytes{'c'});
    dev.NewRequest();
    cycle(10);
    EXPECT_EQ(infoFrames(), std::vector<std::string>{"c"});
    answer("REJ");
    for (int i = 0; i < 5; ++i) {
        dev.NewRequest();
        cycle(10);
    }
    EXPECT_TRUE(infoFrames().empty()) << "the rejected 'c' and the held 'a' wait for the pace";
    // A request that comes while the class is being asked with an earlier pass, after the
    // class offered the held message: the next cycle asks again and its message goes.
    dev.NewRequest();
    dev.afterAsk = [&] {
        dev.pending.push_front(Bytes{'d'});
        dev.NewRequest();
    };
    cycle(10);
    EXPECT_TRUE(infoFrames().empty());
    cycle(10);
    EXPECT_EQ(infoFrames(), std::vector<std::string>{"d"});
}

TEST(RejectPacerRule, APassReleasesNoHeldMessage) {
    ovkhost::useManualClock(true);
    ovkhost::setClock(5000);
    RejectPacer p;
    const unsigned char a[] = {1, 2, 3}, b[] = {1, 2, 4};
    const uint64_t sa = RejectPacer::Signature(a, 3), sb = RejectPacer::Signature(b, 3);
    ASSERT_NE(sa, sb);
    p.Sent(chTime(), sa);
    for (int i = 0; i <= RejectPacer::kAtOnce; ++i) p.Rejected();
    ASSERT_TRUE(p.Pacing());
    EXPECT_FALSE(p.MayAsk(chTime()));
    p.Renew();
    EXPECT_TRUE(p.MayAsk(chTime()));
    EXPECT_FALSE(p.MaySend(chTime(), sa)) << "the rejected message is held";
    EXPECT_TRUE(p.MaySend(chTime(), sb)) << "a new message may go on the pass";
    // Asked with the pass and nothing went: not asked again until the next request.
    p.Asked(p.Requests());
    EXPECT_FALSE(p.MayAsk(chTime()));
    // A message the pace refused is held too.
    p.Refused(sb);
    EXPECT_FALSE(p.MaySend(chTime(), sb));
    // A held message going at its pace leaves the pass to the request's own message.
    ovkhost::advanceClock(RejectPacer::kPaceMs);
    EXPECT_TRUE(p.MaySend(chTime(), sa));
    p.Sent(chTime(), sa);
    p.Rejected();
    const unsigned char c[] = {9};
    const uint64_t sc = RejectPacer::Signature(c, 1);
    EXPECT_TRUE(p.MaySend(chTime(), sc));
    p.Sent(chTime(), sc);
    EXPECT_FALSE(p.MaySend(chTime(), RejectPacer::Signature(b, 2))) << "the pass goes once";
    // More held messages than it remembers: no pass frees anything until an acceptance.
    for (unsigned char k = 0; k < RejectPacer::kHeld + 1; ++k) p.Refused(RejectPacer::Signature(&k, 1));
    p.Renew();
    const unsigned char fresh[] = {0x55, 0x66};
    EXPECT_FALSE(p.MaySend(chTime(), RejectPacer::Signature(fresh, 2)));
    p.Accepted();
    EXPECT_FALSE(p.Pacing());
    EXPECT_TRUE(p.MaySend(chTime(), sa));
    ovkhost::useManualClock(false);
}

TEST_F(SioDeviceTest, CommandRejectResetsTheDevice) {
    bringUp();
    feed(SIODEV_CTL_CMDR);
    EXPECT_TRUE(ovkhost::errorLogged(903));
    EXPECT_EQ(dev.GetCommandRejectCounts(), 1);
    EXPECT_EQ(dev.GetPowerOnResetCounts(), 1);
    EXPECT_EQ(sent(), std::vector<unsigned char>{SIODEV_CTL_NSI});
    EXPECT_EQ(dev.take(), std::vector<std::string>{"CommandResetInProgress"});
    EXPECT_EQ(dev.GetLinkState(), SIODEVICE::WAITNSA);
    EXPECT_FALSE(dev.TestStatusBits(PDEV_PRESENT));
    EXPECT_FALSE(dev.TestStatusBits(PDEV_ONLINE));
    EXPECT_TRUE(printed("--> <<TestDev >> (1.11.35) offline"));
}

TEST_F(SioDeviceTest, UnknownControlBytesResetTheDevice) {
    // 0x11 is an RR with the poll bit, 0x13 and 0xFF mean nothing on this link.
    for (unsigned char control : {0x11, 0x13, 0x1F, 0xFF}) {
        SCOPED_TRACE(int(control));
        FakeAdapter a;
        TestDevice d(&a);
        Bytes rol = inFrame(SIODEV_CTL_ROL), nsa = inFrame(SIODEV_CTL_NSA);
        d.ProcessInput(rol.data(), static_cast<int>(rol.size()));
        d.ProcessInput(nsa.data(), static_cast<int>(nsa.size()));
        a.frames.clear();
        d.take();
        ovkhost::clearCaptures();
        Bytes rec = inFrame(control);
        d.ProcessInput(rec.data(), static_cast<int>(rec.size()));
        EXPECT_TRUE(ovkhost::errorLogged(913));
        EXPECT_EQ(d.GetUnknownMessageCounts(), 1);
        ASSERT_EQ(a.frames.size(), 1u);
        EXPECT_EQ(decodeOut(a.frames[0]).control, SIODEV_CTL_NSI);
        EXPECT_FALSE(d.TestStatusBits(PDEV_ONLINE));
        EXPECT_TRUE(d.take().empty());
    }
}

TEST_F(SioDeviceTest, TruncatedRecordIsRefusedWithoutReadingPastIt) {
    bringUp();
    const Bytes shortRec = {0x00, 0x00, kPort, kAddress}; // no control byte
    EXPECT_NE(dev.ProcessInput(shortRec.data(), static_cast<int>(shortRec.size())), 0);
    EXPECT_TRUE(ovkhost::errorLogged(913));
    EXPECT_EQ(dev.GetLinkState(), SIODEVICE::IDLE);
    EXPECT_TRUE(sent().empty());
    EXPECT_NE(dev.ProcessInput(nullptr, 12), 0);

    // An I-frame without its check bytes passes on no data.
    Bytes rec = {0x04, 0x00, kPort, kAddress, iFrame(0, 0)};
    dev.ProcessInput(rec.data(), static_cast<int>(rec.size()));
    EXPECT_EQ(dev.take(), std::vector<std::string>{"NewMsgRcvd"});
    ASSERT_EQ(dev.received.size(), 1u);
    EXPECT_TRUE(dev.received[0].empty());
}

TEST_F(SioDeviceTest, AcknowledgementTimeOutResetsTheSequence) {
    bringUp();
    dev.pending.push_back(Bytes{'t'});
    cycle(10);
    EXPECT_EQ(sent(), std::vector<unsigned char>{iFrame(0, 0)});
    dev.take();
    const int before = dev.pendingCalls;

    cycle(499);
    EXPECT_TRUE(sent().empty());
    cycle(1);
    EXPECT_EQ(dev.take(), (std::vector<std::string>{"LastMsgLost(<<NULL>>)",
                                                    "SequenceResetInProgress(<<NULL>>)"}));
    EXPECT_EQ(dev.GetLastMessageLostCounts(), 1);
    EXPECT_EQ(dev.pendingCalls, before + 1);
    EXPECT_EQ(sent(), std::vector<unsigned char>{SIODEV_CTL_SNRM});
    EXPECT_EQ(dev.GetLinkState(), SIODEVICE::WAITNSA);
    EXPECT_TRUE(dev.TestStatusBits(PDEV_ONLINE)); // a sequence reset keeps the device online

    // NSA: the lost message goes again, from N(S) 0.
    feed(SIODEV_CTL_NSA);
    auto frames = adapter.frames;
    ASSERT_EQ(frames.size(), 1u);
    OutFrame again = decodeOut(frames[0]);
    EXPECT_EQ(again.control, iFrame(0, 0));
    EXPECT_EQ(again.data, "t");
}

TEST_F(SioDeviceTest, AcknowledgementWaitTimeIsSettable) {
    bringUp();
    dev.SetAckWaitTime(1200);
    const unsigned char m = 'm';
    ASSERT_EQ(dev.SendMsg(&m, 1), 0);
    adapter.frames.clear();
    cycle(1199);
    EXPECT_EQ(dev.GetLinkState(), SIODEVICE::WAITACK);
    cycle(1);
    EXPECT_EQ(dev.GetLinkState(), SIODEVICE::WAITNSA);
}

TEST_F(SioDeviceTest, AcknowledgementTimeOutAfterPollTimeOutsIsAPowerOnReset) {
    bringUp();
    dev.pending.push_back(Bytes{'t'});
    cycle(10);
    sent();
    const unsigned char timeout = 0x13;
    for (int i = 0; i < 5; ++i) dev.ProcessError(&timeout, 1);
    EXPECT_EQ(dev.GetPollTimeoutCount(), 5);
    EXPECT_EQ(dev.GetPollTimeoutCounts(), 5);
    cycle(500);
    EXPECT_EQ(sent(), std::vector<unsigned char>{SIODEV_CTL_NSI});
    EXPECT_EQ(dev.GetLinkState(), SIODEVICE::WAITNSA);
    EXPECT_FALSE(dev.TestStatusBits(PDEV_ONLINE));
    EXPECT_EQ(dev.GetLastMessageLostCounts(), 0);

    // Any frame clears the poll time-outs since the last one; the total stays.
    feed(SIODEV_CTL_NSA);
    EXPECT_EQ(dev.GetPollTimeoutCount(), 0);
    EXPECT_EQ(dev.GetPollTimeoutCounts(), 5);
}

// A device that stops answering: after five poll time-outs and 5 s since the last send
// the link is reset; 10 s without NSA make it a power-on reset and the device offline.
TEST_F(SioDeviceTest, DeviceThatStopsAnsweringGoesOffline) {
    bringUp();
    EXPECT_TRUE(dev.TestStatusBits(PDEV_ONLINE));
    const unsigned char timeout = 0x13;
    for (int i = 0; i < 4; ++i) {
        dev.ProcessError(&timeout, 1);
        cycle(100);
    }
    cycle(6000); // four time-outs are not enough
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(dev.GetLinkState(), SIODEVICE::IDLE);

    dev.ProcessError(&timeout, 1);
    cycle(0);
    EXPECT_EQ(sent(), std::vector<unsigned char>{SIODEV_CTL_SNRM});
    EXPECT_EQ(dev.GetLinkState(), SIODEVICE::WAITNSA);
    EXPECT_TRUE(dev.TestStatusBits(PDEV_ONLINE));

    cycle(9999);
    EXPECT_TRUE(sent().empty());
    cycle(1);
    EXPECT_EQ(sent(), std::vector<unsigned char>{SIODEV_CTL_NSI});
    EXPECT_FALSE(dev.TestStatusBits(PDEV_ONLINE));
    EXPECT_FALSE(dev.TestStatusBits(PDEV_PRESENT));
    EXPECT_TRUE(printed("--> <<TestDev >> (1.11.35) offline"));

    // Every further 10 s another NSI; the device coming back answers one with NSA.
    cycle(10000);
    EXPECT_EQ(sent(), std::vector<unsigned char>{SIODEV_CTL_NSI});
    EXPECT_EQ(dev.GetPowerOnResetCounts(), 2);
    feed(SIODEV_CTL_NSA);
    EXPECT_TRUE(dev.TestStatusBits(PDEV_ONLINE));
    EXPECT_EQ(dev.GetLinkState(), SIODEVICE::IDLE);
}

TEST_F(SioDeviceTest, IdleDeviceWithPollTimeOutsWaitsFiveSecondsSinceTheLastSend) {
    bringUp();
    const unsigned char timeout = 0x13;
    for (int i = 0; i < 5; ++i) dev.ProcessError(&timeout, 1);
    cycle(4999);
    EXPECT_TRUE(sent().empty());
    cycle(1);
    EXPECT_EQ(sent(), std::vector<unsigned char>{SIODEV_CTL_SNRM});
}

TEST_F(SioDeviceTest, LinkErrorIsLoggedWithTheState) {
    bringUp();
    const unsigned char code = 0x20;
    dev.ProcessError(&code, 1);
    auto log = ovkhost::errorLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].logId, 901u);
    EXPECT_EQ(log[0].rc, 321u);
    EXPECT_EQ(log[0].extra, uint32_t(SIODEVICE::IDLE));

    // Other codes and short texts change nothing.
    const unsigned char other = 0x11;
    dev.ProcessError(&other, 1);
    const char part[] = "Passing";
    dev.ProcessError(reinterpret_cast<const unsigned char*>(part), 7);
    EXPECT_FALSE(dev.Crossed());
    EXPECT_EQ(dev.GetPollTimeoutCounts(), 0);
    EXPECT_EQ(ovkhost::errorLog().size(), 1u);
}

TEST_F(SioDeviceTest, FailedSendLeavesTheStateAsItWas) {
    bringUp();
    const int32_t lastSend = dev.GetLastSendTime();
    adapter.refuse = true;
    ovkhost::advanceClock(50);
    const unsigned char m = 'm';
    EXPECT_EQ(dev.SendMsg(&m, 1), 607);
    EXPECT_EQ(dev.GetLinkState(), SIODEVICE::IDLE);
    EXPECT_EQ(dev.GetSendSequence(), 0);
    EXPECT_EQ(dev.GetLastSendTime(), lastSend);

    // A request-online whose SNRM cannot go keeps the device online.
    feed(SIODEV_CTL_ROL);
    EXPECT_EQ(dev.GetLinkState(), SIODEVICE::IDLE);
    EXPECT_TRUE(dev.TestStatusBits(PDEV_ONLINE));
    EXPECT_TRUE(dev.take().empty());

    // A power-on reset that cannot be sent is not counted, but the device is offline.
    dev.PowerOnReset();
    EXPECT_EQ(dev.GetPowerOnResetCounts(), 0);
    EXPECT_FALSE(dev.TestStatusBits(PDEV_ONLINE));

    TestDevice orphan(nullptr);
    EXPECT_EQ(orphan.SendMsg(&m, 1), 327);
    EXPECT_EQ(dev.SendFrame(0x00, nullptr, 4), 321);
}

TEST_F(SioDeviceTest, HandlerExceptionsInTheTimerStepAreCaught) {
    bringUp();
    dev.throwIn = "SendAnyPendingMessage";
    cycle(10);
    EXPECT_TRUE(ovkhost::errorLogged(916));
    EXPECT_TRUE(printed("SIODEV(TestDev/IDLE): SendAnyPendingMessage() exception"));

    dev.throwIn.clear();
    const unsigned char m = 'm';
    ASSERT_EQ(dev.SendMsg(&m, 1), 0);
    dev.throwIn = "LastMsgLost";
    cycle(500);
    EXPECT_TRUE(ovkhost::errorLogged(918));
    EXPECT_TRUE(printed("SIODEV(TestDev/WAITACK): LastMsgLost() exception"));
}

TEST_F(SioDeviceTest, SuspendAndResumeWriteTheirLines) {
    EXPECT_EQ(dev.Suspend(), 0);
    EXPECT_EQ(dev.Resume(), 0);
    EXPECT_TRUE(printed("Suspending 'TestDev'"));
    EXPECT_TRUE(printed("Resuming 'TestDev'"));
}

} // namespace
