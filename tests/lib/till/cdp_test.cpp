// The cash-drawer unit on its link: start-up, online states of the three logical devices,
// reply handling, rejects, lost messages and bad requests.
#include "NearWrap.h"
#include "TillBench.h"

namespace tillbench {
namespace {

constexpr uint32_t kOnline = 0x420D;
constexpr uint32_t kOffline = 0x420C;

Event sysEvent(uint32_t msg, unsigned char address, unsigned char deviceClass) {
    return Event{msg, uint32_t(kSlot) << 24 | uint32_t(kPort) << 16 | uint32_t(address) << 8 | deviceClass, 0};
}
const Event kDrawer1Online = sysEvent(kOnline, 0x54, 6);
const Event kDrawer2Online = sysEvent(kOnline, 0x83, 6);
const Event kAlarmOnline = sysEvent(kOnline, 0x84, 7);
const Event kDrawer1Offline = sysEvent(kOffline, 0x54, 6);
const Event kDrawer2Offline = sysEvent(kOffline, 0x83, 6);
const Event kAlarmOffline = sysEvent(kOffline, 0x84, 7);

bool printed(const std::string& text) {
    for (const std::string& line : ovkhost::printedLines())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

TEST_F(TillBench, PowerOnAsksForStatusThenSendsThePulseTimes) {
    feed(0x0F); // request online
    std::vector<OutFrame> f = sent();
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].control, 0x83); // SNRM
    EXPECT_EQ(unit().PendingMask(), 0x3u);
    EXPECT_TRUE(unit().TestStatusBits(SIODEV_AWAITING_REPLY));

    feed(0x63); // NSA: the status request goes first
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x80}}));
    reply({0x00, 0x18, 0x21});
    EXPECT_EQ(unit().GetECLevel(), 0x21);
    EXPECT_TRUE(unit().TestStatusBits(PDEV_ONLINE));
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x80, 0x01, 0x38, 0x80, 0x01, 0x38, 0x80}}));
    EXPECT_EQ(unit().PendingMask(), 0x2u); // until the unit accepts it
    reply({0x00, 0x08, 0x21});
    EXPECT_EQ(unit().PendingMask(), 0u);
    EXPECT_EQ(unit().PulseTime(1), 80000);
    EXPECT_EQ(unit().PulseTime(2), 80000);
}

TEST_F(TillBench, ThreeOnlineEventsWithTheirDeviceClasses) {
    EXPECT_FALSE(unit().Confirmed(0x54));
    feed(0x0F);
    feed(0x63);
    reply({0x00, 0x18, 0x21});
    const std::vector<Event> online{kDrawer1Online, kDrawer2Online, kAlarmOnline};
    EXPECT_EQ(queueA_.take(), online);
    EXPECT_EQ(queueB_.take(), online);
    for (unsigned char address : {0x54, 0x83, 0x84}) EXPECT_TRUE(unit().Confirmed(address));
    EXPECT_TRUE(printed("--> <<CDP     >> (1.11.54) online"));
    EXPECT_TRUE(printed("--> <<CDP     >> (1.11.83) online"));
    EXPECT_TRUE(printed("--> <<CDP     >> (1.11.84) online"));

    // A process that comes later learns the same.
    RecordingQueue late;
    MsgQueueInfo q = late.destination(7);
    comd_->WhoIsOnline(q);
    EXPECT_EQ(late.take(), online);

    // Further replies change nothing while the unit reports the same.
    reply({0x00, 0x08, 0x21});
    EXPECT_TRUE(queueA_.take().empty());
}

TEST_F(TillBench, OnlineFollowsWhatTheUnitReportsConnected) {
    struct Step {
        unsigned char state;
        std::vector<Event> events;
    };
    const Step steps[] = {
        {0x00, {kDrawer2Online, kAlarmOnline}},   // drawer 2 and alarm connected
        {0x10, {kDrawer1Offline}},                // drawer 1 unplugged
        {0x19, {}},                               // drawer 2 unplugged while the alarm sounds
        {0x18, {kDrawer2Offline, kAlarmOffline}}, // and now silent
        {0x00, {kDrawer1Online, kDrawer2Online, kAlarmOnline}},
    };
    bringUp(0x08); // only drawer 1 is connected
    EXPECT_TRUE(unit().Confirmed(0x54));
    EXPECT_FALSE(unit().Confirmed(0x83));
    EXPECT_FALSE(unit().Confirmed(0x84));
    for (const Step& s : steps) {
        SCOPED_TRACE(static_cast<int>(s.state));
        reply({s.state, 0x00, 0x00});
        EXPECT_EQ(queueA_.take(), s.events);
    }
}

