// The alphanumeric POS keyboard: its start-up commands, keys through the console keymap (a
// fake console), the lock-key switches, typematic states it must agree with, PS/2 lock
// lights, and codes beyond its tables.
#include "FakeConsole.h"
#include "KBANPP.h"
#include "KBANPV.h"
#include "KbdBench.h"

namespace kbdbench {
namespace {

class Anpos : public KbdBench {
protected:
    void SetUp() override {
        KbdBench::SetUp();
        console_.paths = {"/dev/console"};
        console_.keymap = {{{0, 0x1E}, 0x0B61}, {{0, 0x10}, 0x0B71}, {{0, 0x6E}, 0x0000}};
        kbdSetConsole(&console_);
        anpos_ = std::make_unique<OnBench<KBANPP>>(&adapter_);
        slot_->keyboard = anpos_.get();
        link_ = anpos_.get();
    }
    void TearDown() override {
        client_.reset();
        anpos_client_.reset();
        slot_->keyboard = nullptr;
        link_ = nullptr;
        anpos_.reset();
        kbdSetConsole(nullptr);
        KbdBench::TearDown();
    }
    // "Done" with the key lock in position 1, 0x1D in effect and the typematic bits.
    void done(unsigned char typematic = 0x00) { reply({0x40, 0x00, static_cast<unsigned char>(0x08 | typematic)}); }
    std::vector<Bytes> answerAll(unsigned char typematic = 0x00) {
        std::vector<Bytes> all;
        cycle();
        for (int i = 0; i < 40; ++i) {
            std::vector<Bytes> c = commands();
            if (c.empty()) break;
            all.insert(all.end(), c.begin(), c.end());
            done(typematic);
        }
        return all;
    }
    void bringUpAnpos() {
        feed(0x0F);
        feed(0x63);
        ASSERT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x80}}));
        reply({0x40, 0x04, 0x08, 0x21});
        ASSERT_TRUE(anpos_->TestStatusBits(PDEV_ONLINE));
        EXPECT_EQ(anpos_->GetECLevel(), 0x21);
        commandsAtStart_ = commands();
        done();
        for (const Bytes& b : answerAll()) commandsAtStart_.push_back(b);
    }
    Client<KBANPV>& acquired() {
        anpos_client_ = std::make_unique<Client<KBANPV>>(DeviceID(kSlot, kPort, kAddress), 1);
        EXPECT_EQ(anpos_client_->open(), 0);
        EXPECT_EQ(anpos_client_->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
        answerAll(0x30); // typematic on by default: A and B on
        return *anpos_client_;
    }
    void keysAnpos(const Bytes& codes, unsigned char flags = 0, unsigned char typematic = 0x30) {
        Bytes m{static_cast<unsigned char>(0x40 | flags), 0x00, static_cast<unsigned char>(0x08 | typematic)};
        m.insert(m.end(), codes.begin(), codes.end());
        reply(m);
        sent();
    }
    FakeConsole console_;
    std::unique_ptr<OnBench<KBANPP>> anpos_;
    std::unique_ptr<Client<KBANPV>> anpos_client_;
    std::vector<Bytes> commandsAtStart_;
};

TEST_F(Anpos, StartUpSendsItsModeLightsTypematicClickAndNumpadZero) {
    ASSERT_NO_FATAL_FAILURE(bringUpAnpos());
    EXPECT_EQ(commandsAtStart_, (std::vector<Bytes>{{0x1D}, {0x1C, 0x00}, {0xED, 0x00}, {0x15}, {0x17},
                                                    {0x19}, {0x1E}, {0xF3, 0x00}}));
    EXPECT_EQ(anpos_->PendingMask(), 0u);
    // The keyboard has not taken the 0x1D mode: it goes again.
    reply({0x40, 0x00, 0x00});
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x1D}}));
}

