// The RS-232 port as a device model: it answers the status request with "00 16 EC" and
// every other command with "00 06" (input lines up, done), records the setup, break and
// transmit commands and the bytes transmitted, and lets a script send received data (with
// or without a line-status byte), drop the input lines, or hold transmits as still running.
// A break is answered "80 06" (in progress) and, once over at the next tick, "00 06"; a
// quick port (quickbreak) finishes it before its first answer, "00 06" alone. An unasked
// reject is a message with the reject bit that answers no command.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "busmodel.h"

namespace bussim {

class Rs232Model : public DeviceModel {
public:
    using Bytes = std::vector<uint8_t>;

    struct Options {
        bool echo = false; // each transmitted block comes back as received data
        uint8_t ecLevel = 0x10;
        bool quickBreak = false; // a break is over before the port answers it
    };

    explicit Rs232Model(const Options& options);

    static constexpr size_t kReceivedLimit = 4096;
    // The next n commands, the status request among them, are answered with the reject bit
    // and not carried out; 0 ends the rejects.
    void reject(int n) { rejects_ = n < 0 ? 0 : n; }
    // At the next tick the port sends "00 26", the reject bit, answering no command.
    void unasked() { ++unasked_; }
    const std::vector<Bytes>& received() const { return received_; }
    // Every byte transmitted, oldest first.
    const Bytes& transmitted() const { return transmitted_; }
    // Received data for the host: "00 06" (or "00 07" with a line-status byte) and the bytes.
    void queueReceived(const Bytes& data, bool withLineStatus, uint8_t lineStatus);
    void setLines(bool up);
    // Transmits are answered as still running; releasing the hold completes one held.
    void setHold(bool hold);

    void reset() override;
    void receive(const Bytes& payload, ModelLink& link) override;
    void tick(int32_t now, ModelLink& link) override;

private:
    uint8_t lineBits() const { return lines_ ? 0x06 : 0x00; }

    bool echo_;
    uint8_t ecLevel_;
    bool quickBreak_;
    bool breakEndDue_ = false; // a break answered as in progress ends at the next tick
    bool lines_ = true;
    bool hold_ = false;
    bool held_ = false; // a transmit answered as running
    bool completeDue_ = false;
    std::vector<Bytes> outgoing_;
    std::vector<Bytes> received_;
    int rejects_ = 0;
    int unasked_ = 0;
    Bytes transmitted_;
};

} // namespace bussim
