// The TRJ printer on the printer kit (address 0x32).
//
// Commands are six header bytes, a command id (byte 6) and data, or raw data as they are.
// Every answer is 8 bytes: byte 0 0x80 (complete; `answer` sets it for the next answers, a
// reject is 0x01 with byte 4 bit 7), byte 3 the id of the command answered (the command's
// byte 6; `badid` makes it wrong), byte 6 bit 3 cut ready, byte 7 bit 7 ready.
//   00 80        byte 1 bit 1, the EC level (ec=) in byte 2
//   00 00 01     byte 1 bit 7, 18 bytes: byte 9 the device type (devtype=), byte 12 the EC
//   00 20        byte 1 bit 5 (the error status)
//   00 40        reset (request online)
//   01 02 .. n   a block of user-defined characters (n < 128) or of a logo (128 + number):
//                stored; byte 6 bit 0 (characters) or bit 1 (logo) until a reset
//   01 00 01|02|04 00 00  print: each line record (ESC "@" x ...) of the data is a line of
//                the receipt, the journal or both
//   01 00 00 00 10|20     cut
// Paper out sets byte 6 bit 4 (receipt) or 5 (journal), an open cover byte 1 bit 6. With
// `defer` on, commands are acknowledged and their answers held, to go in order when it is
// turned off. An unasked report (a scripted change) carries the last id received.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <vector>

#include "printermodel.h"

namespace bussim {

class TrjPrinterModel : public PrinterModel {
public:
    struct Options {
        uint8_t ecLevel = 0x20;
        uint8_t deviceType = 0x11;
    };
    static constexpr int kUdcBlocks = 5;
    static constexpr int kLogoBlocks = 8;
    static constexpr size_t kBlock = 1024;

    explicit TrjPrinterModel(const Options& options);

    void setStatusByte(int index, uint8_t value);
    // The next n answers to commands carry byte0 as their first byte.
    void answerNext(uint8_t byte0, int n);
    // The next n answers carry an id that is not the command's.
    void badIdNext(int n) { badIds_ += n > 0 ? n : 0; }
    // On: answers are held (the commands acknowledged); off: the held ones go in order.
    void setDefer(bool on);
    bool deferring() const { return defer_; }
    size_t held() const { return held_.size(); }
    int cuts() const { return cuts_; }
    int udcBlocks() const;
    int logoBlocks() const;

protected:
    void command(const Bytes& payload, ModelLink& link) override;
    Bytes status() const override;
    Bytes rejectAnswer() const override;
    void powerOn() override;
    void onTick(int32_t now, ModelLink& link) override;

private:
    void reply(ModelLink& link, Bytes answer);
    void print(int stationBits, const Bytes& c);

    Options options_;
    uint8_t base_[8] = {};
    uint8_t answerByte0_ = 0x80;
    int answersDue_ = 0;
    int badIds_ = 0;
    bool defer_ = false;
    std::deque<Bytes> held_;
    uint8_t lastId_ = 0;
    int cuts_ = 0;
    std::array<std::vector<uint8_t>, kUdcBlocks> udc_;
    std::array<std::vector<uint8_t>, kLogoBlocks> logo_;
};

} // namespace bussim
