// Argument blocks and the resource-name table: golden items, the client's bounded reading of
// a get-values reply, and the daemon's checked decoding of a request's block.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "ByteHelpers.h"
#include "ovkargs.h"
#include "ovkrestable.h"

using Bytes = std::vector<uint8_t>;

namespace {

Bytes serialize(std::vector<PosArg> args, int request = 0, unsigned room = 4096) {
    Bytes out(room, 0xEE);
    int n = apiSerializePosArgs(out.data(), room, args.data(), static_cast<int>(args.size()), request);
    if (n < 0) return {};
    out.resize(static_cast<size_t>(n));
    return out;
}

intptr_t ptr(const void* p) { return reinterpret_cast<intptr_t>(p); }

} // namespace

TEST(ResourceTable, RowsAndLookup) {
    int integers = 0, strings = 0;
    for (const ResourceItem& r : resTable) (r.isInteger ? integers : strings)++;
    EXPECT_EQ(integers, 170);
    EXPECT_EQ(strings, 68);
    EXPECT_EQ(FindResourceName("slotNumber"), 0);
    EXPECT_EQ(FindResourceName("ecRevisionLevel"), MaxResourceItems - 1);
    EXPECT_EQ(FindResourceName("SlotNumber"), -1);
    EXPECT_EQ(FindResourceName("deviceHost"), -1);
    EXPECT_EQ(FindResourceName(""), -1);
    EXPECT_EQ(FindResourceName(nullptr), -1);
    const ResourceItem& vpd = resTable[FindResourceName("vitalProductData")];
    EXPECT_TRUE(vpd.raw);
    EXPECT_EQ(vpd.maxLength, 24);
    EXPECT_EQ(resTable[FindResourceName("doubleKey60")].maxLength, 20);
    EXPECT_EQ(resTable[FindResourceName("printTabStops")].maxLength, 25);
    EXPECT_FALSE(resTable[FindResourceName("printTabStops")].raw);
}

TEST(ArgSerialize, GoldenItems) {
    EXPECT_EQ(serialize({{"slotNumber", 3}}),
              hexBytes("01 0B 04 00") + textBytes("slotNumber\0\0", 12) + hexBytes("03 00 00 00"));
    EXPECT_EQ(serialize({{"readTimeout", -1}}),
              hexBytes("01 0C 04 00") + textBytes("readTimeout\0", 12) + hexBytes("FF FF FF FF"));

    Bytes dn = serialize({{"deviceName", ptr("ab")}});
    ASSERT_EQ(dn.size(), 48u);
    EXPECT_EQ(dn, hexBytes("02 0B 1E 00") + textBytes("deviceName\0\0", 12) + textBytes("ab", 2) +
                      zeros(30));

    // Names the table does not know become empty items; so do null and empty names.
    EXPECT_EQ(serialize({{"deviceHost", ptr("h")}, {"serviceDescriptor", 1}, {"nope", 5},
                         {nullptr, 5}, {"", 5}}),
              zeros(20));
}

TEST(ArgSerialize, StringAndRawRows) {
    // A raw row takes exactly its length, NULs and all.
    uint8_t vpd[24];
    for (int i = 0; i < 24; ++i) vpd[i] = static_cast<uint8_t>(i % 3 == 0 ? 0 : 0x30 + i);
    Bytes b = serialize({{"vitalProductData", ptr(vpd)}});
    ASSERT_EQ(b.size(), 4u + 20 + 24);
    EXPECT_EQ(Bytes(b.begin() + 24, b.end()), Bytes(vpd, vpd + 24));

    // A string row stops at the first NUL or at its length (then without a NUL).
    b = serialize({{"doubleKey01", ptr("0123456789012345678901234")}});
    ASSERT_EQ(b.size(), 4u + 12 + 20);
    EXPECT_EQ(Bytes(b.begin() + 16, b.end()), textBytes("01234567890123456789", 20));
}

