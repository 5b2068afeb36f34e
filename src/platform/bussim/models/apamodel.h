// The graphic display as a device model: it answers the status request with "20 EC", the
// configuration query with "10 00 00 TYPE 00 00", the mode query with "04 MODE 00" and
// every other command with "00" (with "80", not carried out, while it rejects); it decodes the picture command into 160 x 36 pixels and
// keeps the text line, the mode byte, the character blocks and the lights.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "busmodel.h"

namespace bussim {

class ApaModel : public DeviceModel {
public:
    using Bytes = std::vector<uint8_t>;

    struct Options {
        uint8_t type = 0x80;
        uint8_t ecLevel = 0x10;
    };

    static constexpr int kWidth = 160;
    static constexpr int kHeight = 36;
    static constexpr int kRowBytes = 20;
    static constexpr int kTextLine = 40;
    static constexpr int kBlocks = 5;
    static constexpr size_t kCommandLimit = 4096; // commands kept (the newest)

    explicit ApaModel(const Options& options);

    void reset() override;
    void receive(const Bytes& payload, ModelLink& link) override;

    // The next n commands other than the status, configuration and mode queries are answered
    // with the reject bit and not carried out; 0 ends the rejects.
    void reject(int n) { rejects_ = n < 0 ? 0 : n; }

    const Options& options() const { return options_; }
    // Every command received, oldest first (the newest kCommandLimit).
    const std::vector<Bytes>& commands() const { return commands_; }
    // Whether pixel (x, y) is lit.
    bool pixel(int x, int y) const;
    // Pixel row y as 20 bytes, most significant bit leftmost.
    Bytes pictureRow(int y) const;
    // The picture: kHeight rows of 40 hex digits, separated by spaces.
    std::string picture() const;
    const std::array<uint8_t, kTextLine>& textLine() const { return text_; }
    uint8_t mode() const { return mode_; }
    const std::array<uint8_t, 4>& lights() const { return lights_; }
    // The bytes of character block n (0-4) as last sent.
    const Bytes& block(int n) const { return blocks_[static_cast<size_t>(n) % kBlocks]; }
    int clears() const { return clears_; }

private:
    void apply(const Bytes& c);

    Options options_;
    std::vector<Bytes> commands_;
    int rejects_ = 0;
    std::array<std::array<uint8_t, kRowBytes>, kHeight> picture_{};
    std::array<uint8_t, kTextLine> text_{};
    uint8_t mode_ = 0x10;
    std::array<uint8_t, 4> lights_{};
    std::array<Bytes, kBlocks> blocks_;
    int clears_ = 0;
};

} // namespace bussim
