// The drawers and the alarm as clients use them: open with a pulse width, drawer events to
// the holder, status values, the alarm, and who may hold what.
#include <cstdio>
#include <string>

#include "TillBench.h"

namespace tillbench {
namespace {

constexpr unsigned char kAccepted = 0x08;

TEST_F(TillBench, OpeningWithTheDefaultWidthSendsOnlyTheOpenCommand) {
    bringUp();
    Drawer& d = drawer1();
    EXPECT_EQ(d.PulseWidth(), 80);
    const int turns = adapter_.sendTurns;
    EXPECT_EQ(d.ioctl(POS_TILL_OPEN_TILL), 0);
    EXPECT_EQ(adapter_.sendTurns, turns + 1);
    cycle();
    EXPECT_EQ(commands(), std::vector<Bytes>{{0x01}});
    reply({0x40, kAccepted, 0x21});
    EXPECT_EQ(unit().PendingMask(), 0u);
}

// The drawer opened, was closed by hand and is asked open again before the unit's answer to
// the first open came: that answer (drawer open) does not count as the second open.
TEST_F(TillBench, AnOpenAskedWhileACommandIsOnItsWayStillGoes) {
    bringUp();
    Drawer& d = drawer1();
    ASSERT_EQ(d.ioctl(POS_TILL_OPEN_TILL), 0);
    cycle();
    ASSERT_EQ(commands(), std::vector<Bytes>{{0x01}});
    EXPECT_EQ(d.ioctl(POS_TILL_OPEN_TILL), 0);
    reply({0x40, kAccepted, 0x21});
    EXPECT_EQ(commands(), std::vector<Bytes>{{0x01}});
    reply({0x40, kAccepted, 0x21});
    EXPECT_EQ(unit().PendingMask(), 0u);
}

// Every road by which the unit goes offline drops an open or sound still queued (on its way
// or waiting for its turn); a silence stays. The client was told by the offline event.
struct OfflineRoad {
    const char* name;
    void (*take)(TillBench& bench, CDP& unit);
};

void PrintTo(const OfflineRoad& r, std::ostream* os) { *os << r.name; }

class TillOffline : public TillBench, public ::testing::WithParamInterface<OfflineRoad> {
public:
    void feedFrame(unsigned char control) { feed(control); }
};

TEST_P(TillOffline, QueuedOpensAndSoundsAreDropped) {
    bringUp(0x01); // the alarm sounds
    Drawer& one = drawer1();
    Drawer& two = drawer2({{"pulseWidth", 100}});
    ASSERT_EQ(one.ioctl(POS_TILL_OPEN_TILL), 0);
    cycle();
    ASSERT_EQ(commands(), std::vector<Bytes>{{0x01}}); // on its way
    ASSERT_EQ(two.ioctl(POS_TILL_OPEN_TILL), 0);       // waiting for its turn
    ASSERT_EQ(unit().Release(&two), 0);                // the alarm's silence queued
    const uint32_t dropped = 1u << CDP_SLOT_OPEN_DRAWER1 | 1u << CDP_SLOT_OPEN_DRAWER2 | 1u << CDP_SLOT_SOUND_ALARM;
    ASSERT_NE(unit().PendingMask() & dropped, 0u);
    GetParam().take(*this, unit());
    EXPECT_FALSE(unit().Confirmed(TILL_DRAWER1_ADDRESS));
    EXPECT_FALSE(unit().Confirmed(TILL_DRAWER2_ADDRESS));
    EXPECT_EQ(unit().PendingMask() & dropped, 0u);
    EXPECT_NE(unit().PendingMask() & 1u << CDP_SLOT_SILENCE_ALARM, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Roads, TillOffline,
    ::testing::Values(
        OfflineRoad{"RequestOnline", [](TillBench& b, CDP&) { static_cast<TillOffline&>(b).feedFrame(0x0F); }},
        OfflineRoad{"LostNode", [](TillBench&, CDP& u) { u.ForceOffline(); }},
        OfflineRoad{"LinkReset", [](TillBench&, CDP& u) { u.PowerOnReset(); }}),
    [](const ::testing::TestParamInfo<OfflineRoad>& info) { return std::string(info.param.name); });

// Drawer 2 unplugged from the unit while its open waits: drawer 2 goes offline, and plugged
// in again it does not open by itself. Drawer 1's open, on the unit still online, goes.
TEST_F(TillBench, AnOpenOfADrawerUnpluggedMeanwhileIsDropped) {
    bringUp();
    Drawer& one = drawer1();
    Drawer& two = drawer2();
    ASSERT_EQ(one.ioctl(POS_TILL_OPEN_TILL), 0);
    cycle();
    ASSERT_EQ(commands(), std::vector<Bytes>{{0x01}});
    ASSERT_EQ(two.ioctl(POS_TILL_OPEN_TILL), 0);
    reply({0x08, kAccepted, 0x21}); // drawer 1's open accepted; drawer 2 no longer connected
    EXPECT_FALSE(unit().Confirmed(TILL_DRAWER2_ADDRESS));
    EXPECT_EQ(unit().PendingMask() & 1u << CDP_SLOT_OPEN_DRAWER2, 0u);
    sent();
    cycle();
    reply({0x00, 0x00, 0x21}); // plugged in again
    EXPECT_TRUE(unit().Confirmed(TILL_DRAWER2_ADDRESS));
    cycle();
    EXPECT_TRUE(commands().empty());
}

TEST_F(TillBench, AHundredMillisecondOpenSendsThePulseTimesFirst) {
    bringUp();
    Drawer& d = drawer1({{"pulseWidth", 100}});
    EXPECT_EQ(d.PulseWidth(), 100);
    EXPECT_EQ(d.ioctl(POS_TILL_OPEN_TILL), 0);
    cycle();
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x80, 0x01, 0x86, 0xA0, 0x01, 0x38, 0x80}}));
    reply({0x00, kAccepted, 0x21});
    EXPECT_EQ(commands(), std::vector<Bytes>{{0x01}});
    reply({0x40, kAccepted, 0x21});
    EXPECT_EQ(unit().PendingMask(), 0u);
    EXPECT_EQ(unit().PulseTime(1), 100000);
    EXPECT_EQ(unit().PulseTime(2), 80000);

    // The same width again: only the open command.
    reply({0x00, 0x00, 0x21});
    sent();
    EXPECT_EQ(d.ioctl(POS_TILL_OPEN_TILL), 0);
    cycle();
    EXPECT_EQ(commands(), std::vector<Bytes>{{0x01}});
}

