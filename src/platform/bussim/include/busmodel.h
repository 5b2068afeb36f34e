// The device side above the link: what a simulated device model sees of its station.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bussim {

// Handed to a model on every call: sends one payload to the host as an information frame.
// Payloads queue in the station and go out one at a time, each after the host
// acknowledged the one before.
class ModelLink {
public:
    virtual ~ModelLink() = default;
    virtual void send(const std::vector<uint8_t>& payload) = 0;
    // From within receive: the payload being received is lost on the line. The station
    // neither counts nor acknowledges it, and the host's acknowledgement timer runs out.
    virtual void lose() {}
    // From within receive: the device resets itself. The payload being received is not
    // acknowledged, everything queued is dropped and the next poll is answered with a
    // request online (ROL), as after a power-on.
    virtual void requestOnline() {}
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
    // A model that went silent (its power was cut) is off the bus: its polls time out.
    virtual bool silent() const { return false; }
    // A model with memory that outlives the simulator keeps it in files of the directory
    // `dir` named from `stem`; false with the reason when a file cannot be used.
    virtual bool persist(const std::string& dir, const std::string& stem, std::string& error) {
        (void)dir;
        (void)stem;
        (void)error;
        return true;
    }
};

} // namespace bussim
