#include <cerrno>
#include <cstdio>
#include <cstring>
#include <linux/input.h>
#include <linux/uinput.h>

#include <algorithm>

#include "uinputnode.h"

namespace ovkuinput {

namespace {

static_assert(sizeof(uinput_user_dev) == 1116, "the description is 1116 bytes");

const char* typeName(uint16_t type) {
    switch (type) {
    case EV_SYN: return "EV_SYN";
    case EV_KEY: return "EV_KEY";
    case EV_REL: return "EV_REL";
    case EV_ABS: return "EV_ABS";
    default: return nullptr;
    }
}

const char* codeName(uint16_t type, uint16_t code) {
    if (type == EV_SYN && code == SYN_REPORT) return "SYN_REPORT";
    if (type == EV_KEY && code == BTN_LEFT) return "BTN_LEFT";
    if (type == EV_ABS && code == ABS_X) return "ABS_X";
    if (type == EV_ABS && code == ABS_Y) return "ABS_Y";
    return nullptr;
}

bool has(const std::vector<int>& bits, int bit) {
    return std::find(bits.begin(), bits.end(), bit) != bits.end();
}

} // namespace

Recorder::Recorder(std::string logPath)
    : logPath_(std::move(logPath)), absMin_(ABS_CNT, 0), absMax_(ABS_CNT, 0) {}

int32_t Recorder::absMin(int axis) const {
    return axis >= 0 && axis < ABS_CNT ? absMin_[axis] : 0;
}

int32_t Recorder::absMax(int axis) const {
    return axis >= 0 && axis < ABS_CNT ? absMax_[axis] : 0;
}

bool Recorder::eventTypeEnabled(int type) const { return has(evBits_, type); }
bool Recorder::keyEnabled(int code) const { return has(keyBits_, code); }
bool Recorder::axisEnabled(int axis) const { return has(absBits_, axis); }

int Recorder::ioctl(unsigned long request, unsigned long argument) {
    const int bit = static_cast<int>(argument);
    if (request == UI_DEV_CREATE) {
        if (created_ || !described_) {
            errno = EINVAL;
            return -1;
        }
        created_ = true;
        log("create " + name_);
        return 0;
    }
    if (request == UI_DEV_DESTROY) {
        if (!created_) {
            errno = EINVAL;
            return -1;
        }
        created_ = false;
        log("destroy " + name_);
        return 0;
    }
    if (created_) { // the kernel takes no more settings once the device exists
        errno = EINVAL;
        return -1;
    }
    if (request == UI_SET_EVBIT && bit >= 0 && bit < EV_CNT) {
        if (!has(evBits_, bit)) evBits_.push_back(bit);
        return 0;
    }
    if (request == UI_SET_KEYBIT && bit >= 0 && bit < KEY_CNT) {
        if (!has(keyBits_, bit)) keyBits_.push_back(bit);
        return 0;
    }
    if (request == UI_SET_ABSBIT && bit >= 0 && bit < ABS_CNT) {
        if (!has(absBits_, bit)) absBits_.push_back(bit);
        return 0;
    }
    errno = EINVAL;
    return -1;
}

long Recorder::write(const void* data, size_t length) {
    if (!data) {
        errno = EFAULT;
        return -1;
    }
    if (!created_) {
        if (length != sizeof(uinput_user_dev)) {
            errno = EINVAL;
            return -1;
        }
        uinput_user_dev dev;
        std::memcpy(&dev, data, sizeof dev);
        name_.assign(dev.name, strnlen(dev.name, sizeof dev.name));
        for (int i = 0; i < ABS_CNT; ++i) {
            absMin_[i] = dev.absmin[i];
            absMax_[i] = dev.absmax[i];
        }
        described_ = true;
        return static_cast<long>(length);
    }
    if (length == 0 || length % sizeof(input_event) != 0) {
        errno = EINVAL;
        return -1;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t at = 0; at < length; at += sizeof(input_event)) {
        input_event ev;
        std::memcpy(&ev, bytes + at, sizeof ev);
        const Event e{ev.type, ev.code, ev.value};
        // Bounded: the older half goes at once, so that a long run stays cheap.
        if (events_.size() >= kEventLimit)
            events_.erase(events_.begin(), events_.begin() + kEventLimit / 2);
        events_.push_back(e);
        log(describe(e));
    }
    return static_cast<long>(length);
}

std::string Recorder::describe(const Event& e) {
    const char* type = typeName(e.type);
    const char* code = codeName(e.type, e.code);
    std::string line = type ? type : std::to_string(e.type);
    line += ' ';
    line += code ? code : std::to_string(e.code);
    line += ' ';
    line += std::to_string(e.value);
    return line;
}

void Recorder::log(const std::string& line) const {
    // One line at a time, appended: the file is never held open between events.
    FILE* f = std::fopen(logPath_.c_str(), "ae");
    if (!f) return;
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
}

} // namespace ovkuinput