TEST_F(TillBench, AWidthChangedWhileTheResetsPulseTimesAreOnTheirWaySendsThemAgain) {
    feed(0x0F); // ROL
    feed(0x63); // NSA
    ASSERT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x80}}));
    reply({0x00, 0x18, 0x21});
    // The reset's pulse times are on their way when the client opens with 100 ms.
    ASSERT_EQ(commands(), (std::vector<Bytes>{{0x80, 0x01, 0x38, 0x80, 0x01, 0x38, 0x80}}));
    Drawer& d = drawer1({{"pulseWidth", 100}});
    EXPECT_EQ(d.ioctl(POS_TILL_OPEN_TILL), 0);
    EXPECT_EQ(unit().PulseTime(1), 100000);

    // The unit accepts the old times: the new ones still go, before the open.
    reply({0x00, kAccepted, 0x21});
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x80, 0x01, 0x86, 0xA0, 0x01, 0x38, 0x80}}));
    EXPECT_EQ(unit().PendingMask(), 0x6u);
    reply({0x00, kAccepted, 0x21});
    EXPECT_EQ(commands(), std::vector<Bytes>{{0x01}});
    reply({0x40, kAccepted, 0x21});
    EXPECT_EQ(unit().PendingMask(), 0u);
}

TEST_F(TillBench, DrawerTwoOpensWithItsOwnCommandAndPulseTime) {
    bringUp();
    Drawer& d = drawer2({{"pulseWidth", 5}});
    EXPECT_EQ(d.ioctl(POS_TILL_OPEN_TILL), 0);
    cycle();
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x80, 0x01, 0x38, 0x80, 0x00, 0x13, 0x88}}));
    reply({0x00, kAccepted, 0x21});
    EXPECT_EQ(commands(), std::vector<Bytes>{{0x02}});
}

