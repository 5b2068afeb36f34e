// The device side above the link: what a simulated device model sees of its station.
#pragma once

#include <cstdint>
#include <vector>

namespace bussim {

// Handed to a model on every call: sends one payload to the host as an information frame.
// Payloads queue in the station and go out one at a time, each after the host
// acknowledged the one before.
class ModelLink {
public:
    virtual ~ModelLink() = default;
    virtual void send(const std::vector<uint8_t>& payload) = 0;
    // Powers the station on again, as the device's own reset command does: the link is
    // forgotten, queued payloads are dropped, the model is reset and the station asks to
    // come online.
    virtual void powerOn() {}
};

// A device model per family sits on a station. Calls come from the engine with its lock
// held; a model must not call back into the engine.
class DeviceModel {
public:
    virtual ~DeviceModel() = default;
    // Power-on: the station was attached, brought back, or told to reset (NSI, broadcast).
    virtual void reset() {}
    // One payload the host sent, in sequence. A payload sent from here is the answer that
    // carries the acknowledgement; without one the station acknowledges with RR.
    virtual void receive(const std::vector<uint8_t>& payload, ModelLink& link) = 0;
    // Once per bus tick while the station is on the bus; `now` is chTime().
    virtual void tick(int32_t now, ModelLink& link) {
        (void)now;
        (void)link;
    }
};

} // namespace bussim
