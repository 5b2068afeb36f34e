// The extended keyboard's messages: key events, the break prefix, double keys and fat-finger
// presses, the shift toggle, the numpad, the key lock, and messages too short for what they
// announce.
#include "KbdBench.h"

namespace kbdbench {
namespace {

class Keys : public KbdBench {
protected:
    void SetUp() override {
        KbdBench::SetUp();
        ASSERT_NO_FATAL_FAILURE(bringUp());
    }
    std::vector<Event> events() { return client_->queue.take(); }
    static Event ev(uint32_t p2, uint32_t p1 = 1) { return Event{KBD_WM_CHAR, p1, p2}; }
};

TEST_F(Keys, AMakeAndABreakPrefixedReleaseAreTwoEvents) {
    client();
    keys({0x20});
    keys({0xF0, 0x1C, 0x21});
    // 0x1C is numpad "9" in the calculator style.
    EXPECT_EQ(events(), (std::vector<Event>{ev(key(0x20)), ev(0x45001C, 1 | '9' << 16), ev(key(0x21))}));
}

TEST_F(Keys, NumpadCharactersFollowTheStyle) {
    client(); // calculator style (1) by default: key 124 is "7"
    keys({0x7C, 0x20});
    EXPECT_EQ(events(), (std::vector<Event>{ev(0x5007C, 1 | '7' << 16), ev(key(0x20))}));
    client_.reset();
    client({{"numpadStyle", 0}});
    keys({0x7C, 0xF0, 0x1D});
    EXPECT_EQ(events(), (std::vector<Event>{ev(0x5007C, 1 | '1' << 16), ev(0x5001D | KBD_KEY_RELEASE, 1 | '/' << 16)}));
}

TEST_F(Keys, ADoubleKeyGivesOneMakeAndOneReleaseOfItsFirstSwitch) {
    // Key numbers 12 and 13 are scan codes 110 and 77.
    client({{"doubleKey05", reinterpret_cast<intptr_t>("12,13")}});
    EXPECT_EQ(kbd().DoubleKeyMap()[110], 110);
    EXPECT_EQ(kbd().DoubleKeyMap()[77], 110);

    // The second switch alone.
    keys({77});
    keys({0xF0, 77});
    EXPECT_EQ(events(), (std::vector<Event>{ev(key(110)), ev(key(110) | KBD_KEY_RELEASE)}));
    EXPECT_EQ(kbd().DoubleKeyState(), 0);

    // Both switches, released in either order.
    for (const Bytes& releases : {Bytes{0xF0, 110, 0xF0, 77}, Bytes{0xF0, 77, 0xF0, 110}}) {
        keys({110});
        keys({77});
        keys({releases[0], releases[1]});
        keys({releases[2], releases[3]});
        EXPECT_EQ(events(), (std::vector<Event>{ev(key(110)), ev(key(110) | KBD_KEY_RELEASE)}));
        EXPECT_EQ(kbd().DoubleKeyState(), 0);
    }

    // A key of another pair while one is down is suppressed; the double-width zero key
    // (125, 13) is a pair of its own by default.
    keys({110});
    keys({13});
    keys({0xF0, 110});
    EXPECT_EQ(events(), (std::vector<Event>{ev(key(110)), ev(key(110) | KBD_KEY_RELEASE)}));
}

TEST_F(Keys, AFatFingerPairWaitsForTheLastRelease) {
    client({{"doubleKey01", reinterpret_cast<intptr_t>("12,13")}});
    // An ordinary key flagged as a fat-finger press carries bit 31.
    keys({0x20}, 0x01);
    EXPECT_EQ(events(), (std::vector<Event>{ev(key(0x20) | KBD_KEY_FAT_FINGER)}));
    // A flagged double key: the make without bit 31; its release ends in a wait for the
    // other switch's release, which is suppressed.
    keys({110}, 0x01);
    keys({0xF0, 110});
    keys({0xF0, 77});
    EXPECT_EQ(events(), (std::vector<Event>{ev(key(110)), ev(key(110) | KBD_KEY_RELEASE)}));
    EXPECT_EQ(kbd().DoubleKeyState(), 0);
    EXPECT_EQ(fProcessingFatFinger, 0);
}

TEST_F(Keys, TheShiftToggleMarksEveryKeyUntilReleased) {
    client();
    keys({0x50, 0x20});
    keys({0xF0, 0x50, 0x20});
    const uint32_t shift = KBD_KEY_SHIFT_TOGGLE;
    EXPECT_EQ(events(), (std::vector<Event>{ev(key(0x50) | shift), ev(key(0x20) | shift),
                                            ev(key(0x50) | KBD_KEY_RELEASE), ev(key(0x20))}));
}

TEST_F(Keys, KeyLockChangesArePostedUnlessLocked) {
    Vkbd& c = client();
    EXPECT_EQ(c.get("keyLock"), 1);
    reply({0x00, 0x00, 0x00, 0x00});
    EXPECT_EQ(events(), (std::vector<Event>{{KBD_WM_STATUS_CHANGE, 0x10001, 2}}));

    ASSERT_EQ(c.ioctl(POS_SYS_LOCK_DEVICE), 0);
    reply({0x00, 0x00, 0x10, 0x00, 0x20});
    EXPECT_TRUE(events().empty());
    EXPECT_EQ(c.get("keyLock"), 1);
    ASSERT_EQ(c.ioctl(POS_SYS_UNLOCK_DEVICE), 0);
    keys({0x20});
    EXPECT_EQ(events(), (std::vector<Event>{ev(key(0x20))}));
}

TEST_F(Keys, WithoutAnOwnerNothingIsPostedAndDoubleKeysStayIdle) {
    client({{"doubleKey01", reinterpret_cast<intptr_t>("12,13")}});
    ASSERT_EQ(client_->ioctl(POS_SYS_RELEASE_DEVICE), 0);
    cycle();
    while (!commands().empty()) completed();
    client_->queue.take();
    keys({110, 0x20});
    reply({0x00, 0x00, 0x00, 0x00});
    EXPECT_TRUE(events().empty());
    EXPECT_TRUE(processQueue_.take().empty());
    EXPECT_EQ(kbd().DoubleKeyState(), 0);
    EXPECT_EQ(kbd().KeyLockPosition(), 2);
}

TEST_F(Keys, MessagesShorterThanTheyAnnounceAreLoggedAndCarryNoKeys) {
    client();
    ovkhost::clearCaptures();
    const std::vector<Bytes> shortOnes = {
        {0x00, 0x04, 0x10, 0x00, 0x10, 0x02, 0x00, 0x20}, // information without its EC level
        {0x00, 0x08, 0x10, 0x00},                         // EC level missing
        {0x00, 0x00, 0x10},                               // not even the header
        {0x80},
    };
    for (const Bytes& m : shortOnes) {
        reply(m);
        EXPECT_EQ(sent().size(), 1u); // acknowledged all the same
    }
    EXPECT_TRUE(events().empty());
    int logged = 0;
    for (const auto& e : ovkhost::errorLog()) logged += e.logId == 15705 && e.rc == 318;
    EXPECT_EQ(logged, 4);
    EXPECT_TRUE(ovkhost::errorLogged(15701)); // the error bit of the last one
    // Information and EC level keep their values.
    EXPECT_EQ(kbd().GetECLevel(), 0x10);
}

TEST_F(Keys, AnEcLevelAnswerEndsTheRequestAndLeavesItsCodes) {
    Vkbd& c = client();
    reply({0x00, 0x08, 0x10, 0x00, 0x42, 0x20});
    EXPECT_EQ(kbd().GetECLevel(), 0x42);
    EXPECT_EQ(kbd().PendingMask() & 1u, 0u);
    EXPECT_EQ(c.queue.take(), (std::vector<Event>{ev(key(0x20))}));
}

} // namespace
} // namespace kbdbench
