// The font download program's font-file reader: lines by kind, settings with and without
// their numbers, records in hexadecimal pairs, and what is refused.
#include <gtest/gtest.h>

#include <string>

#include "K7eFont.h"
#include "TempRoot.h"

namespace {

using k7e::LineKind;
using k7e::Setting;

k7e::FontLine parse(const std::string& text) { return k7e::parseLine(text.data(), text.size()); }

TEST(K7eFont, LinesBySettingCommentAndRecord) {
    struct Case {
        const char* text;
        LineKind kind;
        Setting setting;
        int value;
    } cases[] = {
        {"* a comment", LineKind::Skip, Setting::Width, 0},
        {"", LineKind::Skip, Setting::Width, 0},
        {"width 7", LineKind::Setting, Setting::Width, 7},
        {"width", LineKind::Setting, Setting::Width, 9},
        {"height 16", LineKind::Setting, Setting::Height, 16},
        {"height 12", LineKind::Setting, Setting::Height, 9},
        {"height", LineKind::Setting, Setting::Height, 9},
        {"space", LineKind::Setting, Setting::Space, 3},
        {"codepage 932", LineKind::Setting, Setting::CodePage, 932},
        {"codepage", LineKind::Setting, Setting::CodePage, 850},
        {"mode 1", LineKind::Setting, Setting::Mode, 1},
        {"mode", LineKind::Setting, Setting::Mode, 0},
        {"widths 4", LineKind::Setting, Setting::Width, 4}, // the word is a prefix
    };
    for (const Case& c : cases) {
        const k7e::FontLine line = parse(c.text);
        EXPECT_EQ(line.kind, c.kind) << c.text;
        if (c.kind == LineKind::Setting) {
            EXPECT_EQ(line.setting, c.setting) << c.text;
            EXPECT_EQ(line.value, c.value) << c.text;
        }
    }
}

TEST(K7eFont, RecordsAreHexPairsAndBadLinesAreRefused) {
    k7e::FontLine line = parse("0041a0B1ff\r");
    ASSERT_EQ(line.kind, LineKind::Record);
    EXPECT_EQ(line.bytes, (std::vector<uint8_t>{0x00, 0x41, 0xA0, 0xB1, 0xFF}));
    EXPECT_EQ(parse("0041zz").kind, LineKind::Bad);
    EXPECT_EQ(parse("00411").kind, LineKind::Bad);
    EXPECT_EQ(parse("00").kind, LineKind::Bad);
    // Only the first 199 characters of a line count.
    const std::string longLine = "0041" + std::string(300, 'A');
    line = parse(longLine);
    EXPECT_EQ(line.kind, LineKind::Bad); // 199 characters: an odd count
    line = parse(longLine.substr(0, 198));
    ASSERT_EQ(line.kind, LineKind::Record);
    EXPECT_EQ(line.bytes.size(), 99u);
}

TEST(K7eFont, CountsTheLinesThatAreNeitherCommentsNorSettings) {
    TempRoot root;
    root.write("/f.fon", "* font\nwidth 9\n\n0041AA\n0042BB\nxyz1\ncodepage 850\n0043CC");
    EXPECT_EQ(k7e::FontFile::countRecords(root.at("/f.fon")), 4);
    EXPECT_EQ(k7e::FontFile::countRecords(root.at("/none.fon")), -1);
    k7e::FontFile file;
    ASSERT_TRUE(file.open(root.at("/f.fon")));
    std::vector<LineKind> kinds;
    for (k7e::FontLine line; file.next(line);) kinds.push_back(line.kind);
    EXPECT_EQ(kinds, (std::vector<LineKind>{LineKind::Setting, LineKind::Record, LineKind::Record, LineKind::Bad,
                                            LineKind::Setting, LineKind::Record}));
}

} // namespace