TEST_F(TillBench, OpenedAndClosedGoToTheHolder) {
    bringUp();
    Drawer& one = drawer1();
    Drawer& two = drawer2();
    struct Step {
        unsigned char state;
        std::vector<Event> toOne, toTwo;
    };
    const Event opened1{0x420F, 1, 0}, closed1{0x420E, 1, 0};
    const Event opened2{0x420F, 2, 0}, closed2{0x420E, 2, 0};
    const Step steps[] = {
        {0x40, {opened1}, {}},
        {0x40, {}, {}},
        {0x60, {}, {opened2}},
        {0x00, {closed1}, {closed2}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(static_cast<int>(s.state));
        reply({s.state, 0x00, 0x21});
        EXPECT_EQ(one.queue.take(), s.toOne);
        EXPECT_EQ(two.queue.take(), s.toTwo);
    }
    // The drawer events go to the holder alone.
    EXPECT_TRUE(queueA_.take().empty());
}

TEST_F(TillBench, NoDrawerEventWithoutHolderOrConnection) {
    bringUp();
    Drawer& one = drawer1();
    EXPECT_EQ(one.ioctl(POS_SYS_RELEASE_DEVICE), 0);
    reply({0x40, 0x00, 0x21}); // nobody holds drawer 1
    EXPECT_TRUE(one.queue.take().empty());
    EXPECT_EQ(one.ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    reply({0x00, 0x00, 0x21});
    EXPECT_EQ(one.queue.take(), (std::vector<Event>{{0x420E, 1, 0}}));
    reply({0x50, 0x00, 0x21}); // "open" from a drawer that is not connected
    EXPECT_TRUE(one.queue.take().empty());
}

TEST_F(TillBench, OpenNeedsTheUnitOnlineAndTheDrawerConnected) {
    Drawer& early = drawer1();
    EXPECT_EQ(early.ioctl(POS_TILL_OPEN_TILL), 317); // no link yet
    drawer1_.reset();
    bringUp(0x10); // drawer 1 not connected
    Drawer& d = drawer1();
    const int turns = adapter_.sendTurns;
    EXPECT_EQ(d.ioctl(POS_TILL_OPEN_TILL), 317);
    EXPECT_EQ(adapter_.sendTurns, turns);
    EXPECT_EQ(unit().PendingMask(), 0u);
}

TEST_F(TillBench, RequestsNeedTheDeviceAcquired) {
    bringUp();
    Drawer d(TILL_DRAWER1_ADDRESS, 1);
    ASSERT_EQ(d.open(), 0);
    Alarm a(TILL_ALARM_ADDRESS, 2);
    ASSERT_EQ(a.open({}, "alarm", "PosAlarm"), 0);
    EXPECT_EQ(d.ioctl(POS_TILL_OPEN_TILL), 315);
    EXPECT_EQ(a.ioctl(POS_ALARM_SOUND_ALARM), 315);
    EXPECT_EQ(a.ioctl(POS_ALARM_SILENCE_ALARM), 315);
    EXPECT_EQ(d.ioctl(9999), 316); // not a request of the drawer: the base answers
    cycle();
    EXPECT_TRUE(commands().empty());
}

TEST_F(TillBench, PulseWidthLimits) {
    struct Case {
        intptr_t width;
        int rc;
    };
    const Case cases[] = {{4, 5401}, {5, 0}, {1048, 0}, {1049, 5401}, {-80, 5401}, {0, 5401}};
    bringUp();
    Drawer& d = drawer1();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        EXPECT_EQ(d.ioctl(POS_SYS_SET_VALUES, {{"codePage", 437}, {"pulseWidth", c.width}}), c.rc);
        EXPECT_EQ(d.get("pulseWidth"), c.rc == 0 ? c.width : 80);
        if (c.rc != 0) {
            EXPECT_NE(d.GetCodePage(), 437); // nothing applied
        }
        d.ioctl(POS_SYS_SET_VALUES, {{"pulseWidth", 80}, {"codePage", 858}});
    }
    // Refused at open: the device is closed again.
    for (intptr_t width : {4, 1049}) {
        Drawer other(TILL_DRAWER2_ADDRESS, 5);
        EXPECT_EQ(other.open({{"pulseWidth", width}}), 5401);
        EXPECT_EQ(other.OpenCount(), 0);
        EXPECT_EQ(other.GetPhysical(), nullptr);
    }
    EXPECT_EQ(unit().OpenCount(), 1); // drawer 1's open only
}

TEST_F(TillBench, PulseWidthFromTheResources) {
    struct Case {
        const char* resources;
        int rc;
        int32_t width;
    };
    const Case cases[] = {
        {"drawer.pulseWidth: 200\n", 0, 200},
        {"PosDrawer.PulseWidth: 0x20\n", 0, 32},
        {"*.pulseWidth: 2000\n", 5401, 0},
        {"drawer.pulseWidth: 2000\n", 0, 300}, // the argument mends it
        {"", 0, 80},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.resources);
        root_.write("/etc/till.res", c.resources);
        XrmDatabase db = nullptr;
        InitResources(db, root_.at("/etc/till.res").c_str());
        {
            Drawer d(TILL_DRAWER1_ADDRESS, 1);
            d.useDatabase(db);
            std::vector<PosArg> args;
            if (c.width == 300) args.push_back({"pulseWidth", 300});
            EXPECT_EQ(d.open(args), c.rc);
            if (c.rc == 0) {
                EXPECT_EQ(d.PulseWidth(), c.width);
            } else {
                EXPECT_EQ(d.OpenCount(), 0);
            }
        }
        DestroyResources(db);
    }
}

