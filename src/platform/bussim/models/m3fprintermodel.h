// The fiscal M3 printer on the printer kit (address 0x38).
//
// Every answer is 9 bytes and more: status bytes 0-2 (0x02, 0x40, 0x04 at rest; paper out on
// the receipt clears byte 1 bit 6, on the journal byte 2 bit 2; an open cover sets byte 1
// bit 4, a document byte 1 bit 5), the EC byte 3 (never 0), the frame type in byte 6, byte 7
// and the return code in byte 8. Unasked, after a power-on every 2 s until 1B 66 FC 00
// comes, and on each scripted change: type 0x20, return code 67.
//   1B 66 FC 00   type 0x08, return code the EC level (ec=); byte 0 bit 3 with fiscal=1
//                 (short=1: type 0, return code 87)
//   1B 66 F1 00   type 0x02 (0x12 with pld=1), return code 67, byte 7 the IPL byte (ipl=)
//   1B 66 FA 00   reset (request online)
//   any other     type 0, return code 67 or the scripted one; M3 print lines wrapped in
//                 1B 66 E9 00 are laid over the station's line as on the M3
// A rejected command has return code 192. Scripted fiscal data go with the next answer
// (byte 7 bit 0x80, the data from byte 9).
#pragma once

#include <cstdint>

#include "printermodel.h"

namespace bussim {

class M3FPrinterModel : public PrinterModel {
public:
    struct Options {
        uint8_t ec = 0x21;
        uint8_t ipl = 0x25;
        bool fiscal = true;
        bool pld = false;
        bool shortAnswer = false;
    };
    static constexpr int32_t kUnaskedEveryMs = 2000;

    explicit M3FPrinterModel(const Options& options);

    // The next n commands get return code rc (one when n is 0).
    void scriptReturnCode(uint8_t rc, int n);
    void scriptFiscalData(const Bytes& data) { fiscalData_ = data; }
    int returnCodesDue() const { return scriptedCount_; }

protected:
    void command(const Bytes& payload, ModelLink& link) override;
    Bytes status() const override;
    Bytes rejectAnswer() const override;
    void powerOn() override;
    void onTick(int32_t now, ModelLink& link) override;

private:
    Bytes frame(uint8_t type, uint8_t rc) const;

    Options options_;
    bool identified_ = false; // 1B 66 FC 00 came since the power-on
    int32_t lastUnasked_ = 0;
    bool unaskedStarted_ = false;
    uint8_t scriptedRc_ = 67;
    int scriptedCount_ = 0;
    Bytes fiscalData_;
};

} // namespace bussim
