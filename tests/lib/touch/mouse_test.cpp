// The mouse emulation on its own: geometry per subtype, scaling, and the pointer events,
// recorded under a private root.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "TempRoot.h"
#include "TouchMouse.h"

namespace {

using ovkuinput::Event;

Event Abs(uint16_t code, int32_t v) { return {EV_ABS, code, v}; }
Event Key(int32_t v) { return {EV_KEY, BTN_LEFT, v}; }
const Event kSync{EV_SYN, SYN_REPORT, 0};

class MouseTest : public ::testing::Test {
protected:
    void SetUp() override { TouchMousePointer().Reopen(); }
    void TearDown() override { TouchMouseOffline(); }
    std::vector<Event> Take() {
        const ovkuinput::Recorder* r = TouchMousePointer().Node().recorder();
        if (!r) return {};
        std::vector<Event> out(r->events().begin() + static_cast<long>(seen_), r->events().end());
        seen_ = r->events().size();
        return out;
    }
    TempRoot root_;
    size_t seen_ = 0;
};

TEST_F(MouseTest, PointerDeviceIsDescribedAndCreated) {
    const ovkuinput::Recorder* r = TouchMousePointer().Node().recorder();
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(r->created());
    EXPECT_EQ(r->name(), "tchuinput");
    EXPECT_TRUE(r->eventTypeEnabled(EV_KEY));
    EXPECT_TRUE(r->eventTypeEnabled(EV_ABS));
    EXPECT_TRUE(r->keyEnabled(BTN_LEFT));
    EXPECT_TRUE(r->axisEnabled(ABS_X));
    EXPECT_TRUE(r->axisEnabled(ABS_Y));
    EXPECT_EQ(r->absMin(ABS_X), 0);
    EXPECT_EQ(r->absMax(ABS_Y), 65535);
}

TEST_F(MouseTest, GeometryPerSubtype) {
    struct Case {
        unsigned char subtype;
        int online;
        uint16_t xTotal, yTotal, xFrame, yFrame;
    };
    const Case cases[] = {
        {1, 1, 66, 48, 0, 0},  {3, 1, 66, 48, 0, 0},   {10, 1, 66, 48, 0, 0},
        {11, 1, 66, 48, 0, 0}, {12, 1, 66, 48, 0, 0},  {2, 1, 67, 49, 4, 3},
        {4, 1, 79, 56, 8, 5},  {13, 1, 398, 318, 0, 0}, {0, 0, 1, 1, 0, 0},
        {5, 0, 1, 1, 0, 0},
    };
    for (const Case& c : cases) {
        TouchMouseOnline(c.subtype);
        const TouchMouseState& s = TouchMouseEmulation();
        EXPECT_EQ(s.Online, c.online) << int(c.subtype);
        EXPECT_EQ(s.xTotalSize, c.xTotal) << int(c.subtype);
        EXPECT_EQ(s.yTotalSize, c.yTotal) << int(c.subtype);
        EXPECT_EQ(s.xFrameSize, c.xFrame) << int(c.subtype);
        EXPECT_EQ(s.yFrameSize, c.yFrame) << int(c.subtype);
        EXPECT_EQ(s.xCoordRatio, 65535.0L / (c.xTotal - 2 * c.xFrame));
    }
}

TEST_F(MouseTest, PointsAreScaledClippedAndMovedOncePerPlace) {
    TouchMouseOnline(4); // 79 x 56 with a frame of 8 x 5
    Take();
    // Inside the frame: 0; the middle; beyond the active area: 65535.
    TouchMouseData(0x10000, 3u << 16 | 2u);
    EXPECT_EQ(Take(), (std::vector<Event>{Key(1), kSync})); // (0, 0) is where it stood
    TouchMouseData(0x10000, 40u << 16 | 28u);
    EXPECT_EQ(Take(), (std::vector<Event>{Abs(ABS_X, static_cast<int32_t>(32 * (65535.0L / 63))),
                                          Abs(ABS_Y, static_cast<int32_t>(23 * (65535.0L / 46))),
                                          Key(1), kSync}));
    TouchMouseData(0x10000, 40u << 16 | 28u);
    EXPECT_TRUE(Take().empty()); // same place, button already down
    TouchMouseData(0x10000, 200u << 16 | 0xFFFFu);
    EXPECT_EQ(Take(), (std::vector<Event>{Abs(ABS_X, 65535), Abs(ABS_Y, 65535), Key(1), kSync}));
    TouchMouseData(0, 200u << 16 | 0xFFFFu);
    EXPECT_EQ(Take(), (std::vector<Event>{Key(0), kSync}));
    EXPECT_FALSE(TouchMousePointer().ButtonDown());
}

TEST_F(MouseTest, LiftOffWithoutTouchClicksAndOfflineIgnoresPoints) {
    TouchMouseOnline(1);
    Take();
    TouchMouseData(0, 33u << 16 | 24u);
    EXPECT_EQ(Take(), (std::vector<Event>{Abs(ABS_X, 32767), Abs(ABS_Y, 32767), Key(0), kSync,
                                          Key(1), kSync, Key(0), kSync}));
    TouchMouseOffline();
    TouchMouseData(0x10000, 10u << 16 | 10u);
    EXPECT_TRUE(Take().empty());
    // Subtype 0 (no display recognised) switches the emulation off too.
    TouchMouseOnline(0);
    TouchMouseData(0x10000, 10u << 16 | 10u);
    EXPECT_TRUE(Take().empty());
}

TEST(MouseWithoutRoot, NoNodeNoDevice) {
    // Neither a node nor a private root: nothing is created and points change nothing.
    const char* root = std::getenv("OVK_ROOT");
    const std::string saved = root ? root : "";
    unsetenv("OVK_ROOT");
    TouchMousePointer().Reopen();
    if (root) setenv("OVK_ROOT", saved.c_str(), 1);
    if (TouchMousePointer().Node().kind() == ovkuinput::UinputNode::Kind::Kernel)
        GTEST_SKIP() << "this machine has a uinput node";
    EXPECT_FALSE(TouchMousePointer().Node().isOpen());
    EXPECT_EQ(TouchMousePointer().Node().recorder(), nullptr);
    TouchMouseOnline(1);
    TouchMouseData(0x10000, 10u << 16 | 10u);
    TouchMouseOffline();
}

} // namespace
