// The RS-485 POS keyboards as a device model, in one of four message formats:
// - ext (the extended keyboards): it answers the information request (00 00 01) with its
//   type, information byte 6 and EC level, the EC-level request (00 80) with its EC level,
//   and every other command with "command completed". Messages: byte 0 fat-finger flags
//   (bit 7 error), byte 1 status (bit 2 information, bit 3 EC level, bit 5 completed), byte 2
//   the key-lock bits, byte 3 unused, then the information or EC level, then the codes.
// - k50 (the 50-key keyboard with its own format): 00 80 gives LL 04 EC; LL is byte 0 with
//   the key lock in bit 6; key messages LL 00 codes.
// - text (the character keyboard): 00 80 gives LL 04 00 EC; key messages LL 00 00 00 and the
//   characters.
// - anpos (the alphanumeric keyboard): 00 80 gives LL 04 B2 EC, byte 2 with bit 3 once 1D
//   came and bits 4 and 5 following the last 14/15 and 16/17 (or fixed by a script), byte 1
//   bit 0 while a continuous tone sounds; key messages LL S1 B2 codes; other commands LL S1 B2.
// It records every payload, keeps the lights, tone, configure command and microcode blocks,
// and sends the key messages and key-lock changes a script asks for.
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

    enum Format { EXTENDED, K50, TEXT, ANPOS };

    struct Options {
        Format format = EXTENDED;
        uint8_t type = 2;      // information byte 5: the keyboard type
        uint8_t info6 = 0;     // information byte 6
        uint8_t ecLevel = 0x10;
        uint8_t lock = 0x10;   // key-lock bits (byte 2; byte 0 in the other formats)
    };

    KeyboardModel() : KeyboardModel(Options{}) {}
    explicit KeyboardModel(const Options& options) : options_(options) {}

    // Script: one message with these scan codes and fat-finger flags (byte 0).
    void keys(const Bytes& codes, uint8_t flags);
    // Script: new key-lock bits, reported at once.
    void keyLock(uint8_t bits);
    // Script: a raw message.
    void push(const Bytes& payload);
    // Script (anpos): the typematic bits reported, fixed (-1: follow the commands).
    void fixTypematic(int a, int b);
    // The status byte 2 of the anpos format.
    uint8_t anposStatus() const;

    // The next n commands, other than the EC-level request and the extended keyboard's
    // information request, are answered with the reject bit (the extended keyboard's status
    // bit 7, byte 0 bit 7 in the other formats) and not carried out; 0 ends the rejects.
    void reject(int n) { rejects_ = n < 0 ? 0 : n; }
    // Script: a message with the reject bit that answers no command.
    void unasked();

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
    int rejects_ = 0;
    bool got1D_ = false, typematicA_ = false, typematicB_ = false, toneOn_ = false;
    int fixedA_ = -1, fixedB_ = -1;
};

} // namespace bussim
