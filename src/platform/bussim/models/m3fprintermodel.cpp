#include "m3fprintermodel.h"

#include "ovkhost.h"

namespace bussim {

M3FPrinterModel::M3FPrinterModel(const Options& options) : options_(options) {
    if (options_.ec == 0) options_.ec = 0x21;
}

void M3FPrinterModel::scriptReturnCode(uint8_t rc, int n) {
    scriptedRc_ = rc;
    scriptedCount_ = n > 0 ? n : 1;
}

void M3FPrinterModel::powerOn() {
    identified_ = false;
    unaskedStarted_ = false;
}

PrinterModel::Bytes M3FPrinterModel::frame(uint8_t type, uint8_t rc) const {
    Bytes f{0x02, 0x40, 0x04, options_.ec, 0x00, 0x00, type, 0x00, rc};
    if (paperOut(CR)) f[1] &= static_cast<uint8_t>(~0x40);
    if (paperOut(SJ)) f[2] &= static_cast<uint8_t>(~0x04);
    if (coverOpen()) f[1] |= 0x10;
    if (documentIn()) f[1] |= 0x20;
    return f;
}

PrinterModel::Bytes M3FPrinterModel::status() const { return frame(0x20, 67); }

PrinterModel::Bytes M3FPrinterModel::rejectAnswer() const { return frame(0x00, 192); }

void M3FPrinterModel::onTick(int32_t now, ModelLink& link) {
    if (identified_) return;
    if (!unaskedStarted_ || chTimeDiff(now, lastUnasked_) >= kUnaskedEveryMs) {
        unaskedStarted_ = true;
        lastUnasked_ = now;
        answer(link);
    }
}

void M3FPrinterModel::command(const Bytes& c, ModelLink& link) {
    const bool wrapped = c.size() >= 4 && c[0] == 0x1B && c[1] == 'f';
    Bytes out;
    if (wrapped && c[2] == 0xFA && c[3] == 0x00) {
        resetCommand(link);
        return;
    }
    if (wrapped && c[2] == 0xFC && c[3] == 0x00) {
        identified_ = true;
        out = options_.shortAnswer ? frame(0x00, 87) : frame(0x08, options_.ec);
        if (options_.fiscal && !options_.shortAnswer) out[0] |= 0x08;
    } else if (wrapped && c[2] == 0xF1 && c[3] == 0x00) {
        out = frame(options_.pld ? 0x12 : 0x02, 67);
        out[7] = options_.ipl;
    } else {
        uint8_t rc = 67;
        if (scriptedCount_ > 0) {
            --scriptedCount_;
            rc = scriptedRc_;
        }
        out = frame(0x00, rc);
        if (wrapped && c[2] == 0xE9 && c[3] == 0x00 && c.size() >= 9) {
            const Bytes m3(c.begin() + 4, c.end());
            printM3Line(m3);
        }
    }
    if (!fiscalData_.empty()) {
        out[7] |= 0x80;
        out.insert(out.end(), fiscalData_.begin(), fiscalData_.end());
        fiscalData_.clear();
    }
    answer(link, out);
}

} // namespace bussim
