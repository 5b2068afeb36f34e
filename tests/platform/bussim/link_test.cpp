// Stations on the simulated bus: the link as the core's link devices see it.
#include <algorithm>

#include "CoreSide.h"

#include "sycrc.h"

namespace bussimtest {
namespace {

constexpr uint8_t kAddr = 0x5C;

class Link : public CoreSide {
protected:
    void SetUp() override {
        CoreSide::SetUp();
        auto m = std::make_unique<ScriptedModel>();
        model = m.get();
        ASSERT_NE(engine->attach(kSlot, 0x11, kAddr, std::move(m)), nullptr);
    }

    // Hands frames to the node and returns the frame it delivers next (must be one).
    InFrame answer(std::vector<OutFrame> frames) {
        NodeInput in;
        EXPECT_EQ(exchange(framesOut(std::move(frames)), in), 0u);
        EXPECT_TRUE(in.frame.has_value());
        return in.frame ? *in.frame : InFrame{};
    }
    InFrame answer(uint8_t control, Bytes data = {}) {
        return answer({OutFrame::make(0x11, kAddr, control, std::move(data))});
    }
    // Hands frames to the node and expects nothing back.
    void silent(std::vector<OutFrame> frames) {
        EXPECT_EQ(giveBack(framesOut(std::move(frames))), 0u);
        EXPECT_EQ(wait(), res::kTimeout);
    }

    // Brings the link up: ROL, SNRM, NSA.
    void online() {
        bringUp({{0x11, kAddr}});
        NodeInput in;
        ASSERT_EQ(wait(in), 0u);
        ASSERT_TRUE(in.frame);
        ASSERT_EQ(in.frame->control, ctl::kROL);
        ASSERT_EQ(answer(ctl::kSNRM).control, ctl::kNSA);
    }

    ScriptedModel* model = nullptr;
};

TEST_F(Link, PowerOnStationAnswersOnePollWithROL) {
    bringUp({{0x11, kAddr}});
    NodeInput in;
    ASSERT_EQ(wait(in), 0u);
    ASSERT_TRUE(in.frame);
    EXPECT_EQ(in.events, 1 << exch::kEventFrame);
    // Received record: length 4, port, address, control, check over address and control.
    const unsigned char covered[] = {kAddr, ctl::kROL};
    const unsigned short crc = CalculateCRC(covered, 2);
    EXPECT_EQ(Bytes(last.begin() + 303, last.begin() + 310),
              (Bytes{0x04, 0x00, 0x11, kAddr, ctl::kROL, static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8)}));
    EXPECT_TRUE(in.frame->checkOk);
    // One ROL only: later polls get idle answers, which the node keeps to itself.
    ASSERT_EQ(giveBack(CoreOutput{}), 0u);
    EXPECT_EQ(wait(), res::kTimeout);
    EXPECT_EQ(engine->station(kSlot, 0x11, kAddr)->link(), Station::Link::PowerOn);
}

TEST_F(Link, SnrmIsAnsweredWithNsaAndResetsTheSequence) {
    online();
    Station* st = engine->station(kSlot, 0x11, kAddr);
    EXPECT_EQ(st->link(), Station::Link::Normal);
    EXPECT_EQ(answer(ctl::info(0, 0), {1}).control, ctl::rr(1));
    EXPECT_EQ(st->vr(), 1);
    EXPECT_EQ(answer(ctl::kSNRM).control, ctl::kNSA);
    EXPECT_EQ(st->vr(), 0);
    EXPECT_EQ(st->vs(), 0);
    std::vector<LinkFrame> got = engine->received(kSlot, 0x11, kAddr);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].control, ctl::kSNRM);
    EXPECT_EQ(got[1].data, Bytes{1});
}

