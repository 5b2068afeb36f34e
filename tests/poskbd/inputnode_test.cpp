#include "Device.h"
#include "InputNode.h"
#include "TempRoot.h"
#include "fakedev.h"

#include <gtest/gtest.h>

namespace {

class InputNodeTest : public ::testing::Test {
protected:
    void SetUp() override {
        fakedev::reset();
        ovkPosKbdSetDevOps(fakedev::ops());
        inputnode::forget();
        inputnode::setValidKeyboards({});
    }
    void TearDown() override {
        ovkPosKbdSetDevOps(nullptr);
        fakedev::reset();
        inputnode::forget();
    }
    TempRoot root;
};

TEST_F(InputNodeTest, FindsTheFirstNodeWithKeysAndKeepsIt) {
    fakedev::addInputNode(1, BUS_I8042, 1, 1, 1, false);  // no keys: a mouse
    fakedev::addInputNode(3, BUS_USB, 0x04B3, 0x4002, 0x0100);
    EXPECT_EQ(inputnode::find(nullptr, 0), 3);
    EXPECT_EQ(inputnode::name(3), root.path() + "/dev/input/event3");
    fakedev::addInputNode(2, BUS_USB, 0x04B3, 0x4002, 0x0100);
    EXPECT_EQ(inputnode::find(nullptr, 0), 3) << "the node found stays for the process";
    EXPECT_EQ(inputnode::busKind(nullptr), 1);
}

TEST_F(InputNodeTest, ListsAcceptByVersionOrVendorAndProduct) {
    fakedev::addInputNode(0, BUS_USB, 0x1111, 0x2222, 0x0001);  // keys, but not listed
    fakedev::addInputNode(4, BUS_USB, 0x04B3, 0x4002, 0x0009);
    fakedev::addInputNode(6, BUS_I8042, 0x0001, 0x0001, 0xAB41);
    inputnode::setValidKeyboards({{0xAB41}, {0x04B3}, {0x4002}});
    EXPECT_EQ(inputnode::find(nullptr, 0), 4);
    inputnode::forget();
    inputnode::setValidKeyboards({{0xAB41}, {}, {}});
    EXPECT_EQ(inputnode::find(nullptr, 0), 6);
    EXPECT_EQ(inputnode::busKind(nullptr), 0);
    inputnode::forget();
    inputnode::setValidKeyboards({{0x7777}, {0x1}, {0x2}});
    EXPECT_EQ(inputnode::find(nullptr, 0), -1) << "an unlisted keyboard is rejected";
}

TEST_F(InputNodeTest, LightsAreReadAndSetByPressingLockKeys) {
    fakedev::addInputNode(2, BUS_USB, 1, 2, 3);
    fakedev::setLeds(2, 1u << LED_NUML);
    unsigned bits = 0;
    ASSERT_EQ(inputnode::readLeds(nullptr, bits), 0);
    EXPECT_EQ(bits, unsigned(NumLockLed));

    ASSERT_EQ(inputnode::setLeds(nullptr, NumLockLed | CapsLockLed), 0);
    auto written = fakedev::written(2);
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written[0].type, EV_KEY);
    EXPECT_EQ(written[0].code, 58);
    EXPECT_EQ(written[0].value, 1);
    EXPECT_EQ(written[1].code, 58);
    EXPECT_EQ(written[1].value, 0);
    ASSERT_EQ(inputnode::readLeds(nullptr, bits), 0);
    EXPECT_EQ(bits, unsigned(NumLockLed | CapsLockLed));

    ASSERT_EQ(inputnode::setLeds(nullptr, ScrollLockLed), 0);
    written = fakedev::written(2);
    ASSERT_EQ(written.size(), 8u);  // Caps Lock off, Num Lock off, Scroll Lock on
    EXPECT_EQ(written[2].code, 58);
    EXPECT_EQ(written[4].code, 69);
    EXPECT_EQ(written[6].code, 70);
    ASSERT_EQ(inputnode::readLeds(nullptr, bits), 0);
    EXPECT_EQ(bits, unsigned(ScrollLockLed));
}

TEST_F(InputNodeTest, NoKeyboardMeansNoLights) {
    unsigned bits = 0;
    EXPECT_LT(inputnode::readLeds(nullptr, bits), 0);
    EXPECT_EQ(inputnode::setLeds(nullptr, CapsLockLed), -1);
}

} // namespace

namespace {

// Tracing on for this test program: the tracer reads its switch when it is made.
const bool tracingOn = setenv("OVK_JETRACE", "1", 1) == 0;

TEST_F(InputNodeTest, TracesEachNodeExaminedAndTheResult) {
    ASSERT_TRUE(tracingOn);
    fakedev::addInputNode(1, BUS_USB, 0x1111, 0x2222, 0x0001);
    fakedev::addInputNode(2, BUS_USB, 0x04B3, 0x4002, 0x0100);
    inputnode::setValidKeyboards({{}, {0x04B3}, {0x4002}});
    ASSERT_EQ(inputnode::find(nullptr, 0), 2);
    std::string log = root.read("/var/log/ovkjetrace.log");
    const std::string ev = root.path() + "/dev/input/event";
    EXPECT_NE(log.find("Validating node '" + ev + "0'... Cannot open, check read persmissions!!!"),
              std::string::npos) << log;
    EXPECT_NE(log.find("Validating node '" + ev + "1'....[REJECTED] Keyboard[Version:0x0001 "
                       "Vendor:0x1111 Product:0x2222]"), std::string::npos) << log;
    EXPECT_NE(log.find("Validating node '" + ev + "2'....[VALID]"), std::string::npos) << log;
    EXPECT_NE(log.find("<--Node Found was: '" + ev + "2'"), std::string::npos) << log;
}

} // namespace
