// The scales on the simulated link: model 96's start-up and configure, weight reads in both
// modes, the reading's status, zero scale and clear display, time-outs, refused
// configurations; model 87; and the identifier that tells the two apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <string>
#include <tuple>

#include "NearWrap.h"
#include "Oracle_6E.h"
#include "SCL87.h"
#include "SCL96.h"
#include "ScaleTerminal.h"

namespace scaletest {
namespace {

ScaleModel::Options Model(ScaleModel::Kind kind) {
    ScaleModel::Options o;
    o.kind = kind;
    return o;
}

class Scale96 : public ::testing::Test {
protected:
    void SetUp() override {
        scale = static_cast<SCL96P*>(t.Attach(SCL96P_TYPE_ID, Model(ScaleModel::Kind::Scale96)));
        ASSERT_NE(scale, nullptr);
        ASSERT_TRUE(t.RunUntilOnline());
        t.Run(20);
    }
    std::unique_ptr<Client<SCL96V>> Acquired(std::vector<PosArg> args = {}) {
        auto c = t.MakeClient<SCL96V>();
        EXPECT_EQ(c->open(std::move(args)), 0);
        EXPECT_EQ(c->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
        t.Run(20);
        return c;
    }
    int Read(Client<SCL96V>& c, Bytes& out, unsigned size = 8) {
        return t.WhilePumping([&] { return c.read(out, size); });
    }

    ScaleTerminal t;
    SCL96P* scale = nullptr;
};

TEST_F(Scale96, StartsUpAndGoesOnlineOnTheConfiguresAcceptance) {
    // After the power-on only the EC level and the configure are asked for.
    EXPECT_EQ(t.Commands(), (std::vector<Bytes>{{0x00, 0x80}, {0x20, 0x48, 0x00, 0x00}}));
    EXPECT_EQ(t.events.take(), (std::vector<Event>{{POSM_SYS_DEVICE_ONLINE, 0x01116E0B, 2}}));
    EXPECT_EQ(scale->PendingMask(), 0u);
    EXPECT_EQ(scale->GetECLevel(), 0x21);
}

TEST_F(Scale96, AcquireWithTheDefaultResourcesSendsTheirConfiguration) {
    auto c = Acquired();
    EXPECT_EQ(t.Commands().back(), (Bytes{0x20, 0x4C, 0x00, 0x00}));
    EXPECT_EQ(t.model->configure(), (Bytes{0x20, 0x4C, 0x00, 0x00}));
    auto d = t.MakeClient<SCL96V>(2);
    EXPECT_EQ(d->open({{"vibrationFilter", 4}}), 6203);
    EXPECT_EQ(d->open({{"weightMode", 2}}), 6204);
    EXPECT_EQ(d->open({{"operMode", 2}}), 6201);
}

TEST_F(Scale96, ReadsTheWeightAsARecord) {
    auto c = Acquired();
    t.model->setWeight(1234);
    Bytes out;
    ASSERT_EQ(Read(*c, out), 0);
    EXPECT_EQ(out, (Bytes{0x00, 0x00, 0x00, 0x00, 0xD2, 0x04, 0x00, 0x00}));
    EXPECT_EQ(t.Commands().back(), Bytes{0x01});
    t.model->setWeight(12345); // five digits
    t.model->setUnstable(true);
    ASSERT_EQ(Read(*c, out), 0);
    EXPECT_EQ(out, (Bytes{0x00, 0x00, 0x02, 0x00, 0x39, 0x30, 0x00, 0x00}));
}

TEST_F(Scale96, WeightRepliesByTheirDigits) {
    auto c = Acquired();
    struct Case {
        Bytes reply;
        int rc;
        int32_t weight;
    } cases[] = {
        {{0x00, 0x01, 0x00, 0x01, 0x02, 0x03, 0x04}, 0, 1234}, // five digits
        {{0x00, 0x00, 0x00, 0x01, 0x02, 0x03}, 0, 123},        // four digits
        {{0x00, 0x01, 0x00, 0x01, 0x02}, 6210, 0},             // five announced, three there
        {{0x00, 0x00, 0x00, 0x01, 0x0A, 0x03}, 6210, 0},       // a byte that is no digit
    };
    t.model->setMute(true); // the scale takes the command; the reply is the test's
    for (const Case& k : cases) {
        ovkhost::clearCaptures();
        const size_t before = t.Commands().size();
        Bytes out;
        std::future<int> done = std::async(std::launch::async, [&] { return c->read(out); });
        bool answered = false;
        for (int i = 0; i < 1000 && done.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready; ++i) {
            if (!answered && t.Commands().size() > before) {
                t.Send(k.reply);
                answered = true;
            }
            t.Cycle();
        }
        ASSERT_EQ(done.get(), k.rc);
        if (k.rc == 0) {
            ASSERT_EQ(out.size(), 8u);
            EXPECT_EQ(out[4] | out[5] << 8, k.weight);
        } else {
            EXPECT_TRUE(ovkhost::errorLogged(31401));
        }
    }
}

TEST_F(Scale96, AnotherClientClosingDoesNotInterruptTheOwnersRead) {
    auto owner = Acquired();
    auto other = t.MakeClient<SCL96V>(2);
    ASSERT_EQ(other->open(), 0);
    t.model->setMute(true);
    const size_t before = t.Commands().size();
    Bytes out;
    std::future<int> done = std::async(std::launch::async, [&] { return owner->read(out); });
    bool closed = false;
    for (int i = 0; i < 1000 && done.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready; ++i) {
        if (!closed && t.Commands().size() > before) {
            // The owner waits for the weight; the other client goes.
            int remaining = 0;
            EXPECT_EQ(other->Close(remaining), 0);
            closed = true;
            t.Send({0x00, 0x00, 0x00, 0x00, 0x04, 0x02}); // the weight arrives after all
        }
        t.Cycle();
    }
    ASSERT_EQ(done.get(), 0);
    EXPECT_EQ(out[4] | out[5] << 8, 42);
    t.model->setMute(false);
    t.model->setWeight(7);
    ASSERT_EQ(Read(*owner, out), 0); // and later reads work
    EXPECT_EQ(out[4], 7);
}

TEST_F(Scale96, WeightModeOneAsksInMetricUnits) {
    auto c = Acquired({{"weightMode", 1}});
    EXPECT_EQ(t.model->configure()[1], 0x5C);
    Bytes out;
    ASSERT_EQ(Read(*c, out), 0);
    EXPECT_EQ(t.Commands().back(), Bytes{0x02});
    EXPECT_EQ(out[0], 1);
}

TEST_F(Scale96, ASmallBufferIsRefusedWithoutAskingTheScale) {
    auto c = Acquired();
    const size_t before = t.Commands().size();
    Bytes out;
    EXPECT_EQ(c->read(out, 7), 312);
    t.Run(10);
    EXPECT_EQ(t.Commands().size(), before);
}

TEST_F(Scale96, ASilentScaleTimesOutAfterFifteenSeconds) {
    auto c = Acquired();
    t.model->setMute(true);
    const int32_t start = chTime();
    Bytes out;
    EXPECT_EQ(t.WhileAsleep([&] { return c->read(out, 8); }), 329);
    const int32_t waited = chTimeDiff(chTime(), start);
    EXPECT_GE(waited, 15000);
    EXPECT_LT(waited, 15100);
}

// The scale started on a clock ten seconds before it wraps: the 15 s wait of a read begins
// before the wrap and ends after it, at its time.
class Scale96NearWrap : public Scale96, public ::testing::WithParamInterface<uint32_t> {
protected:
    void SetUp() override {
        ovkhost::setClock(nearwrap::Clock(GetParam()));
        Scale96::SetUp();
    }
};

TEST_P(Scale96NearWrap, ASilentScaleTimesOutAfterFifteenSecondsAcrossTheWrap) {
    auto c = Acquired();
    t.model->setMute(true);
    const int32_t start = chTime();
    ASSERT_LT(chTimeDiff(start, nearwrap::WrapAfter(GetParam())), 0);
    Bytes out;
    EXPECT_EQ(t.WhileAsleep([&] { return c->read(out, 8); }), 329);
    const int32_t waited = chTimeDiff(chTime(), start);
    EXPECT_GE(waited, 15000);
    EXPECT_LT(waited, 15100);
    // Answering again, the scale gives its weight once it has been reset.
    t.model->setMute(false);
    t.model->setWeight(1234);
    ASSERT_EQ(t.WhilePumping([&] { return c->read(out, 8); }, 6000), 0);
    EXPECT_EQ(out[4] | out[5] << 8, 1234);
}

INSTANTIATE_TEST_SUITE_P(Starts, Scale96NearWrap, nearwrap::kStarts, nearwrap::StartName);

// The busy timer on a clock that wraps while it runs: a command the scale leaves unanswered
// is given up after 2 s, a reset the scale reports after 30 s; then the scale is reset.
struct BusyTimer {
    const char* name;
    bool resetInProgress; // the scale reports a reset (else a weight command goes unanswered)
    int32_t waitMs;
};
const BusyTimer kBusyTimers[] = {{"Command", false, 2000}, {"Reset", true, 30000}};

class ScaleBusyAcrossTheWrap : public ::testing::TestWithParam<std::tuple<uint32_t, BusyTimer>> {
protected:
    void SetUp() override {
        ovkhost::setClock(nearwrap::Clock(std::get<0>(GetParam())));
        scale = static_cast<SCL96P*>(t.Attach(SCL96P_TYPE_ID, Model(ScaleModel::Kind::Scale96)));
        ASSERT_NE(scale, nullptr);
        ASSERT_TRUE(t.RunUntilOnline());
        t.Run(20);
    }
    ScaleTerminal t;
    SCL96P* scale = nullptr;
};

TEST_P(ScaleBusyAcrossTheWrap, TheScaleIsGivenUpAtItsTime) {
    const BusyTimer& timer = std::get<1>(GetParam());
    const int32_t wrap = nearwrap::WrapAfter(std::get<0>(GetParam()));
    auto c = t.MakeClient<SCL96V>();
    ASSERT_EQ(c->open(), 0);
    ASSERT_EQ(c->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    t.model->setMute(true);
    // A second before the wrap.
    ASSERT_GT(chTimeDiff(wrap, chTime()), 1000);
    while (chTimeDiff(wrap, chTime()) > 1000) t.Cycle();
    ovkhost::clearCaptures();

    Bytes out;
    std::future<int> read;
    int32_t started = chTime();
    if (timer.resetInProgress) {
        scale->CommandResetInProgress();
    } else {
        read = std::async(std::launch::async, [&] { return c->read(out, 8); });
        bool sent = false;
        for (int i = 0; i < 1000 && !sent; ++i) {
            read.wait_for(std::chrono::milliseconds(1));
            started = chTime();
            t.Cycle();
            sent = scale->Outstanding();
        }
        ASSERT_TRUE(sent);
        EXPECT_EQ(t.Commands().back(), Bytes{0x01});
    }
    ASSERT_GT(chTimeDiff(wrap, started), 0);
    const size_t before = t.Commands().size();

    int32_t givenUp = started;
    while (!ovkhost::errorLogged(31001) && chTimeDiff(givenUp, started) <= timer.waitMs + 1000) {
        givenUp = chTime();
        t.Cycle();
    }
    EXPECT_TRUE(ovkhost::errorLogged(31001));
    const int32_t waited = chTimeDiff(givenUp, started);
    EXPECT_GT(waited, timer.waitMs);
    EXPECT_LE(waited, timer.waitMs + 50);
    EXPECT_GT(chTimeDiff(givenUp, wrap), 0);
    t.Run(10);
    const std::vector<Bytes> commands = t.Commands();
    EXPECT_NE(std::find(commands.begin() + before, commands.end(), Bytes{0x00, 0x40}), commands.end())
        << "the scale was not reset";

    if (read.valid()) {
        t.model->setMute(false);
        for (int i = 0; i < 3000 && read.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready; ++i)
            t.Cycle();
        read.get();
    }
}

INSTANTIATE_TEST_SUITE_P(Starts, ScaleBusyAcrossTheWrap, ::testing::Combine(nearwrap::kStarts, ::testing::ValuesIn(kBusyTimers)),
                         [](const ::testing::TestParamInfo<std::tuple<uint32_t, BusyTimer>>& info) {
                             return std::string(std::get<1>(info.param).name) +
                                    nearwrap::StartName({std::get<0>(info.param), info.index});
                         });

TEST_F(Scale96, ATwoByteReplyAsksForTheExtendedStatusNext) {
    t.Send({0x00, 0x00});
    t.Run(5);
    EXPECT_EQ(t.Commands().back(), Bytes{0x04});
    EXPECT_EQ(scale->PendingMask(), 0u);
}

TEST_F(Scale96, ZeroScaleAndClearDisplay) {
    auto c = Acquired();
    t.model->setWeight(50);
    EXPECT_EQ(t.WhilePumping([&] { return c->ioctl(POS_SCALE_ZERO_SCALE); }), 0);
    EXPECT_EQ(t.model->weight(), 0u);
    t.model->setZeroWorks(false);
    EXPECT_EQ(t.WhilePumping([&] { return c->ioctl(POS_SCALE_ZERO_SCALE); }), 6207);
    EXPECT_EQ(t.WhilePumping([&] { return c->ioctl(POS_SCALE_CLEAR_SCREEN); }), 0);
    EXPECT_EQ(t.Commands().back(), Bytes{0x06});
}

TEST_F(Scale96, ThreeRefusedConfigurationsPutTheDefaultBack) {
    t.model->reject(3);
    auto c = Acquired();
    t.Run(2000);
    EXPECT_EQ(t.model->configure(), (Bytes{0x20, 0x48, 0x00, 0x00}));
    EXPECT_TRUE(scale->Confirmed(kAddress));
    EXPECT_TRUE(ovkhost::errorLogged(31402));
}

// A scale that refuses every configuration: the reset, EC level and configure go again at
// once three times, then the scale gets about one command a second for as long as it keeps
// refusing; once it takes the configuration it is online and the commands stop.
TEST_F(Scale96, ARefusedConfigurationGoesAgainPacedUntilTheScaleTakesIt) {
    t.model->reject(1 << 30);
    size_t seen = t.Commands().size();
    auto c = t.MakeClient<SCL96V>();
    ASSERT_EQ(c->open(), 0);
    ASSERT_EQ(c->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    int configures = 0;
    // The third refusal's reset, EC level and configure still go at once; the fourth is paced.
    std::vector<int32_t> paced; // when each command went after the fourth refusal
    const int32_t start = chTime();
    while (chTimeDiff(chTime(), start) < 8000) {
        t.Cycle();
        const auto& all = t.model->received();
        ASSERT_LT(all.size(), ScaleModel::kReceivedLimit);
        for (; seen < all.size(); ++seen) {
            if (configures >= 4) paced.push_back(chTime());
            if (all[seen].size() == 4 && all[seen][0] == 0x20) ++configures;
        }
    }
    ASSERT_GE(configures, 4);
    EXPECT_GE(paced.size(), 5u);
    EXPECT_LE(paced.size(), 9u);
    for (size_t i = 1; i < paced.size(); ++i) EXPECT_GE(chTimeDiff(paced[i], paced[i - 1]), 990) << i;
    EXPECT_FALSE(scale->Confirmed(kAddress));

    t.model->reject(0);
    t.Run(500);
    EXPECT_TRUE(scale->Confirmed(kAddress));
    EXPECT_EQ(t.model->configure(), (Bytes{0x20, 0x48, 0x00, 0x00}));
    EXPECT_EQ(scale->PendingMask(), 0u);
    seen = t.Commands().size();
    t.Run(300);
    EXPECT_EQ(t.Commands().size(), seen);
}

// A scale that stops answering while a client waits for it: once the link gives it up and
// takes it offline, the client gets 317 then, not at the end of its 15 s, and the command it
// waited for is dropped; back again, the scale gives the next weight. (A scale that only
// stays silent keeps the reader's whole 15 s: see above.)
template <class V>
void GoneMidRequest(ScaleModel::Kind kind, unsigned short typeId, int ioctlCode) {
    ScaleTerminal t;
    t.pollTimeoutsWhenAway = true;
    auto* p = static_cast<SCLP*>(t.Attach(typeId, Model(kind)));
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(t.RunUntilOnline());
    auto c = t.MakeClient<V>();
    ASSERT_EQ(c->open(), 0);
    ASSERT_EQ(c->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    t.Run(20);
    t.events.take();
    t.station->takeAway();
    const int32_t start = chTime();
    Bytes out;
    EXPECT_EQ(t.WhileAsleep([&] { return ioctlCode ? c->ioctl(ioctlCode) : c->read(out, 8); }), 317);
    EXPECT_LT(chTimeDiff(chTime(), start), SCALE_WAIT_MS);
    EXPECT_FALSE(p->Confirmed(kAddress));
    const std::vector<Event> events = t.events.take();
    EXPECT_TRUE(std::any_of(events.begin(), events.end(),
                            [](const Event& e) { return e.msg == POSM_SYS_DEVICE_OFFLINE; }));
    const uint32_t asked = 1u << SCLP_SLOT_ZERO | 1u << SCLP_SLOT_CLEAR_DISPLAY | 1u << SCLP_SLOT_WEIGHT_ENGLISH |
                           1u << SCLP_SLOT_WEIGHT_METRIC;
    EXPECT_EQ(p->PendingMask() & asked, 0u);

    t.station->bringBack();
    ASSERT_TRUE(t.RunUntilOnline());
    t.model->setWeight(321);
    ASSERT_EQ(t.WhilePumping([&] { return c->read(out, 8); }), 0);
    EXPECT_EQ(out[4] | out[5] << 8, 321);
}

TEST(ScaleGone, AReadOfModel96EndsWhenTheScaleGoesOffline) {
    GoneMidRequest<SCL96V>(ScaleModel::Kind::Scale96, SCL96P_TYPE_ID, 0);
}

TEST(ScaleGone, AReadOfModel87EndsWhenTheScaleGoesOffline) {
    GoneMidRequest<SCL87V>(ScaleModel::Kind::Scale87, SCL87P_TYPE_ID, 0);
}

TEST(ScaleGone, AZeroingEndsWhenTheScaleGoesOffline) {
    GoneMidRequest<SCL96V>(ScaleModel::Kind::Scale96, SCL96P_TYPE_ID, POS_SCALE_ZERO_SCALE);
}

// The link pumped as WhileAsleep does, with `each` run before every cycle while the reader
// sleeps on its wait (the device unlocked, as the polling thread finds it).
template <class F, class A>
int PumpAsleep(ScaleTerminal& t, F request, A each, int max = 3000) {
    std::future<int> done = std::async(std::launch::async, request);
    auto ready = [&] { return done.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; };
    for (int i = 0; i < max && !ready(); ++i) {
        for (int w = 0; w < 10000 && ovkhost::clockWaitsAsleep() == 0; ++w)
            if (done.wait_for(std::chrono::milliseconds(1)) == std::future_status::ready) break;
        if (ready()) break;
        each();
        t.Cycle();
    }
    return done.get();
}

// Roads offline while a reader waits for a weight the scale acknowledged: the scale leaves
// the bus right after its acknowledgement, or the bus driver node is lost (the adapter
// manager forces every device offline; nothing comes from the bus any more). Either way the
// reader gets 317 within a second of the offline, not 329 at the end of its 15 s, and the
// weight command is not sent once the scale is back. Likewise when the scale, never
// answering, is reset for taking too long and then leaves: the reset does not make the
// weight count as answered.
struct AwayCase {
    const char* name;
    bool nodeLost;
    bool resetFirst = false;
};

void PrintTo(const AwayCase& c, std::ostream* os) { *os << c.name; }

class ScaleAway : public ::testing::TestWithParam<AwayCase> {};

TEST_P(ScaleAway, TheWaitingReaderIsToldWithinASecondOfTheOffline) {
    ScaleTerminal t;
    auto* p = static_cast<SCLP*>(t.Attach(SCL96P_TYPE_ID, Model(ScaleModel::Kind::Scale96)));
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(t.RunUntilOnline());
    auto c = t.MakeClient<SCL96V>();
    ASSERT_EQ(c->open(), 0);
    ASSERT_EQ(c->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    t.Run(20);
    t.events.take();
    const size_t before = t.model->received().size();
    const int resetsBefore = t.model->resets();
    bool leftAfterReset = false;
    int32_t goneAt = 0;
    if (GetParam().resetFirst) {
        t.model->setMute(true);
        t.pollTimeoutsWhenAway = true;
    } else if (GetParam().nodeLost) {
        t.model->setMute(true); // acknowledged, not yet answered
    } else {
        t.pollTimeoutsWhenAway = true;
        t.station->leaveAfterAcknowledging();
    }
    int32_t offlineAt = 0;
    bool offline = false;
    std::vector<Event> seen;
    auto isOffline = [](const Event& e) { return e.msg == POSM_SYS_DEVICE_OFFLINE; };
    Bytes out;
    const int rc = PumpAsleep(
        t, [&] { return c->read(out, 8); },
        [&] {
            if (offline) return;
            // Reset for taking too long, the scale starts again (its restart drops the
            // weight command from the pending ones, unanswered); then it goes.
            if (GetParam().resetFirst && !leftAfterReset) {
                const uint32_t weights = 1u << SCLP_SLOT_WEIGHT_ENGLISH | 1u << SCLP_SLOT_WEIGHT_METRIC;
                if (t.model->resets() > resetsBefore && !(p->PendingMask() & weights)) {
                    t.station->takeAway();
                    leftAfterReset = true;
                    goneAt = chTime();
                }
                return; // its restart's offline event is not the one waited for
            }
            if (GetParam().nodeLost && t.model->received().size() > before && p->GetLinkState() == SIODEVICE::IDLE) {
                // The command is acknowledged; then the node goes.
                t.station->takeAway();
                p->Lock();
                p->ForceOffline();
                p->Unlock();
            }
            // The offline event tells the applications (a restart in between does not).
            for (const Event& e : t.events.take()) seen.push_back(e);
            if (std::any_of(seen.begin(), seen.end(), isOffline)) {
                offline = true;
                offlineAt = chTime();
            }
        });
    const int32_t returnedAt = chTime();
    for (const Event& e : t.events.take()) seen.push_back(e);
    if (!offline && std::any_of(seen.begin(), seen.end(), isOffline)) {
        offline = true; // in the last cycle, which the reader's answer ended
        offlineAt = returnedAt;
    }
    EXPECT_EQ(rc, 317);
    EXPECT_EQ(leftAfterReset, GetParam().resetFirst);
    if (GetParam().resetFirst) {
        // Gone while restarting: the offline event came with the restart, and the reader is
        // told once the link gives the scale up, not at the end of its 15 s.
        EXPECT_LT(chTimeDiff(returnedAt, goneAt), SCALE_WAIT_MS - 2000);
        offline = true;
        offlineAt = returnedAt;
    }
    ASSERT_TRUE(offline);
    EXPECT_LT(chTimeDiff(returnedAt, offlineAt), 1000);
    EXPECT_FALSE(p->Confirmed(kAddress));
    EXPECT_EQ(p->PendingMask() & (1u << SCLP_SLOT_WEIGHT_ENGLISH | 1u << SCLP_SLOT_WEIGHT_METRIC), 0u);

    t.model->setMute(false);
    const size_t gone = t.model->received().size();
    t.station->bringBack();
    ASSERT_TRUE(t.RunUntilOnline());
    t.Run(50);
    for (size_t i = gone; i < t.model->received().size(); ++i)
        EXPECT_NE(t.model->received()[i], Bytes{0x01}) << "the weight command went out once the scale was back";
    t.model->setWeight(321);
    ASSERT_EQ(t.WhilePumping([&] { return c->read(out, 8); }), 0);
    EXPECT_EQ(out[4] | out[5] << 8, 321);
}

INSTANTIATE_TEST_SUITE_P(Roads, ScaleAway,
                         ::testing::Values(AwayCase{"LeftAfterAcknowledging", false}, AwayCase{"DriverNodeLost", true},
                                           AwayCase{"ResetForTakingTooLongThenGone", false, true}),
                         [](const ::testing::TestParamInfo<AwayCase>& info) { return std::string(info.param.name); });

// Acquiring a scale while it is offline fails and holds nothing: a second acquire is not
// "already acquired", another client may acquire it once it is back, and the one that failed
// cannot read. Both models (model 87 has no configure command to fail on).
template <class V>
void AcquireOffline(ScaleModel::Kind kind, unsigned short typeId) {
    ScaleTerminal t;
    auto* p = static_cast<SCLP*>(t.Attach(typeId, Model(kind)));
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(t.RunUntilOnline());
    auto a = t.MakeClient<V>(1);
    auto b = t.MakeClient<V>(2);
    ASSERT_EQ(a->open(), 0);
    ASSERT_EQ(b->open(), 0);
    t.pollTimeoutsWhenAway = true;
    t.station->takeAway();
    for (int i = 0; i < 3000 && p->Confirmed(kAddress); ++i) t.Cycle();
    ASSERT_FALSE(p->Confirmed(kAddress));
    EXPECT_EQ(a->ioctl(POS_SYS_ACQUIRE_DEVICE), 317);
    EXPECT_FALSE(a->IsHolding());
    EXPECT_EQ(p->GetOwner(), nullptr);
    EXPECT_EQ(a->ioctl(POS_SYS_ACQUIRE_DEVICE), 317); // not 314
    t.station->bringBack();
    ASSERT_TRUE(t.RunUntilOnline());
    Bytes out;
    EXPECT_EQ(a->read(out, 8), 315);
    EXPECT_EQ(b->ioctl(POS_SYS_ACQUIRE_DEVICE), 0); // not 313
}

TEST(ScaleAcquire, Model96OfflineFailsAndHoldsNothing) {
    AcquireOffline<SCL96V>(ScaleModel::Kind::Scale96, SCL96P_TYPE_ID);
}

TEST(ScaleAcquire, Model87OfflineFailsAndHoldsNothing) {
    AcquireOffline<SCL87V>(ScaleModel::Kind::Scale87, SCL87P_TYPE_ID);
}

TEST(Scale87, GoesOnlineOnItsEcLevelAndReadsWeights) {
    ScaleTerminal t;
    auto* p = static_cast<SCL87P*>(t.Attach(SCL87P_TYPE_ID, Model(ScaleModel::Kind::Scale87)));
    ASSERT_TRUE(t.RunUntilOnline());
    EXPECT_EQ(t.events.take(), (std::vector<Event>{{POSM_SYS_DEVICE_ONLINE, 0x01116E0B, 1}}));
    EXPECT_EQ(t.Commands(), (std::vector<Bytes>{{0x00, 0x80}}));
    EXPECT_EQ(p->PendingMask(), 0u);
    auto c = t.MakeClient<SCL87V>();
    ASSERT_EQ(c->open(), 0);
    ASSERT_EQ(c->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    t.model->setWeight(987);
    t.model->setUnstable(true);
    Bytes out;
    ASSERT_EQ(t.WhilePumping([&] { return c->read(out); }), 0);
    EXPECT_EQ(out, (Bytes{0x00, 0x00, 0x01, 0x00, 0xDB, 0x03, 0x00, 0x00}));
}

// The identifier's choice (creating the class it names needs the real slot: see the
// end-to-end test).
TEST(ScaleIdentifier, TellsTheModelsApartByTheExtendedStatus) {
    {
        ScaleTerminal t;
        auto* o = static_cast<Oracle_6E*>(t.Attach(ORACLE_6E_TYPE_ID, Model(ScaleModel::Kind::Scale96)));
        t.Run(50);
        EXPECT_EQ(t.Commands(), (std::vector<Bytes>{{0x04}}));
        EXPECT_EQ(o->State(), Oracle_6E::MODEL_96);
    }
    {
        ScaleTerminal t;
        auto* o = static_cast<Oracle_6E*>(t.Attach(ORACLE_6E_TYPE_ID, Model(ScaleModel::Kind::Scale87)));
        t.Run(50);
        EXPECT_EQ(t.Commands(), (std::vector<Bytes>{{0x04}, {0x00, 0x80}}));
        EXPECT_EQ(o->State(), Oracle_6E::MODEL_87);
    }
}

} // namespace
} // namespace scaletest
