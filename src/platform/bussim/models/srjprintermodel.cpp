#include "srjprintermodel.h"

namespace bussim {

SrjPrinterModel::SrjPrinterModel(const Options& options) : options_(options) {}

void SrjPrinterModel::setStatusByte(int index, uint8_t value) {
    if (index >= 0 && index < 8) base_[index] = value;
    reportChange();
}

void SrjPrinterModel::answerNext(uint8_t byte0, int n) {
    answerByte0_ = byte0;
    answersDue_ = n > 0 ? n : 0;
}

int SrjPrinterModel::udcBlocks() const {
    int n = 0;
    for (const auto& b : udc_) n += !b.empty();
    return n;
}

void SrjPrinterModel::powerOn() {
    registered_ = false;
    answersDue_ = 0;
}

PrinterModel::Bytes SrjPrinterModel::status() const {
    Bytes s(base_, base_ + 8);
    if (coverOpen()) s[1] |= 0x40;
    if (paperOut(CR)) s[6] |= 0x01;
    if (documentIn()) s[6] |= 0xC0;
    s[7] |= 0x80;
    if (options_.model == 2) s[7] |= 0x10;
    if (options_.wide) s[7] |= 0x01;
    if (registered_) s[7] |= 0x40;
    return s;
}

PrinterModel::Bytes SrjPrinterModel::rejectAnswer() const {
    Bytes s = status();
    s[0] = 0x01;
    s[4] |= 0x80;
    return s;
}

void SrjPrinterModel::command(const Bytes& c, ModelLink& link) {
    Bytes done = status();
    done[0] = 0x80;
    if (answersDue_ > 0) {
        --answersDue_;
        done[0] = answerByte0_;
    }
    if (c.size() < 7) {
        answer(link, rejectAnswer());
        return;
    }
    if (c[0] == 0x00) {
        if (c[1] == 0x40) {
            resetCommand(link);
            return;
        }
        if (c[1] == 0x80) {
            done[1] |= 0x02;
            done[2] = options_.ecLevel;
        } else if (c[1] == 0x02 && c.size() == 7 + kUdcBlock && c[5] < kUdcBlocks) {
            udc_[c[5]].assign(c.begin() + 7, c.end());
        }
        answer(link, done);
        return;
    }
    if (c[0] != 0x01) {
        answer(link, rejectAnswer());
        return;
    }
    auto stationOf = [](uint8_t bits) {
        switch (bits) {
        case 0x01: return static_cast<int>(CR);
        case 0x02: return static_cast<int>(SJ);
        case 0x08: return static_cast<int>(DI);
        case 0x04: return 3; // receipt and journal
        default: return -1;
        }
    };
    const int printing = stationOf(c[2]);
    const int feeding = c[2] == 0 && c[3] == 0 ? stationOf(c[4]) : -1;
    if (printing >= 0) {
        const uint8_t* text = c.data() + 7;
        const size_t n = c.size() - 7;
        if (printing == 3) {
            printText(CR, text, n / 2);
            printText(SJ, text + n / 2, n - n / 2);
        } else {
            printText(printing, text, n);
        }
    } else if (feeding >= 0) {
        if (feeding == 3) {
            lineFeed(CR);
            lineFeed(SJ);
        } else {
            lineFeed(feeding);
        }
    } else if (c[2] == 0 && c[3] == 0 && c[4] == 0x10) {
        ++cuts_;
    } else if (c[3] == 0x20) {
        registered_ = true;
    } else if (c[3] == 0x08) {
        registered_ = false;
        setDocument(false);
        done = status();
        done[0] = 0x80;
    }
    answer(link, done);
}

} // namespace bussim
