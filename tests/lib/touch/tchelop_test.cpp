// The controller with calibration and modes on the simulated bus, and the identifier.
#include "TouchBus.h"

using namespace touchbus;

namespace {

class EloTest : public TouchBusTest {
protected:
    // Started, online, with an acquired screen whose events are taken so far.
    Screen& Ready() {
        StartOnline(Elo());
        Screen& s = OpenScreen();
        RunIdle();
        s.queue.take();
        Commands();
        return s;
    }
    bool StatusEvents(Screen& s, size_t n) {
        return RunUntil([&] { return s.queue.events().size() >= n; }, 300);
    }
};

TEST_F(EloTest, IdentifiedAndStartedWithScalingAndNoBrightnessOrCodeUpdate) {
    ASSERT_NO_FATAL_FAILURE(StartOnline(Elo()));
    ASSERT_NE(Elop(), nullptr);
    EXPECT_EQ(Elop()->GetDeviceSubtype(), 13);
    EXPECT_EQ(Commands(),
              (std::vector<Bytes>{{0x00, 0x00, 0x01},
                                  {0x00, 0x00, 0x01},
                                  {0x21, 0x51, 0x00, 0x01},
                                  {0x33, 0x53, 0x58, 0x00, 0x00, 0x8F, 0x01, 0x00, 0x00},
                                  {0x33, 0x53, 0x59, 0x3F, 0x01, 0x00, 0x00, 0x00, 0x00},
                                  {0x24, 0x20, 0x07, 0x08}}));
    EXPECT_EQ(queue_.events(), (std::vector<PostedEvent>{{0x420D, 0x01115C0D, 13}}));
    EXPECT_EQ(TouchMouseEmulation().xTotalSize, 398);
    EXPECT_EQ(Elop()->ScreenMaxX(), 399);
    EXPECT_EQ(Elop()->ScreenMaxY(), 319);
}

TEST_F(EloTest, ReportsGiveTouchDataWithSixteenBitCoordinates) {
    Screen& s = Ready();
    model_->touch(0x1234, 0x0178);
    model_->lift(0x1234, 0x0178);
    ASSERT_TRUE(StatusEvents(s, 2));
    EXPECT_EQ(s.queue.take(), (std::vector<RecordedEvent>{{0x4216, 0x10001, 0x12340178},
                                                          {0x4216, 0x00001, 0x12340178}}));
    // Both beyond the 398 x 318 units of the screen: the pointer's corner.
    const auto events = PointerEvents();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[0], (ovkuinput::Event{EV_ABS, ABS_X, 65535}));
    EXPECT_EQ(events[1], (ovkuinput::Event{EV_ABS, ABS_Y, 65535}));
}

TEST_F(EloTest, CalibrationReportsPointsAndItsEnd) {
    Screen& s = Ready();
    EXPECT_EQ(s.ioctl(POS_TOUCH_CALIBRATE), 0);
    RunIdle();
    EXPECT_EQ(Commands(), (std::vector<Bytes>{{0x43, 0x04, 0x01, 0x43, 0x58, 0x0D}}));
    EXPECT_TRUE(model_->calibrating());
    EXPECT_TRUE(Elop()->PassThroughDone());
    model_->calibrationPoint(true);
    model_->calibrationPoint(false);
    model_->calibrationDone();
    ASSERT_TRUE(StatusEvents(s, 3));
    // A further end without a pass-through command: code 6.
    model_->calibrationDone();
    ASSERT_TRUE(StatusEvents(s, 4));
    EXPECT_EQ(s.queue.take(), (std::vector<RecordedEvent>{{0x421B, 1, 5},
                                                          {0x421B, 1, 6},
                                                          {0x421B, 1, 4},
                                                          {0x421B, 1, 6}}));
}

TEST_F(EloTest, RestoreDefaultsReportsItsEnd) {
    Screen& s = Ready();
    EXPECT_EQ(s.ioctl(POS_TOUCH_RESTORE_DEFAULTS), 0);
    ASSERT_TRUE(StatusEvents(s, 1));
    EXPECT_EQ(s.queue.take(), (std::vector<RecordedEvent>{{0x421B, 1, 3}}));
    EXPECT_EQ(Commands(), (std::vector<Bytes>{{0x43, 0x03, 0x01, 0x52, 0x0D}}));
}

