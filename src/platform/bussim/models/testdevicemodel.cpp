#include "testdevicemodel.h"

namespace bussim {

void TestDeviceModel::push(const Bytes& payload) {
    if (unasked_.size() < kReceivedLimit) unasked_.push_back(payload);
}

void TestDeviceModel::reset() { ++resets_; }

void TestDeviceModel::receive(const Bytes& payload, ModelLink& link) {
    if (received_.size() >= kReceivedLimit) received_.pop_front();
    received_.push_back(payload);
    if (payload.size() == 1 && payload[0] == kIdentify) {
        ++identifications_;
        link.send({kIdentAnswer, static_cast<uint8_t>(options_.type), static_cast<uint8_t>(options_.type >> 8)});
    } else if (payload.size() == 1 && payload[0] == kStatus) {
        link.send({kStatusAnswer, options_.subtype, options_.ecLevel});
    }
}

void TestDeviceModel::tick(int32_t /*now*/, ModelLink& link) {
    while (!unasked_.empty()) {
        link.send(unasked_.front());
        unasked_.pop_front();
    }
}

} // namespace bussim
