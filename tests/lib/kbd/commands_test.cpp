// The keyboard's commands: the send discipline of the command slots, tone and lights, the
// settings of an acquire, requests while offline, and the microcode download.
#include <fstream>

#include "KbdBench.h"

namespace kbdbench {
namespace {

// A keyboard of the base class alone, to see its own slots.
class PlainKeyboard : public KBP {
public:
    explicit PlainKeyboard(const DeviceID& id) : KBP(id, "PLAINKBD") {}
    int NewMsgRcvd(const unsigned char*, int) override { return SendAck(); }
};

TEST_F(KbdBench, TheEcLevelRequestStaysPendingUntilAnsweredOtherSlotsClearWhenSent) {
    OnBench<PlainKeyboard> plain(&adapter_);
    plain.PowerOnResetInProgress();
    EXPECT_EQ(plain.PendingMask(), 0x41u);
    plain.ResetComplete();
    ASSERT_EQ(plain.SendAnyPendingMessage(), 0);
    EXPECT_EQ(plain.OutstandingSlot(), 0);
    EXPECT_EQ(plain.PendingMask(), 0x41u);
    // Busy: nothing more goes out.
    EXPECT_EQ(plain.SendAnyPendingMessage(), -1);
}

TEST_F(KbdBench, ToneRequestsBuildTheToneCommand) {
    ASSERT_NO_FATAL_FAILURE(bringUp());
    Vkbd& c = client();
    struct Case {
        std::vector<PosArg> args;
        Bytes command;
        bool on;
    };
    const Case cases[] = {
        {{{"toneDuration", 1}, {"toneFreq", 2}, {"toneVolume", 1}}, {0x13, 0x2C}, true},
        {{{"toneFreq", 1}, {"toneVolume", 3}, {"toneDuration", 10}}, {0x13, 0x00, 0x0A}, false},
        {{{"toneFreq", 3}}, {0x13, 0x14, 0x02}, false}, // stored duration 2 and volume 1
        {{{"toneDuration", 1}}, {0x13, 0x2C}, true},
    };
    for (const Case& k : cases) {
        ASSERT_EQ(c.ioctl(POS_KBD_SOUND_TONE, k.args), 0);
        cycle();
        EXPECT_EQ(commands(), std::vector<Bytes>{k.command});
        EXPECT_EQ(kbd().ToneOn(), k.on);
        completed();
    }
    EXPECT_EQ(c.ToneDuration(), 2); // the values of a tone request are not stored
    ASSERT_EQ(c.ioctl(POS_KBD_SILENCE_TONE), 0);
    cycle();
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x13, 0x40}}));
    EXPECT_FALSE(kbd().ToneOn());

    // Bad values are refused before anything is sent.
    EXPECT_EQ(c.ioctl(POS_KBD_SOUND_TONE, {{"toneVolume", 2}}), POSERR_KBD_INVALID_VOLUME);
    EXPECT_EQ(c.ioctl(POS_KBD_SOUND_TONE, {{"toneFreq", 4}}), POSERR_KBD_INVALID_FREQUENCY);
    EXPECT_EQ(c.ioctl(POS_KBD_SOUND_TONE, {{"toneDuration", 256}}), POSERR_KBD_INVALID_DURATION);
    completed();
    EXPECT_TRUE(commands().empty());
}

TEST_F(KbdBench, ALostLightsMessageIsSentAgain) {
    ASSERT_NO_FATAL_FAILURE(bringUp());
    Vkbd& c = client();
    ASSERT_EQ(c.ioctl(POS_SYS_SET_VALUES, {{"keyboardLightsOn", 5}}), 0);
    cycle();
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x1C, 0x05}}));
    // No acknowledgement within the wait: lost, sequence reset, and the lights go again.
    cycle(1000);
    std::vector<linkrec::Sent> f = sent();
    ASSERT_FALSE(f.empty());
    EXPECT_EQ(f[0].control, 0x83);
    EXPECT_NE(kbd().PendingMask() & (1u << KBP_SLOT_LIGHTS), 0u);
    feed(0x63);
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x1C, 0x05}}));
    EXPECT_EQ(kbd().OutstandingSlot(), KBP_SLOT_LIGHTS);
}