TEST_F(TillBench, TillStatusReportsConnectedAndOpen) {
    Drawer d1(TILL_DRAWER1_ADDRESS, 1);
    Drawer d2(TILL_DRAWER2_ADDRESS, 2);
    ASSERT_EQ(d1.open(), 0);
    ASSERT_EQ(d2.open(), 0);
    EXPECT_EQ(d1.get("tillStatus"), 0); // unit offline
    struct Case {
        unsigned char state;
        intptr_t one, two;
    };
    const Case cases[] = {{0x00, 1, 1}, {0x40, 5, 1}, {0x28, 1, 4}, {0x10, 0, 1}, {0x60, 5, 5}};
    bringUp();
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.state));
        reply({c.state, 0x00, 0x21});
        EXPECT_EQ(d1.get("tillStatus"), c.one);
        EXPECT_EQ(d2.get("tillStatus"), c.two);
    }
    // Read together with the common values.
    PosArg args[] = {{"deviceNumber", 0}, {"tillStatus", 0}, {"pulseWidth", 0}};
    d2.Lock();
    EXPECT_EQ(d2.GetValues(args, 3), 0);
    d2.Unlock();
    EXPECT_EQ(args[0].value, 0x83);
    EXPECT_EQ(args[1].value, 5);
    EXPECT_EQ(args[2].value, 80);
}

