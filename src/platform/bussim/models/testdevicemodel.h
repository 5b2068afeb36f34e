// A device model for discovery: a device that answers identification (which class it is)
// and a status request, records every payload it received, and can send payloads of its
// own. Its messages, the payloads of information frames:
//   host -> device {0x01}: identify;  device -> host {0x81, class type id low, high}
//   host -> device {0x02}: status;    device -> host {0x82, subtype, EC level}
// Any other payload is recorded and acknowledged only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "busmodel.h"

namespace bussim {

class TestDeviceModel : public DeviceModel {
public:
    using Bytes = std::vector<uint8_t>;

    static constexpr uint8_t kIdentify = 0x01;
    static constexpr uint8_t kStatus = 0x02;
    static constexpr uint8_t kIdentAnswer = 0x81;
    static constexpr uint8_t kStatusAnswer = 0x82;
    static constexpr size_t kReceivedLimit = 4096; // payloads kept (the newest)

    struct Options {
        uint16_t type = 34900; // the class type id the identification names
        uint8_t subtype = 1;
        uint8_t ecLevel = 0x10;
    };

    TestDeviceModel() = default;
    explicit TestDeviceModel(const Options& options) : options_(options) {}

    const Options& options() const { return options_; }
    void setType(uint16_t type) { options_.type = type; }
    void setSubtype(uint8_t subtype) { options_.subtype = subtype; }
    // Sends a payload at the next tick, unasked.
    void push(const Bytes& payload);

    // Payloads the host sent, oldest first.
    const std::deque<Bytes>& received() const { return received_; }
    int resets() const { return resets_; }
    int identifications() const { return identifications_; }

    void reset() override;
    void receive(const Bytes& payload, ModelLink& link) override;
    void tick(int32_t now, ModelLink& link) override;

private:
    Options options_;
    std::deque<Bytes> received_;
    std::deque<Bytes> unasked_;
    int resets_ = 0;
    int identifications_ = 0;
};

} // namespace bussim
