// The scales as a device model (models 96 and 87). It answers the EC-level request, the
// extended status, the configure command (model 96) and its read-back, the weight commands
// with the weight as digit bytes, zero scale and clear display, and powers its station on
// again on the reset command. Scripts set the weight and its flags, make zeroing fail, mute
// the weight answers and refuse configure commands. Every command is recorded.
//
// Answers of model 96 carry three status bytes (status 0 bit 2 announces status 2); those of
// model 87 two (model 87 answers the extended status 04 with 00 00):
//   status 0: bit 0 EC level follows, bit 1 configuration echo (3 bytes) follows,
//             bit 2 status 2 follows (model 96).
//   status 1: bit 0 five weight digits (else four); bit 7 command refused (configure, or
//             clear display without a remote display). Model 96: an unstable weight is
//             status 2 bit 1; an overweight scale sets status 1 bits 6 and 5 (an error that
//             needs no reset). Model 87: unstable is status 1 bit 2, overweight bit 6.
//   status 2: bit 0 configuration accepted; bit 1 unstable; bit 3 zeroing succeeded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "busmodel.h"

namespace bussim {

class ScaleModel : public DeviceModel {
public:
    using Bytes = std::vector<uint8_t>;
    enum class Kind { Scale96, Scale87 };

    struct Options {
        Kind kind = Kind::Scale96;
        uint8_t ecLevel = 0x21;
        bool display = true; // model 96: a remote display is attached
    };

    explicit ScaleModel(const Options& options);

    // Script.
    void setWeight(uint32_t weight) { weight_ = weight > 99999 ? 99999 : weight; }
    void setUnstable(bool on) { unstable_ = on; }
    void setOverweight(bool on) { overweight_ = on; }
    void setZeroWorks(bool works) { zeroWorks_ = works; }
    void setMute(bool on) { mute_ = on; }
    void reject(int n) { rejects_ = n < 0 ? 0 : n; }

    uint32_t weight() const { return weight_; }
    const Bytes& configure() const { return configure_; }
    int resets() const { return resets_; }
    int zeroed() const { return zeroed_; }
    // One line: weight, flags, configure bytes, EC level, resets.
    std::string state() const;

    static constexpr size_t kReceivedLimit = 4096;
    const std::deque<Bytes>& received() const { return received_; }

    void reset() override;
    void receive(const Bytes& payload, ModelLink& link) override;

private:
    bool is96() const { return options_.kind == Kind::Scale96; }
    // The status bytes of an answer (two or three).
    Bytes status(uint8_t s0, uint8_t s1, uint8_t s2) const;

    Options options_;
    uint32_t weight_ = 0;
    bool unstable_ = false, overweight_ = false, zeroWorks_ = true, mute_ = false;
    int rejects_ = 0;
    int resets_ = 0;
    int zeroed_ = 0;
    Bytes configure_;
    std::deque<Bytes> received_;
};

} // namespace bussim
