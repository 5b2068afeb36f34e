// The SRJ printer on the printer kit (address 0x37).
//
// Commands are a 7-byte header (five command bytes, a parameter, a sequence number) and
// data: 00 40 reset (answered with a request online), 00 80 EC level, 00 20 status, 00 02
// a block of user-defined characters (parameter: its number; the 1024 bytes are stored),
// 01 00 ... print, feed, cut and document commands. A print line (01 00 01|02|08|04 = CR,
// SJ, DI, CR and SJ with the line twice) carries text; a feed (01 00 00 00 01|02|08|04)
// ends the station's line. Register (01 00 00 20 00) sets byte 7 bit 6; release
// (01 00 00 08 00) clears it and takes the document out.
//
// Every answer is 8 bytes: byte 0 0x80 (complete; `answer` sets it for the next answers,
// a reject is 0x01 with byte 4 bit 7, an unasked report 0x00); byte 1 bit 6 cover open, bit
// 1 with the EC level in byte 2 (answer to 00 80); byte 6 bit 0 receipt paper out, bits 7-6
// document in; byte 7 bit 7 ready, 0x10 for model 2, 0x01 wide, bit 6 document registered.
// `status` sets a byte of the answer's base value.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "printermodel.h"

namespace bussim {

class SrjPrinterModel : public PrinterModel {
public:
    struct Options {
        int model = 2;
        bool wide = true;
        uint8_t ecLevel = 0x20;
    };
    static constexpr int kUdcBlocks = 15;
    static constexpr size_t kUdcBlock = 1024;

    explicit SrjPrinterModel(const Options& options);

    void setStatusByte(int index, uint8_t value);
    // The next n answers to commands carry byte0 as their first byte.
    void answerNext(uint8_t byte0, int n);
    int cuts() const { return cuts_; }
    bool registered() const { return registered_; }
    int udcBlocks() const;
    const std::vector<uint8_t>& udcBlock(int i) const { return udc_[static_cast<size_t>(i % kUdcBlocks)]; }

protected:
    void command(const Bytes& payload, ModelLink& link) override;
    Bytes status() const override;
    Bytes rejectAnswer() const override;
    void powerOn() override;

private:
    Options options_;
    uint8_t base_[8] = {};
    uint8_t answerByte0_ = 0x80;
    int answersDue_ = 0;
    bool registered_ = false;
    int cuts_ = 0;
    std::array<std::vector<uint8_t>, kUdcBlocks> udc_;
};

} // namespace bussim
