// The keyboard models: subtypes and virtual types, key-lock decodings, indicator layouts,
// numpads by location, the PLU keyboards without microcode, and the two keyboards with a
// message format of their own.
#include <fstream>
#include <iterator>

#include "KB50P.h"
#include "KBO133P.h"
#include "KBO32P.h"
#include "KBOJUCCP.h"
#include "KBOPLUModels.h"
#include "KBTEXTP.h"
#include "KbdBench.h"

namespace kbdbench {
namespace {

class Models : public KbdBench {
protected:
    // Puts a model on the bench in place of the 50-key keyboard.
    template <class M>
    M& use() {
        auto* m = new OnBench<M>(&adapter_);
        model_.reset(m);
        slot_->keyboard = m;
        link_ = m;
        return *m;
    }
    void TearDown() override {
        client_.reset();
        slot_->keyboard = nullptr;
        link_ = nullptr;
        model_.reset();
        KbdBench::TearDown();
    }
    // Link reset and the information answer of keyboard `type` with information byte 6.
    void identifyAs(unsigned char type = 2, unsigned char info6 = 0) {
        feed(0x0F);
        feed(0x63);
        ASSERT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x00, 0x01}}));
        reply({0x00, 0x04, 0x10, 0x00, 0x10, type, info6, 0x00, 0x10});
    }
    // Answers every command until nothing is left; the commands in order.
    std::vector<Bytes> answerAll() {
        std::vector<Bytes> all;
        cycle();
        for (int i = 0; i < 50; ++i) {
            std::vector<Bytes> c = commands();
            if (c.empty()) break;
            all.insert(all.end(), c.begin(), c.end());
            completed();
        }
        return all;
    }
    std::unique_ptr<PDEV> model_;
};

template <class M>
void expectKind(ADAPTER* a, const char* name, unsigned char subtype, long vdev) {
    OnBench<M> m(a);
    unsigned char type = 0;
    long vdevType = 0;
    EXPECT_EQ(m.GetVdevInfo(kAddress, type, vdevType), 0) << name;
    EXPECT_EQ(type, KBD_DEVICE_TYPE) << name;
    EXPECT_EQ(vdevType, vdev) << name;
    EXPECT_EQ(m.GetDeviceSubtype(), subtype) << name;
    EXPECT_EQ(m.GetName(), name);
}

TEST_F(Models, EachModelReportsItsSubtypeAndVirtualType) {
    expectKind<KB50P>(&adapter_, "KB50P", 0, 15000);
    expectKind<KBTEXTP>(&adapter_, "KBTEXTP", 0, 15000);
    expectKind<KBO50P>(&adapter_, "KBO50P", 1, 16500);
    expectKind<KBO32P>(&adapter_, "KBO32P", 12, 16500);
    expectKind<KBOJUCCP>(&adapter_, "KBOJUCCP", 7, 16500);
    expectKind<KBO133P>(&adapter_, "KBO133P", 2, 16500);
    expectKind<KBOPLUP>(&adapter_, "KBOPLUP", 6, 16500);
    expectKind<KB6629P>(&adapter_, "KB6629P", 8, 16500);
    expectKind<KBOKBEP>(&adapter_, "KBOKBEP", 11, 16500);
    expectKind<KBOKBVP>(&adapter_, "KBOKBVP", 5, 16500);
}

TEST_F(Models, KeyLocksDecodeByModel) {
    OnBench<KB6629P> threeBit(&adapter_);
    OnBench<KBOKBVP> fourPosition(&adapter_);
    OnBench<KBOJUCCP> jucc(&adapter_);
    const struct {
        unsigned char bits;
        int threeBit, four;
    } cases[] = {
        {0x00, 4, 4}, {0x10, 3, 3}, {0x20, 2, 2}, {0x30, 1, 1},
        {0x40, 0, 4}, {0x50, 5, 3}, {0x60, 6, 2}, {0x70, 0, 1}, {0x8F, 4, 4},
    };
    for (const auto& k : cases) {
        EXPECT_EQ(threeBit.CheckKeyLockState(k.bits), k.threeBit) << int(k.bits);
        EXPECT_EQ(fourPosition.CheckKeyLockState(k.bits), k.four) << int(k.bits);
        EXPECT_EQ(jucc.CheckKeyLockState(k.bits), k.four) << int(k.bits);
    }
    EXPECT_EQ(kbd().CheckKeyLockState(0x10), 1);
    EXPECT_EQ(kbd().CheckKeyLockState(0x60), 2);
}

