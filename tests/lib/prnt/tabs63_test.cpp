// The model-6397 printer's tab-stop texts and its tone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Prnt63TabStops.h"
#include "ToneFreq.h"

namespace {

TEST(Prn63TabStops, TheTextRule) {
    struct Case {
        std::string text;
        int rc;
    } cases[] = {
        {"100,200,300", 0},         {"100,200,300,400,576", 0}, {"5", 0},
        {"100,100", 0},             {"1a", 0},                  // hex digits, read as decimal
        {"", 4920},                 {"100,,200", 4920},         {"100,", 4920},
        {"1 00", 4920},             {"0", 4920},                {"a1", 4920},
        {"-5", 4920},               {"200,100", 4920},          {"577", 4920},
        {"1,2,3,4,5,6", 4920},      {std::string(100, '1'), 4920},
    };
    for (const Case& c : cases) EXPECT_EQ(Prnt63ValidateTabStops(c.text.c_str(), 576), c.rc) << c.text;
    EXPECT_EQ(Prnt63ValidateTabStops(nullptr, 576), 4920);
}

TEST(Prn63TabStops, SetGetAndTheCommandBytes) {
    struct Case {
        std::string text;
        std::vector<int32_t> stops;
        std::string back;
    } cases[] = {
        {"100,200,300", {100, 200, 300, -1, -1}, "100,200,300"},
        {"1,2,3,4,5,6", {1, 2, 3, 4, 5}, "1,2,3,4,5"},
        {"-5,7", {0, 7, -1, -1, -1}, "0,7"},
        {"", {-1, -1, -1, -1, -1}, ""},
        {std::string(100, '1'), {-1, -1, -1, -1, -1}, ""},
    };
    for (const Case& c : cases) {
        int32_t stops[PRN63_TAB_STOPS];
        Prnt63SetTabStops(c.text.c_str(), stops);
        EXPECT_EQ(std::vector<int32_t>(stops, stops + PRN63_TAB_STOPS), c.stops) << c.text;
        char text[PRN63_TAB_TEXT_MIN];
        ASSERT_TRUE(Prnt63GetTabStops(stops, text, sizeof text));
        EXPECT_EQ(std::string(text), c.back);
    }
    const int32_t stops[PRN63_TAB_STOPS] = {100, 200, 300, -1, 400};
    char small[PRN63_TAB_TEXT_MIN - 1];
    EXPECT_FALSE(Prnt63GetTabStops(stops, small, sizeof small));
    EXPECT_EQ(Prnt63TabStopBytes(stops), (std::vector<unsigned char>{0x00, 0x64, 0x00, 0xC8, 0x01, 0x2C, 0, 0}));
}

TEST(Prn63Tone, FrequencyNoteAndOctave) {
    ToneFreq tone;
    EXPECT_EQ(tone.getFrequency(), 2093u);
    tone.setFrequency(1000); // 23 steps above the base: octave 1, note 11
    EXPECT_EQ(tone.getFrequency(), 1000u);
    EXPECT_EQ(tone.getOctave(), 1);
    EXPECT_EQ(tone.getNote(), 11);
    tone.setFrequency(261);
    EXPECT_EQ(tone.getOctave(), 0);
    EXPECT_EQ(tone.getNote(), 0);
    // A note and an octave give the frequency of the scale, truncated.
    tone.setNote(0);
    tone.setOctave(2);
    EXPECT_EQ(tone.getFrequency(), 1046u);
    tone.setNote(2);
    EXPECT_EQ(tone.getFrequency(), 1175u); // 261.7 * 1.0595^2 * 4 = 1174.9
}

} // namespace
