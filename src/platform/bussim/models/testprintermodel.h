// The test printer on the printer kit: a small command set of our own, so that the printer
// base runs on the bus before any real model.
//
// Commands (the first byte):
//   01 s text...   prints text on station s (0 CR, 1 SJ, 2 DI) and ends the line
//   02 s n         feeds n empty lines on station s
//   03             cut
//   04             status request
//   05             reset: not acknowledged; the next poll is answered with ROL
// Anything else, and a line or feed on a station out of paper, is rejected.
//
// Every answer is two bytes: byte 0 bit 0 the command is complete, bit 7 it was rejected
// (an unasked report has byte 0 = 0); byte 1 the status: bits 0-2 paper out on CR, SJ, DI,
// bit 3 cover open, bit 4 document in.
#pragma once

#include "printermodel.h"

namespace bussim {

class TestPrinterModel : public PrinterModel {
public:
    enum : uint8_t {
        kLine = 0x01,
        kFeed = 0x02,
        kCut = 0x03,
        kStatus = 0x04,
        kReset = 0x05,
    };
    enum : uint8_t { kComplete = 0x01, kRejected = 0x80 };
    enum : uint8_t { kCoverOpen = 0x08, kDocumentIn = 0x10 };

    int cuts() const { return cuts_; }
    uint8_t statusByte() const;

protected:
    void command(const Bytes& payload, ModelLink& link) override;
    Bytes status() const override { return {0x00, statusByte()}; }
    Bytes rejectAnswer() const override { return {kRejected, statusByte()}; }

private:
    int cuts_ = 0;
};

} // namespace bussim
