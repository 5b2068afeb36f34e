// The scanners as a device model: the table-top models 96, 97, 98, 87, 8612 and 8634 and the
// hand-held models 1, 2 and 20. It keeps the scanner's enabled, beep, configure and flag
// bytes, answers every command with the model's status bytes (and the EC level, the
// configuration echo or the flag echo where asked), powers its station on again on the
// reset command, and sends scripted labels, raw label bytes (several as one block read on
// the hand-held models), scans without label and faults to the host. Every command is
// recorded.
//
// Status bytes of every answer:
//   status 0: bit 0 EC level follows, bit 1 configuration echo (11 bytes) follows,
//             bit 2 flag echo (8 bytes) follows, bit 4 beep enabled, bit 5 hardware error;
//             models 87, 8612, 8634: bit 1 diagnostics failed (and no echo).
//   status 1: bit 1 enabled, bit 6 scanner fault (a value above 15, and 0x20 or above),
//             bit 7 no two-label feature (answer to a flag command); model 87: bit 0 ready.
//   status 2: bit 0 configuration accepted, bit 2 flag configuration accepted.
//
// Hand-held models 1 and 2 answer with two status bytes (then, with status 0 bit 0, a zero
// byte and the EC level):
//   status 0: bit 0 EC level follows, bit 1 diagnostics failed, bit 6 the answer to model
//             20's configure command (31 80), which they answer as 40 00 00 00.
//   status 1: bit 0 enabled, bit 1 beep enabled, bit 3 the scan gave no label, bit 5 more
//             blocks of this scan follow, bit 6 scanner fault, bit 7 configure rejected;
//             the first answer after a power-on is status 1 = 80 alone.
//   Model 1 rejects a configure command whose group code (byte 2 bits 4-7) only model 2
//   knows (5, 6, 7, 10, 11, 12); model 2 takes 2-byte enable, disable and beep commands.
// Hand-held model 20 answers with three status bytes (then the EC level when announced):
//   status 0: bit 0 EC level follows, bit 1 diagnostics failed, bit 4 beep enabled, bit 5
//             head beep disabled;
//   status 1: bit 1 enabled, bit 5 the scan gave no label, bit 6 scanner fault, bit 7
//             configure rejected; status 2: 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "busmodel.h"

namespace bussim {

class ScannerModel : public DeviceModel {
public:
    using Bytes = std::vector<uint8_t>;
    enum class Kind { Scan96, Scan97, Scan98, Scan87, Scan8612, Scan8634, HandHeld1, HandHeld2, HandHeld20 };

    struct Options {
        Kind kind = Kind::Scan96;
        uint8_t ecLevel = 0x21;
        uint16_t ident = 0;     // answers the probe {01} with {81, lo, hi} when not 0
        bool twoLabel = true;   // models 97 and 98: the flag commands are understood
        int32_t warmupMs = 0;   // model 87: not ready for this long after a power-on
    };

    explicit ScannerModel(const Options& options);

    // Script. A label by kind ("upca", "upce", "ean8", "ean13") and its digits: false when
    // the kind is unknown or the digits do not fit it.
    bool label(const std::string& kind, const std::string& digits);
    // Raw label bytes after the status bytes, one message each; on the hand-held models one
    // scan read in blocks (status 1 bit 5 on all but the last).
    void scan(const std::vector<Bytes>& messages);
    // A scan that gave no label (hand-held models): false on the others.
    bool noRead();
    // A fault in the next answer: "hw", "status" or (models 87, 8612, 8634) "diag"; false
    // for others.
    bool fault(const std::string& which);
    // Refuses the next n configure commands.
    void reject(int n) { rejects_ = n < 0 ? 0 : n; }

    bool enabled() const { return enabled_; }
    bool beep() const { return beep_; }
    const Bytes& configure() const { return configure_; }
    const Bytes& flags() const { return flags_; }
    int resets() const { return resets_; }
    bool ready() const;
    // One line: enabled, beep, configure and flag bytes, EC level, resets.
    std::string state() const;

    static constexpr size_t kReceivedLimit = 4096;
    const std::deque<Bytes>& received() const { return received_; }

    void reset() override;
    void receive(const Bytes& payload, ModelLink& link) override;
    void tick(int32_t now, ModelLink& link) override;

private:
    bool handHeld() const {
        return options_.kind == Kind::HandHeld1 || options_.kind == Kind::HandHeld2 ||
               options_.kind == Kind::HandHeld20;
    }
    bool hasConfigure() const { return options_.kind != Kind::Scan87; }
    bool hasFlags() const { return options_.kind == Kind::Scan97 || options_.kind == Kind::Scan98; }
    bool has8612Layout() const { return options_.kind == Kind::Scan8612 || options_.kind == Kind::Scan8634; }
    bool hasEcho() const { return hasConfigure() && !has8612Layout() && !handHeld(); }
    bool hasDiagnostics() const { return options_.kind == Kind::Scan87 || has8612Layout() || handHeld(); }
    // The three status bytes; a pending fault goes into them once.
    Bytes status(uint8_t s0, uint8_t s1, uint8_t s2);
    // The hand-held models' status bytes; a pending fault goes into them once.
    Bytes handHeldStatus(uint8_t s0, uint8_t s1);
    void receiveHandHeld(const Bytes& payload, ModelLink& link);

    struct Message {
        Bytes data;
        bool more;   // more blocks of this scan follow
        bool noRead; // a scan without label
    };

    Options options_;
    bool enabled_ = false;
    bool beep_ = true;
    Bytes configure_;
    Bytes flags_;
    int rejects_ = 0;
    int resets_ = 0;
    bool hwFault_ = false, statusFault_ = false, diagFault_ = false;
    bool warming_ = false;
    int32_t readyAt_ = 0;
    bool headBeep_ = true;    // model 20
    bool powerOn_ = true;     // models 1 and 2: the next answer is the power-on status
    std::deque<Message> unasked_;
    std::deque<Bytes> received_;
};

} // namespace bussim
