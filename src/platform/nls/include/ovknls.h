// Character maps of the POS displays: what the display understands for each glyph number.
//
// A client byte becomes a glyph number through the code-page table of its code page (the
// font file "cp%05d.fon": 256 little-endian 16-bit glyph numbers); a map then gives the
// byte (or the dot data) that a display model shows for that glyph.
//
// The glyph numbers of this library:
//   0x000-0x0FF  the characters of code page 437 at those positions (so 0x20-0x7E is ASCII);
//   0x280        the euro sign;
//   0x281        the blank of a cell nothing has been written to;
//   others up to NLS_GLYPH_COUNT - 1 are unassigned and shown as unknown.
// Every map has NLS_GLYPH_COUNT entries; a glyph number at or beyond that is not in it, so
// callers look glyphs up through at(), which bounds the index.
#pragma once

#include <cstddef>
#include <cstdint>

enum : unsigned {
    NLS_GLYPH_COUNT = 684,
    NLS_GLYPH_EURO = 0x280,
    NLS_GLYPH_BLANK = 0x281,
    NLS_SLICE_BYTES = 10,
    NLS_PRINTER_7x8_BYTES = 7,
    NLS_PRINTER_8x16_BYTES = 16,
    NLS_DISPLAY_5x12_BYTES = 12,
    NLS_CODE_PAGE_ENTRIES = 256,
};

// One device byte per glyph number.
struct NlsByteMap {
    unsigned char byte[NLS_GLYPH_COUNT];

    // The byte of glyph, or fallback for a glyph number the map does not hold.
    unsigned char at(unsigned glyph, unsigned char fallback) const {
        return glyph < NLS_GLYPH_COUNT ? byte[glyph] : fallback;
    }
    unsigned char operator[](size_t glyph) const { return byte[glyph]; }
    static constexpr size_t size() { return NLS_GLYPH_COUNT; }
};

// Ten bytes of dot data per glyph number: a cell of 5 columns by 12 dot rows. Bytes 0-4
// are the columns' rows 0-7 (bit 0 the top row), bytes 5-9 the same columns' rows 8-11
// (bits 0-3). Printable characters are drawn 5 x 7 in rows 2-8.
struct NlsSliceMap {
    unsigned char slice[NLS_GLYPH_COUNT][NLS_SLICE_BYTES];

    // The dot data of glyph; the blank cell's for a glyph number the map does not hold.
    const unsigned char* at(unsigned glyph) const {
        return slice[glyph < NLS_GLYPH_COUNT ? glyph : NLS_GLYPH_BLANK];
    }
    static constexpr size_t size() { return NLS_GLYPH_COUNT; }
};

// Bitmaps of the printers' built-in fonts, NLS_PRINTER_7x8_BYTES or NLS_PRINTER_8x16_BYTES
// bytes per glyph number.
template <unsigned Bytes>
struct NlsBitmapMap {
    unsigned char bits[NLS_GLYPH_COUNT][Bytes];

    // The bitmap of glyph; the blank cell's for a glyph number the map does not hold.
    const unsigned char* at(unsigned glyph) const {
        return bits[glyph < NLS_GLYPH_COUNT ? glyph : NLS_GLYPH_BLANK];
    }
    static constexpr size_t size() { return NLS_GLYPH_COUNT; }
    static constexpr size_t bytes() { return Bytes; }
};

// Two-row, 20-column character displays. Printable ASCII shows as itself on all of them,
// the blank cell as a space, glyph 0 as a space, other unknown glyphs as '?'.
//   lcd2x20Map:   the liquid-crystal model: accented letters lose their accents (the
//                 upper half of 437 becomes the nearest ASCII), the euro sign is user
//                 character 0 (0x00).
//   vfd2x20Map:   the vacuum-fluorescent model, whose character set is code page 437's:
//                 the upper half of 437 is sent as it stands, the euro sign is user
//                 character 0.
//   lcvfd2x20Map: the model with selectable code pages, unselected: as vfd2x20Map, but its
//                 own table holds the euro sign at 0xD5.
extern const NlsByteMap lcd2x20Map;
extern const NlsByteMap vfd2x20Map;
extern const NlsByteMap lcvfd2x20Map;
// The operator display: as lcd2x20Map (accents dropped, euro sign = user character 0).
extern const NlsByteMap operMap;
// The shopper display: digits, letters (as capitals), space, '-', ',' and '.'; the euro
// sign shows as 'E'; everything else is a space.
extern const NlsByteMap shopMap;
// Dot data of the numeric display.
extern const NlsSliceMap gc5x12slice;

// Printer maps. A byte map gives the printer's character code of a glyph number, 0 when the
// printer has none; printable ASCII is itself on every printer.
//   mod63Map:  the model-6397 printer, whose resident set is code page 437's: the upper half
//              of 437 is sent as it stands, the euro sign is 0xD5 (its code-page 858
//              slot, so glyph 0xD5 has no code of its own).
//   mod3Map:   the M3 printer: as mod63Map, but the euro sign takes the built-in slot 246
//              (0xF6), so glyph 0xF6 has no code of its own.
extern const NlsByteMap mod63Map;
extern const NlsByteMap mod3Map;
// Bitmaps derived from the 5 x 12 cells of gc5x12slice, so that a test can recompute them:
//   mod2map:   7 bytes per glyph for the M2 printer: bytes 0-4 are the cell's columns 0-4,
//              dot rows 0-7 (bit 0 the top row, as gc5x12slice bytes 0-4); bytes 5-6 are 0.
//   gc8x16map: 16 rows of 8 dots per glyph (10944 bytes): row r (2 <= r <= 13) holds dot row
//              r - 2 of the cell, column c in bit 7 - c; rows 0, 1, 14 and 15 are 0. The
//              graphic display draws its 8 x 16 glyphs from it too.
//   gc5x12map: 12 rows per glyph for the graphic display's 5 x 12 glyphs: row r holds dot
//              row r of the cell, column c in bit 7 - c (the five high bits); bits 0-2 are 0.
extern const NlsBitmapMap<NLS_PRINTER_7x8_BYTES> mod2map;
extern const NlsBitmapMap<NLS_PRINTER_8x16_BYTES> gc8x16map;
extern const NlsBitmapMap<NLS_DISPLAY_5x12_BYTES> gc5x12map;

// The nearest printable ASCII character of a glyph ('?' when there is none, ' ' for the
// blank and for glyph 0).
char nlsGlyphAscii(unsigned glyph);

// Fills out with the code-page table of codePage (437, 850, 858, or the double-byte code
// pages 932, 934, 942, 944, 949): 0, or -1 for a code page this library has no table for
// (out unchanged). 437 and 850 map every byte to the glyph of the same number; 858 maps
// 0xD5 to the euro sign. The double-byte pages hold their single-byte half: bytes 0x00-0x7F
// to the glyph of the same number, the rest to glyph 0 (none).
int nlsCodePageGlyphs(int codePage, uint16_t out[NLS_CODE_PAGE_ENTRIES]);
// The code pages nlsCodePageGlyphs knows, ending with 0.
extern const int nlsCodePages[];
// The font file of codePage as stored under "<data path>/fonts/cp%05d.fon": 512 bytes,
// little-endian. 0, or -1 for an unknown code page.
int nlsCodePageFile(int codePage, unsigned char out[2 * NLS_CODE_PAGE_ENTRIES]);

// The printable ASCII character (0x20-0x7E) whose dot data equals the ten bytes at dots,
// or -1 when none does.
int nlsSliceAscii(const unsigned char* dots);