TEST_F(TillBench, AlarmSoundsAndIsSilenced) {
    bringUp();
    Alarm& a = alarm();
    EXPECT_EQ(a.get("alarmStatus"), 1);
    EXPECT_EQ(a.ioctl(POS_ALARM_SOUND_ALARM), 0);
    cycle();
    EXPECT_EQ(commands(), std::vector<Bytes>{{0x06}});
    reply({0x01, kAccepted, 0x21});
    EXPECT_EQ(a.get("alarmStatus"), 3);
    EXPECT_EQ(unit().PendingMask(), 0u);

    EXPECT_EQ(a.ioctl(POS_ALARM_SILENCE_ALARM), 0);
    cycle();
    EXPECT_EQ(commands(), std::vector<Bytes>{{0x08}});
    reply({0x00, kAccepted, 0x21});
    EXPECT_EQ(a.get("alarmStatus"), 1);

    // Silencing a silent alarm sends nothing.
    sent();
    EXPECT_EQ(a.ioctl(POS_ALARM_SILENCE_ALARM), 0);
    cycle();
    EXPECT_TRUE(commands().empty());
}

TEST_F(TillBench, TheAlarmNeedsToBeConnected) {
    bringUp(0x08); // drawer 2 and the alarm not connected
    Alarm& a = alarm();
    EXPECT_EQ(a.get("alarmStatus"), 0);
    EXPECT_EQ(a.ioctl(POS_ALARM_SOUND_ALARM), 317);
    cycle();
    EXPECT_TRUE(commands().empty());
}

TEST_F(TillBench, ReleasingTheAlarmWhileItSoundsSilencesIt) {
    bringUp();
    Alarm& a = alarm();
    ASSERT_EQ(a.ioctl(POS_ALARM_SOUND_ALARM), 0);
    cycle();
    ASSERT_EQ(commands(), std::vector<Bytes>{{0x06}});
    reply({0x01, kAccepted, 0x21});
    sent();
    const int turns = adapter_.sendTurns;
    EXPECT_EQ(a.ioctl(POS_SYS_RELEASE_DEVICE), 0);
    EXPECT_EQ(adapter_.sendTurns, turns + 1);
    EXPECT_EQ(unit().SharedHolder(), nullptr);
    cycle();
    EXPECT_EQ(commands(), std::vector<Bytes>{{0x08}});
    reply({0x00, kAccepted, 0x21});

    // Released while silent: nothing is sent.
    sent();
    EXPECT_EQ(a.ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    EXPECT_EQ(a.ioctl(POS_SYS_RELEASE_DEVICE), 0);
    cycle();
    EXPECT_TRUE(commands().empty());
}

TEST_F(TillBench, DrawerTwoAndTheAlarmShareOneHolder) {
    bringUp();
    Drawer& two = drawer2();
    Alarm a(TILL_ALARM_ADDRESS, 3);
    ASSERT_EQ(a.open({}, "alarm", "PosAlarm"), 0);
    EXPECT_EQ(a.ioctl(POS_SYS_ACQUIRE_DEVICE), 313);
    EXPECT_EQ(unit().Acquire(&two), 314);
    EXPECT_EQ(unit().Release(&a), 315);

    // Drawer 1 has its own holder.
    Drawer& one = drawer1();
    EXPECT_EQ(unit().Drawer1Holder(), &one);
    EXPECT_EQ(unit().SharedHolder(), &two);

    EXPECT_EQ(two.ioctl(POS_SYS_RELEASE_DEVICE), 0);
    EXPECT_EQ(a.ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    EXPECT_EQ(unit().SharedHolder(), &a);
    EXPECT_EQ(a.ioctl(POS_SYS_RELEASE_DEVICE), 0);
}

TEST_F(TillBench, TheCoresHolderPassesToTheOtherHolder) {
    bringUp();
    Drawer& one = drawer1();
    Alarm& a = alarm();
    EXPECT_EQ(unit().GetOwner(), &one);
    EXPECT_EQ(one.ioctl(POS_SYS_RELEASE_DEVICE), 0);
    EXPECT_EQ(unit().GetOwner(), &a);
    EXPECT_EQ(unit().Drawer1Holder(), nullptr);
    EXPECT_EQ(a.ioctl(POS_SYS_RELEASE_DEVICE), 0);
    EXPECT_EQ(unit().GetOwner(), nullptr);
}

} // namespace
} // namespace tillbench