TEST_F(Models, TheIndicatorLayoutSwapsBitsZeroAndTwo) {
    const struct {
        unsigned char before, lights, after;
    } cases[] = {
        {0x00, 0x01, 0x04}, {0x00, 0x04, 0x01}, {0x00, 0x0A, 0x0A}, {0xF0, 0x0F, 0xFF}, {0x5F, 0x00, 0x50},
    };
    OnBench<KBOJUCCP> jucc(&adapter_);
    OnBench<KBOPLUP> plu(&adapter_);
    for (const auto& k : cases) {
        unsigned char a = k.before, b = k.before, plain = k.before;
        jucc.SetLEDBits(&a, k.lights);
        plu.SetLEDBits(&b, k.lights);
        kbd().SetLEDBits(&plain, k.lights);
        EXPECT_EQ(a, k.after);
        EXPECT_EQ(b, k.after);
        EXPECT_EQ(plain, (k.before & 0xF0) | (k.lights & 0x0F));
    }
}

TEST_F(Models, AKeyLockTurnOnTheThreeBitModelIsPostedWithItsPosition) {
    use<KB6629P>();
    ASSERT_NO_FATAL_FAILURE(identifyAs(11));
    EXPECT_EQ(answerAll(), (std::vector<Bytes>{{0x22, 0x00}, {0x1C, 0x00}, {0x21, 0x01, 0x00, 0x00}}));
    ASSERT_TRUE(model_->TestStatusBits(PDEV_ONLINE));
    Vkbd& c = *(client_ = std::make_unique<Vkbd>(DeviceID(kSlot, kPort, kAddress), 1));
    ASSERT_EQ(c.open(), 0);
    ASSERT_EQ(c.ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    answerAll();
    reply({0x00, 0x00, 0x50, 0x00});
    reply({0x00, 0x00, 0x40, 0x00});
    EXPECT_EQ(c.queue.take(), (std::vector<Event>{{KBD_WM_STATUS_CHANGE, 0x10001, 5}, {KBD_WM_STATUS_CHANGE, 0x10001, 0}}));
}

TEST_F(Models, ThePluKeyboardTakesNoMicrocodeAndReportsPlainCodes) {
    // A microcode file for its EC level is there and still not sent.
    root_.write(dataPath() + "/ovk016.kbd", "");
    std::ofstream(root_.at(dataPath() + "/ovk016.kbd"), std::ios::binary) << std::string("\x00\x02\x01\xAA", 4);
    use<KBOPLUP>();
    ASSERT_NO_FATAL_FAILURE(identifyAs());
    EXPECT_EQ(answerAll(), (std::vector<Bytes>{{0x22, 0x00}, {0x1C, 0x00}, {0x21, 0x01, 0x00, 0x00}}));
    ASSERT_TRUE(model_->TestStatusBits(PDEV_ONLINE));

    // Location 2, touch-tone style: "1" is key 57; a double key definition is ignored.
    Vkbd& c = *(client_ = std::make_unique<Vkbd>(DeviceID(kSlot, kPort, kAddress), 1));
    ASSERT_EQ(c.open({{"numpadLocation", 2}, {"numpadStyle", 0}, {"doubleKey01", reinterpret_cast<intptr_t>("1,2")}}), 0);
    EXPECT_EQ(c.DoubleKeyPair(0)[0], 1); // accepted by the model, which ignores pairs
    ASSERT_EQ(c.ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    answerAll();
    reply({0x01, 0x00, 0x10, 0x00, 57, 0xF0, 53});
    EXPECT_EQ(c.queue.take(), (std::vector<Event>{{KBD_WM_CHAR, 1 | '1' << 16, 0x50039},
                                                  {KBD_WM_CHAR, 1, 0x400F0},
                                                  {KBD_WM_CHAR, 1, 0x40035}}));
    Vkbd other(DeviceID(kSlot, kPort, kAddress), 2);
    EXPECT_EQ(other.open({{"numpadLocation", 3}}), POSERR_KBD_INVALID_NUMPAD_LOCATION);
}

TEST_F(Models, The133KeyKeyboardPicksItsNumpadByLocation) {
    use<KBO133P>();
    ASSERT_NO_FATAL_FAILURE(identifyAs(3));
    answerAll();
    const struct {
        int location;
        unsigned char one, zero1, zero2;
    } cases[] = {{1, 26, 29, 141}, {2, 97, 98, 82}, {3, 65, 66, 146}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.location);
        client_ = std::make_unique<Vkbd>(DeviceID(kSlot, kPort, kAddress), 1);
        ASSERT_EQ(client_->open({{"numpadLocation", k.location}, {"numpadStyle", 0}}), 0);
        ASSERT_EQ(client_->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
        answerAll();
        // "1", then the zero key's second switch alone: the first switch's "0".
        keys({k.one});
        keys({k.zero2});
        keys({0xF0, k.zero2});
        EXPECT_EQ(client_->queue.take(),
                  (std::vector<Event>{{KBD_WM_CHAR, 1 | '1' << 16, 0x50000u | k.one},
                                      {KBD_WM_CHAR, 1 | '0' << 16, 0x50000u | k.zero1},
                                      {KBD_WM_CHAR, 1 | '0' << 16, 0x450000u | k.zero1}}));
        client_.reset();
        answerAll();
    }
    Vkbd c(DeviceID(kSlot, kPort, kAddress), 1);
    EXPECT_EQ(c.open({{"numpadLocation", 4}}), POSERR_KBD_INVALID_NUMPAD_LOCATION);
    // Its shift toggle is 0x20.
    client_ = std::make_unique<Vkbd>(DeviceID(kSlot, kPort, kAddress), 1);
    ASSERT_EQ(client_->open({{"doubleKey01", reinterpret_cast<intptr_t>("1,7")}}), 0);
    ASSERT_EQ(client_->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    answerAll();
    keys({0x20, 180});
    EXPECT_EQ(client_->queue.take(), (std::vector<Event>{{KBD_WM_CHAR, 1, 0x140020}, {KBD_WM_CHAR, 1, 0x1400B4}}));
}

TEST_F(Models, TheJuccKeyboardHasNoDoubleKeys) {
    use<KBOJUCCP>();
    ASSERT_NO_FATAL_FAILURE(identifyAs(1, 0x10));
    answerAll();
    Vkbd& c = *(client_ = std::make_unique<Vkbd>(DeviceID(kSlot, kPort, kAddress), 1));
    ASSERT_EQ(c.open({{"doubleKey01", reinterpret_cast<intptr_t>("200,201")}}), 0);
    ASSERT_EQ(c.ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    answerAll();
    // The zero key's two switches report themselves; flagged codes keep bit 31.
    keys({125, 13, 0x50, 0xF0, 0x50}, 0x02);
    EXPECT_EQ(c.queue.take(), (std::vector<Event>{{KBD_WM_CHAR, 1 | '0' << 16, 0x5007D},
                                                  {KBD_WM_CHAR, 1, 0x8004000D},
                                                  {KBD_WM_CHAR, 1, 0x140050},
                                                  {KBD_WM_CHAR, 1, 0x440050}}));
}

TEST_F(Models, The32KeyKeyboardKnowsItsSecondVariant) {
    KBO32P& k = use<KBO32P>();
    ASSERT_NO_FATAL_FAILURE(identifyAs(12, 12));
    EXPECT_EQ(k.GetDeviceSubtype(), 13);
    ovkhost::clearCaptures();
    reply({0x80, 0x80, 0x10, 0x00});
    EXPECT_TRUE(ovkhost::errorLogged(17501));
    EXPECT_TRUE(ovkhost::errorLogged(17502));
    EXPECT_FALSE(ovkhost::errorLogged(15701));
    EXPECT_EQ(k.ValidateDoubleKey(12, 16), 0);  // 143 and 142
    EXPECT_EQ(k.ValidateDoubleKey(12, 21), POSERR_KBD_INVALID_DOUBLE_KEY);
}

// ---------------------------------------------------------------------------------------
// The 50-key keyboard with its own format.

class Kb50 : public Models {
protected:
    void SetUp() override {
        Models::SetUp();
        use<KB50P>();
        feed(0x0F);
        feed(0x63);
        ASSERT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x80}}));
        reply({0x40, 0x04, 0x21});
        ASSERT_TRUE(model_->TestStatusBits(PDEV_ONLINE));
        EXPECT_EQ(commands(), (std::vector<Bytes>{{0x01, 0x00, 0x00}}));
        completedKb50();
    }
    void completedKb50() { reply({0x40, 0x00}); }
};

