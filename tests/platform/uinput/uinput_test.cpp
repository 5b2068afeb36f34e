// The pointer-device node: the recorder that stands in under a private root, a node that is
// not a character device, and the kernel's uinput where the machine has a writable one.
#include <gtest/gtest.h>

#include <linux/input.h>
#include <linux/uinput.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "TempRoot.h"
#include "uinputnode.h"

namespace {

using ovkuinput::Event;
using ovkuinput::UinputNode;

uinput_user_dev Description(const char* name) {
    uinput_user_dev dev;
    std::memset(&dev, 0, sizeof dev);
    std::strncpy(dev.name, name, sizeof dev.name - 1);
    dev.absmax[ABS_X] = dev.absmax[ABS_Y] = 65535;
    return dev;
}

input_event Ev(uint16_t type, uint16_t code, int32_t value) {
    input_event e{};
    e.type = type;
    e.code = code;
    e.value = value;
    return e;
}

TEST(UinputRecorder, KeepsTheDescriptionAndEveryEventAndLogsThem) {
    TempRoot root;
    UinputNode node;
    ASSERT_EQ(node.open(), 0);
    ASSERT_EQ(node.kind(), UinputNode::Kind::Recorder);
    const ovkuinput::Recorder* r = node.recorder();
    ASSERT_NE(r, nullptr);

    EXPECT_EQ(node.ioctl(UI_DEV_CREATE, 0), -1); // not described yet
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(node.ioctl(UI_SET_EVBIT, EV_ABS), 0);
    EXPECT_EQ(node.ioctl(UI_SET_ABSBIT, ABS_X), 0);
    EXPECT_EQ(node.ioctl(UI_SET_KEYBIT, KEY_CNT), -1);
    const input_event early = Ev(EV_SYN, SYN_REPORT, 0);
    EXPECT_EQ(node.write(&early, sizeof early), -1); // neither a description nor created
    const uinput_user_dev dev = Description("tchuinput");
    EXPECT_EQ(node.write(&dev, sizeof dev), static_cast<long>(sizeof dev));
    EXPECT_EQ(node.ioctl(UI_DEV_CREATE, 0), 0);
    EXPECT_EQ(node.ioctl(UI_SET_EVBIT, EV_KEY), -1); // no settings once created

    const input_event events[] = {Ev(EV_ABS, ABS_X, 31101), Ev(EV_KEY, BTN_LEFT, 1),
                                  Ev(EV_SYN, SYN_REPORT, 0), Ev(EV_REL, 9, -3)};
    EXPECT_EQ(node.write(events, sizeof events), static_cast<long>(sizeof events));
    EXPECT_EQ(node.write(events, sizeof events[0] + 3), -1); // not whole records
    EXPECT_EQ(r->events(), (std::vector<Event>{{EV_ABS, ABS_X, 31101},
                                               {EV_KEY, BTN_LEFT, 1},
                                               {EV_SYN, SYN_REPORT, 0},
                                               {EV_REL, 9, -3}}));
    EXPECT_EQ(r->absMax(ABS_Y), 65535);
    EXPECT_EQ(r->absMax(-1), 0);
    EXPECT_EQ(root.read("/var/log/uinput.log"),
              "create tchuinput\nEV_ABS ABS_X 31101\nEV_KEY BTN_LEFT 1\nEV_SYN SYN_REPORT 0\n"
              "EV_REL 9 -3\n");
    node.close();
    EXPECT_FALSE(node.isOpen());
    EXPECT_NE(node.recorder(), nullptr); // still readable
}

TEST(UinputRecorder, NodeThatIsNotACharacterDeviceOpensNothing) {
    TempRoot root;
    root.write("/dev/uinput", "not a device");
    UinputNode node;
    EXPECT_EQ(node.open(), ENODEV);
    EXPECT_FALSE(node.isOpen());
    EXPECT_EQ(node.recorder(), nullptr);
    EXPECT_EQ(node.ioctl(UI_DEV_CREATE, 0), -1);
    EXPECT_EQ(node.write("x", 1), -1);
}

TEST(UinputKernel, CreatesAndDestroysAPointerDevice) {
    const char* root = std::getenv("OVK_ROOT");
    if ((root && *root) || ::access("/dev/uinput", W_OK) != 0)
        GTEST_SKIP() << "no writable /dev/uinput here";
    UinputNode node;
    ASSERT_EQ(node.open(), 0);
    ASSERT_EQ(node.kind(), UinputNode::Kind::Kernel);
    EXPECT_EQ(node.ioctl(UI_SET_EVBIT, EV_KEY), 0);
    EXPECT_EQ(node.ioctl(UI_SET_EVBIT, EV_ABS), 0);
    EXPECT_EQ(node.ioctl(UI_SET_KEYBIT, BTN_LEFT), 0);
    EXPECT_EQ(node.ioctl(UI_SET_ABSBIT, ABS_X), 0);
    EXPECT_EQ(node.ioctl(UI_SET_ABSBIT, ABS_Y), 0);
    const uinput_user_dev dev = Description("tchuinput-test");
    ASSERT_EQ(node.write(&dev, sizeof dev), static_cast<long>(sizeof dev));
    ASSERT_EQ(node.ioctl(UI_DEV_CREATE, 0), 0);
    const input_event move[] = {Ev(EV_ABS, ABS_X, 100), Ev(EV_SYN, SYN_REPORT, 0)};
    EXPECT_EQ(node.write(move, sizeof move), static_cast<long>(sizeof move));
    EXPECT_EQ(node.ioctl(UI_DEV_DESTROY, 0), 0);
}

} // namespace
