// The simulated line scanner: what it answers to the frames on its serial line, its speed and
// laser, the frames it was sent, the bar codes it reads and the faults it can be told to make.
// It does no input or output of its own: the server hands it the bytes and sends its answers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "scanframe.h"

namespace scansim {

class LineScanner {
public:
    struct Options {
        unsigned speed = 19200;            // the speed it starts at
        std::string firmware = "OVKSCANSIM 1.00";
        uint16_t hardwareId = 0x0001;
    };

    // The scanner's code of a line speed (19200 is 8), or -1 for a speed it does not have.
    static int speedCode(unsigned speed);

    explicit LineScanner(const Options& options);

    // Bytes that came down the line while it ran at `lineSpeed`. Returns what the scanner
    // sends back. At a speed other than its own the bytes are noise to it and are dropped.
    Bytes receive(const uint8_t* data, size_t n, unsigned lineSpeed);

    // A control command (one line); the bytes it makes the scanner send go to `out`.
    std::string execute(const std::string& line, unsigned lineSpeed, Bytes& out);

    unsigned speed() const { return speed_; }
    bool laser() const { return laser_; }
    const std::vector<Bytes>& frames() const { return frames_; }

    static constexpr size_t kMaxFrames = 1000; // the oldest frames go beyond this

private:
    void frame(const Bytes& raw, Bytes& out);
    void answer(const Bytes& frame, Bytes& out);
    uint8_t nextControl();
    std::string scan(const std::vector<std::string>& words, Bytes& out);

    unsigned speed_;
    std::string firmware_;
    uint16_t hardwareId_;
    bool laser_ = true;
    bool noAck_ = false;
    bool garbage_ = false;
    unsigned frameNumber_ = 0;
    size_t discarded_ = 0; // bytes dropped: at a foreign speed, or frames it could not read
    FrameReader reader_;
    std::vector<Bytes> frames_;
};

} // namespace scansim
