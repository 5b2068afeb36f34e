// The touch display's controller on the simulated bus: identification, start-up commands,
// code update, touch records and the pointer device, tones, the watchdog, values.
#include <cstdlib>
#include <string>

#include "TouchBus.h"

using namespace touchbus;

namespace {

using ovkuinput::Event;

Event Abs(uint16_t code, int32_t v) { return {EV_ABS, code, v}; }
Event Key(int32_t v) { return {EV_KEY, BTN_LEFT, v}; }
const Event kSync{EV_SYN, SYN_REPORT, 0};

// Sets an environment variable for the life of the object.
class EnvVar {
public:
    EnvVar(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            had_ = true;
            old_ = old;
        }
        setenv(name, value.c_str(), 1);
    }
    ~EnvVar() {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

class Touch95Test : public TouchBusTest {};

TEST_F(Touch95Test, IdentifiedAndBroughtOnlineWithTheStartUpCommands) {
    ASSERT_NO_FATAL_FAILURE(StartOnline(Touch95()));
    ASSERT_NE(T95(), nullptr);
    EXPECT_EQ(Elop(), nullptr);
    EXPECT_EQ(T95()->GetDeviceSubtype(), 2);
    // The identifier's request, then the controller's own start-up: device information,
    // the empty code update (no firmware file), configure with the controller's contrast
    // (34), the backlight for 1800 s. No brightness command for EC level 2, no tone.
    EXPECT_EQ(Commands(), (std::vector<Bytes>{{0x00, 0x00, 0x01},
                                              {0x00, 0x00, 0x01},
                                              {0x22, 0x00},
                                              {0x21, 0x51, 0x22, 0x00},
                                              {0x24, 0x20, 0x07, 0x08}}));
    EXPECT_EQ(queue_.events(), (std::vector<PostedEvent>{{0x420D, 0x01115C0D, 2}}));
    EXPECT_EQ(T95()->DefaultSettings().contrast, 34);
    EXPECT_EQ(T95()->DefaultSettings().brightness, 0);
    EXPECT_EQ(T95()->GetECLevel(), 2);
    // The emulation runs with the geometry of subtype 2.
    EXPECT_EQ(TouchMouseEmulation().Online, 1);
    EXPECT_EQ(TouchMouseEmulation().xTotalSize, 67);
    EXPECT_EQ(TouchMouseEmulation().yFrameSize, 3);
    const ovkuinput::Recorder* rec = TouchMousePointer().Node().recorder();
    ASSERT_NE(rec, nullptr);
    EXPECT_TRUE(rec->created());
    EXPECT_EQ(rec->name(), "tchuinput");
    EXPECT_EQ(root_.read("/var/log/uinput.log"), "create tchuinput\n");
}

TEST_F(Touch95Test, FirmwareFileAlongTheLibraryPathIsSentBlockByBlock) {
    root_.write("/fw/OVK002.TCH", std::string("\x00\x04\x02\xAA\xBB\x00", 6));
    EnvVar path("LD_LIBRARY_PATH", root_.at("/nothing") + ":" + root_.at("/fw"));
    ASSERT_NO_FATAL_FAILURE(StartOnline(Touch95()));
    const std::vector<Bytes> c = Commands();
    const auto first = std::find(c.begin(), c.end(), Bytes{0x22, 0x02, 0xAA, 0xBB});
    ASSERT_NE(first, c.end());
    ASSERT_NE(first + 1, c.end());
    EXPECT_EQ(first[1], (Bytes{0x22, 0x00}));
    EXPECT_EQ(model_->codeBlocks(), (std::vector<Bytes>{{0xAA, 0xBB}, {}}));
}

TEST_F(Touch95Test, ImageEndingInsideABlockEndsTheUpdate) {
    // The second block claims 9 bytes where 1 is left.
    root_.write("/fw/OVK002.TCH", std::string("\x00\x05\x01\x11\x09\x22\x33", 7));
    EnvVar path("LD_LIBRARY_PATH", root_.at("/fw"));
    ASSERT_NO_FATAL_FAILURE(StartOnline(Touch95()));
    EXPECT_EQ(model_->codeBlocks(), (std::vector<Bytes>{{0x11}, {}}));
    EXPECT_TRUE(ovkhost::errorLogged(29207));
}

TEST_F(Touch95Test, ShortFirmwareFileIsLoggedAndTheEmptyUpdateSent) {
    root_.write("/fw/OVK002.TCH", std::string("\x00\x09\x01\x11", 4));
    EnvVar path("LD_LIBRARY_PATH", root_.at("/fw"));
    ASSERT_NO_FATAL_FAILURE(StartOnline(Touch95()));
    EXPECT_EQ(model_->codeBlocks(), (std::vector<Bytes>{{}}));
    EXPECT_TRUE(ovkhost::errorLogged(29207));
}

TEST_F(Touch95Test, TouchRecordPostsTouchDataAndMovesThePointer) {
    ASSERT_NO_FATAL_FAILURE(StartOnline(Touch95()));
    Screen& s = OpenScreen();
    RunIdle();
    s.queue.take();
    model_->touch(0x20, 0x10);
    ASSERT_TRUE(RunUntil([&] { return !s.queue.events().empty(); }, 200));
    EXPECT_EQ(s.queue.take(), (std::vector<RecordedEvent>{{0x4216, 0x10001, 0x00200010}}));
    EXPECT_EQ(PointerEvents(), (std::vector<Event>{Abs(ABS_X, 31101), Abs(ABS_Y, 19812), Key(0),
                                                   kSync, Key(1), kSync}));
    EXPECT_EQ(root_.read("/var/log/uinput.log"),
              "create tchuinput\nEV_ABS ABS_X 31101\nEV_ABS ABS_Y 19812\nEV_KEY BTN_LEFT 0\n"
              "EV_SYN SYN_REPORT 0\nEV_KEY BTN_LEFT 1\nEV_SYN SYN_REPORT 0\n");

    // The same place again: no move; the lift lets the button go there.
    model_->touch(0x20, 0x10);
    model_->lift(0x20, 0x10);
    ASSERT_TRUE(RunUntil([&] { return s.queue.events().size() == 2; }, 200));
    EXPECT_EQ(s.queue.take(), (std::vector<RecordedEvent>{{0x4216, 0x10001, 0x00200010},
                                                          {0x4216, 0x00001, 0x00200010}}));
    EXPECT_EQ(PointerEvents().size(), 8u);
    EXPECT_EQ(PointerEvents().back(), kSync);
    EXPECT_EQ(PointerEvents()[6], Key(0));
}

TEST_F(Touch95Test, LiftOffAloneMovesPressesAndReleases) {
    ASSERT_NO_FATAL_FAILURE(StartOnline(Touch95()));
    Screen& s = OpenScreen();
    RunIdle();
    s.queue.take();
    // x inside the frame maps to 0, y beyond the active area to 65535.
    model_->lift(0x02, 0x60);
    ASSERT_TRUE(RunUntil([&] { return !s.queue.events().empty(); }, 200));
    EXPECT_EQ(s.queue.take(), (std::vector<RecordedEvent>{{0x4216, 0x00001, 0x00020060}}));
    EXPECT_EQ(PointerEvents(), (std::vector<Event>{Abs(ABS_X, 0), Abs(ABS_Y, 65535), Key(0), kSync,
                                                   Key(1), kSync, Key(0), kSync}));
}

TEST_F(Touch95Test, ControllerErrorIsLoggedAndReportedAsTouchData) {
    ASSERT_NO_FATAL_FAILURE(StartOnline(Touch95()));
    Screen& s = OpenScreen();
    RunIdle();
    s.queue.take();
    ASSERT_TRUE(model_->fault("overflow"));
    ASSERT_TRUE(RunUntil([&] { return !s.queue.events().empty(); }, 200));
    EXPECT_EQ(s.queue.take(), (std::vector<RecordedEvent>{{0x4216, 0x100001, 0}}));
    EXPECT_TRUE(ovkhost::errorLogged(29201));
}

TEST_F(Touch95Test, ShortAndMalformedAnswersAreIgnored) {
    ASSERT_NO_FATAL_FAILURE(StartOnline(Touch95()));
    Screen& s = OpenScreen();
    RunIdle();
    s.queue.take();
    TCH95P* d = T95();
    const int32_t sequence = d->GetSequenceByte();
    // Three bytes: not an answer; nothing sent, not even an acknowledgement.
    const unsigned char three[] = {0x00, 0x04, 0x00};
    EXPECT_EQ(Locked([&](TCHP* t) { return t->NewMsgRcvd(three, 3); }), 0);
    EXPECT_EQ(d->GetSequenceByte(), sequence);
    EXPECT_EQ(d->GetLinkState(), SIODEVICE::IDLE);
    // Device information cut short is logged and not read; a touch record cut short and
    // a record of another kind without its end are not read either.
    const unsigned char shortInfo[] = {0x00, 0x04, 0x00, 0x00, 0x0D, 0x11};
    const unsigned char cutRecord[] = {0x00, 0x00, 0x00, 0x00, 0xFE, 0x20, 0x10};
    const unsigned char openRecord[] = {0x00, 0x00, 0x00, 0x00, 0x33, 0xFE, 0x01, 0x02, 0x03};
    for (auto& m : {std::make_pair(shortInfo, 6), std::make_pair(cutRecord, 7),
                    std::make_pair(openRecord, 9)}) {
        Locked([&](TCHP* t) { return t->NewMsgRcvd(m.first, m.second); });
        RunIdle();
    }
    EXPECT_TRUE(ovkhost::errorLogged(29208));
    EXPECT_EQ(d->DeviceInformation()[1], 16);
    EXPECT_TRUE(s.queue.events().empty());
}

TEST_F(Touch95Test, DefaultResourcesOpenAndKeepTheControllersContrastAndBrightness) {
    ASSERT_NO_FATAL_FAILURE(StartOnline(Touch95(16, 0x55, 8)));
    EXPECT_EQ(T95()->GetDeviceSubtype(), 2); // display id 0x50 at EC level 8 as well
    // EC level 8: the brightness is asked for and reported (the model's 3).
    std::vector<Bytes> c = Commands();
    EXPECT_NE(std::find(c.begin(), c.end(), Bytes{0x27}), c.end());
    EXPECT_EQ(T95()->DefaultSettings().brightness, 3);

    Screen& s = OpenScreen();
    RunIdle();
    EXPECT_EQ(s.Settings().contrast, -1);
    EXPECT_EQ(s.Settings().brightness, -1);
    // The setup keeps what the controller holds: contrast 0x22 (0x88 >> 2), brightness 3.
    c = Commands();
    EXPECT_NE(std::find(c.begin(), c.end(), Bytes{0x21, 0x51, 0x22, 0x00}), c.end());
    EXPECT_NE(std::find(c.begin(), c.end(), Bytes{0x26, 0x01, 0x03}), c.end());
    for (const Bytes& b : c) EXPECT_FALSE(b.size() > 2 && b[0] == 0x21 && b[2] == 0xFF);
    EXPECT_EQ(s.get("touchContrast"), 34);
    EXPECT_EQ(s.get("touchBrightness"), 3);

    EXPECT_EQ(s.set("touchBrightness", 5), 0);
    RunIdle();
    EXPECT_EQ(Commands(), (std::vector<Bytes>{{0x26, 0x01, 0x05}}));
    EXPECT_EQ(s.get("touchBrightness"), 5);
    // -1 again: the controller's value stands.
    EXPECT_EQ(s.set("touchBrightness", -1), 0);
    EXPECT_EQ(s.Settings().brightness, 5);
    EXPECT_EQ(s.set("touchContrast", -1), 0);
    EXPECT_EQ(s.Settings().contrast, 34);
    EXPECT_EQ(s.get("touchMaxX"), 66);
    EXPECT_EQ(s.get("touchMaxY"), 48);
}

TEST_F(Touch95Test, ValuesOutsideTheirRangesAreRefusedWithTheirErrors) {
    ASSERT_NO_FATAL_FAILURE(StartOnline(Touch95()));
    struct Case {
        const char* name;
        intptr_t value;
        int error;
    };
    const Case cases[] = {
        {"touchToneFreq", 4, 6709},        {"touchToneFreq", 0, 6709},
        {"touchToneVolume", 2, 6710},      {"touchToneDuration", 0, 6708},
        {"touchToneDuration", 256, 6708},  {"touchBackLightOnEvent", 2, 6701},
        {"touchMode", 8, 6706},            {"touchMode", 0, 6706},
        {"touchEntryClick", -1, 6704},     {"touchExitClick", 2, 6705},
        {"touchClickVolume", 2, 6702},     {"touchContrast", 64, 6703},
        {"touchContrast", -2, 6703},       {"touchScreenSaverTime", 65536, 6707},
        {"touchBrightness", 8, 6711},
    };
    Screen& s = OpenScreen({}, false);
    for (const Case& c : cases) {
        EXPECT_EQ(s.set(c.name, c.value), c.error) << c.name << " " << c.value;
        // At open the same check closes the device again.
        Screen other(2);
        EXPECT_EQ(other.open({{c.name, c.value}}), c.error) << c.name;
        EXPECT_EQ(other.OpenCount(), 0);
    }
    // Value words of the resource file.
    root_.write("/etc/touch.res",
                "terminal.touchToneFreq: HIGH\nterminal.touchMode: TOUCH_MODE_EXIT\n"
                "terminal.touchEntryClick: ENABLE\nterminal.touchToneDuration: ON\n");
    XrmDatabase db = nullptr;
    InitResources(db, root_.at("/etc/touch.res").c_str());
    {
        Screen worded(3);
        worded.useDatabase(db);
        ASSERT_EQ(worded.open(), 0);
        EXPECT_EQ(worded.Settings().toneFreq, 3);
        EXPECT_EQ(worded.Settings().mode, 4);
        EXPECT_EQ(worded.Settings().entryClick, 1);
        EXPECT_EQ(worded.Settings().toneDuration, 1);
        EXPECT_TRUE(worded.SettingsValid());
    }
    DestroyResources(db);
}

TEST_F(Touch95Test, TonesSoundSilenceAndWaitForTheControllersTone) {
    ASSERT_NO_FATAL_FAILURE(StartOnline(Touch95()));
    Screen& s = OpenScreen();
    RunIdle();
    Commands();
    // Default resources: medium, low volume, 2 units.
    EXPECT_EQ(s.ioctl(POS_TOUCH_SOUND_TONE), 0);
    RunIdle();
    EXPECT_EQ(Commands(), (std::vector<Bytes>{{0x13, 0x0C, 0x02}}));
    // Only a continuous tone can be silenced.
    EXPECT_EQ(s.ioctl(POS_TOUCH_SILENCE_TONE), 316);

    ASSERT_EQ(s.set("touchToneDuration", 1), 0);
    ASSERT_EQ(s.set("touchToneFreq", 3), 0);
    ASSERT_EQ(s.set("touchToneVolume", 3), 0);
    EXPECT_EQ(s.ioctl(POS_TOUCH_SOUND_TONE), 0);
    RunIdle();
    EXPECT_EQ(Commands(), (std::vector<Bytes>{{0x13, 0x30, 0x02}}));
    EXPECT_TRUE(model_->toneSounding());
    EXPECT_EQ(T95()->DeviceToneState(), 1);

    // A second tone waits for the first to end; while it waits nothing is paused for.
    EXPECT_EQ(s.ioctl(POS_TOUCH_SOUND_TONE), 0);
    for (int i = 0; i < 20; ++i) Cycle();
    EXPECT_TRUE(Commands().empty());
    const int32_t before = chTime();
    EXPECT_EQ(Locked([](TCHP* t) { return t->SendAnyPendingMessage(); }), -1);
    EXPECT_EQ(chTime(), before);
    EXPECT_NE(T95()->PendingMask() & (1u << TCH95P_SLOT_TONE), 0u);

    // Silence: the tone off goes.
    EXPECT_EQ(s.ioctl(POS_TOUCH_SILENCE_TONE), 0);
    RunIdle();
    // The tone off keeps the pitch bits; it takes the slot of the waiting tone.
    EXPECT_EQ(Commands(), (std::vector<Bytes>{{0x13, 0x50, 0x02}}));
    EXPECT_FALSE(model_->toneSounding());
    // Silencing with nothing sounding sends nothing.
    EXPECT_EQ(s.ioctl(POS_TOUCH_SILENCE_TONE), 0);
    RunIdle();
    EXPECT_TRUE(Commands().empty());
}

TEST_F(Touch95Test, ToneRequestsNeedTheHolderAndTheControllerOnline) {
    ASSERT_NO_FATAL_FAILURE(StartOnline(Touch95()));
    Screen& holder = OpenScreen({}, true, 1);
    Screen& other = OpenScreen({}, false, 2);
    EXPECT_EQ(other.ioctl(POS_TOUCH_SOUND_TONE), 315);
    EXPECT_EQ(other.ioctl(POS_SYS_ACQUIRE_DEVICE), 313);
    engine_.takeAway(kSlot, kPort, kAddress);
    ASSERT_TRUE(RunUntil([&] { return !T95() || !T95()->Confirmed(kAddress); }, 3000));
    EXPECT_EQ(holder.ioctl(POS_TOUCH_SOUND_TONE), 317);
}

TEST_F(Touch95Test, ConfigureFlagsFollowTheSettings) {
    ASSERT_NO_FATAL_FAILURE(StartOnline(Touch95()));
    Screen& s = OpenScreen();
    RunIdle();
    Commands();
    // Mode 1, click volume 3, entry click 1, exit click 0, backlight on event 1: 0xDD.
    ASSERT_EQ(s.ioctl(POS_SYS_SET_VALUES, {{"touchBackLightOnEvent", 1},
                                           {"touchClickVolume", 3},
                                           {"touchEntryClick", 1}}),
              0);
    RunIdle();
    EXPECT_EQ(Commands(), (std::vector<Bytes>{{0x21, 0xDD, 0x22, 0x00}}));

    struct Case {
        int32_t mode;
        unsigned char flags;
    };
    for (Case c : {Case{1, 0x51}, Case{2, 0x01}, Case{4, 0x21}, Case{6, 0x41}, Case{7, 0x51}}) {
        TCHRES r = T95()->DefaultSettings();
        r.mode = c.mode;
        Locked([&](TCHP* t) {
            t->tchScheduleCmdMsg(TCH95P_CMD_CONFIGURE, &r);
            return 0;
        });
        EXPECT_EQ(T95()->ConfigureCommand()[1], c.flags) << c.mode;
    }
    // screenSaverTime 0 and 1.
    for (auto c : {std::make_pair(0, Bytes{0x24, 0x00, 0x00, 0x00}),
                   std::make_pair(1, Bytes{0x24, 0x40, 0x00, 0x00})}) {
        ASSERT_EQ(s.set("touchScreenSaverTime", c.first), 0);
        EXPECT_EQ(Bytes(T95()->BacklightCommand(), T95()->BacklightCommand() + 4), c.second);
    }
}

TEST_F(Touch95Test, RescheduledOutstandingCommandGoesAgainAfterTheAnswer) {
    ASSERT_NO_FATAL_FAILURE(StartOnline(Touch95()));
    Commands();
    Locked([](TCHP* t) {
        t->tchScheduleCmdMsg(TCH95P_CMD_BACKLIGHT, nullptr);
        return 0;
    });
    ASSERT_TRUE(RunUntil([&] { return T95()->OutstandingSlot() == TCH95P_SLOT_BACKLIGHT &&
                                      T95()->Busy(); },
                         200));
    Locked([](TCHP* t) {
        t->tchScheduleCmdMsg(TCH95P_CMD_BACKLIGHT, nullptr);
        return 0;
    });
    RunIdle();
    EXPECT_EQ(Commands(), (std::vector<Bytes>{{0x24, 0x20, 0x07, 0x08}, {0x24, 0x20, 0x07, 0x08}}));
}

TEST_F(Touch95Test, WatchdogResetsAControllerThatNeverAnswers) {
    ASSERT_NO_FATAL_FAILURE(StartOnline(Touch95()));
    Screen& s = OpenScreen();
    RunIdle();
    Commands();
    queue_.events();
    model_->setAnswering(false);
    EXPECT_EQ(s.ioctl(POS_TOUCH_SOUND_TONE), 0);
    // Just under 10 s: still waiting.
    for (int i = 0; i < 950; ++i) Cycle();
    EXPECT_EQ(Commands(), (std::vector<Bytes>{{0x13, 0x0C, 0x02}}));
    EXPECT_FALSE(ovkhost::errorLogged(29001));
    ASSERT_TRUE(RunUntil([&] { return ovkhost::errorLogged(29001); }, 200));
    RunUntil([&] { return !model_->commands().empty() && model_->commands().back() == Bytes{0x00, 0x40}; },
             50);
    EXPECT_EQ(Commands(), (std::vector<Bytes>{{0x00, 0x40}}));
    EXPECT_EQ(queue_.events().back(), (PostedEvent{0x420C, 0x01115C0D, 2}));
    EXPECT_EQ(TouchMouseEmulation().Online, 0);

    // Answering again: the next reset brings it back online.
    model_->setAnswering(true);
    ASSERT_TRUE(RunUntil([&] { return queue_.events().back().msg == 0x420D; }, 5000));
    EXPECT_EQ(queue_.events().back(), (PostedEvent{0x420D, 0x01115C0D, 2}));
}

TEST_F(Touch95Test, CommandRejectIsLoggedAndTheControllerReset) {
    ASSERT_NO_FATAL_FAILURE(StartOnline(Touch95()));
    Commands();
    ASSERT_TRUE(model_->fault("reject"));
    ASSERT_TRUE(RunUntil([&] { return ovkhost::errorLogged(29203); }, 200));
    // The controller restarts with the reset and comes back.
    ASSERT_TRUE(RunUntil([&] { return queue_.events().size() >= 3; }, 5000));
    EXPECT_EQ(queue_.events()[1], (PostedEvent{0x420C, 0x01115C0D, 2}));
    EXPECT_EQ(queue_.events()[2], (PostedEvent{0x420D, 0x01115C0D, 2}));
    const std::vector<Bytes> c = Commands();
    ASSERT_FALSE(c.empty());
    EXPECT_EQ(c.front(), (Bytes{0x00, 0x40}));
    EXPECT_NE(std::find(c.begin(), c.end(), Bytes{0x00, 0x00, 0x01}), c.end());
}

// A controller that rejects every command: each reject resets it and the command goes
// again after the restart, at once three times, then about one command a second for as
// long as the rejects last; once they stop, the controller comes back online and is quiet.
class TouchRejects : public TouchBusTest, public ::testing::WithParamInterface<bool> {};

TEST_P(TouchRejects, CommandsRejectedWithoutEndArePacedUntilTheControllerTakesThem) {
    ASSERT_NO_FATAL_FAILURE(StartOnline(GetParam() ? Elo() : Touch95()));
    Commands();
    model_->rejectCommands(1 << 30);
    // A reject resets the controller; the commands of its restart are rejected in turn.
    ASSERT_TRUE(model_->fault("reject"));
    int rejected = 0;
    // The third reject's reset, device information and command still go at once.
    std::vector<int32_t> paced; // when each command went after the fourth reject
    const int32_t start = chTime();
    while (chTimeDiff(chTime(), start) < 12000) {
        Cycle();
        for (const Bytes& c : Commands()) {
            if (rejected >= 4) paced.push_back(chTime());
            const bool resetOrInfo = c == Bytes{0x00, 0x40} || c == Bytes{0x00, 0x00, 0x01};
            if (!resetOrInfo) ++rejected;
        }
        ASSERT_LT(model_->commands().size(), TouchModel::kCommandLimit);
    }
    ASSERT_GE(rejected, 4);
    EXPECT_GE(paced.size(), 5u);
    EXPECT_LE(paced.size(), 10u);
    for (size_t i = 1; i < paced.size(); ++i) EXPECT_GE(chTimeDiff(paced[i], paced[i - 1]), 1000) << i;

    model_->rejectCommands(0);
    ASSERT_TRUE(RunUntil([&] { return Touch()->Confirmed(kAddress) && Touch()->PendingMask() == 0 && !Touch()->Busy(); }, 500));
    Commands();
    for (int i = 0; i < 300; ++i) Cycle();
    EXPECT_TRUE(Commands().empty());
}

INSTANTIATE_TEST_SUITE_P(Controllers, TouchRejects, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "Elo" : "Touch95"; });

} // namespace