TEST(ArgSerialize, CharacterDefinitions) {
    uint8_t def1[74], def2[74];
    std::memset(def1, 0xA1, sizeof def1);
    std::memset(def2, 0xB2, sizeof def2);
    std::vector<PosArg> args = {{reinterpret_cast<const char*>(intptr_t(0x1234)), ptr(def1)},
                                {reinterpret_cast<const char*>(intptr_t(0x41)), ptr(def2)}};
    Bytes b = serialize(args, POS_DSP_DEFINE_CHARACTERS);
    ASSERT_EQ(b.size(), 168u);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 8), hexBytes("03 02 4A 00 34 12 00 00"));
    EXPECT_EQ(Bytes(b.begin() + 8, b.begin() + 82), Bytes(def1, def1 + 74));
    EXPECT_EQ(Bytes(b.begin() + 82, b.begin() + 88), hexBytes("00 00 03 02 4A 00"));
    EXPECT_EQ(serialize(args, POS_PRN_DEFINE_CHARACTERS), b);
    EXPECT_TRUE(serialize(args, POS_PRN_DEFINE_CHARACTERS, 167).empty());
}

TEST(ArgSerialize, RoomIsChecked) {
    PosArg a{"slotNumber", 3};
    uint8_t out[20];
    errno = 0;
    EXPECT_EQ(apiSerializePosArgs(out, 16, &a, 1, 0), -1);
    EXPECT_EQ(errno, POSERR_SYS_BUFFER_TOO_SMALL);
    EXPECT_EQ(apiSerializePosArgs(out, 20, &a, 1, 0), 20);
    PosArg unknown{"nope", 1};
    EXPECT_EQ(apiSerializePosArgs(out, 3, &unknown, 1, 0), -1);
    EXPECT_EQ(apiSerializePosArgs(out, 4, &unknown, 1, 0), 4);
    EXPECT_EQ(apiSerializePosArgs(out, 20, nullptr, 1, 0), 0);
    EXPECT_EQ(apiSerializePosArgs(out, 20, &a, 0, 0), 0);
    PosArg nullString{"deviceName", 0};
    errno = 0;
    EXPECT_EQ(apiSerializePosArgs(out, 20, &nullString, 1, 0), -1);
}

// ---------------------------------------------------------------------------------------
// Client: reading a get-values reply

TEST(ArgDeserialize, StoresValuesInOrder) {
    char name[31];
    std::memset(name, 'x', sizeof name);
    PosArg reply[] = {{"slotNumber", 7}, {"deviceName", ptr("printer")}, {"nope", 1}};
    uint8_t block[256];
    int len = apiSerializePosArgs(block, sizeof block, reply, 3, POS_SYS_GET_VALUES);
    ASSERT_GT(len, 0);

    PosArg args[] = {{"slotNumber", 0}, {"deviceName", ptr(name)}, {"nope", 99}};
    EXPECT_EQ(apiDeserializePosArgs(block, static_cast<unsigned>(len), args, 3), 0);
    EXPECT_EQ(args[0].value, 7);
    EXPECT_STREQ(name, "printer");
    EXPECT_EQ(std::string(name + 8, 23), std::string(23, 'x')); // the text and its NUL only
    EXPECT_EQ(args[2].value, 99);
}

// A string read back is written with its terminator and no further: a buffer sized for what
// the device can hold (a printer's retry string of up to 87 characters), shorter than the
// row's 150-byte field, keeps the bytes past it. A text that fills the field has no NUL.
TEST(ArgDeserialize, AStringIsWrittenUpToItsTerminatorOnly) {
    struct Case {
        const char* what;
        size_t length;  // of the text the device answers
        size_t buffer;  // the caller's, before the guard
    };
    const Case cases[] = {{"device limit", 87, 88}, {"short", 5, 88}, {"empty", 0, 88}, {"the whole field", 150, 150}};
    for (const Case& c : cases) {
        const std::string text(c.length, 'R');
        PosArg reply{"retryString", ptr(text.c_str())};
        uint8_t block[256];
        const int len = apiSerializePosArgs(block, sizeof block, &reply, 1, POS_SYS_GET_VALUES);
        ASSERT_GT(len, 0) << c.what;
        std::vector<char> buffer(c.buffer + 64, '#');
        PosArg a{"retryString", ptr(buffer.data())};
        EXPECT_EQ(apiDeserializePosArgs(block, static_cast<unsigned>(len), &a, 1), 0) << c.what;
        EXPECT_EQ(std::string(buffer.data(), c.length), text) << c.what;
        if (c.length < 150) {
            EXPECT_EQ(buffer[c.length], 0) << c.what;
        }
        const size_t written = c.length < 150 ? c.length + 1 : c.length;
        EXPECT_EQ(std::string(buffer.data() + written, buffer.size() - written), std::string(buffer.size() - written, '#'))
            << c.what << ": written past the text";
    }
}