TEST_F(Kb50, KeysTranslateToTheExtendedCodeSet) {
    Client<KBV> c(DeviceID(kSlot, kPort, kAddress), 1);
    ASSERT_EQ(c.open({{"doubleKey01", reinterpret_cast<intptr_t>("16,17")}}), 0);
    ASSERT_EQ(c.ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    cycle();
    for (int i = 0; i < 3 && !commands().empty(); ++i) completedKb50();
    // Codes 5 ("1", calculator style "7"), 16 and 63; then 2 and 3 flagged as one double key.
    reply({0x40, 0x00, 5, 16, 63});
    reply({0x43, 0x00, 2, 3});
    EXPECT_EQ(c.queue.take(), (std::vector<Event>{{KBD_WM_CHAR, 1 | '7' << 16, 0x50000u | 5},
                                                  {KBD_WM_CHAR, 1, 0x40000u | 139},
                                                  {KBD_WM_CHAR, 1, 0x40000u | 190},
                                                  {KBD_WM_CHAR, 1, 0x80040000u | 123}}));
    // Seven codes are too many; a code above 63 is skipped.
    ovkhost::clearCaptures();
    reply({0x40, 0x00, 5, 5, 5, 5, 5, 5, 5});
    EXPECT_TRUE(c.queue.take().empty());
    EXPECT_TRUE(ovkhost::errorLogged(15905));
    reply({0x40, 0x00, 64, 5});
    EXPECT_EQ(c.queue.take().size(), 1u);
    EXPECT_TRUE(ovkhost::errorLogged(15904));
    // The key lock in byte 0 bit 6.
    reply({0x00, 0x00});
    EXPECT_EQ(c.queue.take(), (std::vector<Event>{{KBD_WM_STATUS_CHANGE, 0x10001, 2}}));
}

TEST_F(Kb50, ToneAndLightsUseItsCommands) {
    Client<KBV> c(DeviceID(kSlot, kPort, kAddress), 1);
    ASSERT_EQ(c.open(), 0);
    ASSERT_EQ(c.ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    cycle();
    for (int i = 0; i < 3 && !commands().empty(); ++i) completedKb50();
    ASSERT_EQ(c.ioctl(POS_SYS_SET_VALUES, {{"keyboardLightsOn", 4}}), 0);
    cycle();
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x01, 0x00, 0x04}}));
    completedKb50();
    ASSERT_EQ(c.ioctl(POS_KBD_SOUND_TONE, {{"toneDuration", 1}}), 0);
    cycle();
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x2E, 0x00}}));
    // The keyboard does not answer a continuous tone: its acknowledgement is enough.
    acknowledge();
    EXPECT_FALSE(model_->TestStatusBits(SIODEV_AWAITING_REPLY));
    ASSERT_EQ(c.ioctl(POS_KBD_SOUND_TONE, {{"toneDuration", 9}, {"toneFreq", 3}, {"toneVolume", 3}}), 0);
    cycle();
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x12, 0x00, 0x09}}));
    completedKb50();
    ASSERT_EQ(c.ioctl(POS_KBD_SILENCE_TONE), 0);
    cycle();
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x42, 0x00}}));
}

