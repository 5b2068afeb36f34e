// The table-top scanners as a device model (models 96, 97, 98, 87, 8612 and 8634). It keeps the
// scanner's enabled, beep, configure and flag bytes, answers every command with the
// model's status bytes (and the EC level, the configuration echo or the flag echo where
// asked), powers its station on again on the reset command, and sends scripted labels,
// raw label bytes and faults to the host. Every command is recorded.
//
// Status bytes of every answer:
//   status 0: bit 0 EC level follows, bit 1 configuration echo (11 bytes) follows,
//             bit 2 flag echo (8 bytes) follows, bit 4 beep enabled, bit 5 hardware error;
//             models 87, 8612, 8634: bit 1 diagnostics failed (and no echo).
//   status 1: bit 1 enabled, bit 6 scanner fault (a value above 15, and 0x20 or above),
//             bit 7 no two-label feature (answer to a flag command); model 87: bit 0 ready.
//   status 2: bit 0 configuration accepted, bit 2 flag configuration accepted.
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
    enum class Kind { Scan96, Scan97, Scan98, Scan87, Scan8612, Scan8634 };

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
    // Raw label bytes after the status bytes, one message each.
    void scan(const std::vector<Bytes>& messages);
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
    bool hasConfigure() const { return options_.kind != Kind::Scan87; }
    bool hasFlags() const { return options_.kind == Kind::Scan97 || options_.kind == Kind::Scan98; }
    bool has8612Layout() const { return options_.kind == Kind::Scan8612 || options_.kind == Kind::Scan8634; }
    bool hasEcho() const { return hasConfigure() && !has8612Layout(); }
    bool hasDiagnostics() const { return options_.kind == Kind::Scan87 || has8612Layout(); }
    // The three status bytes; a pending fault goes into them once.
    Bytes status(uint8_t s0, uint8_t s1, uint8_t s2);

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
    std::deque<Bytes> unasked_;
    std::deque<Bytes> received_;
};

} // namespace bussim