// A rejected command goes again at once three times in a row, then once a second for as long
// as the keyboard rejects it; a new request goes at once; an accepted answer ends the pace.
// Tone and lights alike.
TEST_F(KbdBench, ARejectedCommandGoesAgainAtOnceThreeTimesThenOnceASecond) {
    ASSERT_NO_FATAL_FAILURE(bringUp());
    Vkbd& c = client();
    const Bytes rejected{0x00, 0x80, 0x10, 0x00};
    struct Case {
        int slot;
        std::vector<PosArg> args;
        int request;
        Bytes command;
        std::vector<PosArg> other; // a request whose command differs
    };
    const Case cases[] = {
        {KBP_SLOT_TONE, {{"toneDuration", 1}}, POS_KBD_SOUND_TONE, {0x13, 0x2C}, {{"toneDuration", 2}}},
        {KBP_SLOT_LIGHTS, {{"keyboardLightsOn", 5}}, POS_SYS_SET_VALUES, {0x1C, 0x05}, {{"keyboardLightsOn", 6}}},
    };
    for (const Case& k : cases) {
        ovkhost::clearCaptures();
        const std::vector<Bytes> once{k.command};
        ASSERT_EQ(c.ioctl(k.request, k.args), 0);
        cycle();
        ASSERT_EQ(commands(), once);
        for (int r = 1; r <= RejectPacer::kAtOnce; ++r) {
            reply(rejected);
            EXPECT_EQ(commands(), once) << k.slot << ": reject " << r << " goes again at once";
        }
        EXPECT_TRUE(ovkhost::errorLogged(15702));
        // Paced: held for a second after the last send, then again, and never dropped.
        for (int paced = 0; paced < 3; ++paced) {
            reply(rejected);
            cycle(500);
            cycle(499);
            EXPECT_TRUE(commands().empty()) << k.slot;
            cycle(1);
            EXPECT_EQ(commands(), once) << k.slot;
        }
        // A request for the rejected command again frees nothing: that command is held.
        reply(rejected);
        ASSERT_EQ(c.ioctl(k.request, k.args), 0);
        cycle();
        EXPECT_TRUE(commands().empty()) << k.slot;
        // A request with a command of its own goes at once, once.
        ASSERT_EQ(c.ioctl(k.request, k.other), 0);
        cycle();
        const std::vector<Bytes> other = commands();
        ASSERT_EQ(other.size(), 1u) << k.slot;
        EXPECT_NE(other, once) << k.slot;
        reply(rejected);
        cycle(10);
        EXPECT_TRUE(commands().empty()) << k.slot;
        cycle(1000);
        EXPECT_EQ(commands(), other) << k.slot;
        // Accepted: the pace is over, the next reject goes again at once.
        completed();
        EXPECT_TRUE(commands().empty());
        EXPECT_EQ(kbd().PendingMask() & (1u << k.slot), 0u);
        ASSERT_EQ(c.ioctl(k.request, k.args), 0);
        cycle();
        ASSERT_EQ(commands(), once);
        reply(rejected);
        EXPECT_EQ(commands(), once) << k.slot;
        completed();
        EXPECT_TRUE(commands().empty());
    }
}

// A message with the reject bit while no command is outstanding answers nothing: the
// command completed before is not sent again.
TEST_F(KbdBench, AnUnaskedRejectSendsNothingAgain) {
    ASSERT_NO_FATAL_FAILURE(bringUp());
    Vkbd& c = client();
    ASSERT_EQ(c.ioctl(POS_KBD_SOUND_TONE, {{"toneDuration", 1}}), 0);
    cycle();
    ASSERT_EQ(commands(), (std::vector<Bytes>{{0x13, 0x2C}}));
    completed();
    for (int i = 0; i < 5; ++i) {
        reply({0x00, 0x80, 0x10, 0x00});
        cycle(1000);
        EXPECT_TRUE(commands().empty()) << i;
    }
    EXPECT_EQ(kbd().PendingMask(), 0u);
    EXPECT_EQ(kbd().GetRejectPacer().Streak(), 0);
}

// A keyboard that rejects its restart commands as it returns keeps getting them, paced,
// and comes online once it answers, without a new request.
TEST_F(KbdBench, AKeyboardRejectingItsRestartComesOnlineOnceItAnswers) {
    feed(0x0F);
    feed(0x63);
    const std::vector<Bytes> information{{0x00, 0x00, 0x01}};
    ASSERT_EQ(commands(), information);
    for (int r = 1; r <= 11; ++r) {
        reply({0x00, 0x80, 0x10, 0x00});
        int waited = 0;
        std::vector<Bytes> again = commands();
        for (; again.empty() && waited < 3000; waited += 100) {
            cycle(100);
            again = commands();
        }
        EXPECT_EQ(again, information) << "reject " << r;
        if (r <= RejectPacer::kAtOnce)
            EXPECT_EQ(waited, 0) << "reject " << r;
        else
            EXPECT_EQ(waited, 1000) << "reject " << r;
    }
    EXPECT_FALSE(kbd().TestStatusBits(PDEV_ONLINE));
    reply({0x00, 0x04, 0x10, 0x00, 0x10, 0x02, 0x00, 0x00, 0x10});
    ASSERT_NO_FATAL_FAILURE(downloadUntilOnline());
}

