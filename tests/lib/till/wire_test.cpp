// The unit against the simulated cash-drawer unit: the frames the unit hands its adapter
// reach a bus station that plays the drawer model, and the station's answers to the polls
// come back, one bus round at a time on the settable clock.
#include <algorithm>
#include <memory>
#include <string>

#include "TillBench.h"
#include "busstation.h"
#include "drawermodel.h"

namespace tillbench {
namespace {

using bussim::DrawerModel;

class TillWire : public TillBench {
protected:
    void SetUp() override {
        TillBench::SetUp();
        station_ = std::make_unique<bussim::Station>(kPort, TILL_DRAWER1_ADDRESS,
                                                     std::make_unique<DrawerModel>(options_));
    }
    void TearDown() override {
        station_.reset();
        TillBench::TearDown();
    }

    DrawerModel& model() { return static_cast<DrawerModel&>(station_->model()); }

    // One bus round: the frames the unit handed over reach the station, the station ticks
    // and answers one poll, then the unit's link timers run.
    void round(int ms = 10) {
        for (const Bytes& rec : adapter_.frames) {
            OutFrame f = decodeOut(rec);
            station_->receive(bussim::LinkFrame{f.control, Bytes(f.data.begin(), f.data.end()), false});
        }
        adapter_.frames.clear();
        ovkhost::advanceClock(ms);
        station_->tick(chTime());
        if (std::optional<bussim::LinkFrame> answer = station_->poll())
            feed(answer->control, Bytes(answer->data.begin(), answer->data.end()));
        unit().ProcessOutput(chTime());
    }
    void run(int rounds) {
        for (int i = 0; i < rounds; ++i) round();
    }
    // Rounds until the drawers are online.
    void comeOnline() {
        for (int i = 0; i < 50 && !unit().Confirmed(TILL_DRAWER1_ADDRESS); ++i) round();
        ASSERT_TRUE(unit().Confirmed(TILL_DRAWER1_ADDRESS));
        run(10);
        queueA_.take();
        queueB_.take();
    }

