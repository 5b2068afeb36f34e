#include "touchmodel.h"

#include <cstdio>

#include "ovkhost.h"

namespace bussim {

namespace {

// Byte 0.
constexpr uint8_t kError = 0x80;
constexpr uint8_t kDiagFailed = 0x02;
// Byte 1.
constexpr uint8_t kScaleOrPass = 0x02;
constexpr uint8_t kDeviceInfo = 0x04;
constexpr uint8_t kBacklightDone = 0x10;
constexpr uint8_t kCodeBlockDone = 0x20;
constexpr uint8_t kConfigureDone = 0x40;
constexpr uint8_t kRejected = 0x80;
// Byte 2.
constexpr uint8_t kToneOn = 0x01;
constexpr uint8_t kScaled = 0x08;
constexpr uint8_t kBrightnessDone = 0x40;
constexpr uint8_t kBrightnessReport = 0x80;

constexpr uint8_t kSOH = 0x01, kCR = 0x0D;

std::string hex(const std::vector<uint8_t>& bytes) {
    std::string out;
    char b[3];
    for (uint8_t v : bytes) {
        std::snprintf(b, sizeof b, "%02x", v);
        out += b;
    }
    return out;
}

} // namespace

TouchModel::TouchModel(const Options& options) : options_(options), brightness_(options.brightness) {}

std::vector<uint8_t> TouchModel::header(uint8_t status, uint8_t command, uint8_t extra) const {
    return {status, command, static_cast<uint8_t>(extra | (toneOn_ ? kToneOn : 0)), 0x00};
}

void TouchModel::touch(int x, int y) {
    Bytes m = header(0, 0);
    if (elo())
        m.insert(m.end(), {'T', 1, uint8_t(x), uint8_t(x >> 8), uint8_t(y), uint8_t(y >> 8), 0, 0});
    else
        m.insert(m.end(), {0xFE, uint8_t(x), uint8_t(y), 0x00});
    scripted_.push_back(m);
}

void TouchModel::lift(int x, int y) {
    Bytes m = header(0, 0);
    if (elo())
        m.insert(m.end(), {'T', 4, uint8_t(x), uint8_t(x >> 8), uint8_t(y), uint8_t(y >> 8), 0, 0});
    else
        m.insert(m.end(), {0xFD, uint8_t(x), uint8_t(y), 0x00});
    scripted_.push_back(m);
}

void TouchModel::calibrationPoint(bool ok) {
    Bytes m = header(0, 0);
    m.insert(m.end(), {kSOH, uint8_t(ok ? '1' : '2'), kCR});
    scripted_.push_back(m);
}

void TouchModel::calibrationDone() {
    calibrating_ = false;
    Bytes m = header(0, 0);
    m.insert(m.end(), {kSOH, '0', kCR});
    scripted_.push_back(m);
}

bool TouchModel::fault(const std::string& kind) {
    if (kind == "overflow")
        scripted_.push_back(header(kError, 0));
    else if (kind == "diag")
        scripted_.push_back(header(kDiagFailed, 0));
    else if (kind == "reject")
        scripted_.push_back(header(0, kRejected));
    else
        return false;
    return true;
}

std::string TouchModel::state() const {
    return std::string("tone=") + (toneOn_ ? "on" : "off") + " configure=" + hex(configure_) +
           " backlight=" + hex(backlight_) + " brightness=" + std::to_string(brightness_) +
           " calibrating=" + (calibrating_ ? "1" : "0") +
           " blocks=" + std::to_string(codeBlocks_.size());
}

void TouchModel::reset() {
    ++resets_;
    toneOn_ = toneTimed_ = false;
    calibrating_ = false;
    scripted_.clear();
}

void TouchModel::reject(ModelLink& link) { link.send(header(0, kRejected)); }

void TouchModel::receive(const Bytes& c, ModelLink& link) {
    if (commands_.size() >= kCommandLimit) commands_.erase(commands_.begin());
    commands_.push_back(c);
    if (!answering_) return;
    if (c.empty()) return reject(link);

    const size_t n = c.size();
    const bool resetOrInfo =
        c[0] == 0x00 && ((n == 3 && c[1] == 0x00 && c[2] == 0x01) || (n == 2 && c[1] == 0x40));
    if (rejects_ > 0 && !resetOrInfo) {
        --rejects_;
        return reject(link);
    }
    switch (c[0]) {
    case 0x00:
        if (n == 3 && c[1] == 0x00 && c[2] == 0x01) {
            Bytes m = header(0, kDeviceInfo);
            m.insert(m.end(), {options_.deviceType, options_.id, options_.features,
                               options_.commandSet, options_.ecLevel});
            return link.send(m);
        }
        if (n == 2 && c[1] == 0x40) {
            // Reset: the controller starts again and asks to come online.
            reset();
            return link.requestOnline();
        }
        return reject(link);
    case 0x21:
        if (n != 4) return reject(link);
        configure_ = c;
        return link.send(header(0, kConfigureDone));
    case 0x24:
        if (n != 4) return reject(link);
        backlight_ = c;
        return link.send(header(0, kBacklightDone));
    case 0x22:
        if (elo() || n < 2 || n != size_t(c[1]) + 2) return reject(link);
        codeBlocks_.emplace_back(c.begin() + 2, c.end());
        return link.send(header(0, kCodeBlockDone));
    case 0x26:
        if (elo() || n != 3 || c[1] != 0x01) return reject(link);
        brightness_ = c[2];
        return link.send(header(0, 0, kBrightnessDone));
    case 0x27: {
        if (elo() || n != 1) return reject(link);
        Bytes m = header(0, 0, kBrightnessReport);
        m.push_back(brightness_);
        return link.send(m);
    }
    case 0x13:
        if (n != 3) return reject(link);
        if (c[1] & 0x40) {
            toneOn_ = false;
        } else if (c[1] & 0x20) {
            toneOn_ = true;
            toneTimed_ = false;
        } else {
            toneOn_ = true;
            toneTimed_ = true;
            toneEnd_ = chTimeAdd(now_, (c[2] ? c[2] : 1) * kToneUnitMs);
        }
        return link.send(header(0, 0));
    case 0x33:
        if (!elo() || n != 9 || c[1] != 'S' || (c[2] != 'X' && c[2] != 'Y')) return reject(link);
        return link.send(header(0, kScaleOrPass, kScaled));
    case 0x43:
        if (!elo() || n < 4 || n != size_t(c[1]) + 2 || c[2] != kSOH || c.back() != kCR)
            return reject(link);
        link.send(header(0, kScaleOrPass));
        if (c[3] == 'R') {
            // Restoring the defaults takes no further input: it reports its end at once.
            Bytes m = header(0, 0);
            m.insert(m.end(), {kSOH, '0', kCR});
            link.send(m);
        } else if (c[3] == 'C') {
            calibrating_ = true;
        }
        return;
    default:
        return reject(link);
    }
}

void TouchModel::tick(int32_t now, ModelLink& link) {
    now_ = now;
    if (toneOn_ && toneTimed_ && chTimeReached(now, toneEnd_)) {
        toneOn_ = toneTimed_ = false;
        link.send(header(0, 0)); // the tone ended by itself
    }
    while (!scripted_.empty()) {
        link.send(scripted_.front());
        scripted_.pop_front();
    }
}

} // namespace bussim
