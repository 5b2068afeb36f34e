// The extended keyboards whose characters come from the console keymap (a fake console):
// keys by the keymap-flag table, the numpad styles, the lock keys that can be switched off,
// the lock states on the keyboard's lights, and the 121-key variant.
#include "FakeConsole.h"
#include "KBANPV.h"
#include "KBO117P.h"
#include "KbdBench.h"

namespace kbdbench {
namespace {

template <class M>
class KeymapKeyboard : public KbdBench {
protected:
    void SetUp() override {
        KbdBench::SetUp();
        console_.paths = {"/dev/console"};
        console_.keymap = {{{0, 0x1E}, 0x0B61}, {{0, 0x47}, 0x0037}, {{1, 0x1E}, 0x0B41}};
        kbdSetConsole(&console_);
        model_ = std::make_unique<OnBench<M>>(&adapter_);
        slot_->keyboard = model_.get();
        link_ = model_.get();
        feed(0x0F);
        feed(0x63);
        ASSERT_EQ(commands(), (std::vector<Bytes>{{0x00, 0x00, 0x01}}));
        reply({0x00, 0x04, 0x10, 0x00, 0x10, 0x04, 0x00, 0x00, 0x10});
        answerAll();
        ASSERT_TRUE(model_->TestStatusBits(PDEV_ONLINE));
    }
    void TearDown() override {
        vclient_.reset();
        slot_->keyboard = nullptr;
        link_ = nullptr;
        model_.reset();
        kbdSetConsole(nullptr);
        KbdBench::TearDown();
    }
    std::vector<Bytes> answerAll() {
        std::vector<Bytes> all;
        cycle();
        for (int i = 0; i < 40; ++i) {
            std::vector<Bytes> c = commands();
            if (c.empty()) break;
            all.insert(all.end(), c.begin(), c.end());
            completed();
        }
        return all;
    }
    Client<KBANPV>& acquired(std::vector<PosArg> args = {}) {
        vclient_ = std::make_unique<Client<KBANPV>>(DeviceID(kSlot, kPort, kAddress), 1);
        EXPECT_EQ(vclient_->open(std::move(args)), 0);
        EXPECT_EQ(vclient_->ioctl(POS_SYS_ACQUIRE_DEVICE), 0);
        answerAll();
        return *vclient_;
    }
    FakeConsole console_;
    std::unique_ptr<OnBench<M>> model_;
    std::unique_ptr<Client<KBANPV>> vclient_;
};

using Keyboard117 = KeymapKeyboard<KBO117P>;
using Keyboard121 = KeymapKeyboard<KBO121P>;

TEST_F(Keyboard117, KeysOfTheFlagTableTakeTheKeymapsCharacter) {
    Client<KBANPV>& c = acquired();
    keys({0x1E, 0x47, 0x5A, 0xF0, 0x1E});
    EXPECT_EQ(c.queue.take(), (std::vector<Event>{{KBD_WM_CHAR, 1 | 'a' << 16, 0x5001E},
                                                  {KBD_WM_CHAR, 1 | '7' << 16, 0x50047},
                                                  {KBD_WM_CHAR, 1, 0x4005A},
                                                  {KBD_WM_CHAR, 1 | 'a' << 16, 0x45001E}}));
    // Touch-tone style: the digit rows change places.
    vclient_.reset();
    answerAll();
    Client<KBANPV>& t = acquired({{"numpadStyle", 0}});
    keys({0x47});
    EXPECT_EQ(t.queue.take(), (std::vector<Event>{{KBD_WM_CHAR, 1 | '1' << 16, 0x50047}}));
}

TEST_F(Keyboard117, TheLockKeysCanBeSwitchedOffAndTheLocksShowOnTheLights) {
    Client<KBANPV>& c = acquired();
    ASSERT_EQ(c.ioctl(POS_KBD_DISABLE_NUM_LOCK), 0);
    keys({0xBF, 0xF0, 0xBF, 0xAB});
    EXPECT_EQ(c.queue.take(), (std::vector<Event>{{KBD_WM_CHAR, 1, 0x400AB}}));
    ASSERT_EQ(c.ioctl(POS_KBD_ENABLE_NUM_LOCK), 0);
    keys({0xBF});
    EXPECT_EQ(c.queue.take().size(), 1u);
    // Num lock on: bit 5 of the lights; the console is not touched.
    ASSERT_EQ(c.ioctl(POS_KBD_SET_NUM_LOCK_ON), 0);
    EXPECT_EQ(answerAll(), (std::vector<Bytes>{{0x1C, 0x20}}));
    EXPECT_TRUE(console_.pushed.empty());
    // A numpad location this keyboard does not have is refused, and logged when it comes in
    // the settings anyway.
    Client<KBANPV> other(DeviceID(kSlot, kPort, kAddress), 2);
    EXPECT_EQ(other.open({{"numpadLocation", 3}}), POSERR_KBD_INVALID_NUMPAD_LOCATION);
    KbdSettingsRecord record{};
    record.numpadLocation = 3;
    ovkhost::clearCaptures();
    model_->TellPhys(&c, KBD_REQ_SETTINGS, reinterpret_cast<unsigned char*>(&record), sizeof record);
    EXPECT_TRUE(ovkhost::errorLogged(16301));
    // A code beyond the tables is logged and skipped.
    keys({0xC5, 0x1E});
    EXPECT_TRUE(ovkhost::errorLogged(16302));
}

TEST_F(Keyboard121, HasNoDoubleKeysAndAFourPositionKeyLock) {
    EXPECT_EQ(model_->GetDeviceSubtype(), 4);
    Client<KBANPV>& c = acquired({{"doubleKey01", reinterpret_cast<intptr_t>("200,201")}});
    EXPECT_EQ(model_->CheckKeyLockState(0x00), 4);
    EXPECT_EQ(model_->CheckKeyLockState(0x30), 1);
    reply({0x00, 0x00, 0x20, 0x00});
    EXPECT_EQ(c.queue.take(), (std::vector<Event>{{KBD_WM_STATUS_CHANGE, 0x10001, 2}}));
    keys({0x1E}); // key-lock bits 0x10 again: position 3
    EXPECT_EQ(c.queue.take(), (std::vector<Event>{{KBD_WM_STATUS_CHANGE, 0x10001, 3},
                                                  {KBD_WM_CHAR, 1 | 'a' << 16, 0x5001E}}));
    for (int i = 0; i < 256; ++i) EXPECT_EQ(model_->DoubleKeyMap()[i], 0xFF) << i;
}

} // namespace
} // namespace kbdbench
