// The POS keyboard end to end: ovksim plays an extended keyboard at 0x1C, the daemon
// identifies it and brings it online; an application opens it by name, acquires it, gets
// the keys that a script presses through ovksim, and sounds a tone that reaches the keyboard.
#include <string>

#include "SimulatedTerminal.h"

namespace {

constexpr uint32_t kOnline = 0x420D;
constexpr uint32_t kKey = 0x4202;
constexpr uint32_t kKeyLock = 0x4201;
constexpr int kAcquire = 301;
constexpr int kSoundTone = 4705;
constexpr uint32_t kHandleBits = 0xFFFF;

const char kTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x1c poskbd\n";

const char kResources[] =
    "terminal.kbd.slotNumber:   SLOT_1\n"
    "terminal.kbd.portNumber:   PORT_1\n"
    "terminal.kbd.deviceNumber: DEVICE_POS_KEYBOARD_A\n";

class KeyboardE2E : public TerminalTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(StartTerminal(kTerminal, kResources));
        ASSERT_TRUE(WaitForEvent(kOnline, DeviceWord(1, 0x11, 0x1C, 9))) << Seen();
        EXPECT_EQ(seen_.back().p2 & 0xFF, 1u) << Seen(); // the extended POS keyboard
    }

    // Presses keys by script and waits for the next key event of `handle`: its p1 and p2.
    Event Press(int handle, const std::string& codes) {
        const size_t before = seen_.size();
        EXPECT_EQ(Sim("keys 1 0x11 0x1c " + codes), "ok keys " + codes);
        for (int i = 0; i < 2; ++i) {
            if (!WaitForEvent(kKey, static_cast<uint32_t>(handle), 10000, kHandleBits)) break;
            for (size_t k = before; k < seen_.size(); ++k)
                if (seen_[k].msg == kKey) return seen_[k];
        }
        ADD_FAILURE() << "no key event for " << codes << ": " << Seen();
        return Event{0, 0, 0};
    }
};

TEST_F(KeyboardE2E, KeysByNameAndAToneThatReachesTheKeyboard) {
    char name[] = "kbd", cls[] = "PosKeyboard";
    const int h = PosOpen(name, cls, nullptr, 0);
    ASSERT_GT(h, 0) << PosErrno();
    ASSERT_EQ(PosIOCtl(h, kAcquire, nullptr, 0), 0) << PosErrno();
    // The acquire's settings reached the keyboard: lights, then the configure command.
    std::string last;
    EXPECT_TRUE(WaitForReply("kbdstate 1 0x11 0x1c", "configure=2103011e", 10000, &last)) << last;

    Event e = Press(h, "20");
    EXPECT_EQ(e.p2, 0x40020u);
    e = Press(h, "f020");
    EXPECT_EQ(e.p2, 0x440020u);
    e = Press(h, "7c");
    EXPECT_EQ(e.p1 >> 16 & 0xFF, static_cast<uint32_t>('7'));
    EXPECT_EQ(e.p2, 0x5007Cu);

    // A key-lock turn is posted with its position.
    EXPECT_EQ(Sim("keylock 1 0x11 0x1c 0x00"), "ok keylock 00");
    ASSERT_TRUE(WaitForEvent(kKeyLock, static_cast<uint32_t>(h) | 0x10000, 10000)) << Seen();
    EXPECT_EQ(seen_.back().p2, 2u);

    PosArg tone[] = {{"toneDuration", 1}};
    ASSERT_EQ(PosIOCtl(h, kSoundTone, tone, 1), 0) << PosErrno();
    EXPECT_TRUE(WaitForReply("payloads 1 0x11 0x1c", " 132c", 10000, &last)) << last;
    EXPECT_EQ(PosClose(h), 0) << PosErrno();
}

} // namespace

namespace {

const char kModelsTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x1c poskbd type=1 info6=0x10\n"
    "station 1 0x11 0x1d poskbd type=11\n"
    "station 1 0x11 0x19 poskbd\n"
    "station 1 0x22 0x1c poskbd type=4\n";

class KeyboardModelsE2E : public TerminalTest {};

TEST_F(KeyboardModelsE2E, EachModelComesOnlineWithItsSubtype) {
    ASSERT_NO_FATAL_FAILURE(StartTerminal(kModelsTerminal, ""));
    const struct {
        uint32_t address, subtype;
        uint32_t port = 0x11;
    } models[] = {{0x1C, 7}, {0x1D, 8}, {0x19, 6}, {0x1C, 3, 0x22}};
    for (const auto& m : models) {
        const uint32_t device = DeviceWord(1, m.port, m.address, 9);
        auto online = [&] {
            for (const Event& e : seen_)
                if (e.msg == kOnline && e.p1 == device) return &e;
            return static_cast<const Event*>(nullptr);
        };
        if (!online()) {
            ASSERT_TRUE(WaitForEvent(kOnline, device)) << Seen();
        }
        ASSERT_NE(online(), nullptr);
        EXPECT_EQ(online()->p2 & 0xFF, m.subtype) << std::hex << m.address;
    }
    // The PLU keyboard took no microcode: only the end block.
    std::string last;
    EXPECT_TRUE(WaitForReply("kbdstate 1 0x11 0x19", "blocks=1 2200", 10000, &last)) << last;

    // The keyboard with the three-bit key lock reports position 5 for bits 0x50.
    PosArg where[] = {{"slotNumber", 1}, {"portNumber", 0x11}, {"deviceNumber", 0x1D}};
    char name[] = "lockkbd", cls[] = "PosKeyboard";
    const int h = PosOpen(name, cls, where, 3);
    ASSERT_GT(h, 0) << PosErrno();
    ASSERT_EQ(PosIOCtl(h, kAcquire, nullptr, 0), 0) << PosErrno();
    EXPECT_EQ(Sim("keylock 1 0x11 0x1d 0x50"), "ok keylock 50");
    ASSERT_TRUE(WaitForEvent(kKeyLock, static_cast<uint32_t>(h) | 0x10000, 10000)) << Seen();
    EXPECT_EQ(seen_.back().p2, 5u);
    EXPECT_EQ(PosClose(h), 0) << PosErrno();
}

} // namespace