    DrawerModel::Options options_;
    std::unique_ptr<bussim::Station> station_;
};

TEST_F(TillWire, ComesOnlineWithAllThreeDevices) {
    comeOnline();
    EXPECT_TRUE(unit().Confirmed(TILL_DRAWER2_ADDRESS));
    EXPECT_TRUE(unit().Confirmed(TILL_ALARM_ADDRESS));
    EXPECT_EQ(unit().GetECLevel(), 0x21);
    EXPECT_EQ(model().received(), (std::vector<DrawerModel::Bytes>{
                                      {0x00, 0x80}, {0x80, 0x01, 0x38, 0x80, 0x01, 0x38, 0x80}}));
    EXPECT_EQ(unit().PendingMask(), 0u);
}

TEST_F(TillWire, TheHolderHearsTheDrawerOpenAndClose) {
    comeOnline();
    Drawer& d = drawer1({{"pulseWidth", 100}});
    ASSERT_EQ(d.ioctl(POS_TILL_OPEN_TILL), 0);
    run(10);
    EXPECT_TRUE(model().drawerOpen(1));
    EXPECT_EQ(model().pulseTime(1), 100000u);
    const std::vector<DrawerModel::Bytes>& got = model().received();
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(got[got.size() - 2], (DrawerModel::Bytes{0x80, 0x01, 0x86, 0xA0, 0x01, 0x38, 0x80}));
    EXPECT_EQ(got.back(), DrawerModel::Bytes{0x01});
    EXPECT_EQ(d.queue.take(), (std::vector<Event>{{0x420F, 1, 0}}));
    EXPECT_EQ(d.get("tillStatus"), 5);

    ASSERT_TRUE(model().closeDrawer(1));
    run(10);
    EXPECT_EQ(d.queue.take(), (std::vector<Event>{{0x420E, 1, 0}}));
    EXPECT_EQ(d.get("tillStatus"), 1);
    EXPECT_EQ(unit().PendingMask(), 0u);
}

TEST_F(TillWire, TheAlarmSoundsAndStopsWhenReleased) {
    comeOnline();
    Alarm& a = alarm();
    ASSERT_EQ(a.ioctl(POS_ALARM_SOUND_ALARM), 0);
    run(10);
    EXPECT_TRUE(model().alarmSounding());
    EXPECT_EQ(a.get("alarmStatus"), 3);
    ASSERT_EQ(a.ioctl(POS_SYS_RELEASE_DEVICE), 0);
    run(10);
    EXPECT_FALSE(model().alarmSounding());
    EXPECT_EQ(model().received().back(), DrawerModel::Bytes{0x08});
}

TEST_F(TillWire, UnpluggingDrawerTwoTakesItAndTheAlarmOffline) {
    comeOnline();
    ASSERT_TRUE(model().setConnected(2, false));
    run(10);
    EXPECT_EQ(queueA_.take(), (std::vector<Event>{{0x420C, 0x01118306, 0}, {0x420C, 0x01118407, 0}}));
    EXPECT_TRUE(unit().Confirmed(TILL_DRAWER1_ADDRESS));
    EXPECT_FALSE(unit().Confirmed(TILL_ALARM_ADDRESS));
    ASSERT_TRUE(model().setConnected(2, true));
    run(10);
    EXPECT_EQ(queueA_.take(), (std::vector<Event>{{0x420D, 0x01118306, 0}, {0x420D, 0x01118407, 0}}));
}

// What a client asks of a unit that is going away: an open of either drawer, a sound.
struct AskedCase {
    const char* name;
    unsigned char device;
    int request;
    DrawerModel::Bytes command; // what the unit would be sent for it
};

void PrintTo(const AskedCase& c, std::ostream* os) { *os << c.name; }

class TillWireLost : public TillWire, public ::testing::WithParamInterface<AskedCase> {
protected:
    // The unit stops answering: the link gives up, resets and takes it offline.
    void loseUnit() {
        station_->takeAway();
        for (int i = 0; i < 30; ++i) {
            adapter_.frames.clear(); // lost on the wire
            unit().ProcessError(reinterpret_cast<const unsigned char*>("\x13"), 1);
            cycle(500);
        }
    }
    // Asks for the case's command as its holder: 0 while the unit is still taken for online.
    int ask() {
        const AskedCase& c = GetParam();
        if (c.device == TILL_ALARM_ADDRESS) return alarm().ioctl(c.request);
        Drawer& d = c.device == TILL_DRAWER1_ADDRESS ? drawer1() : drawer2();
        return d.ioctl(c.request);
    }
    size_t sentToTheUnit(const DrawerModel::Bytes& command, size_t from) {
        const std::vector<DrawerModel::Bytes>& got = model().received();
        return static_cast<size_t>(std::count(got.begin() + static_cast<std::ptrdiff_t>(from), got.end(), command));
    }
};

// Asked in the moment between the unit's loss and its offline event, the command returns 0;
// the offline event tells the client it was not carried out, and it never goes out later:
// the drawer does not open by itself (nor the alarm start) once the unit is back.
TEST_P(TillWireLost, WhatWasAskedAsTheUnitWentAwayIsNotDoneWhenItReturns) {
    comeOnline();
    station_->takeAway();
    ASSERT_EQ(ask(), 0);
    loseUnit();
    EXPECT_FALSE(unit().Confirmed(GetParam().device));
    const size_t before = model().received().size();
    station_->bringBack();
    for (int i = 0; i < 100 && !unit().Confirmed(GetParam().device); ++i) round();
    ASSERT_TRUE(unit().Confirmed(GetParam().device));
    run(20);
    EXPECT_EQ(sentToTheUnit(GetParam().command, before), 0u);
    EXPECT_FALSE(model().drawerOpen(1));
    EXPECT_FALSE(model().drawerOpen(2));
    EXPECT_FALSE(model().alarmSounding());
    EXPECT_EQ(unit().PendingMask(), 0u);

    // Asked again once the unit is back, it is carried out, once.
    ASSERT_EQ(ask(), 0);
    run(20);
    EXPECT_EQ(sentToTheUnit(GetParam().command, before), 1u);
}

// A unit that starts again by itself (its request online) forgets what it was asked: the
// command is not sent to it afterwards either.
TEST_P(TillWireLost, WhatWasAskedBeforeTheUnitRestartsIsNotSentAfter) {
    comeOnline();
    station_->takeAway(); // the command waits, unsent, for its turn
    ASSERT_EQ(ask(), 0);
    const size_t before = model().received().size();
    station_->bringBack(); // powered on again: it asks to come online
    for (int i = 0; i < 100 && !unit().Confirmed(GetParam().device); ++i) round();
    ASSERT_TRUE(unit().Confirmed(GetParam().device));
    run(20);
    EXPECT_EQ(sentToTheUnit(GetParam().command, before), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Asked, TillWireLost,
    ::testing::Values(AskedCase{"OpenDrawer1", TILL_DRAWER1_ADDRESS, POS_TILL_OPEN_TILL, {0x01}},
                      AskedCase{"OpenDrawer2", TILL_DRAWER2_ADDRESS, POS_TILL_OPEN_TILL, {0x02}},
                      AskedCase{"SoundAlarm", TILL_ALARM_ADDRESS, POS_ALARM_SOUND_ALARM, {0x06}}),
    [](const ::testing::TestParamInfo<AskedCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace tillbench