TEST_F(TillBench, StartUpWithOnlyDrawerOneConnected) {
    feed(0x0F);
    feed(0x63);
    reply({0x08, 0x18, 0x21});
    EXPECT_EQ(queueA_.take(), std::vector<Event>{kDrawer1Online});
    RecordingQueue late;
    MsgQueueInfo q = late.destination(7);
    unit().TellQueueWhosOnline(&q);
    EXPECT_EQ(late.take(), std::vector<Event>{kDrawer1Online});
}

TEST_F(TillBench, RequestOnlineTakesAllThreeOffline) {
    bringUp();
    feed(0x0F);
    EXPECT_EQ(queueA_.take(), (std::vector<Event>{kDrawer1Offline, kDrawer2Offline, kAlarmOffline}));
    EXPECT_FALSE(unit().TestStatusBits(PDEV_ONLINE));
    EXPECT_EQ(unit().UnitStatus(), uint32_t(CDP_DRAWER1_NOT_CONNECTED | CDP_DRAWER2_NOT_CONNECTED));
    for (unsigned char address : {0x54, 0x83, 0x84}) EXPECT_FALSE(unit().Confirmed(address));
    // Nothing but the status request and the pulse times wait for the link.
    EXPECT_EQ(unit().PendingMask(), 0x3u);
}

TEST_F(TillBench, VirtualTypePerDeviceNumber) {
    struct Case {
        unsigned char address;
        int rc;
        unsigned char deviceClass;
        long vdevType;
    };
    const Case cases[] = {
        {0x54, 0, 6, 7200}, {0x83, 0, 6, 7200}, {0x84, 0, 7, 7100}, {0x55, 317, 0, 0}, {0x85, 317, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.address));
        unsigned char deviceClass = 99;
        long vdevType = 99;
        EXPECT_EQ(unit().GetVdevInfo(c.address, deviceClass, vdevType), c.rc);
        EXPECT_EQ(deviceClass, c.deviceClass);
        EXPECT_EQ(vdevType, c.vdevType);
    }
    EXPECT_EQ(unit().GetVdevType(), -1);
    EXPECT_EQ(unit().GetDeviceType(), 6);
}

TEST_F(TillBench, RegisteredForAddress54) {
    EXPECT_TRUE(ObjectSupport::PhysicalRegistered(CDP_TYPE_ID));
    EXPECT_TRUE(ObjectSupport::VirtualRegistered(TILL_TYPE_ID));
    EXPECT_TRUE(ObjectSupport::VirtualRegistered(ALARM_TYPE_ID));
    EXPECT_TRUE(ObjectSupport::SIOAddresses[0x54].valid);
    PDEV* made = nullptr;
    ASSERT_EQ(ObjectSupport::MakePhysicalObject(CDP_TYPE_ID, DeviceID(kSlot, kPort, 0x54), made), 0);
    std::unique_ptr<PDEV> owned(made);
    EXPECT_NE(dynamic_cast<CDP*>(made), nullptr);
    EXPECT_EQ(made->GetAckWaitTime(), 1000);
    EXPECT_EQ(made->GetAddressWaitTime(), 192);
    EXPECT_EQ(made->GetByteWaitTime(), 144);
}

TEST_F(TillBench, RejectsAreCountedAndLoggedOncePerHalfHour) {
    bringUp();
    auto rejectsLogged = [] {
        int n = 0;
        for (const ovkhost::ErrorLogEntry& e : ovkhost::errorLog())
            if (e.logId == 7002) {
                EXPECT_EQ(e.rc, 322u);
                ++n;
            }
        return n;
    };
    reply({0x80, 0x00, 0x00});
    reply({0x80, 0x00, 0x00});
    EXPECT_EQ(unit().RejectCount(), 2);
    EXPECT_EQ(rejectsLogged(), 1);
    ovkhost::advanceClock(1800 * 1000); // not more than 30 minutes yet
    reply({0x80, 0x00, 0x00});
    EXPECT_EQ(rejectsLogged(), 1);
    ovkhost::advanceClock(1);
    reply({0x80, 0x00, 0x00});
    EXPECT_EQ(rejectsLogged(), 2);
    EXPECT_EQ(unit().RejectCount(), 4);
}

