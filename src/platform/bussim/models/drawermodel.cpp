#include "drawermodel.h"

namespace bussim {

namespace {

// Status byte.
constexpr uint8_t kAlarmSounding = 0x01;
constexpr uint8_t kDrawer2NotConnected = 0x08;
constexpr uint8_t kDrawer1NotConnected = 0x10;
constexpr uint8_t kDrawer2Open = 0x20;
constexpr uint8_t kDrawer1Open = 0x40;
constexpr uint8_t kRejected = 0x80;
// Command status byte.
constexpr uint8_t kAccepted = 0x08;
constexpr uint8_t kEcLevelFollows = 0x10;

constexpr uint32_t kDefaultPulse = 80000;

} // namespace

DrawerModel::DrawerModel() : DrawerModel(Options{}) {}

DrawerModel::DrawerModel(const Options& options) : ecLevel_(options.ecLevel) {
    drawers_[0].connected = options.drawer1Connected;
    drawers_[1].connected = options.drawer2Connected;
}

DrawerModel::Drawer* DrawerModel::drawer(int number) {
    return number == 1 || number == 2 ? &drawers_[number - 1] : nullptr;
}

const DrawerModel::Drawer* DrawerModel::drawer(int number) const {
    return number == 1 || number == 2 ? &drawers_[number - 1] : nullptr;
}

bool DrawerModel::openDrawer(int number) {
    Drawer* d = drawer(number);
    if (!d || !d->connected || d->open) return false;
    d->open = true;
    reportDue_ = true;
    return true;
}

bool DrawerModel::closeDrawer(int number) {
    Drawer* d = drawer(number);
    if (!d || !d->connected || !d->open) return false;
    d->open = false;
    reportDue_ = true;
    return true;
}

bool DrawerModel::setConnected(int number, bool connected) {
    Drawer* d = drawer(number);
    if (!d || d->connected == connected) return false;
    d->connected = connected;
    // An unplugged drawer cannot be sensed; the alarm goes with drawer 2.
    if (!connected) {
        d->open = false;
        if (number == 2) alarm_ = false;
    }
    reportDue_ = true;
    return true;
}

bool DrawerModel::drawerOpen(int number) const {
    const Drawer* d = drawer(number);
    return d && d->open;
}

bool DrawerModel::connected(int number) const {
    const Drawer* d = drawer(number);
    return d && d->connected;
}

uint32_t DrawerModel::pulseTime(int number) const {
    const Drawer* d = drawer(number);
    return d ? d->pulse : 0;
}

uint8_t DrawerModel::statusByte() const {
    uint8_t s = 0;
    if (alarm_) s |= kAlarmSounding;
    if (!drawers_[0].connected) s |= kDrawer1NotConnected;
    if (!drawers_[1].connected) s |= kDrawer2NotConnected;
    if (drawers_[0].open) s |= kDrawer1Open;
    if (drawers_[1].open) s |= kDrawer2Open;
    return s;
}

void DrawerModel::reset() {
    ++resets_;
    alarm_ = false;
    drawers_[0].pulse = drawers_[1].pulse = kDefaultPulse;
    reportDue_ = false; // the host asks for the status after a reset
}

void DrawerModel::answer(ModelLink& link, uint8_t command) {
    reportDue_ = false;
    link.send({statusByte(), command, ecLevel_});
}

void DrawerModel::receive(const Bytes& payload, ModelLink& link) {
    if (received_.size() >= kReceivedLimit) received_.erase(received_.begin());
    received_.push_back(payload);

    bool accepted = false;
    uint8_t command = kAccepted;
    if (payload.size() == 2 && payload[0] == 0x00 && payload[1] == 0x80) {
        accepted = true;
        command |= kEcLevelFollows;
    } else if (rejects_ > 0) {
        --rejects_;
    } else if (payload.size() == 7 && payload[0] == 0x80) {
        drawers_[0].pulse = uint32_t(payload[1]) << 16 | uint32_t(payload[2]) << 8 | payload[3];
        drawers_[1].pulse = uint32_t(payload[4]) << 16 | uint32_t(payload[5]) << 8 | payload[6];
        accepted = true;
    } else if (payload.size() == 1) {
        switch (payload[0]) {
        case 0x01:
        case 0x02: {
            Drawer& d = drawers_[payload[0] - 1];
            if (d.connected) {
                d.open = true; // the pulse releases the latch; the drawer springs open
                accepted = true;
            }
            break;
        }
        case 0x06:
            if (drawers_[1].connected) {
                alarm_ = true;
                accepted = true;
            }
            break;
        case 0x08:
            alarm_ = false;
            accepted = true;
            break;
        default:
            break;
        }
    }
    if (accepted) {
        answer(link, command);
    } else {
        reportDue_ = false;
        link.send({static_cast<uint8_t>(statusByte() | kRejected), 0x00, ecLevel_});
    }
}

void DrawerModel::tick(int32_t, ModelLink& link) {
    if (reportDue_) answer(link, 0x00);
}

} // namespace bussim