TEST_F(Link, InformationFramesCarryTheModelsRepliesWithSequenceNumbers) {
    model->on({0xA1}, {0xB1, 0xB2});
    online();
    // Our N(S) and N(R) run through a full wrap of the 3-bit counters.
    int ns = 0, nr = 0;
    for (int i = 0; i < 10; ++i) {
        InFrame reply = answer(ctl::info(ns, nr), {0xA1});
        ns = (ns + 1) & 7;
        ASSERT_TRUE(ctl::isInfo(reply.control)) << i;
        EXPECT_EQ(ctl::ns(reply.control), nr) << i;
        EXPECT_EQ(ctl::nr(reply.control), ns) << i; // acknowledges our frame
        EXPECT_EQ(reply.data, (Bytes{0xB1, 0xB2}));
        EXPECT_TRUE(reply.checkOk);
        nr = (nr + 1) & 7;
        silent({OutFrame::make(0x11, kAddr, ctl::rr(nr))}); // acknowledges theirs
        EXPECT_FALSE(engine->station(kSlot, 0x11, kAddr)->awaitingAck());
    }
    EXPECT_EQ(model->received().size(), 10u);
    // A request the script does not know is acknowledged with RR.
    InFrame ack = answer(ctl::info(ns, nr), {0x77});
    EXPECT_EQ(ack.control, ctl::rr((ns + 1) & 7));
    EXPECT_TRUE(ack.data.empty());
}

TEST_F(Link, RepeatedFrameIsNotPassedOnTwice) {
    model->on({0xA1}, {0xB1});
    online();
    InFrame first = answer(ctl::info(0, 0), {0xA1});
    ASSERT_EQ(first.control, ctl::info(0, 1));
    // The same frame again (our answer was lost): the answer is repeated, unchanged.
    InFrame again = answer(ctl::info(0, 0), {0xA1});
    EXPECT_EQ(again.control, ctl::info(0, 1));
    EXPECT_EQ(again.data, Bytes{0xB1});
    EXPECT_EQ(model->received().size(), 1u);
    // Acknowledged, a repeat gets RR.
    silent({OutFrame::make(0x11, kAddr, ctl::rr(1))});
    EXPECT_EQ(answer(ctl::info(0, 1), {0xA1}).control, ctl::rr(1));
    EXPECT_EQ(model->received().size(), 1u);
}

TEST_F(Link, OutOfSequenceAndUnknownFramesAreRejected) {
    online();
    EXPECT_EQ(answer(ctl::info(5, 0), {0x01}).control, ctl::kCMDR);
    EXPECT_TRUE(model->received().empty());
    EXPECT_EQ(answer(0x47).control, ctl::kCMDR);
    // Before SNRM an information frame makes the station ask to come online again.
    EXPECT_EQ(answer(ctl::kNSI, {0x00, 0x40}).control, ctl::kROL);
    EXPECT_EQ(answer(ctl::info(0, 0), {0x01}).control, ctl::kROL);
    EXPECT_TRUE(model->received().empty());
}

TEST_F(Link, UnaskedPayloadsGoOutOneAtATime) {
    online();
    model->push({0x10});
    model->push({0x20});
    NodeInput in;
    ASSERT_EQ(giveBack(CoreOutput{}), 0u);
    ASSERT_EQ(wait(in), 0u); // tick: the model sends both, the first goes out
    ASSERT_TRUE(in.frame);
    EXPECT_EQ(in.frame->control, ctl::info(0, 0));
    EXPECT_EQ(in.frame->data, Bytes{0x10});
    // Not acknowledged yet: the second waits.
    ASSERT_EQ(giveBack(CoreOutput{}), 0u);
    EXPECT_EQ(wait(), res::kTimeout);
    // RR naming the frame still out: not received, so sent again.
    InFrame again = answer(ctl::rr(0));
    EXPECT_EQ(again.control, ctl::info(0, 0));
    EXPECT_EQ(again.data, Bytes{0x10});
    // RR acknowledging it releases the next.
    InFrame next = answer(ctl::rr(1));
    EXPECT_EQ(next.control, ctl::info(1, 0));
    EXPECT_EQ(next.data, Bytes{0x20});
    // An information frame from the host acknowledges it too, and gets RR.
    EXPECT_EQ(answer(ctl::info(0, 2), {0x01}).control, ctl::rr(1));
    EXPECT_FALSE(engine->station(kSlot, 0x11, kAddr)->awaitingAck());
}

