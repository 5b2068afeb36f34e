#include "m2printermodel.h"

#include <cstring>

#include "ovknls.h"

namespace bussim {

namespace {

// The printable character whose M2 glyph is these 7 bytes, or '?'.
char glyphChar(const uint8_t* glyph) {
    for (unsigned c = 0x20; c < 0x7F; ++c)
        if (std::memcmp(mod2map.at(c), glyph, NLS_PRINTER_7x8_BYTES) == 0) return static_cast<char>(c);
    return '?';
}

} // namespace

M2PrinterModel::M2PrinterModel(uint8_t ecLevel) : base_{0x00, 0x48, ecLevel, 0x00} {}

void M2PrinterModel::setStatusByte(int index, uint8_t value) {
    if (index >= 0 && index < 4) base_[index] = value;
}

PrinterModel::Bytes M2PrinterModel::status() const {
    Bytes s(base_, base_ + 4);
    if (coverOpen()) s[1] |= 0x10;
    if (paperOut(CR)) s[1] |= 0x80;
    if (paperOut(SJ)) s[1] |= 0x02;
    if (documentIn()) s[1] |= 0x20;
    return s;
}

PrinterModel::Bytes M2PrinterModel::rejectAnswer() const {
    Bytes s = status();
    s[0] = static_cast<uint8_t>((s[0] | 0x80) & ~0x01);
    return s;
}

void M2PrinterModel::command(const Bytes& c, ModelLink& link) {
    Bytes done = status();
    done[0] |= 0x03;
    if (c.size() < 7) {
        answer(link, rejectAnswer());
        return;
    }
    if (c[0] == 0x00) {
        if (c[1] == 0x40) {
            resetCommand(link);
            return;
        }
        answer(link, done);
        return;
    }
    if (c[0] != 0x01) {
        answer(link, rejectAnswer());
        return;
    }
    int station = -1;
    switch (c[2]) {
    case 0x02: station = CR; break;
    case 0x01: station = SJ; break;
    case 0x08: station = DI; break;
    default: break;
    }
    if (station >= 0) {
        std::string text;
        for (size_t i = 7; i + NLS_PRINTER_7x8_BYTES <= c.size(); i += NLS_PRINTER_7x8_BYTES)
            text += glyphChar(c.data() + i);
        printText(station, reinterpret_cast<const uint8_t*>(text.data()), text.size());
        if (c[5] == 1) lineFeed(station);
    } else if (c[4] == 0x04) {
        ++cuts_;
    }
    answer(link, done);
}

} // namespace bussim
