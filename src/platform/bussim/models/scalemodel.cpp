#include "scalemodel.h"

#include "ovksimmodels.h"

namespace bussim {

namespace {
const uint8_t kDefaultConfigure[] = {0x20, 0x48, 0x00, 0x00};
} // namespace

ScaleModel::ScaleModel(const Options& options) : options_(options) {
    if (is96()) configure_.assign(std::begin(kDefaultConfigure), std::end(kDefaultConfigure));
}

std::string ScaleModel::state() const {
    std::string s = "weight=" + std::to_string(weight_) + " unstable=" + (unstable_ ? "1" : "0") +
                    " overweight=" + (overweight_ ? "1" : "0") + " zero=" + (zeroWorks_ ? "ok" : "fail") +
                    " mute=" + (mute_ ? "1" : "0");
    if (is96()) s += " config=" + hexBytes(configure_);
    s += " ec=" + hexBytes({options_.ecLevel}) + " resets=" + std::to_string(resets_);
    return s;
}

void ScaleModel::reset() {
    ++resets_;
    if (is96()) configure_.assign(std::begin(kDefaultConfigure), std::end(kDefaultConfigure));
}

ScaleModel::Bytes ScaleModel::status(uint8_t s0, uint8_t s1, uint8_t s2) const {
    if (is96()) return {static_cast<uint8_t>(s0 | 0x04), s1, s2};
    return {s0, s1};
}

void ScaleModel::receive(const Bytes& payload, ModelLink& link) {
    if (received_.size() >= kReceivedLimit) received_.pop_front();
    received_.push_back(payload);
    if (payload.empty()) return;
    const uint8_t c = payload[0];
    Bytes answer;
    if (payload.size() == 2 && c == 0x00 && payload[1] == 0x40) {
        reset(); // the reset command: the scale starts again
        link.requestOnline();
        return;
    }
    if (payload.size() == 2 && c == 0x00 && payload[1] == 0x80) {
        answer = status(0x01, 0, 0);
        answer.push_back(options_.ecLevel);
    } else if (payload.size() == 1 && c == 0x04) {
        answer = is96() ? status(0, 0, 0) : Bytes{0x00, 0x00};
    } else if (is96() && c == 0x20 && payload.size() == configure_.size()) {
        if (rejects_ > 0) {
            --rejects_;
            answer = status(0, 0x80, 0);
        } else {
            configure_ = payload;
            answer = status(0, 0, 0x01);
        }
    } else if (is96() && payload.size() == 1 && c == 0x21) {
        answer = status(0x02, 0, 0);
        answer.insert(answer.end(), configure_.begin() + 1, configure_.end());
    } else if (payload.size() == 1 && (c == 0x01 || c == 0x02)) {
        if (mute_) return; // acknowledged on the link, never answered
        const bool five = weight_ > 9999;
        uint8_t s1 = five ? 0x01 : 0x00, s2 = 0;
        if (is96()) {
            if (unstable_) s2 |= 0x02;
            if (overweight_) s1 |= 0x60;
        } else {
            if (unstable_) s1 |= 0x04;
            if (overweight_) s1 |= 0x40;
        }
        answer = status(0, s1, s2);
        uint32_t w = weight_;
        uint8_t digits[5];
        for (int i = 4; i >= 0; --i) {
            digits[i] = static_cast<uint8_t>(w % 10);
            w /= 10;
        }
        answer.insert(answer.end(), digits + (five ? 0 : 1), digits + 5);
    } else if (is96() && payload.size() == 1 && c == 0x03) {
        if (zeroWorks_) {
            weight_ = 0;
            ++zeroed_;
        }
        answer = status(0, 0, zeroWorks_ ? 0x08 : 0x00);
    } else if (is96() && payload.size() == 1 && c == 0x06) {
        answer = status(0, options_.display ? 0 : 0x80, 0);
    } else {
        answer = status(0, 0, 0);
    }
    link.send(answer);
}

} // namespace bussim