// A unit that rejects every command: the open goes again at once three times, then about
// once a second for as long as the rejects last; once the unit takes it, the drawer opens.
TEST_F(TillBench, AnOpenRejectedWithoutEndGoesAgainPacedUntilTheUnitTakesIt) {
    bringUp();
    drawer1();
    ASSERT_EQ(drawer1_->ioctl(POS_TILL_OPEN_TILL), 0);
    int rejects = 0;
    std::vector<int32_t> pacedSends; // when each command went after the third reject
    const int32_t start = chTime();
    while (chTimeDiff(chTime(), start) < 10000) {
        cycle(10);
        for (const Bytes& c : commands()) {
            EXPECT_EQ(c, Bytes{0x01});
            if (rejects >= 3) pacedSends.push_back(chTime());
            ++rejects;
            reply({0x80, 0x00, 0x21});
            for (const Bytes& again : commands()) { // a resend at once
                EXPECT_EQ(again, Bytes{0x01});
                if (rejects >= 3) pacedSends.push_back(chTime());
                ++rejects;
                reply({0x80, 0x00, 0x21});
            }
        }
    }
    ASSERT_GE(rejects, 3);
    // After the third reject, about one a second over the rest of the ten seconds.
    EXPECT_GE(pacedSends.size(), 7u);
    EXPECT_LE(pacedSends.size(), 11u);
    for (size_t i = 1; i < pacedSends.size(); ++i)
        EXPECT_GE(chTimeDiff(pacedSends[i], pacedSends[i - 1]), 1000) << i;
    EXPECT_NE(unit().PendingMask() & (1u << CDP_SLOT_OPEN_DRAWER1), 0u);
    drawer1_->queue.take();

    // The unit takes the open at its next turn: the drawer opens and nothing is left.
    cycle(1000);
    EXPECT_EQ(commands(), std::vector<Bytes>{{0x01}});
    reply({0x40, 0x08, 0x21});
    EXPECT_EQ(unit().PendingMask(), 0u);
    const std::vector<Event> told = drawer1_->queue.take();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].msg, uint32_t(POSM_TILL_OPENED));
    cycle(2000);
    EXPECT_TRUE(commands().empty());
}

TEST_F(TillBench, DiagnosticFailureIsLogged) {
    bringUp();
    reply({0x02, 0x00, 0x00});
    auto log = ovkhost::errorLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().logId, 7003u);
    EXPECT_EQ(log.back().rc, 324u);
}

TEST_F(TillBench, ShortRepliesAreLoggedAndAcknowledged) {
    bringUp();
    for (const Bytes& shortReply : {Bytes{}, Bytes{0x40}, Bytes{0x40, 0x18}}) {
        SCOPED_TRACE(shortReply.size());
        ovkhost::clearCaptures();
        reply(shortReply);
        EXPECT_TRUE(ovkhost::errorLogged(7005));
        std::vector<OutFrame> f = sent();
        ASSERT_EQ(f.size(), 1u);
        EXPECT_EQ(f[0].control & 0x1F, 0x01);
        EXPECT_EQ(unit().UnitStatus() & CDP_DRAWER1_OPEN, 0u);
    }
}

TEST_F(TillBench, ALostCommandGoesAgainAfterTheReset) {
    bringUp();
    drawer1();
    ASSERT_EQ(drawer1_->ioctl(POS_TILL_OPEN_TILL), 0);
    cycle();
    EXPECT_EQ(commands(), std::vector<Bytes>{{0x01}});
    cycle(1000); // no answer within the acknowledgement wait: lost, sequence reset
    std::vector<OutFrame> f = sent();
    ASSERT_FALSE(f.empty());
    EXPECT_EQ(f[0].control, 0x83);
    EXPECT_EQ(unit().PendingMask(), 0x5u); // the open, and the status after the reset
    feed(0x63);
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x80}}));
    reply({0x00, 0x18, 0x21});
    EXPECT_EQ(commands(), std::vector<Bytes>{{0x01}});
    reply({0x40, 0x08, 0x21});
    EXPECT_EQ(unit().PendingMask(), 0u);
}

// The unit on a clock started ten seconds before it wraps: its timers run across the wrap
// and end at their time.
class TillNearWrap : public TillBench, public ::testing::WithParamInterface<uint32_t> {
protected:
    void SetUp() override {
        TillBench::SetUp();
        ovkhost::setClock(nearwrap::Clock(GetParam()));
    }
};