namespace {

const char kSystemTerminal[] =
    "slot 0 planar\n"
    "keyboard id=0x87AB type=1\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x1c poskbd\n";

const char kSystemResources[] =
    "terminal.syskbd.slotNumber:   SLOT_0\n"
    "terminal.syskbd.portNumber:   PORT_0\n"
    "terminal.syskbd.deviceNumber: DEVICE_SYSTEM_ATTACHED_KBD\n"
    "terminal.kbd.slotNumber:      SLOT_1\n"
    "terminal.kbd.portNumber:      PORT_1\n"
    "terminal.kbd.deviceNumber:    DEVICE_POS_KEYBOARD_A\n";

class SystemKeyboardE2E : public TerminalTest {};

TEST_F(SystemKeyboardE2E, TheSystemKeyboardOpensAndAcquiresWithoutAConsole) {
    ASSERT_NO_FATAL_FAILURE(StartTerminal(kSystemTerminal, kSystemResources));
    ASSERT_TRUE(WaitForEvent(kOnline, 0x00008109)) << Seen();
    EXPECT_EQ(seen_.back().p2 & 0xFF, 3u) << Seen();

    // The typematic rules hold for RS-485 keyboards only.
    PosArg slow[] = {{"typematicDelay", 600}};
    char system[] = "syskbd", bus[] = "kbd", cls[] = "PosKeyboard";
    const int h = PosOpen(system, cls, slow, 1);
    ASSERT_GT(h, 0) << PosErrno();
    ASSERT_EQ(PosIOCtl(h, kAcquire, nullptr, 0), 0) << PosErrno();
    EXPECT_EQ(PosIOCtl(h, 4716, nullptr, 0), 0) << PosErrno(); // num lock on: no console here
    EXPECT_EQ(PosClose(h), 0) << PosErrno();

    ASSERT_TRUE(WaitForEvent(kOnline, DeviceWord(1, 0x11, 0x1C, 9))) << Seen();
    EXPECT_EQ(PosOpen(bus, cls, slow, 1), -1);
    EXPECT_EQ(PosErrno(), 4711);
}

} // namespace

namespace {

const char kOwnFormatsTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x1a poskbd format=anpos\n"
    "station 1 0x11 0x10 poskbd format=k50\n"
    "station 1 0x11 0x12 poskbd format=text\n";

class OwnFormatKeyboardsE2E : public TerminalTest {};

TEST_F(OwnFormatKeyboardsE2E, TheAlphanumericKeyboardGivesKeysKeyLockAndPs2Lights) {
    ASSERT_NO_FATAL_FAILURE(StartTerminal(kOwnFormatsTerminal, ""));
    for (uint32_t address : {0x1Au, 0x10u, 0x12u}) {
        bool seen = false;
        for (const Event& e : seen_) seen = seen || (e.msg == kOnline && e.p1 == DeviceWord(1, 0x11, address, 9));
        if (!seen) {
            ASSERT_TRUE(WaitForEvent(kOnline, DeviceWord(1, 0x11, address, 9))) << Seen();
        }
    }
    PosArg where[] = {{"slotNumber", 1}, {"portNumber", 0x11}, {"deviceNumber", 0x1A}};
    char name[] = "anpos", cls[] = "PosKeyboard";
    const int h = PosOpen(name, cls, where, 3);
    ASSERT_GT(h, 0) << PosErrno();
    ASSERT_EQ(PosIOCtl(h, kAcquire, nullptr, 0), 0) << PosErrno();

    EXPECT_EQ(Sim("keys 1 0x11 0x1a 1e"), "ok keys 1e");
    ASSERT_TRUE(WaitForEvent(kKey, static_cast<uint32_t>(h), 10000, kHandleBits)) << Seen();
    EXPECT_EQ(seen_.back().p2 & 0xFFFF, 0x1Eu); // no console here: no character
    EXPECT_EQ(Sim("keylock 1 0x11 0x1a 0x40"), "ok keylock 40");
    ASSERT_TRUE(WaitForEvent(kKeyLock, static_cast<uint32_t>(h) | 0x10000, 10000)) << Seen();
    EXPECT_EQ(seen_.back().p2, 1u);

    ASSERT_EQ(PosIOCtl(h, 4716, nullptr, 0), 0) << PosErrno(); // num lock on
    std::string last;
    EXPECT_TRUE(WaitForReply("payloads 1 0x11 0x1a", " ed02", 10000, &last)) << last;
    EXPECT_EQ(PosClose(h), 0) << PosErrno();
}

} // namespace
