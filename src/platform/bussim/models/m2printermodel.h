// The M2 impact printer on the printer kit (address 0x30).
//
// Commands are a 7-byte header and data: 00 40 reset (answered with a request online),
// 00 80 EC level, 00 20 status, 01 00 ... print, logo, feed, cut and document commands.
// A print line (01 00 02|01|08 = CR, SJ, DI) carries 7-byte glyphs, which are turned back
// into characters through mod2map ('?' for one that is no printable ASCII character); its
// parameter byte 5 = 1 ends the line.
//
// Every answer is 4 bytes: byte 0 0x03 (answered, succeeded; 0x80 rejected, 0x00 an unasked
// report), byte 1 0x48 (bits 6 and 3) with bit 4 cover open, bit 7 receipt paper out, bit 1
// journal paper out, bit 5 document in; byte 2 the EC level. `status` sets a byte of the
// answer's base value.
#pragma once

#include <cstdint>

#include "printermodel.h"

namespace bussim {

class M2PrinterModel : public PrinterModel {
public:
    explicit M2PrinterModel(uint8_t ecLevel = 0x20);

    void setStatusByte(int index, uint8_t value);
    int cuts() const { return cuts_; }

protected:
    void command(const Bytes& payload, ModelLink& link) override;
    Bytes status() const override;
    Bytes rejectAnswer() const override;

private:
    uint8_t base_[4];
    int cuts_ = 0;
};

} // namespace bussim
