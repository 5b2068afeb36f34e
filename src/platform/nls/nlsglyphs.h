// Glyph facts shared by the maps of this library, usable in constant expressions.
#pragma once

#include "ovknls.h"

namespace nls {

// The nearest ASCII of each character in the upper half of code page 437 (0x80-0xFF):
// accented letters lose the accent, box drawing becomes '|', '-', '=' or '+', symbols
// without a near character become '?'.
constexpr char kUpper437[129] =
    "CueaaaaceeeiiiAA"  // 0x80
    "EaAooouuyOUcLYPf"  // 0x90
    "aiounNao?--?\?!<>"  // 0xA0
    "?\?\?|++++++|+++++"  // 0xB0
    "++++-++++++++=++"  // 0xC0
    "+++++++++++?\?\?\?\?"  // 0xD0
    "asGpSsutFOOd?fen"  // 0xE0
    "=+><?\?/~o..vn2? "; // 0xF0

constexpr char asciiOf(unsigned glyph) {
    if (glyph == 0 || glyph == NLS_GLYPH_BLANK) return ' ';
    if (glyph >= 0x20 && glyph < 0x7F) return static_cast<char>(glyph);
    if (glyph >= 0x80 && glyph < 0x100) return kUpper437[glyph - 0x80];
    if (glyph == NLS_GLYPH_EURO) return 'E';
    return '?';
}

} // namespace nls
