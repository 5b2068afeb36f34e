// Byte maps of the printers: glyph number to the printer's character code (0: none).
#include "ovknls.h"

namespace {

// Printable ASCII and the upper half of code page 437 as themselves, the euro sign at
// `euro`; a glyph whose code the euro sign took has none.
constexpr NlsByteMap build(unsigned char euro) {
    NlsByteMap map{};
    for (unsigned g = 0x20; g < 0x7F; ++g) map.byte[g] = static_cast<unsigned char>(g);
    for (unsigned g = 0x80; g < 0x100; ++g) map.byte[g] = static_cast<unsigned char>(g);
    map.byte[euro] = 0;
    map.byte[NLS_GLYPH_EURO] = euro;
    return map;
}

} // namespace

constexpr NlsByteMap mod63Map = build(0xD5);
constexpr NlsByteMap mod3Map = build(246);
