// The extended POS keyboard as a device model: it answers the information request
// (00 00 01) with its type, information byte 6 and EC level, the EC-level request (00 80)
// with its EC level, and every other command (microcode block, lights, tone, configure) with
// "command completed". It records every payload, keeps the lights, tone, configure command
// and microcode blocks, and sends the key messages and key-lock changes a script asks for.
//
// Messages to the host: byte 0 fat-finger flags (bit 7 error), byte 1 status (bit 2
// information, bit 3 EC level, bit 5 completed), byte 2 the key-lock bits, byte 3 unused,
// then the information or EC level, then the scan codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "busmodel.h"

namespace bussim {

class KeyboardModel : public DeviceModel {
public:
    using Bytes = std::vector<uint8_t>;

    struct Options {
        uint8_t type = 2;      // information byte 5: the keyboard type
        uint8_t info6 = 0;     // information byte 6
        uint8_t ecLevel = 0x10;
        uint8_t lock = 0x10;   // key-lock bits (byte 2)
    };

    KeyboardModel() : KeyboardModel(Options{}) {}
    explicit KeyboardModel(const Options& options) : options_(options) {}

    // Script: one message with these scan codes and fat-finger flags (byte 0).
    void keys(const Bytes& codes, uint8_t flags);
    // Script: new key-lock bits, reported at once.
    void keyLock(uint8_t bits);
    // Script: a raw message.
    void push(const Bytes& payload);

    const Options& options() const { return options_; }
    // Every payload the host sent, oldest first (the newest kReceivedLimit).
    static constexpr size_t kReceivedLimit = 4096;
    const std::deque<Bytes>& received() const { return received_; }
    const Bytes& lights() const { return lights_; }
    const Bytes& tone() const { return tone_; }
    const Bytes& configure() const { return configure_; }
    const std::vector<Bytes>& microcodeBlocks() const { return blocks_; }
    int resets() const { return resets_; }

    void reset() override;
    void receive(const Bytes& payload, ModelLink& link) override;
    void tick(int32_t now, ModelLink& link) override;

private:
    Options options_;
    std::deque<Bytes> received_;
    std::deque<Bytes> unasked_;
    Bytes lights_, tone_, configure_;
    std::vector<Bytes> blocks_;
    int resets_ = 0;
};

} // namespace bussim
