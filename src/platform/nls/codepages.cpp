// Code-page tables: client byte to glyph number, and their font-file form.
#include "ovknls.h"

const int nlsCodePages[] = {437, 850, 858, 932, 934, 942, 944, 949, 0};

namespace {

bool doubleByte(int codePage) {
    return codePage == 932 || codePage == 934 || codePage == 942 || codePage == 944 || codePage == 949;
}

} // namespace

int nlsCodePageGlyphs(int codePage, uint16_t out[NLS_CODE_PAGE_ENTRIES]) {
    if (!out || (codePage != 437 && codePage != 850 && codePage != 858 && !doubleByte(codePage)))
        return -1;
    for (unsigned b = 0; b < NLS_CODE_PAGE_ENTRIES; ++b)
        out[b] = static_cast<uint16_t>(doubleByte(codePage) && b >= 0x80 ? 0 : b);
    if (codePage == 858) out[0xD5] = NLS_GLYPH_EURO;
    return 0;
}

int nlsCodePageFile(int codePage, unsigned char out[2 * NLS_CODE_PAGE_ENTRIES]) {
    uint16_t glyphs[NLS_CODE_PAGE_ENTRIES];
    if (!out || nlsCodePageGlyphs(codePage, glyphs) != 0) return -1;
    for (unsigned b = 0; b < NLS_CODE_PAGE_ENTRIES; ++b) {
        out[2 * b] = static_cast<unsigned char>(glyphs[b] & 0xFF);
        out[2 * b + 1] = static_cast<unsigned char>(glyphs[b] >> 8);
    }
    return 0;
}