TEST_F(KbdBench, OfflineRequestsAnswerOfflineAndGoOutOnceOnline) {
    auto c = std::make_unique<Vkbd>(DeviceID(kSlot, kPort, kAddress), 1);
    ASSERT_EQ(c->open(), 0);
    // Acquiring an offline keyboard succeeds; tone and lights answer 317 and stay pending.
    ASSERT_EQ(c->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    EXPECT_EQ(c->get("keyLock"), 0);
    EXPECT_EQ(c->ioctl(POS_KBD_SOUND_TONE, {{"toneDuration", 1}}), 317);
    EXPECT_NE(kbd().PendingMask() & (1u << KBP_SLOT_TONE), 0u);
    ASSERT_NO_FATAL_FAILURE(feed(0x0F));
    feed(0x63);
    ASSERT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x00, 0x01}}));
    reply({0x00, 0x04, 0x10, 0x00, 0x10, 0x02, 0x00, 0x00, 0x10});
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x22, 0x00}}));
    completed();
    EXPECT_TRUE(kbd().TestStatusBits(PDEV_ONLINE));
    std::vector<Bytes> rest;
    for (int i = 0; i < 4; ++i) {
        for (const Bytes& b : commands()) rest.push_back(b);
        completed();
    }
    EXPECT_EQ(rest, (std::vector<Bytes>{{0x1C, 0x00}, {0x13, 0x2C}, {0x21, 0x03, 0x01, 0x1E}}));
    client_ = std::move(c);
}

// A tone still queued when the keyboard restarts is kept, as one asked while it is offline:
// the application was told by the offline event, and the tone sounds once the keyboard is back.
TEST_F(KbdBench, AToneQueuedAsTheKeyboardRestartsSoundsOnceItIsBack) {
    ASSERT_NO_FATAL_FAILURE(bringUp());
    Vkbd& c = client();
    ASSERT_EQ(c.ioctl(POS_KBD_SOUND_TONE, {{"toneDuration", 10}}), 0);
    feed(0x0F); // the keyboard asks to come online again before the tone went out
    EXPECT_FALSE(kbd().TestStatusBits(PDEV_ONLINE));
    const std::vector<RecordedEvent> events = processQueue_.take();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].msg, 0x420Cu); // offline
    feed(0x63);
    ASSERT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x00, 0x01}}));
    reply({0x00, 0x04, 0x10, 0x00, 0x10, 0x02, 0x00, 0x00, 0x10});
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x22, 0x00}}));
    completed();
    ASSERT_TRUE(kbd().TestStatusBits(PDEV_ONLINE));
    std::vector<Bytes> rest;
    for (int i = 0; i < 4; ++i) {
        for (const Bytes& b : commands()) rest.push_back(b);
        completed();
    }
    EXPECT_EQ(rest, (std::vector<Bytes>{{0x1C, 0x00}, {0x13, 0x0C, 0x0A}, {0x21, 0x03, 0x01, 0x1E}}));
}

TEST_F(KbdBench, AcquireWithTheDefaultsSendsLightsThenConfigure) {
    ASSERT_NO_FATAL_FAILURE(bringUp());
    client_ = std::make_unique<Vkbd>(DeviceID(kSlot, kPort, kAddress), 1);
    ASSERT_EQ(client_->open(), 0);
    const int turns = adapter_.sendTurns;
    ASSERT_EQ(client_->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    EXPECT_EQ(adapter_.sendTurns, turns + 1);
    cycle();
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x1C, 0x00}}));
    completed();
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x21, 0x03, 0x01, 0x1E}}));
    completed();

    // Typematic off, loud clicks, 750 ms delay at rate 5 and no fat-finger time-out.
    client_.reset();
    cycle();
    while (!commands().empty()) completed();
    client_ = std::make_unique<Vkbd>(DeviceID(kSlot, kPort, kAddress), 1);
    ASSERT_EQ(client_->open({{"typematicDelay", 750}, {"typematicFreq", 5}, {"fatFingerTimeOut", 0},
                             {"keyboardClick", 2}}),
              0);
    ASSERT_EQ(client_->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    ASSERT_EQ(client_->ioctl(POS_KBD_SET_TYPEMATIC_OFF), 0);
    cycle();
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x1C, 0x00}}));
    completed();
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x21, 0x09, 0x45, 0x00}}));
    completed();
    // Release: typematic back on and the click off, lights off and the tone off.
    ASSERT_EQ(client_->ioctl(POS_SYS_RELEASE_DEVICE), 0);
    std::vector<Bytes> rest;
    cycle();
    for (int i = 0; i < 4; ++i) {
        for (const Bytes& b : commands()) rest.push_back(b);
        completed();
    }
    EXPECT_EQ(rest, (std::vector<Bytes>{{0x1C, 0x00}, {0x13, 0x40}, {0x21, 0x03, 0x45, 0x00}}));
}

