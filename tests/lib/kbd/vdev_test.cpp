// The virtual keyboards: double-key strings, resource rules at open and in set values, what
// an error leaves behind, and the I/O controls that mean nothing to these keyboards.
#include <string>

#include "KbdBench.h"

namespace kbdbench {
namespace {

intptr_t text(const char* s) { return reinterpret_cast<intptr_t>(s); }

TEST_F(KbdBench, DoubleKeyStringsAreParsedAndCheckedAgainstTheModel) {
    const std::string longest(81, '1');
    struct Case {
        const char* value;
        int rc;
        unsigned char first, second;
    };
    const Case cases[] = {
        {"12,13", 0, 12, 13},
        {"12 13", 0, 12, 13},
        {"0,0", 0, 0, 0},
        {"12", POSERR_KBD_INVALID_DOUBLE_KEY, 0, 0},
        {"12,300", POSERR_KBD_INVALID_DOUBLE_KEY, 0, 0},
        {"a,13", POSERR_KBD_INVALID_DOUBLE_KEY, 0, 0},
        {"12,b", POSERR_KBD_INVALID_DOUBLE_KEY, 0, 0},
        {"1,", POSERR_KBD_INVALID_DOUBLE_KEY, 0, 0},
        {"18,13", POSERR_KBD_INVALID_DOUBLE_KEY, 0, 0}, // key number 18 is no key of the model
        {longest.c_str(), POSERR_KBD_INVALID_DOUBLE_KEY, 0, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(k.value).substr(0, 12));
        Vkbd c(DeviceID(kSlot, kPort, kAddress), 1);
        EXPECT_EQ(c.open({{"doubleKey05", text(k.value)}}), k.rc);
        EXPECT_EQ(c.DoubleKeyPair(4)[0], k.first);
        EXPECT_EQ(c.DoubleKeyPair(4)[1], k.second);
        EXPECT_EQ(c.OpenCount(), k.rc == 0 ? 1 : 0);
    }
    // The same from the resource file.
    root_.write("/etc/kbd.res", "kbd.doubleKey60: 30,33\nkbd.doubleKey02: 1,2\n");
    XrmDatabase db = nullptr;
    InitResources(db, root_.at("/etc/kbd.res").c_str());
    {
        Vkbd c(DeviceID(kSlot, kPort, kAddress), 1);
        c.useDatabase(db);
        ASSERT_EQ(c.open(), 0);
        EXPECT_EQ(c.DoubleKeyPair(59)[0], 30);
        EXPECT_EQ(c.DoubleKeyPair(59)[1], 33);
        EXPECT_EQ(c.DoubleKeyPair(1)[1], 2);
    }
    DestroyResources(db);
}

TEST_F(KbdBench, TheSystemBoardKeyboardTakesAnyDoubleKeyAndAnyTypematicValue) {
    KBOBV planar(DeviceID(0, 0, 0x81), 1);
    unsigned char pair[2] = {0, 0};
    for (const char* s : {"12", "x", "12,300", "99,99"}) EXPECT_EQ(planar.ValidateDoubleKeyString(s, pair), 0);
    EXPECT_EQ(pair[0], 0);
    EXPECT_EQ(planar.ValidateTypematicDelay(600), 0);
    EXPECT_EQ(planar.ValidateTypematicFreq(99), 0);
    EXPECT_EQ(planar.ValidateFatFingerTimeOut(7), 0);
    EXPECT_EQ(planar.ValidateNumpadZero(9), 0);
    EXPECT_EQ(KBOBV::ValidateKeyboardClick(3), POSERR_KBD_INVALID_KEYBOARD_CLICK); // always checked
}

TEST_F(KbdBench, ResourceRulesOnAnRs485Keyboard) {
    struct Case {
        PosArg arg;
        int rc;
    };
    const Case cases[] = {
        {{"typematicDelay", 600}, POSERR_KBD_INVALID_TYPEMATIC_DELAY},
        {{"typematicDelay", 1000}, 0},
        {{"typematicFreq", 32}, POSERR_KBD_INVALID_TYPEMATIC_FREQ},
        {{"fatFingerTimeOut", 15}, POSERR_KBD_INVALID_FAT_FINGER_TIMEOUT},
        {{"numpadZero", 3}, POSERR_KBD_INVALID_NUMPAD_ZERO},
        {{"numpadStyle", 2}, POSERR_KBD_INVALID_NUMPAD_STYLE}, // this model has two styles
        {{"keyboardClick", 3}, POSERR_KBD_INVALID_KEYBOARD_CLICK},
        {{"toneDuration", 0}, POSERR_KBD_INVALID_DURATION},
        {{"toneFreq", 0}, POSERR_KBD_INVALID_FREQUENCY},
        {{"toneVolume", 2}, POSERR_KBD_INVALID_VOLUME},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.arg.name);
        Vkbd c(DeviceID(kSlot, kPort, kAddress), 1);
        EXPECT_EQ(c.open({k.arg}), k.rc);
        EXPECT_EQ(c.OpenCount(), k.rc == 0 ? 1 : 0);
    }
    // The same rules from the resource file.
    root_.write("/etc/kbd.res", "kbd.typematicDelay: 600\n");
    XrmDatabase db = nullptr;
    InitResources(db, root_.at("/etc/kbd.res").c_str());
    Vkbd c(DeviceID(kSlot, kPort, kAddress), 1);
    c.useDatabase(db);
    EXPECT_EQ(c.open(), POSERR_KBD_INVALID_TYPEMATIC_DELAY);
    DestroyResources(db);
}

TEST_F(KbdBench, SetValuesStoresNothingWhenOneValueIsBad) {
    ASSERT_NO_FATAL_FAILURE(bringUp());
    Vkbd& c = client();
    EXPECT_EQ(c.ioctl(POS_SYS_SET_VALUES, {{"keyboardLightsOn", 3}, {"toneVolume", 2}}),
              POSERR_KBD_INVALID_VOLUME);
    EXPECT_EQ(c.ioctl(POS_SYS_SET_VALUES, {{"keyboardClick", 1}, {"toneFreq", 7}}),
              POSERR_KBD_INVALID_FREQUENCY);
    cycle();
    EXPECT_TRUE(commands().empty());
    EXPECT_EQ(c.get("keyboardLightsOn"), 0);
    EXPECT_EQ(c.get("toneVolume"), 1);
    EXPECT_EQ(c.get("keyboardClick"), 0);

    EXPECT_EQ(c.ioctl(POS_SYS_SET_VALUES, {{"keyboardClick", 1}, {"toneVolume", 3}}), 0);
    EXPECT_EQ(c.get("keyboardClick"), 1);
    EXPECT_EQ(c.get("toneVolume"), 3);
    cycle();
    EXPECT_EQ(commands(), (std::vector<Bytes>{{0x21, 0x07, 0x01, 0x1E}}));
}

TEST_F(KbdBench, RequestsWithoutMeaningAnswerZeroAndToneNeedsTheDevice) {
    ASSERT_NO_FATAL_FAILURE(bringUp());
    Vkbd c(DeviceID(kSlot, kPort, kAddress), 1);
    ASSERT_EQ(c.open(), 0);
    for (int r : {4701, 4702, 4708, 4713, 4715, 4718}) EXPECT_EQ(c.ioctl(r), 0) << r;
    for (int r : {4704, 4705, 4706, 4707}) EXPECT_EQ(c.ioctl(r), 315) << r;
    EXPECT_EQ(c.ioctl(4703), 316);
    EXPECT_EQ(c.ioctl(4714), 316);
    EXPECT_EQ(c.ioctl(POS_SYS_LOCK_DEVICE), 315);
    EXPECT_EQ(c.get("typematicDelay"), 250);
    EXPECT_EQ(c.get("fatFingerTimeOut"), 30);
    EXPECT_EQ(c.get("numpadStyle"), 1);
    EXPECT_EQ(c.get("numpadZero"), 2);
    // An unknown request to the physical keyboard is logged and answered 0.
    KbdSettingsRecord record{};
    ovkhost::clearCaptures();
    EXPECT_EQ(kbd().TellPhys(&c, 99, reinterpret_cast<unsigned char*>(&record), sizeof record), 0);
    EXPECT_TRUE(ovkhost::errorLogged(15202));
    EXPECT_EQ(kbd().TellPhys(&c, KBD_REQ_SETTINGS, nullptr, 0), 318);
}

} // namespace
} // namespace kbdbench
