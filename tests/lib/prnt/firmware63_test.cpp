// The model-6397 firmware file: the file of each subtype and the levels of its header.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "Prnt63Firmware.h"
#include "TempRoot.h"

namespace {

TEST(Prn63Firmware, TheFileOfEachSubtype) {
    struct Case {
        int subtype;
        bool bit1, bit5;
        const char* file;
    } cases[] = {
        {0, false, false, "ovk63mc.hex"},   {1, true, true, "ovk63rz8.hex"},
        {1, false, true, "ovk63v4.hex"},    {1, false, false, "ovk63mch.hex"},
        {9, false, false, "ovk63v4.hex"},   {41, false, false, "ovk63v4.hex"},
        {73, false, false, "ovk63v4.hex"},  {105, false, false, "ovk63v4.hex"},
        {8, false, false, "ovk63rz8.hex"},  {136, false, false, "ovk63rz8.hex"},
        {200, false, false, "ovk63rz8.hex"}, {2, false, false, "ovk63mcd.hex"},
        {7, false, true, "ovk63v4.hex"},    {3, false, false, "ovk63mch.hex"},
        {6, false, true, "ovk63v4.hex"},    {10, false, false, nullptr},
    };
    for (const Case& c : cases) {
        const char* got = Prnt63FirmwareFile(c.subtype, c.bit1, c.bit5);
        if (!c.file) {
            EXPECT_EQ(got, nullptr) << c.subtype;
        } else {
            ASSERT_NE(got, nullptr) << c.subtype;
            EXPECT_STREQ(got, c.file) << c.subtype;
        }
    }
}

TEST(Prn63Firmware, HeaderLinesGiveTheLevelsAndAnythingElseCountsAsZero) {
    struct Case {
        const char* text;
        int subtype;
        uint32_t ec, revision;
    } cases[] = {
        {"EcLevel 21\nRevisionLevel 0a\n:1000\n", 4, 0x21, 0x0A},
        {"EcLevel 21\nRevisionLevel 0a\n", 0, 0x21, 0},       // subtype 0 has no revision line
        {"EcLevel 0x1F\r\n", 3, 0x1F, 0},                     // no second line
        {"  EcLevel\t2A \n", 3, 0x2A, 0},
        {"EcLevel 21\nBootLevel 3\n", 3, 0x21, 0},           // a boot level is no revision
        {"EcLevelX 21\n", 3, 0, 0},                           // another word
        {"EcLevel zz\n", 3, 0, 0},                            // no number
        {"EcLevel 123456789\n", 3, 0, 0},                     // more than 32 bits
        {"EcLevel FFFFFFFF\n", 3, 0xFFFFFFFFu, 0},
        {"", 3, 0, 0},
        {"RevisionLevel 5\nEcLevel 7\n", 3, 0, 0},            // lines out of order
    };
    for (const Case& c : cases) {
        const Prnt63FirmwareHeader h = Prnt63ReadFirmwareHeader(c.text, std::strlen(c.text), c.subtype);
        EXPECT_EQ(h.ecLevel, c.ec) << c.text;
        EXPECT_EQ(h.revision, c.revision) << c.text;
    }
    // Bounded by the length given, not by a terminator.
    const char cut[] = {'E', 'c', 'L', 'e', 'v', 'e', 'l', ' ', '2', '1'};
    EXPECT_EQ(Prnt63ReadFirmwareHeader(cut, 9, 0).ecLevel, 0x2u);
}

TEST(Prn63Firmware, HeaderOfAFile) {
    TempRoot root;
    const std::string path = root.path() + "/ovk63mch.hex";
    std::ofstream(path) << "EcLevel 30\nRevisionLevel 2\n" << std::string(10000, ':') << "\n";
    Prnt63FirmwareHeader h;
    EXPECT_EQ(Prnt63ReadFirmwareHeaderFile(path, 4, h), 0);
    EXPECT_EQ(h.ecLevel, 0x30u);
    EXPECT_EQ(h.revision, 2u);
    EXPECT_EQ(Prnt63ReadFirmwareHeaderFile(root.path() + "/none.hex", 4, h), 316);
    EXPECT_EQ(h.ecLevel, 0u);
}

} // namespace

namespace {

TEST(Prn63Firmware, TheLoaderStandInLogsEachStart) {
    TempRoot root;
    const std::string program = std::string(OVK_STAGING_ROOT) + "/usr/bin/ovkfld63";
    for (const char* args : {"-P 17 -S 1 -F /usr/share/pos/ovk63mch.hex", "-P 34 -S 2 -F x.hex"}) {
        const std::string command = "OVK_ROOT='" + root.path() + "' '" + program + "' " + args;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    std::ifstream log(root.path() + "/var/log/ovkfld63.log");
    std::string first, second, more;
    std::getline(log, first);
    std::getline(log, second);
    EXPECT_EQ(first, "-P 17 -S 1 -F /usr/share/pos/ovk63mch.hex");
    EXPECT_EQ(second, "-P 34 -S 2 -F x.hex");
    EXPECT_FALSE(std::getline(log, more));
}

} // namespace
