// The NVRAM devices on the bus as device models: "nvcop" (1024 bytes at device address
// 0x100, one length byte, commands of at most 64 bytes) and "nvocr" (16384 bytes at 0xC00
// with the journal area up to 0x5010, two length bytes, copy and power commands). They
// apply write (03) and copy (40) commands and answer read (02) commands; every command is
// recorded. The memory may be kept in a file and cut short by a planned power loss.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "busmodel.h"
#include "nvramstore.h"

namespace bussim {

class NvramModel : public DeviceModel {
public:
    using Bytes = std::vector<uint8_t>;
    enum class Kind { Cop, Ocr };

    struct Options {
        Kind kind = Kind::Cop;
        uint8_t ecLevel = 0x10;
    };

    // Byte-1 error bits of an answer.
    static constexpr uint8_t kErrorAddress = 0x04; // outside the memory
    static constexpr uint8_t kErrorLength = 0x08;  // length 0, too long, or data missing

    explicit NvramModel(const Options& options);

    uint32_t base() const { return base_; }
    size_t size() const { return store_.size(); }
    // Bytes at device address `address`; false when outside the memory.
    bool dump(uint32_t address, size_t length, Bytes& out) const;
    // Every command received, oldest first (the last kReceivedLimit).
    static constexpr size_t kReceivedLimit = 4096;
    // The next n commands other than the status request are answered with the reject bit
    // and not carried out.
    void reject(int n) { rejects_ = n < 0 ? 0 : n; }
    const std::vector<Bytes>& received() const { return received_; }
    // Plans a power cut: `whole` more write or copy commands, then `partial` bytes of the
    // next, then silence.
    void planCut(int whole, int partial) { store_.planCut(whole, partial); }
    bool powerOff() const { return powerOff_; }
    NvramStore& store() { return store_; }

    void receive(const Bytes& payload, ModelLink& link) override;
    bool silent() const override { return store_.cut(); }
    bool persist(const std::string& dir, const std::string& stem, std::string& error) override;

private:
    // {b0, b1, EC when b1 bit 6, 0, 0, length (1 or 2 bytes), data}
    void answer(ModelLink& link, uint8_t b0, uint8_t b1, const Bytes& data = {});
    bool inside(uint32_t address, size_t length) const;

    Kind kind_;
    uint8_t ecLevel_;
    uint32_t base_;
    size_t maxLength_;
    int lengthBytes_;
    NvramStore store_;
    bool powerOff_ = false;
    std::vector<Bytes> received_;
    int rejects_ = 0;
};

} // namespace bussim
