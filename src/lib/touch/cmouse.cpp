// The pointer device of the touch mouse emulation.
#include <linux/uinput.h>

#include <cstring>

#include "TouchMouse.h"

namespace {

input_event prepared(uint16_t type, uint16_t code, int32_t value) {
    input_event e{};
    e.type = type;
    e.code = code;
    e.value = value;
    return e;
}

} // namespace

CMouse::CMouse() { Open(); }

CMouse::~CMouse() { Close(); }

void CMouse::Open() {
    lastKind_ = 0;
    lastX_ = lastY_ = 0;
    buttonDown_ = 0;
    button_ = prepared(EV_KEY, BTN_LEFT, 0);
    absX_ = prepared(EV_ABS, ABS_X, 0);
    absY_ = prepared(EV_ABS, ABS_Y, 0);
    sync_ = prepared(EV_SYN, SYN_REPORT, 0);

    if (node_.open() != 0) return;
    node_.ioctl(UI_SET_EVBIT, EV_KEY);
    node_.ioctl(UI_SET_EVBIT, EV_ABS);
    node_.ioctl(UI_SET_KEYBIT, BTN_LEFT);
    node_.ioctl(UI_SET_ABSBIT, ABS_X);
    node_.ioctl(UI_SET_ABSBIT, ABS_Y);

    uinput_user_dev dev;
    std::memset(&dev, 0, sizeof dev);
    std::strncpy(dev.name, "tchuinput", sizeof dev.name - 1);
    dev.absmin[ABS_X] = dev.absmin[ABS_Y] = 0;
    dev.absmax[ABS_X] = dev.absmax[ABS_Y] = 65535;
    if (node_.write(&dev, sizeof dev) != static_cast<long>(sizeof dev)) {
        node_.close();
        return;
    }
    if (node_.ioctl(UI_DEV_CREATE, 0) == 0) created_ = 1;
}

void CMouse::Close() {
    if (created_) node_.ioctl(UI_DEV_DESTROY, 0);
    created_ = 0;
    node_.close();
}

void CMouse::Reopen() {
    Close();
    Open();
}

void CMouse::Write(input_event& event) {
    if (!node_.isOpen()) return;
    node_.write(&event, sizeof event);
}

void CMouse::Move(int x, int y) {
    if (x == lastX_ && y == lastY_) return;
    lastX_ = x;
    lastY_ = y;
    absX_.value = x;
    absY_.value = y;
    Write(absX_);
    Write(absY_);
    Write(button_);
    Write(sync_);
}

void CMouse::LeftDown(int /*x*/, int /*y*/) {
    if (buttonDown_) return;
    button_.value = 1;
    Write(button_);
    Write(sync_);
    buttonDown_ = 1;
    lastKind_ = 1;
}

void CMouse::LeftUp(int x, int y) {
    if (!buttonDown_) {
        Move(x, y);
        LeftDown(x, y);
    }
    button_.value = 0;
    Write(button_);
    Write(sync_);
    buttonDown_ = 0;
    lastKind_ = 0;
}