TEST_F(Models, TheTextKeyboardSendsCharactersInTheCharacterBits) {
    use<KBTEXTP>();
    feed(0x0F);
    feed(0x63);
    ASSERT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x80}}));
    reply({0x00, 0x04, 0x00, 0x21});
    ASSERT_TRUE(model_->TestStatusBits(PDEV_ONLINE));
    completed();
    Client<KBV> c(DeviceID(kSlot, kPort, kAddress), 1);
    ASSERT_EQ(c.open(), 0);
    ASSERT_EQ(c.ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    answerAll();
    // Positions 2 to 5 of a 6-byte message: characters at bytes 4 and 5; position 3 is
    // flagged; the last two positions have no character.
    reply({0x08, 0x00, 0x00, 0x00, 'A', 'B'});
    EXPECT_EQ(c.queue.take(), (std::vector<Event>{{KBD_WM_CHAR, 1 | 'A' << 16, 0}}));
    reply({0x40, 0x00});
    EXPECT_EQ(c.queue.take(), (std::vector<Event>{{KBD_WM_STATUS_CHANGE, 0x10001, 2}}));
}

// The 50-key keyboard's error bit that answers a command rejects it, and the command goes
// again; while a tone is asked for, the error bit ends the tone and sends nothing again.
TEST_F(Kb50, ARejectedLightsCommandGoesAgainAndAToneEndIsNoReject) {
    Client<KBV> c(DeviceID(kSlot, kPort, kAddress), 1);
    ASSERT_EQ(c.open(), 0);
    ASSERT_EQ(c.ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    cycle();
    for (int i = 0; i < 3 && !commands().empty(); ++i) completedKb50();
    ASSERT_EQ(c.ioctl(POS_SYS_SET_VALUES, {{"keyboardLightsOn", 4}}), 0);
    cycle();
    const std::vector<Bytes> lights{{0x01, 0x00, 0x04}};
    ASSERT_EQ(commands(), lights);
    reply({0xC0, 0x00});
    EXPECT_EQ(commands(), lights);
    completedKb50();
    EXPECT_TRUE(commands().empty());
    ASSERT_EQ(c.ioctl(POS_KBD_SOUND_TONE, {{"toneDuration", 9}}), 0);
    cycle();
    ASSERT_EQ(commands().size(), 1u);
    reply({0xC0, 0x00});
    cycle(1000);
    EXPECT_TRUE(commands().empty());
    EXPECT_EQ(model_->TestStatusBits(SIODEV_AWAITING_REPLY), false);
}

// A tone sounded before does not turn the error bit that answers the lights into a tone's
// end: the reject is logged and the lights go again, paced the same way as without a tone
// (the rejects at once, then one a second), until the keyboard takes them.
TEST_F(Kb50, ALightsCommandRejectedAfterAToneGoesAgainAsWithoutOne) {
    Client<KBV> c(DeviceID(kSlot, kPort, kAddress), 1);
    ASSERT_EQ(c.open(), 0);
    ASSERT_EQ(c.ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    cycle();
    for (int i = 0; i < 3 && !commands().empty(); ++i) completedKb50();
    const Bytes reject{0xC0, 0x00};
    struct Case {
        const char* name;
        int duration;      // 0: no tone
        Bytes toneAnswer;  // empty: only the link's acknowledgement
    } cases[] = {
        {"no tone", 0, {}},
        {"a timed tone answered", 9, {0x40, 0x00}},
        {"a timed tone ended with the error bit", 9, reject},
        {"a continuous tone", 1, {}},
    };
    int withoutTone = -1;
    for (unsigned i = 0; i < std::size(cases); ++i) {
        const Case& k = cases[i];
        if (k.duration != 0) {
            ASSERT_EQ(c.ioctl(POS_KBD_SOUND_TONE, {{"toneDuration", k.duration}}), 0) << k.name;
            cycle();
            ASSERT_EQ(commands().size(), 1u) << k.name;
            if (k.toneAnswer.empty()) acknowledge();
            else reply(k.toneAnswer);
            ASSERT_FALSE(model_->TestStatusBits(SIODEV_AWAITING_REPLY)) << k.name;
        }
        const unsigned char value = static_cast<unsigned char>(i + 1);
        ASSERT_EQ(c.ioctl(POS_SYS_SET_VALUES, {{"keyboardLightsOn", value}}), 0) << k.name;
        cycle();
        const Bytes lights{0x01, 0x00, value};
        ASSERT_EQ(commands(), std::vector<Bytes>{lights}) << k.name;
        ovkhost::clearCaptures();
        reply(reject);
        EXPECT_TRUE(ovkhost::errorLogged(15901)) << k.name;
        // Five seconds of rejects: every lights command the keyboard gets is refused.
        int frames = 1;
        for (int ms = 0; ms < 5000; ms += 10) {
            for (const Bytes& sent : commands()) {
                EXPECT_EQ(sent, lights) << k.name;
                ++frames;
                reply(reject);
            }
            cycle(10);
        }
        EXPECT_LE(frames, 1 + RejectPacer::kAtOnce + 5 + 1) << k.name;
        if (withoutTone < 0) withoutTone = frames;
        EXPECT_EQ(frames, withoutTone) << k.name;
        // The rejects stop: the lights go once more and are taken.
        cycle(1000);
        ASSERT_EQ(commands(), std::vector<Bytes>{lights}) << k.name;
        completedKb50();
        cycle(1000);
        EXPECT_TRUE(commands().empty()) << k.name;
        EXPECT_EQ(static_cast<KBP&>(*model_).LightsByte(), value) << k.name;
    }
}

// The text keyboard's error bit that answers a command rejects it: the lights go again.
TEST_F(Models, TheTextKeyboardSendsARejectedLightsCommandAgain) {
    use<KBTEXTP>();
    feed(0x0F);
    feed(0x63);
    ASSERT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x80}}));
    reply({0x00, 0x04, 0x00, 0x21});
    completed();
    Client<KBV> c(DeviceID(kSlot, kPort, kAddress), 1);
    ASSERT_EQ(c.open(), 0);
    ASSERT_EQ(c.ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
    answerAll();
    ASSERT_EQ(c.ioctl(POS_SYS_SET_VALUES, {{"keyboardLightsOn", 4}}), 0);
    cycle();
    const std::vector<Bytes> lights{{0x01, 0x04}};
    ASSERT_EQ(commands(), lights);
    ovkhost::clearCaptures();
    reply({0x80, 0x00});
    EXPECT_EQ(commands(), lights);
    EXPECT_TRUE(ovkhost::errorLogged(17101));
    reply({0x00, 0x00});
    EXPECT_TRUE(commands().empty());
    EXPECT_EQ(model_->TestStatusBits(SIODEV_AWAITING_REPLY), false);
}

} // namespace
} // namespace kbdbench
