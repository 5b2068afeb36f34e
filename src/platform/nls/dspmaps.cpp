// The byte maps of the character displays.
#include "nlsglyphs.h"

namespace {

enum class Model { Lcd, Vfd, LcVfd, Shop };

constexpr unsigned char shopByte(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned char>(c);
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c);
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 'a' + 'A');
    if (c == '-' || c == ',' || c == '.') return static_cast<unsigned char>(c);
    return ' ';
}

constexpr NlsByteMap build(Model model) {
    NlsByteMap map{};
    for (unsigned g = 0; g < NLS_GLYPH_COUNT; ++g) {
        const char ascii = nls::asciiOf(g);
        unsigned char b = static_cast<unsigned char>(ascii);
        switch (model) {
        case Model::Shop:
            b = shopByte(ascii);
            break;
        case Model::Lcd:
            if (g == NLS_GLYPH_EURO) b = 0x00;
            break;
        case Model::Vfd:
        case Model::LcVfd:
            if (g >= 0x80 && g < 0x100) b = static_cast<unsigned char>(g);
            if (g == NLS_GLYPH_EURO) b = model == Model::Vfd ? 0x00 : 0xD5;
            break;
        }
        map.byte[g] = b;
    }
    return map;
}

} // namespace

constexpr NlsByteMap lcd2x20Map = build(Model::Lcd);
constexpr NlsByteMap vfd2x20Map = build(Model::Vfd);
constexpr NlsByteMap lcvfd2x20Map = build(Model::LcVfd);
constexpr NlsByteMap operMap = build(Model::Lcd);
constexpr NlsByteMap shopMap = build(Model::Shop);

char nlsGlyphAscii(unsigned glyph) { return nls::asciiOf(glyph); }