TEST(ArgDeserialize, BoundsLengthsByTheBlockAndTheRow) {
    // A string item claiming 200 value bytes for a 30-byte row: 30 bytes are stored.
    Bytes item = hexBytes("02 0B C8 00") + textBytes("deviceName\0\0", 12) + Bytes(200, 'Q');
    char name[31];
    std::memset(name, 'x', sizeof name);
    PosArg a{"deviceName", ptr(name)};
    EXPECT_EQ(apiDeserializePosArgs(item.data(), static_cast<unsigned>(item.size()), &a, 1), 0);
    EXPECT_EQ(std::string(name, 30), std::string(30, 'Q'));
    EXPECT_EQ(name[30], 'x');

    // A raw row: bounded the same way.
    uint8_t vpd[25];
    std::memset(vpd, 0x11, sizeof vpd);
    item = hexBytes("02 11 40 00") + textBytes("vitalProductData\0\0\0\0", 20) + Bytes(64, 0x77);
    a = {"vitalProductData", ptr(vpd)};
    EXPECT_EQ(apiDeserializePosArgs(item.data(), static_cast<unsigned>(item.size()), &a, 1), 0);
    EXPECT_EQ(vpd[23], 0x77);
    EXPECT_EQ(vpd[24], 0x11);

    struct Case {
        const char* what;
        Bytes block;
    };
    std::vector<Case> bad = {
        {"value runs past the block", hexBytes("02 0B C8 00") + textBytes("deviceName\0\0", 12) + Bytes(40, 'Q')},
        {"name runs past the block", hexBytes("01 FF 04 00") + zeros(16)},
        {"header cut short", hexBytes("01 0B")},
        {"integer of 2 bytes", hexBytes("01 0B 02 00") + textBytes("slotNumber\0\0", 12) + zeros(4)},
        {"unknown item type", hexBytes("09 00 00 00")},
        {"empty item with lengths", hexBytes("00 04 00 00 00 00 00 00")},
        {"too few items", hexBytes("00 00 00 00")},
    };
    for (const Case& c : bad) {
        PosArg args[2] = {{"nvramSize", 5}, {"slotNumber", 6}};
        EXPECT_EQ(apiDeserializePosArgs(c.block.data(), static_cast<unsigned>(c.block.size()), args, 2), -1)
            << c.what;
        EXPECT_EQ(args[1].value, 6) << c.what;
    }
}

TEST(ArgDeserialize, ItemsOfAnotherKindDoNotOverwriteTheArgument) {
    char name[31] = "keep";
    // An integer item for a string argument would replace the buffer's address.
    Bytes block = hexBytes("01 0B 04 00") + textBytes("slotNumber\0\0", 12) + hexBytes("01 00 00 00");
    PosArg a{"deviceName", ptr(name)};
    EXPECT_EQ(apiDeserializePosArgs(block.data(), static_cast<unsigned>(block.size()), &a, 1), 0);
    EXPECT_EQ(a.value, ptr(name));
    // A character definition is stepped over whole, so the next item is read where it is.
    Bytes chardef = hexBytes("03 02 4A 00 41 00 00 00") + zeros(76);
    block = chardef + hexBytes("01 0B 04 00") + textBytes("slotNumber\0\0", 12) + hexBytes("09 00 00 00");
    PosArg two[2] = {{"slotNumber", 1}, {"slotNumber", 2}};
    EXPECT_EQ(apiDeserializePosArgs(block.data(), static_cast<unsigned>(block.size()), two, 2), 0);
    EXPECT_EQ(two[0].value, 1);
    EXPECT_EQ(two[1].value, 9);
}

// ---------------------------------------------------------------------------------------
// Daemon: decoding a request's block against the table

