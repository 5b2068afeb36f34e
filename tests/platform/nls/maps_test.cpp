// The character maps: what each display shows for a glyph, and the code-page tables.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "ovknls.h"

namespace {

const NlsByteMap* const kCharacterMaps[] = {&lcd2x20Map, &vfd2x20Map, &lcvfd2x20Map, &operMap};

TEST(NlsMaps, PrintableAsciiAndBlankShowAsThemselvesOnCharacterDisplays) {
    for (const NlsByteMap* map : kCharacterMaps) {
        for (unsigned c = 0x20; c < 0x7F; ++c) EXPECT_EQ((*map)[c], c) << std::hex << c;
        EXPECT_EQ((*map)[NLS_GLYPH_BLANK], ' ');
        EXPECT_EQ((*map)[0], ' ');
        EXPECT_EQ((*map)[0x300 - 0x100], '?'); // an unassigned glyph
    }
}

TEST(NlsMaps, ModelsDifferInUpperHalfAndEuro) {
    // u with diaeresis (437: 0x81) and the euro sign.
    struct Row {
        const NlsByteMap* map;
        unsigned char uUmlaut, euro;
    } rows[] = {
        {&lcd2x20Map, 'u', 0x00},
        {&operMap, 'u', 0x00},
        {&vfd2x20Map, 0x81, 0x00},
        {&lcvfd2x20Map, 0x81, 0xD5},
        {&shopMap, 'U', 'E'},
    };
    for (const Row& r : rows) {
        EXPECT_EQ((*r.map)[0x81], r.uUmlaut);
        EXPECT_EQ((*r.map)[NLS_GLYPH_EURO], r.euro);
    }
}

TEST(NlsMaps, AtBoundsTheGlyphNumber) {
    EXPECT_EQ(operMap.at('A', '#'), 'A');
    EXPECT_EQ(operMap.at(NLS_GLYPH_COUNT - 1, '#'), '?');
    EXPECT_EQ(operMap.at(NLS_GLYPH_COUNT, '#'), '#');
    EXPECT_EQ(operMap.at(0xFFFF, '#'), '#');
    const unsigned char* blank = gc5x12slice.at(0xFFFF);
    EXPECT_EQ(std::memcmp(blank, gc5x12slice.slice[NLS_GLYPH_BLANK], NLS_SLICE_BYTES), 0);
}

TEST(NlsMaps, ShopperDisplayShowsDigitsCapitalsAndSeparators) {
    const std::string in = "0129azAZ-,. +!#";
    const std::string want = "0129AZAZ-,.    ";
    for (size_t i = 0; i < in.size(); ++i)
        EXPECT_EQ(shopMap[static_cast<unsigned char>(in[i])], static_cast<unsigned char>(want[i]))
            << in[i];
    EXPECT_EQ(shopMap[NLS_GLYPH_BLANK], ' ');
}

TEST(NlsSlices, PrintableCharactersAreDistinctAndFoundAgain) {
    std::set<std::string> seen;
    for (unsigned c = 0x20; c < 0x7F; ++c) {
        const unsigned char* dots = gc5x12slice.slice[c];
        EXPECT_TRUE(seen.insert(std::string(reinterpret_cast<const char*>(dots), 10)).second)
            << "duplicate dots for " << static_cast<char>(c);
        EXPECT_EQ(nlsSliceAscii(dots), static_cast<int>(c));
        // Rows 0-1 and 9-11 stay empty: the font sits in rows 2-8.
        for (int col = 0; col < 5; ++col) {
            EXPECT_EQ(dots[col] & 0x03, 0);
            EXPECT_EQ(dots[col + 5] & ~0x01, 0);
        }
    }
    const unsigned char zero[10] = {};
    EXPECT_EQ(std::memcmp(gc5x12slice.slice[NLS_GLYPH_BLANK], zero, 10), 0);
    // 'H': columns 7F 08 08 08 7F moved down two rows.
    const unsigned char h[10] = {0xFC, 0x20, 0x20, 0x20, 0xFC, 0x01, 0x00, 0x00, 0x00, 0x01};
    EXPECT_EQ(std::memcmp(gc5x12slice.slice['H'], h, 10), 0);
    // An accented letter is drawn as its base letter; the euro sign has its own dots.
    EXPECT_EQ(nlsSliceAscii(gc5x12slice.slice[0x81]), 'u');
    EXPECT_EQ(nlsSliceAscii(gc5x12slice.slice[NLS_GLYPH_EURO]), -1);
    EXPECT_EQ(nlsSliceAscii(nullptr), -1);
}

TEST(NlsCodePages, TablesAndFontFiles) {
    uint16_t glyphs[256];
    for (int cp : {437, 850}) {
        ASSERT_EQ(nlsCodePageGlyphs(cp, glyphs), 0);
        for (unsigned b = 0; b < 256; ++b) EXPECT_EQ(glyphs[b], b);
    }
    ASSERT_EQ(nlsCodePageGlyphs(858, glyphs), 0);
    EXPECT_EQ(glyphs[0xD5], NLS_GLYPH_EURO);
    EXPECT_EQ(glyphs['A'], 'A');
    // The double-byte pages: their single-byte half, ASCII to itself, the rest to none.
    for (int cp : {932, 934, 942, 944, 949}) {
        ASSERT_EQ(nlsCodePageGlyphs(cp, glyphs), 0) << cp;
        EXPECT_EQ(glyphs['A'], 'A');
        EXPECT_EQ(glyphs[0x7E], 0x7E);
        EXPECT_EQ(glyphs[0x80], 0);
        EXPECT_EQ(glyphs[0xFF], 0);
    }
    EXPECT_EQ(nlsCodePageGlyphs(936, glyphs), -1);

    unsigned char file[512];
    ASSERT_EQ(nlsCodePageFile(858, file), 0);
    EXPECT_EQ(file[2 * 0x41], 0x41);
    EXPECT_EQ(file[2 * 0x41 + 1], 0x00);
    EXPECT_EQ(file[2 * 0xD5], 0x80);
    EXPECT_EQ(file[2 * 0xD5 + 1], 0x02);
    EXPECT_EQ(nlsCodePageFile(1, file), -1);
}

TEST(NlsGlyphAscii, NearestCharacters) {
    EXPECT_EQ(nlsGlyphAscii('x'), 'x');
    EXPECT_EQ(nlsGlyphAscii(0x80), 'C');
    EXPECT_EQ(nlsGlyphAscii(0xA5), 'N');
    EXPECT_EQ(nlsGlyphAscii(NLS_GLYPH_BLANK), ' ');
    EXPECT_EQ(nlsGlyphAscii(NLS_GLYPH_EURO), 'E');
    EXPECT_EQ(nlsGlyphAscii(5000), '?');
}

} // namespace

