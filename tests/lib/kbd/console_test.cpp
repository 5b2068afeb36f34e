// The console keymap lookup through a fake console, and the keyboard driver node that every
// keyboard of the process shares.
#include "KbdBench.h"
#include "FakeConsole.h"

namespace kbdbench {
namespace {

class Console : public KbdBench {
protected:
    void SetUp() override {
        KbdBench::SetUp();
        kbdSetConsole(&console_);
    }
    void TearDown() override {
        kbdSetConsole(nullptr);
        KbdBench::TearDown();
    }
    int lookup(uint16_t modifiers, unsigned char scan, unsigned char& c) {
        KBDATA state;
        state.SetModifiers(modifiers);
        return kbd().KbdHandler(&state, scan, c);
    }
    FakeConsole console_;
};

TEST_F(Console, TheKeymapGivesTheCharacterForTheModifiers) {
    console_.keymap = {{{0, 30}, 0x0B61}, {{1, 30}, 0x0B41}, {{4, 30}, 0x0001}, {{9, 30}, 0x0B41},
                       {{0, 120}, 0x0037}};
    console_.keycodes = {{100, 120}};
    unsigned char c = 0;
    EXPECT_EQ(lookup(0x0000, 30, c), 0);
    EXPECT_EQ(c, 'a');
    EXPECT_EQ(lookup(0x0040, 30, c), 0); // caps lock
    EXPECT_EQ(c, 'A');
    EXPECT_EQ(lookup(0x0002, 30, c), 0); // right shift
    EXPECT_EQ(c, 'A');
    EXPECT_EQ(lookup(0x0004, 30, c), 0); // control
    EXPECT_EQ(c, 0x01);
    EXPECT_EQ(lookup(0x0201, 30, c), 0); // shift and alt
    EXPECT_EQ(c, 'A');
    EXPECT_EQ(lookup(0x0000, 100, c), 0); // above 88: the console's key code
    EXPECT_EQ(c, '7');
    // The console tried in order, each descriptor closed.
    EXPECT_EQ(console_.opened.front(), "/dev/console");
    EXPECT_EQ(console_.closed, 6);

    c = 'x';
    EXPECT_EQ(lookup(0x0800, 30, c), 1); // alt-gr: no entry
    EXPECT_EQ(c, 'x');
    console_.paths.clear();
    EXPECT_EQ(lookup(0, 30, c), 1);
    EXPECT_EQ(c, 'x');
}

TEST_F(Console, WithoutAConsoleUnderThePrivateRootTheLookupFails) {
    kbdSetConsole(nullptr);
    unsigned char c = 'x';
    EXPECT_EQ(lookup(0, 30, c), 1);
    EXPECT_EQ(c, 'x');
}

TEST_F(Console, TheDriverNodeIsSharedAndClosedWithItsLastUser) {
    bussim::KeyboardState s;
    s.ecLevel = 0x33;
    keyboardNode_.set(s);
    auto other = std::make_unique<OnBench<KBO50P>>(&adapter_);
    ASSERT_EQ(KBP::NodeHandle(), -1);
    ASSERT_EQ(kbd().Open(nullptr), 0);
    const int fd = KBP::NodeHandle();
    EXPECT_GE(fd, 0);
    EXPECT_EQ(kbd().GetECLevel(), 0x33);
    ASSERT_EQ(other->Open(nullptr), 0);
    ASSERT_EQ(other->Open(nullptr), 0);
    EXPECT_EQ(KBP::NodeHandle(), fd);
    EXPECT_EQ(KBP::NodeUsers(), 3);
    EXPECT_EQ(keyboardNode_.queries(), 1);
    int remaining = 0;
    kbd().Close(nullptr, remaining);
    EXPECT_EQ(KBP::NodeHandle(), fd); // the other keyboard still uses it
    other->Close(nullptr, remaining);
    EXPECT_EQ(KBP::NodeUsers(), 1);
    other.reset(); // a keyboard deleted while open gives its use back
    EXPECT_EQ(KBP::NodeHandle(), -1);
    EXPECT_EQ(KBP::NodeUsers(), 0);

    // No node: the keyboard opens all the same.
    s.driver = false;
    keyboardNode_.set(s);
    ASSERT_EQ(kbd().Open(nullptr), 0);
    EXPECT_EQ(KBP::NodeHandle(), -1);
    kbd().Close(nullptr, remaining);
    EXPECT_EQ(KBP::NodeUsers(), 0);
}

} // namespace
} // namespace kbdbench