TEST(ArgListDecode, DecodesAndEncodesTheValuesBack) {
    uint8_t vpd[24];
    std::memset(vpd, 0, sizeof vpd);
    vpd[0] = 'V';
    vpd[23] = 'Z';
    std::vector<PosArg> in = {{"slotNumber", 3},
                              {"deviceName", ptr("receipt")},
                              {"deviceHost", ptr("remote")},
                              {"vitalProductData", ptr(vpd)},
                              {"readTimeout", -1}};
    Bytes block = serialize(in, POS_SYS_GET_VALUES);
    ArgList list;
    ASSERT_TRUE(list.decode(ByteSpan(block.data(), block.size()), 5, POS_SYS_GET_VALUES));
    ASSERT_EQ(list.size(), 5);
    EXPECT_EQ(list[0].name, resTable[0].name);
    EXPECT_EQ(list[0].value, 3);
    EXPECT_STREQ(reinterpret_cast<const char*>(list[1].value), "receipt");
    EXPECT_EQ(list[2].name, nullptr);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(list[3].value)[23], 'Z');
    EXPECT_EQ(list[4].value, -1);

    // The core writes the values; the reply block carries them in the same order.
    std::strcpy(reinterpret_cast<char*>(list.data()[1].value), "journal");
    list.data()[0].value = 4;
    Bytes out(4096);
    int n = list.encodeValues(out.data(), static_cast<unsigned>(out.size()));
    ASSERT_EQ(n, static_cast<int>(block.size()));
    out.resize(static_cast<size_t>(n));
    char name[31] = {};
    std::vector<PosArg> back = {{"slotNumber", 0}, {"deviceName", ptr(name)}, {"deviceHost", 0},
                                {"vitalProductData", ptr(vpd)}, {"readTimeout", 0}};
    EXPECT_EQ(apiDeserializePosArgs(out.data(), static_cast<unsigned>(n), back.data(), 5), 0);
    EXPECT_EQ(back[0].value, 4);
    EXPECT_STREQ(name, "journal");
    EXPECT_EQ(back[4].value, -1);
}

TEST(ArgListDecode, CharacterDefinitions) {
    uint8_t def[74];
    std::memset(def, 0x5A, sizeof def);
    Bytes block = serialize({{reinterpret_cast<const char*>(intptr_t(0x8140)), ptr(def)}},
                            POS_PRN_DEFINE_CHARACTERS);
    ArgList list;
    ASSERT_TRUE(list.decode(ByteSpan(block.data(), block.size()), 1, POS_PRN_DEFINE_CHARACTERS));
    EXPECT_EQ(reinterpret_cast<intptr_t>(list[0].name), 0x8140);
    EXPECT_EQ(std::memcmp(reinterpret_cast<const void*>(list[0].value), def, 74), 0);
    // The same item outside a character-definition request is refused.
    EXPECT_FALSE(list.decode(ByteSpan(block.data(), block.size()), 1, POS_SYS_SET_VALUES));
    EXPECT_TRUE(list.empty());
}

TEST(ArgListDecode, RefusesItemsThatDisagreeWithTheTable) {
    Bytes slot = serialize({{"slotNumber", 3}});
    struct Case {
        const char* what;
        Bytes block;
        unsigned nargs;
        int request;
    };
    std::vector<Case> cases = {
        {"name not in the table",
         hexBytes("01 05 04 00") + textBytes("nope\0\0\0\0", 8) + zeros(4), 1, 0},
        {"integer item for a string row",
         hexBytes("01 0B 04 00") + textBytes("deviceName\0\0", 12) + zeros(4), 1, 0},
        {"string item of the wrong length",
         hexBytes("02 0B 1C 00") + textBytes("deviceName\0\0", 12) + zeros(28), 1, 0},
        {"integer of 8 bytes", hexBytes("01 0B 08 00") + textBytes("slotNumber\0\0", 12) + zeros(8), 1, 0},
        {"name without its NUL", hexBytes("01 0A 04 00") + textBytes("slotNumber\0\0", 12) + zeros(4), 1, 0},
        {"name with a NUL inside", hexBytes("01 0B 04 00") + textBytes("slot\0umber\0\0", 12) + zeros(4), 1, 0},
        {"integer item in a character-definition request", slot, 1, POS_DSP_DEFINE_CHARACTERS},
        {"fewer items than arguments", slot, 2, 0},
        {"bytes left over", slot + zeros(4), 1, 0},
        {"item cut short", Bytes(slot.begin(), slot.end() - 4), 1, 0},
        {"character definition of the wrong length", hexBytes("03 02 48 00 41 00 00 00") + zeros(72), 1,
         POS_DSP_DEFINE_CHARACTERS},
    };
    for (const Case& c : cases) {
        ArgList list;
        EXPECT_FALSE(list.decode(ByteSpan(c.block.data(), c.block.size()), c.nargs, c.request)) << c.what;
        EXPECT_TRUE(list.empty()) << c.what;
    }
    // An empty block carries no arguments, whatever the count says.
    ArgList list;
    EXPECT_TRUE(list.decode(ByteSpan(), 3, 0));
    EXPECT_TRUE(list.empty());
}
