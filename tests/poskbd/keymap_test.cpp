#include "KeyMap.h"
#include "Sniffer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Bytes = std::vector<uint8_t>;

struct Step {
    unsigned code;
    int value;
    Bytes expected;
};

struct Case {
    const char* name;
    bool numLock;
    std::vector<Step> steps;
};

std::string hex(const Bytes& b) {
    std::string s;
    char buf[4];
    for (uint8_t x : b) {
        std::snprintf(buf, sizeof buf, "%02X ", x);
        s += buf;
    }
    return s;
}

TEST(KeyMapper, MapsKeyEventsToScanCodes) {
    const Case cases[] = {
        {"plain key press and release", true, {{30, 1, {0x1E}}, {30, 0, {0x9E}}}},
        {"repeat gives the press again", true, {{30, 1, {0x1E}}, {30, 2, {0x1E}}, {30, 0, {0x9E}}}},
        {"Home with left Shift, Num Lock off", false,
         {{42, 1, {0x2A}},
          {102, 1, {0xE0, 0xAA, 0xE0, 0x47}},
          {102, 0, {0xE0, 0xC7, 0xE0, 0x2A}},
          {42, 0, {0xAA}}}},
        {"Home with right Shift, Num Lock off", false,
         {{54, 1, {0x36}}, {102, 1, {0xE0, 0xB6, 0xE0, 0x47}}, {102, 0, {0xE0, 0xC7, 0xE0, 0x36}}}},
        {"End with both Shifts, Num Lock off", false,
         {{42, 1, {0x2A}}, {54, 1, {0x36}},
          {107, 1, {0xE0, 0xAA, 0xB6, 0xE0, 0x4F}},
          {107, 0, {0xE0, 0xCF, 0xE0, 0x2A, 0xE0, 0x36}}}},
        {"Home with both Shifts falls back to the map", false,
         {{42, 1, {0x2A}}, {54, 1, {0x36}}, {102, 1, {0xE0, 0x47}}}},
        {"Up with Num Lock on", true,
         {{103, 1, {0xE0, 0x2A, 0xE0, 0x48}}, {103, 0, {0xE0, 0xC8, 0xE0, 0xAA}}}},
        {"Up with Num Lock off, no Shift", false, {{103, 1, {0xE0, 0x48}}, {103, 0, {0xE0, 0xC8}}}},
        {"Print Screen", true, {{99, 1, {0xE0, 0x2A, 0xE0, 0x37}}, {99, 0, {0xE0, 0xB7, 0xE0, 0xAA}}}},
        {"Print Screen with Ctrl", true,
         {{29, 1, {0x1D}}, {99, 1, {0xE0, 0x37}}, {99, 0, {0xE0, 0xB7}}}},
        {"Print Screen with Alt", true, {{56, 1, {0x38}}, {99, 1, {0x37}}, {99, 0, {0xB7}}}},
        {"Pause", true, {{119, 1, {0xE1, 0x1D, 0x45, 0xE1, 0x9D, 0xC5}}, {119, 0, {}}}},
        {"Pause with Ctrl", true, {{97, 1, {0xE0, 0x1D}}, {119, 1, {0xE0, 0x46, 0xE0, 0xC6}}, {119, 0, {}}}},
        {"184 with left Ctrl", true, {{29, 1, {0x1D}}, {184, 1, {0x9D, 0x1C, 0x1D}}, {184, 0, {}}}},
        {"184 with both Ctrl", true,
         {{29, 1, {0x1D}}, {97, 1, {0xE0, 0x1D}},
          {184, 1, {0xE0, 0x9D, 0x9D, 0x1C, 0xE0, 0x1D}}, {184, 0, {}}}},
        {"183 with right Ctrl", true, {{97, 1, {0xE0, 0x1D}}, {183, 1, {0xE0, 0x9D, 0x01, 0xE0, 0x1D}}}},
        {"184 alone uses the map", true, {{184, 1, {0x63}}, {184, 0, {0xE3}}}},
        {"a released modifier no longer counts", true,
         {{29, 1, {0x1D}}, {29, 0, {0x9D}}, {184, 1, {0x63}}}},
        {"key codes beyond 255 give nothing", true, {{0x2FF, 1, {}}, {0x100, 0, {}}}},
    };
    for (const Case& c : cases) {
        bool numLock = c.numLock;
        KeyMapper mapper([&] { return numLock; });
        for (const Step& s : c.steps)
            EXPECT_EQ(hex(mapper.map(s.code, s.value)), hex(s.expected))
                << c.name << ": code " << s.code << " value " << s.value;
    }
}

TEST(KeyMapper, ReadsNumLockOnlyForNavigationKeys) {
    int reads = 0;
    KeyMapper mapper([&] {
        ++reads;
        return true;
    });
    mapper.map(30, 1);
    mapper.map(99, 1);
    EXPECT_EQ(reads, 0);
    mapper.map(105, 1);
    mapper.map(105, 0);
    EXPECT_EQ(reads, 2);
}

TEST(Sniffer, TakesKeysFromUsbAndRawScansFromOtherKeyboards) {
    KeyMapper mapper([] { return true; });
    uint8_t out[kSnifferBytes];
    bool cut = true;
    input_event key{};
    key.type = EV_KEY;
    key.code = 30;
    key.value = 1;
    input_event raw{};
    raw.type = EV_MSC;
    raw.code = MSC_RAW;
    raw.value = 0x1E9E;
    input_event sync{};
    sync.type = EV_SYN;

    ASSERT_EQ(snifferBytes(key, true, mapper, out, cut), 1u);
    EXPECT_EQ(out[0], 0x1E);
    EXPECT_FALSE(cut);
    EXPECT_EQ(snifferBytes(key, false, mapper, out, cut), 0u);
    EXPECT_EQ(snifferBytes(raw, true, mapper, out, cut), 0u);
    ASSERT_EQ(snifferBytes(raw, false, mapper, out, cut), 1u);
    EXPECT_EQ(out[0], 0x9E);
    EXPECT_EQ(snifferBytes(sync, true, mapper, out, cut), 0u);
}

} // namespace