TEST_F(Link, SnrmSendsAnUnacknowledgedPayloadAgain) {
    online();
    model->push({0x33});
    ASSERT_EQ(giveBack(CoreOutput{}), 0u);
    NodeInput in;
    ASSERT_EQ(wait(in), 0u);
    ASSERT_TRUE(in.frame);
    EXPECT_EQ(answer(ctl::kSNRM).control, ctl::kNSA);
    ASSERT_EQ(giveBack(CoreOutput{}), 0u);
    ASSERT_EQ(wait(in), 0u);
    ASSERT_TRUE(in.frame);
    EXPECT_EQ(in.frame->control, ctl::info(0, 0));
    EXPECT_EQ(in.frame->data, Bytes{0x33});
}

TEST_F(Link, NsiAndBroadcastReturnStationsToPowerOn) {
    auto other = std::make_unique<ScriptedModel>();
    ScriptedModel* port2 = other.get();
    ASSERT_NE(engine->attach(kSlot, 0x22, kAddr, std::move(other)), nullptr);
    online();
    const int resets = model->resets();
    // NSI to the station.
    EXPECT_EQ(answer(ctl::kNSI, {0x00, 0x40}).control, ctl::kROL);
    EXPECT_EQ(model->resets(), resets + 1);
    EXPECT_EQ(answer(ctl::kSNRM).control, ctl::kNSA);

    // The broadcast record of port 1 reaches every station of port 1 and no other.
    const int port2Resets = port2->resets();
    CoreOutput out = framesOut({OutFrame::broadcastReset(0x11)});
    ASSERT_EQ(giveBack(out), 0u);
    NodeInput in;
    ASSERT_EQ(wait(in), 0u);
    ASSERT_TRUE(in.frame);
    EXPECT_EQ(in.frame->control, ctl::kROL);
    EXPECT_EQ(model->resets(), resets + 2);
    EXPECT_EQ(port2->resets(), port2Resets);
    std::vector<LinkFrame> got = engine->received(kSlot, 0x11, kAddr);
    ASSERT_FALSE(got.empty());
    EXPECT_TRUE(got.back().broadcast);
    EXPECT_EQ(got.back().data, (Bytes{0x00, 0x40}));
    EXPECT_TRUE(engine->received(kSlot, 0x22, kAddr).empty());
    // The record as the node saw it: 04 00 11 60 00 7A 03 00 40.
    std::vector<uint8_t> rec = encodeOutFrame(OutFrame::broadcastReset(0x11));
    EXPECT_EQ(rec, (Bytes{0x04, 0x00, 0x11, 0x60, 0x00, 0x7A, 0x03, 0x00, 0x40}));
}

TEST_F(Link, FrameWithBadCheckBytesIsDropped) {
    online();
    OutFrame bad = OutFrame::make(0x11, kAddr, ctl::info(0, 0), {0x01});
    bad.check ^= 0x0100;
    silent({bad});
    EXPECT_TRUE(model->received().empty());
    EXPECT_EQ(engine->received(kSlot, 0x11, kAddr).size(), 1u); // only the SNRM
    const ReturnedBuffer log = engine->returnedBuffers(kSlot).back();
    EXPECT_TRUE(log.accepted);
    ASSERT_EQ(log.output.frames.size(), 1u);
    EXPECT_FALSE(log.output.frames[0].checkOk);
    // Frames to an address without a station vanish as well.
    silent({OutFrame::make(0x11, 0x33, ctl::kSNRM)});
}