TEST_P(TillNearWrap, ALostCommandGoesAgainAtTheEndOfTheAcknowledgementWait) {
    bringUp();
    drawer1();
    // The open leaves half a second before the wrap; its wait of 1 s ends after it.
    ovkhost::setClock(chTimeAdd(nearwrap::WrapAfter(GetParam()), -500));
    ASSERT_EQ(drawer1_->ioctl(POS_TILL_OPEN_TILL), 0);
    cycle();
    EXPECT_EQ(commands(), std::vector<Bytes>{{0x01}});
    cycle(999);
    EXPECT_TRUE(sent().empty());
    cycle(1); // lost: the link is reset
    std::vector<OutFrame> f = sent();
    ASSERT_FALSE(f.empty());
    EXPECT_EQ(f[0].control, 0x83);
    EXPECT_EQ(unit().PendingMask(), 0x5u);
}

TEST_P(TillNearWrap, RejectsAreLoggedOncePerHalfHourAcrossTheWrap) {
    bringUp();
    auto rejectsLogged = [] {
        int n = 0;
        for (const ovkhost::ErrorLogEntry& e : ovkhost::errorLog()) n += e.logId == 7002;
        return n;
    };
    reply({0x80, 0x00, 0x00});
    EXPECT_EQ(rejectsLogged(), 1);
    ovkhost::advanceClock(1800 * 1000); // past the wrap, not more than 30 minutes yet
    reply({0x80, 0x00, 0x00});
    EXPECT_EQ(rejectsLogged(), 1);
    ovkhost::advanceClock(1);
    reply({0x80, 0x00, 0x00});
    EXPECT_EQ(rejectsLogged(), 2);
}

INSTANTIATE_TEST_SUITE_P(Starts, TillNearWrap, nearwrap::kStarts, nearwrap::StartName);

TEST_F(TillBench, OtherRequestsAreRefusedAndTimingRequestsPassedOn) {
    TillRequest rec{0, 0};
    auto* p = reinterpret_cast<unsigned char*>(&rec);
    for (int request : {0, 8, 9991, 10000}) {
        SCOPED_TRACE(request);
        ovkhost::clearCaptures();
        EXPECT_EQ(unit().TellPhys(nullptr, request, p, sizeof rec), 321);
        EXPECT_TRUE(ovkhost::errorLogged(7004));
    }
    ovkhost::clearCaptures();
    EXPECT_EQ(unit().TellPhys(nullptr, CDP_REQ_ALARM_STATUS, p, 4), 321); // short record
    EXPECT_EQ(unit().TellPhys(nullptr, CDP_REQ_ALARM_STATUS, nullptr, 8), 321);
    EXPECT_TRUE(ovkhost::errorLogged(7004));

    unsigned char word[4] = {};
    EXPECT_EQ(unit().TellPhys(nullptr, TELLPHYS_GET_ADDRESS_WAIT, word, 1), 0);
    EXPECT_EQ(word[0], 192);
    int32_t ack = 0;
    EXPECT_EQ(unit().TellPhys(nullptr, TELLPHYS_GET_ACK_WAIT, reinterpret_cast<unsigned char*>(&ack), 4), 0);
    EXPECT_EQ(ack, 1000);
}

TEST_F(TillBench, APulseBeyondTwentyFourBitsIsRefused) {
    bringUp();
    unit().Open();
    for (int32_t value : {-1, 0x1000000}) {
        TillRequest rec{value, 0};
        EXPECT_EQ(unit().TellPhys(nullptr, CDP_REQ_OPEN_TILL1, reinterpret_cast<unsigned char*>(&rec), sizeof rec), 321);
    }
    EXPECT_EQ(unit().PendingMask(), 0u);
    EXPECT_EQ(unit().PulseTime(1), 80000);
    int remaining = 0;
    unit().Close(remaining);
}

TEST_F(TillBench, DestroyedWhileHeldIsLogged) {
    CapturingAdapter adapter{"TillAdap"};
    auto other = std::make_unique<BenchCDP>(&adapter);
    Drawer holder(TILL_DRAWER1_ADDRESS, 4);
    EXPECT_EQ(other->Acquire(&holder), 0);
    ovkhost::clearCaptures();
    other.reset();
    auto log = ovkhost::errorLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].logId, 7001u);
    EXPECT_EQ(log[0].rc, 321u);
}

} // namespace
} // namespace tillbench
