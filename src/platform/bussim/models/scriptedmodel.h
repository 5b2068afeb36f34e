// A device model for tests: answers each known request with a fixed reply and can send
// payloads of its own.
#pragma once

#include <deque>
#include <map>
#include <vector>

#include "busmodel.h"

namespace bussim {

class ScriptedModel : public DeviceModel {
public:
    using Bytes = std::vector<uint8_t>;

    // When `request` arrives, `reply` is sent (an empty reply: acknowledged only). A later
    // rule for the same request replaces the earlier one.
    void on(const Bytes& request, const Bytes& reply);
    // Sends a payload at the next tick, unasked.
    void push(const Bytes& payload);

    const std::vector<Bytes>& received() const { return received_; }
    int resets() const { return resets_; }

    void reset() override;
    void receive(const Bytes& payload, ModelLink& link) override;
    void tick(int32_t now, ModelLink& link) override;

private:
    std::map<Bytes, Bytes> script_;
    std::deque<Bytes> unasked_;
    std::vector<Bytes> received_;
    int resets_ = 0;
};

} // namespace bussim