TEST_F(Link, StationTakenAwayTimesOutAndComesBackPoweredOn) {
    online();
    ASSERT_TRUE(engine->takeAway(kSlot, 0x11, kAddr));
    EXPECT_FALSE(engine->takeAway(kSlot, 0x11, 0x01));
    // The SNRM is lost and every poll times out.
    NodeInput in;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(exchange(i == 0 ? framesOut({OutFrame::make(0x11, kAddr, ctl::kSNRM)}) : CoreOutput{}, in), 0u);
        ASSERT_EQ(in.errors.size(), 1u);
        EXPECT_EQ(in.errors[0], (ErrorRecord{exch::kPollTimeout, 0x11, kAddr, {}}));
        EXPECT_FALSE(in.frame);
        EXPECT_EQ(last[271], 4);
        EXPECT_EQ(Bytes(last.begin() + 273, last.begin() + 277), (Bytes{0x03, 0x13, 0x11, kAddr}));
    }
    EXPECT_EQ(engine->received(kSlot, 0x11, kAddr).size(), 1u);
    ASSERT_TRUE(engine->bringBack(kSlot, 0x11, kAddr));
    ASSERT_EQ(exchange(CoreOutput{}, in), 0u);
    ASSERT_TRUE(in.frame);
    EXPECT_EQ(in.frame->control, ctl::kROL);
    EXPECT_TRUE(in.errors.empty());

    // Detached, the address times out too; attaching again is allowed.
    ASSERT_TRUE(engine->detach(kSlot, 0x11, kAddr));
    ASSERT_EQ(exchange(CoreOutput{}, in), 0u);
    EXPECT_EQ(in.errors.size(), 1u);
    EXPECT_NE(engine->attach(kSlot, 0x11, kAddr, std::make_unique<ScriptedModel>()), nullptr);
}

TEST_F(Link, ErrorsAndAFrameNeverShareABufferAndAWaitingFrameGoesFirst) {
    online();
    // An absent address next to a chatty station: both kinds wait at every tick.
    CoreOutput list;
    list.flags = exch::kFlagPollList;
    list.pollList = pollListOf({{0x11, kAddr}, {0x11, 0x5D}, {0x11, 0x00}, {0x11, 0x00}});
    ASSERT_EQ(giveBack(list), 0u);
    int frames = 0, errorBuffers = 0, nr = 0, framesInARow = 0, longestRun = 0;
    NodeInput in;
    ASSERT_EQ(wait(in), 0u);
    for (int i = 0; i < 12; ++i) {
        model->push({static_cast<uint8_t>(i)});
        EXPECT_FALSE(in.frame && !in.errors.empty()) << i;
        CoreOutput out;
        if (in.frame) {
            ++frames;
            longestRun = std::max(longestRun, ++framesInARow);
            if (ctl::isInfo(in.frame->control)) {
                nr = (nr + 1) & 7;
                out = framesOut({OutFrame::make(0x11, kAddr, ctl::rr(nr))});
            }
        }
        if (!in.errors.empty()) {
            ++errorBuffers;
            framesInARow = 0;
            // One record per silent address, however often it was polled.
            EXPECT_EQ(in.errors.size(), 2u);
        }
        ASSERT_EQ(exchange(out, in), 0u);
    }
    // The station's answers are not held up behind the time-outs, which still get their
    // buffer after a few frames.
    EXPECT_GE(frames, 8);
    EXPECT_GE(errorBuffers, 2);
    EXPECT_LE(longestRun, BusEngine::kFramesBeforeErrors);
}

// Records the time of every tick.
class ClockModel : public DeviceModel {
public:
    explicit ClockModel(std::vector<int32_t>& times) : times_(times) {}
    void receive(const std::vector<uint8_t>&, ModelLink&) override {}
    void tick(int32_t now, ModelLink&) override { times_.push_back(now); }

private:
    std::vector<int32_t>& times_;
};

TEST_F(Link, ModelsTickInLockstepWithTheSettableClock) {
    std::vector<int32_t> times;
    ASSERT_NE(engine->attach(kSlot, 0x22, 0x10, std::make_unique<ClockModel>(times)), nullptr);
    bringUp({});
    times.clear();
    ovkhost::setClock(5000);
    EXPECT_EQ(wait(), res::kTimeout);
    ovkhost::advanceClock(250);
    EXPECT_EQ(wait(), res::kTimeout);
    ASSERT_EQ(result(req::kRequestBuffer), 0u);
    ASSERT_EQ(wait(), 0u);
    ovkhost::advanceClock(250);
    EXPECT_EQ(wait(), res::kTimeout); // with the core: no tick
    EXPECT_EQ(times, (std::vector<int32_t>{5000, 5250, 5250}));
}

} // namespace
} // namespace bussimtest