TEST_F(Anpos, KeysTakeTheirCharactersFromTheConsoleKeymap) {
    ASSERT_NO_FATAL_FAILURE(bringUpAnpos());
    Client<KBANPV>& c = acquired();
    EXPECT_EQ(c.SystemKeyboard(), false);
    keysAnpos({0x1E, 0xF0, 0x1E, 0x5A});
    EXPECT_EQ(c.queue.take(), (std::vector<Event>{{KBD_WM_CHAR, 1 | 'a' << 16, 0x5001E},
                                                  {KBD_WM_CHAR, 1 | 'a' << 16, 0x45001E},
                                                  {KBD_WM_CHAR, 1, 0x4005A}}));
    // A code beyond the keyboard's tables is logged and skipped.
    ovkhost::clearCaptures();
    keysAnpos({0x90, 0x1E});
    EXPECT_EQ(c.queue.take().size(), 1u);
    EXPECT_TRUE(ovkhost::errorLogged(15603));
    // Key lock in byte 0 bit 6.
    reply({0x00, 0x00, 0x38});
    EXPECT_EQ(c.queue.take(), (std::vector<Event>{{KBD_WM_STATUS_CHANGE, 0x10001, 2}}));
}

TEST_F(Anpos, ADisabledScrollLockKeyGivesNoEventButTheLightsFollow) {
    ASSERT_NO_FATAL_FAILURE(bringUpAnpos());
    Client<KBANPV>& c = acquired();
    ASSERT_EQ(c.ioctl(POS_KBD_DISABLE_SCROLL_LOCK), 0);
    keysAnpos({0x6E});
    EXPECT_TRUE(c.queue.take().empty());
    ASSERT_EQ(c.ioctl(POS_KBD_ENABLE_SCROLL_LOCK), 0);
    keysAnpos({0x6E});
    EXPECT_EQ(c.queue.take().size(), 1u);
    // Num lock on by request: the PS/2 lights ED 02 go out with the next turn; the console
    // of an RS-485 keyboard is never touched.
    ASSERT_EQ(c.ioctl(POS_KBD_SET_NUM_LOCK_ON), 0);
    EXPECT_EQ(answerAll(0x30), (std::vector<Bytes>{{0xED, 0x02}}));
    EXPECT_TRUE(console_.pushed.empty());
    for (unsigned long r : console_.requests) EXPECT_EQ(r, static_cast<unsigned long>(KDGKBENT)) << r;
}

TEST_F(Anpos, ADisagreeingTypematicStateIsSentAgainWithEveryMessage) {
    ASSERT_NO_FATAL_FAILURE(bringUpAnpos());
    acquired();
    // Typematic A on is expected; the keyboard keeps reporting it off.
    for (int i = 0; i < 3; ++i) {
        reply({0x40, 0x00, 0x28});
        EXPECT_EQ(commands(), (std::vector<Bytes>{{0x14}}));
    }
    reply({0x40, 0x00, 0x38});
    EXPECT_TRUE(commands().empty());
}

// The error bit of a message that answers a command rejects it: the lights go again, as
// the extended keyboards' do; an error bit while nothing is outstanding sends nothing.
TEST_F(Anpos, ARejectedLightsCommandGoesAgain) {
    ASSERT_NO_FATAL_FAILURE(bringUpAnpos());
    Client<KBANPV>& c = acquired();
    ASSERT_EQ(c.ioctl(POS_SYS_SET_VALUES, {{"keyboardLightsOn", 5}}), 0);
    cycle();
    const std::vector<Bytes> lights = commands();
    ASSERT_EQ(lights.size(), 1u);
    ASSERT_EQ(lights[0][0], 0x1C);
    ovkhost::clearCaptures();
    reply({0xC0, 0x00, 0x38});
    EXPECT_EQ(commands(), lights);
    EXPECT_TRUE(ovkhost::errorLogged(15601));
    done(0x30);
    EXPECT_TRUE(commands().empty());
    EXPECT_EQ(anpos_->PendingMask(), 0u);
    reply({0xC0, 0x00, 0x38});
    cycle(1000);
    EXPECT_TRUE(commands().empty());
}

} // namespace
} // namespace kbdbench
