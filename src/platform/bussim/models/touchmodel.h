// The touch controllers as device models: "touch95" (the integrated touch display's
// controller: device information, code update, configure, backlight, brightness, tones,
// touch records) and "touchelo" (the controller with calibration: scaling, pass-through
// commands, the 12-byte touch report). Every answer is 4 bytes or more: status, command
// bits, tone and brightness bits, 0, then data. Records every command; scripts touch,
// lift, answer a calibration and inject faults, each sent at the next tick.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "busmodel.h"

namespace bussim {

class TouchModel : public DeviceModel {
public:
    using Bytes = std::vector<uint8_t>;

    enum class Kind { Touch95, Elo };

    struct Options {
        Kind kind = Kind::Touch95;
        uint8_t deviceType = 0x0D;
        uint8_t id = 16;
        uint8_t features = 0x50;
        uint8_t commandSet = 0x88;
        uint8_t ecLevel = 2;
        uint8_t brightness = 3; // reported when asked
    };

    // Milliseconds a timed tone sounds per unit of its duration byte.
    static constexpr int32_t kToneUnitMs = 10;

    explicit TouchModel(const Options& options);

    // Script, sent at the next tick. Touch and lift take x and y in the controller's
    // units (0-255 for touch95, 0-65535 for touchelo).
    void touch(int x, int y);
    void lift(int x, int y);
    void calibrationPoint(bool ok);
    void calibrationDone();
    // "overflow", "diag" or "reject"; false for another name.
    bool fault(const std::string& kind);

    // Tests: a controller that takes commands on the link but never answers.
    void setAnswering(bool answering) { answering_ = answering; }
    // Tests: the next n commands other than the reset and the device-information request
    // are answered with the reject bit and not carried out.
    void rejectCommands(int n) { rejects_ = n < 0 ? 0 : n; }

    const Options& options() const { return options_; }
    // Every command received, oldest first (the newest kCommandLimit).
    static constexpr size_t kCommandLimit = 4096;
    const std::vector<Bytes>& commands() const { return commands_; }
    int resets() const { return resets_; }
    bool toneSounding() const { return toneOn_; }
    bool calibrating() const { return calibrating_; }
    // The code-update blocks received (their data), in order.
    const std::vector<Bytes>& codeBlocks() const { return codeBlocks_; }
    // "tone=on configure=21512200 backlight=24200708 brightness=3 calibrating=0 blocks=1"
    std::string state() const;

    void reset() override;
    void receive(const Bytes& payload, ModelLink& link) override;
    void tick(int32_t now, ModelLink& link) override;

private:
    Bytes header(uint8_t status, uint8_t command, uint8_t extra = 0) const;
    void reject(ModelLink& link);
    bool elo() const { return options_.kind == Kind::Elo; }

    Options options_;
    bool answering_ = true;
    int rejects_ = 0;
    std::vector<Bytes> commands_;
    std::vector<Bytes> codeBlocks_;
    std::deque<Bytes> scripted_;
    int resets_ = 0;
    int32_t now_ = 0;
    bool toneOn_ = false;
    bool toneTimed_ = false;
    int32_t toneEnd_ = 0;
    bool calibrating_ = false;
    uint8_t brightness_;
    Bytes configure_{0x21, 0x00, 0x00, 0x00};
    Bytes backlight_{0x24, 0x00, 0x00, 0x00};
};

} // namespace bussim