TEST_F(EloTest, NativeModeIsReportedAtEveryConfigureAndEmulationOnce) {
    Screen& s = Ready();
    Screen& other = OpenScreen({}, false, 2);
    EXPECT_EQ(other.ioctl(POS_TOUCH_NATIVE_MODE), 315);

    EXPECT_EQ(s.ioctl(POS_TOUCH_NATIVE_MODE), 0);
    ASSERT_TRUE(StatusEvents(s, 1));
    EXPECT_EQ(Commands(), (std::vector<Bytes>{{0x21, 0x51, 0x00, 0x00}}));
    ASSERT_EQ(s.set("touchEntryClick", 1), 0);
    ASSERT_TRUE(StatusEvents(s, 2));
    EXPECT_EQ(s.queue.take(), (std::vector<RecordedEvent>{{0x421B, 1, 1}, {0x421B, 1, 1}}));
    EXPECT_EQ(Elop()->PendingOperation(), TCHELOP_OP_NATIVE);

    EXPECT_EQ(s.ioctl(POS_TOUCH_EMULATION_MODE), 0);
    ASSERT_TRUE(StatusEvents(s, 1));
    EXPECT_EQ(Commands().back(), (Bytes{0x21, 0x55, 0x00, 0x01}));
    ASSERT_EQ(s.set("touchEntryClick", 0), 0);
    RunIdle();
    EXPECT_EQ(s.queue.take(), (std::vector<RecordedEvent>{{0x421B, 1, 2}}));
    EXPECT_EQ(Elop()->PendingOperation(), TCHELOP_OP_NONE);
}

TEST_F(EloTest, DiagnosticFailureResetsTheController) {
    Ready();
    ASSERT_TRUE(model_->fault("diag"));
    ASSERT_TRUE(RunUntil([&] { return ovkhost::errorLogged(29402); }, 200));
    ASSERT_TRUE(RunUntil([&] { return queue_.events().size() >= 3; }, 5000));
    EXPECT_EQ(queue_.events()[1].msg, 0x420Cu);
    EXPECT_EQ(queue_.events()[2], (PostedEvent{0x420D, 0x01115C0D, 13}));
    const std::vector<Bytes> c = Commands();
    ASSERT_FALSE(c.empty());
    EXPECT_EQ(c.front(), (Bytes{0x00, 0x40}));
}

class UnknownIdTest : public EloTest, public ::testing::WithParamInterface<int> {};

TEST_P(UnknownIdTest, CreatesNothing) {
    ASSERT_NO_FATAL_FAILURE(Start(Elo(static_cast<uint8_t>(GetParam()))));
    ASSERT_TRUE(RunUntil([&] { return !model_->commands().empty(); }, 30000));
    for (int i = 0; i < 300; ++i) Cycle();
    auto* oracle = dynamic_cast<Oracle_5C_5D*>(DeviceAt());
    ASSERT_NE(oracle, nullptr);
    EXPECT_FALSE(oracle->Identified());
    EXPECT_EQ(Commands(), (std::vector<Bytes>{{0x00, 0x00, 0x01}}));
    EXPECT_TRUE(queue_.events().empty());
    EXPECT_EQ(oracle->GetLinkState(), SIODEVICE::IDLE); // it goes on acknowledging
}

INSTANTIATE_TEST_SUITE_P(Ids, UnknownIdTest, ::testing::Values(15, 20));

TEST_F(EloTest, IdentifierLogsBadAnswersAndStillIdentifiesOnAnErrorBit) {
    ASSERT_NO_FATAL_FAILURE(Start(Elo(15)));
    ASSERT_TRUE(RunUntil([&] { return !model_->commands().empty(); }, 30000));
    for (int i = 0; i < 50; ++i) Cycle();
    auto* oracle = dynamic_cast<Oracle_5C_5D*>(DeviceAt());
    ASSERT_NE(oracle, nullptr);
    auto feed = [&](std::vector<uint8_t> m) {
        oracle->Lock();
        oracle->NewMsgRcvd(m.data(), static_cast<int>(m.size()));
        oracle->Unlock();
    };
    feed({0x00, 0x04, 0x00});                   // too short
    feed({0x00, 0x04, 0x00, 0x00, 0x0D});       // device information without the id
    feed({0x00, 0x80, 0x00, 0x00});             // command reject
    EXPECT_TRUE(ovkhost::errorLogged(29501));
    EXPECT_TRUE(ovkhost::errorLogged(29503));
    EXPECT_FALSE(oracle->Identified());
    feed({0x80, 0x04, 0x00, 0x00, 0x0D, 16, 0x50, 0x88, 0x02}); // error bit, id 16
    EXPECT_TRUE(ovkhost::errorLogged(29502));
    EXPECT_EQ(oracle->TypeToCreate(), TCH95P_TYPE_ID);
    ASSERT_TRUE(RunUntil([&] { return T95() != nullptr; }, 100));
}

} // namespace
