// The device side of the character displays: answers the status request (and, for the
// alphanumeric operator display, the configuration query), records every command, and
// keeps what the display shows.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "busmodel.h"

namespace bussim {

class DisplayModel : public DeviceModel {
public:
    using Bytes = std::vector<uint8_t>;

    enum class Kind {
        Numeric,      // two rows of 20 dot cells (10 bytes each)
        Operator,     // two rows of 20 characters
        Alphanumeric, // two rows of 20 characters, lights, code pages; reports its type
        Shopper,      // one line of 12 characters and a lights byte
    };

    struct Options {
        Kind kind = Kind::Operator;
        uint8_t ecLevel = 0x10;      // answered with the status and the device information
        uint8_t type = 1;            // device type (alphanumeric operator display)
        uint8_t configuration = 0;   // configuration byte (alphanumeric operator display)
    };

    static constexpr int kRows = 2;
    static constexpr int kColumns = 20;
    static constexpr int kCellBytes = 10;
    static constexpr int kShopperChars = 12;
    static constexpr size_t kCommandLimit = 4096; // commands kept (the newest)

    explicit DisplayModel(const Options& options);
    // A model by name: "anum", "oper", "anop", "shop"; null for another name.
    static std::unique_ptr<DisplayModel> make(const std::string& name);

    void reset() override;
    void receive(const Bytes& payload, ModelLink& link) override;
    void tick(int32_t now, ModelLink& link) override;

    // The next n commands, the status request and the configuration query among them, are
    // answered with the reject bit and not carried out; 0 ends the rejects.
    void reject(int n) { rejects_ = n < 0 ? 0 : n; }
    // Script: a message with the reject bit that answers no command, sent at the next tick.
    void unasked() { ++unasked_; }

    const Options& options() const { return options_; }
    // Every command received since construction, oldest first.
    const std::vector<Bytes>& commands() const { return commands_; }
    int resets() const { return resets_; }

    // What a row shows (0 or 1; the shopper display has row 0 only): device bytes 0x20-0x7E
    // as they are, user-defined characters 0-7 as '*', anything else as '?'. A dot cell of
    // the numeric display shows ' ' when it is dark, '#' otherwise.
    std::string text(int row) const;
    // The device bytes of a row (characters), or the 200 dot bytes of a numeric row.
    const Bytes& rowBytes(int row) const { return rows_[row & 1]; }
    const std::array<uint8_t, 4>& lights() const { return lights_; }
    uint8_t shopperLights() const { return shopperLights_; }
    uint8_t codePage() const { return codePage_; }
    // The 8-byte pattern of user-defined character n (0-7).
    const std::array<uint8_t, 8>& pattern(int n) const { return patterns_[n & 7]; }

private:
    void apply(const Bytes& c);
    void powerOn();

    Options options_;
    std::vector<Bytes> commands_;
    int resets_ = 0;
    int rejects_ = 0;
    int unasked_ = 0;
    std::array<Bytes, kRows> rows_;
    std::array<uint8_t, 4> lights_{};
    uint8_t shopperLights_ = 0;
    uint8_t codePage_ = 0;
    std::array<std::array<uint8_t, 8>, 8> patterns_{};
};

} // namespace bussim