// ---------------------------------------------------------------------------------------
// Microcode.

class Microcode : public KbdBench {
protected:
    // Writes the microcode file of EC level 0x10 (16).
    void writeFile(const Bytes& contents) {
        const std::string path = root_.at(dataPath() + "/ovk016.kbd");
        root_.write(dataPath() + "/ovk016.kbd", "");
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(contents.data()),
                                                    static_cast<std::streamsize>(contents.size()));
    }
    std::vector<Bytes> download() {
        feed(0x0F);
        feed(0x63);
        EXPECT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x00, 0x01}}));
        reply({0x00, 0x04, 0x10, 0x00, 0x10, 0x02, 0x00, 0x00, 0x10});
        std::vector<Bytes> blocks;
        EXPECT_NO_FATAL_FAILURE(downloadUntilOnline(&blocks));
        return blocks;
    }
};

TEST_F(Microcode, EachRecordIsABlockThenTheEndBlockThenOnline) {
    writeFile({0x00, 0x07, 0x03, 0xAA, 0xBB, 0xCC, 0x02, 0xDD, 0xEE});
    EXPECT_EQ(download(), (std::vector<Bytes>{{0x22, 0x03, 0xAA, 0xBB, 0xCC}, {0x22, 0x02, 0xDD, 0xEE}, {0x22, 0x00}}));
    EXPECT_EQ(processQueue_.take().size(), 0u); // taken by the download helper
    // A power-on reset downloads again from the first record.
    EXPECT_EQ(download(), (std::vector<Bytes>{{0x22, 0x03, 0xAA, 0xBB, 0xCC}, {0x22, 0x02, 0xDD, 0xEE}, {0x22, 0x00}}));
}

TEST_F(Microcode, WithoutUsableRecordsOnlyTheEndBlockGoes) {
    struct Case {
        Bytes file;    // empty: no file at all
        uint32_t log;  // 0: nothing logged
    };
    const Case cases[] = {
        {{}, 0},
        {{0x00, 0x03, 0x00, 0xAA, 0xBB}, 0}, // first record L = 0
        {{0x00, 0x00}, 15704},               // length 0
        {{0x00, 0x09, 0x01}, 15703},         // shorter than announced
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.log);
        std::remove(root_.at(dataPath() + "/ovk016.kbd").c_str());
        if (!k.file.empty()) writeFile(k.file);
        keyboard_ = std::make_unique<Keyboard>(&adapter_);
        slot_->keyboard = keyboard_.get();
        ovkhost::clearCaptures();
        EXPECT_EQ(download(), (std::vector<Bytes>{{0x22, 0x00}}));
        for (uint32_t id : {15703u, 15704u}) EXPECT_EQ(ovkhost::errorLogged(id), id == k.log) << id;
    }
}

TEST_F(Microcode, AnEmptyFileIsLoggedAsEmpty) {
    writeFile({});
    EXPECT_EQ(download(), (std::vector<Bytes>{{0x22, 0x00}}));
    EXPECT_TRUE(ovkhost::errorLogged(15704));
}

TEST_F(Microcode, ARecordRunningPastTheFileEndsTheDownload) {
    writeFile({0x00, 0x06, 0x02, 0x11, 0x22, 0x05, 0x33, 0x44});
    EXPECT_EQ(download(), (std::vector<Bytes>{{0x22, 0x02, 0x11, 0x22}, {0x22, 0x00}}));
    EXPECT_TRUE(ovkhost::errorLogged(15703));
}

} // namespace
} // namespace kbdbench