namespace {

// Dot row `row` (0-11) of column c of a numeric-display cell.
bool CellDot(const unsigned char* cell, int c, int row) {
    return row < 8 ? (cell[c] >> row) & 1 : (cell[c + 5] >> (row - 8)) & 1;
}

TEST(NlsPrinterMaps, ByteMapsKeepAsciiAndPlaceTheEuroSign) {
    for (const NlsByteMap* map : {&mod63Map, &mod3Map}) {
        for (unsigned g = 0x20; g < 0x7F; ++g) EXPECT_EQ(map->at(g, 0xEE), g);
        EXPECT_EQ(map->at(0, 0xEE), 0);             // no code for glyph 0
        EXPECT_EQ(map->at(NLS_GLYPH_BLANK, 0xEE), 0);
        EXPECT_EQ(map->at(NLS_GLYPH_COUNT, 0xEE), 0xEE); // beyond the map
        EXPECT_EQ(map->at(0x82, 0xEE), 0x82);        // the upper half of 437 as it stands
    }
    EXPECT_EQ(mod3Map.at(NLS_GLYPH_EURO, 0), 246);
    EXPECT_EQ(mod3Map.at(246, 0xEE), 0);
    EXPECT_EQ(mod63Map.at(NLS_GLYPH_EURO, 0), 0xD5);
    EXPECT_EQ(mod63Map.at(246, 0xEE), 246);
}

TEST(NlsPrinterMaps, BitmapsFollowTheCellsOfTheNumericDisplay) {
    EXPECT_EQ(sizeof(gc8x16map), 10944u);
    EXPECT_EQ(sizeof(mod2map), 684u * 7u);
    for (unsigned g = 0; g < NLS_GLYPH_COUNT; ++g) {
        const unsigned char* cell = gc5x12slice.at(g);
        const unsigned char* seven = mod2map.at(g);
        for (int c = 0; c < 5; ++c) ASSERT_EQ(seven[c], cell[c]) << g;
        ASSERT_EQ(seven[5], 0);
        ASSERT_EQ(seven[6], 0);
        const unsigned char* rows = gc8x16map.at(g);
        for (int r = 0; r < 16; ++r) {
            unsigned expected = 0;
            for (int c = 0; r >= 2 && r <= 13 && c < 5; ++c)
                if (CellDot(cell, c, r - 2)) expected |= 0x80u >> c;
            ASSERT_EQ(rows[r], expected) << "glyph " << g << " row " << r;
        }
    }
    // 'I' has a vertical stroke: the middle column lit in every row of its 7-row field.
    const unsigned char* i = gc8x16map.at('I');
    for (int r = 4; r <= 10; ++r) EXPECT_TRUE(i[r] & 0x20) << r;
    EXPECT_EQ(gc8x16map.at(NLS_GLYPH_COUNT + 5), gc8x16map.at(NLS_GLYPH_BLANK));
}

TEST(NlsDisplayMaps, FiveByTwelveRowsAreTheCellsRows) {
    EXPECT_EQ(sizeof(gc5x12map), 684u * 12u);
    for (unsigned g = 0; g < NLS_GLYPH_COUNT; ++g) {
        const unsigned char* cell = gc5x12slice.at(g);
        const unsigned char* rows = gc5x12map.at(g);
        for (int r = 0; r < 12; ++r) {
            unsigned expected = 0;
            for (int c = 0; c < 5; ++c)
                if (CellDot(cell, c, r)) expected |= 0x80u >> c;
            ASSERT_EQ(rows[r], expected) << "glyph " << g << " row " << r;
            ASSERT_EQ(rows[r] & 0x07, 0) << "glyph " << g << " row " << r;
        }
    }
    // 'L': its left column lit through the 7-row field (rows 2-8), its foot in row 8.
    const unsigned char* l = gc5x12map.at('L');
    for (int r = 2; r <= 8; ++r) EXPECT_TRUE(l[r] & 0x80) << r;
    EXPECT_EQ(l[8], 0xF8);
    EXPECT_EQ(gc5x12map.at(NLS_GLYPH_COUNT), gc5x12map.at(NLS_GLYPH_BLANK));
}

} // namespace
