#include "keyboardmodel.h"

namespace bussim {

namespace {

constexpr uint8_t kInformation = 0x04;
constexpr uint8_t kEcLevel = 0x08;
constexpr uint8_t kCompleted = 0x20;
constexpr size_t kQueueLimit = 4096;
constexpr size_t kBlockLimit = 1024;

} // namespace

void KeyboardModel::keys(const Bytes& codes, uint8_t flags) {
    Bytes m(4 + codes.size(), 0);
    m[0] = flags;
    m[2] = options_.lock;
    for (size_t i = 0; i < codes.size(); ++i) m[4 + i] = codes[i];
    push(m);
}

void KeyboardModel::keyLock(uint8_t bits) {
    options_.lock = bits;
    push({0x00, 0x00, bits, 0x00});
}

void KeyboardModel::push(const Bytes& payload) {
    if (unasked_.size() < kQueueLimit) unasked_.push_back(payload);
}

void KeyboardModel::reset() {
    ++resets_;
    blocks_.clear();
}

void KeyboardModel::receive(const Bytes& payload, ModelLink& link) {
    if (received_.size() >= kReceivedLimit) received_.pop_front();
    received_.push_back(payload);
    const uint8_t lock = options_.lock;
    if (payload == Bytes{0x00, 0x00, 0x01}) {
        link.send({0x00, kInformation, lock, 0x00, 0x10, options_.type, options_.info6, 0x00,
                   options_.ecLevel});
        return;
    }
    if (payload == Bytes{0x00, 0x80}) {
        link.send({0x00, kEcLevel, lock, 0x00, options_.ecLevel});
        return;
    }
    if (!payload.empty()) {
        switch (payload[0]) {
        case 0x1C: lights_ = payload; break;
        case 0x13: tone_ = payload; break;
        case 0x21: configure_ = payload; break;
        case 0x22:
            if (blocks_.size() < kBlockLimit) blocks_.push_back(payload);
            break;
        default: break;
        }
    }
    link.send({0x00, kCompleted, lock, 0x00});
}

void KeyboardModel::tick(int32_t /*now*/, ModelLink& link) {
    while (!unasked_.empty()) {
        link.send(unasked_.front());
        unasked_.pop_front();
    }
}

} // namespace bussim
