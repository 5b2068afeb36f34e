// The test program's pieces without a daemon: escapes, request matching, its names of codes,
// the printing of data blocks and events, options and the file helpers.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "Escapes.h"
#include "FileHelpers.h"
#include "Options.h"
#include "Printing.h"
#include "QueueReader.h"
#include "TempRoot.h"
#include "TstrNames.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

struct EscapeCase {
    const char* typed;
    std::string bytes;
    const char* printed;
};

TEST(TstrEscapes, ExpandsEachKindOfEscape) {
    const EscapeCase cases[] = {
        {"\\x41\\0", std::string("A\0", 2), ""},
        {"\\101", "A", ""},
        {"\\x", std::string("\0", 1), ""},
        {"\\xZ", std::string("\0Z", 2), ""},
        {"\\x414", "A4", ""},
        {"\\4011", "\0011", ""}, // three octal digits at most, modulo 256
        {"end\\", "end\\", ""},
        {"\\\"\\'\\?\\\\", "\"'?\\", ""},
        {"\\a\\b\\f\\n\\r\\t\\v", "\a\b\f\n\r\t\v", ""},
        {"a\\qb", "a\\qb", "--> Error, unknown escape sequence '\\q'\n"},
        {"plain", "plain", ""},
    };
    for (const EscapeCase& c : cases) {
        char buffer[64];
        std::strcpy(buffer, c.typed);
        CaptureStdout();
        const int n = ExpandString(buffer);
        EXPECT_EQ(GetCapturedStdout(), c.printed) << c.typed;
        EXPECT_EQ(std::string(buffer, static_cast<size_t>(n)), c.bytes) << c.typed;
    }
}

TEST(TstrFindMatch, MatchesOneRequestAndReportsMissesAndAmbiguity) {
    int32_t request = 0;
    for (const char* typed : {"get values", "GET_VALUES", "Get Values", "sysgetvalues"}) {
        request = 0;
        EXPECT_TRUE(FindMatch(typed, &request)) << typed;
        EXPECT_EQ(request, 302) << typed;
    }
    CaptureStdout();
    EXPECT_FALSE(FindMatch("sound tone", &request));
    EXPECT_EQ(GetCapturedStdout(), "  --> Multiple matches for: 'sound tone'\n");
    CaptureStdout();
    EXPECT_FALSE(FindMatch("no such request", &request));
    EXPECT_EQ(GetCapturedStdout(), "  --> Couldn't find match for: 'no such request'\n");
    CaptureStdout();
    EXPECT_FALSE(FindMatch(" _ ", &request));
    EXPECT_EQ(GetCapturedStdout(), "");
    // The program's own rows are matched too.
    EXPECT_TRUE(FindMatch("erase eprom", &request));
    EXPECT_EQ(request, 4918);
}

TEST(TstrNames, TheProgramsRowsLieOverTheFormattersTables) {
    EXPECT_STREQ(SubtypeName(0x4A, 0x01), "6734");
    EXPECT_STREQ(SubtypeName(0x1D, 0x0D), "6348_KEYPAD");
    EXPECT_STREQ(SubtypeName(0x1C, 0x06), "  6 (0x06)"); // left out here
    EXPECT_STREQ(SubtypeName(0x1C, 0x00), "NONE");
    EXPECT_STREQ(DeviceName(255), "INTERNAL_POSQ");
    EXPECT_STREQ(DeviceName(254), "INTERNAL_SNF");
    EXPECT_STREQ(DeviceName(0x22), "OPERATOR_DISPLAY_A");
    EXPECT_STREQ(RequestName(4915), "POS_PRN_SILENCE_TONE");
    EXPECT_STREQ(ErrorName(4930), "POSERR_PRN_INVALID_RECORD");
    EXPECT_STREQ(MessageName(0x420D), "POSM_SYS_DEVICE_ONLINE");
    EXPECT_STREQ(MessageName(0x421B), "16923  (0x0000421B)");
    FreeTableStrings();
}

TEST(TstrPrinting, DataBlocks) {
    unsigned char bytes[17];
    for (int i = 0; i < 17; ++i) bytes[i] = static_cast<unsigned char>(0x41 + i);
    bytes[3] = 0x07;
    CaptureStdout();
    PrintDataBlock("Read Results", bytes, 17);
    EXPECT_EQ(GetCapturedStdout(),
              "Read Results:  (17 bytes)\n\n"
              "   0000: 41 42 43 07 45 46 47 48 - 49 4A 4B 4C 4D 4E 4F 50  | ABC.EFGHIJKLMNOP\n"
              "   0010: 51 -- -- -- -- -- -- -- - -- -- -- -- -- -- -- --  | Q               \n"
              "\n");
    CaptureStdout();
    PrintDataBlock("Nothing", bytes, 0);
    PrintDataBlock("Absent", nullptr, 5);
    EXPECT_EQ(GetCapturedStdout(), "");
    static unsigned char big[65520];
    CaptureStdout();
    PrintDataBlock(nullptr, big, 65520);
    EXPECT_EQ(GetCapturedStdout(), "(No title):  (65520 bytes)\n\n");
}

TEST(TstrPrinting, EventRecords) {
    // Slot 1, port 0x11, the operator display at 0x22 of type 2; subtype 0, descriptor 0.
    _POSQMSG online{1, 0x420D, 0x01112202, 0};
    CaptureStdout();
    PrintQueueMsg(&online, 16, true);
    const std::string pad(15, ' ');
    EXPECT_EQ(GetCapturedStdout(),
              "\n" + pad + "POSM_SYS_DEVICE_ONLINE - type " + TypeName(2) + ", subtype NONE,\n" + pad +
                  "serviceDescriptor 0x00, slotNumber 0x01 (SLOT_1),\n" + pad +
                  "portNumber 0x11 (PORT_1), deviceNumber 0x22 (OPERATOR_DISPLAY_A)\n");
    // Unknown slot and address: both numbers in their fallback texts.
    _POSQMSG odd{1, 0x420C, 0x7A1163F2u, 0x0305};
    CaptureStdout();
    PrintQueueMsg(&odd, 16, false);
    const std::string text = GetCapturedStdout();
    EXPECT_NE(text.find("slotNumber 0x7A (122    (0x0000007A))"), std::string::npos) << text;
    EXPECT_NE(text.find("deviceNumber 0x63 (99     (0x00000063))"), std::string::npos) << text;
    EXPECT_NE(text.find("serviceDescriptor 0x03"), std::string::npos) << text;

    _POSQMSG other{1, 0x420F, 0x00010003, 7};
    CaptureStdout();
    PrintQueueMsg(&other, 16, false);
    EXPECT_EQ(GetCapturedStdout(), "\nPOSQ Message from Handle  3: POSM_TILL_OPENED\n"
                                   "     mp1 = 0x00010003 (65539)\n"
                                   "     mp2 = 0x00000007 (7)\n");
    CaptureStdout();
    PrintQueueMsg(&other, 8, false);
    const std::string wrong = GetCapturedStdout();
    EXPECT_EQ(wrong.rfind("\nERROR: Unknown POSQ message format!!!!\n\nPOSQ Info:  (8 bytes)\n", 0), 0u) << wrong;
}

TEST(TstrPrinting, ArgumentLists) {
    // Each name carries its type letter in the byte in front of it.
    const char d[] = "Dcount", x[] = "Xmask", s[] = "Sname", q[] = "Qodd";
    unsigned char block[] = {3, 0, 0xDE, 0xAD, 0xBE};
    PosArg args[] = {{d + 1, -5}, {x + 1, 0x1F}, {s + 1, reinterpret_cast<intptr_t>("abc")},
                     {"Bblob" + 1, reinterpret_cast<intptr_t>(block + 2)}, {q + 1, 0}};
    CaptureStdout();
    PrintArgs(args, 5);
    const std::string text = GetCapturedStdout();
    EXPECT_EQ(text.rfind("   1: count = -5\n   2: mask = 0x1F\n   3: name = \"abc\"\n"
                         "   4: blob = Binary Data:  (3 bytes)\n\n   0000: DE AD BE",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("   5: odd = INTERNAL ERROR !!!!!!!!!!!!!\n"), std::string::npos) << text;
}

TEST(TstrOptions, StatusComesFromTheLastHelpOrUnknownArgument) {
    struct Case {
        std::vector<std::string> args;
        int status;
        int unknownLines;
    };
    const Case cases[] = {
        {{"-?", "-x"}, 2, 1}, {{"-x", "-?"}, 1, 1}, {{"-help"}, 1, 0},
        {{"?"}, 1, 0},        {{"-noauto"}, 0, 0},  {{"-nothread", "-bad", "-worse"}, 2, 2},
    };
    for (const Case& c : cases) {
        std::vector<char*> argv{const_cast<char*>("OVKTSTR")};
        for (const std::string& a : c.args) argv.push_back(const_cast<char*>(a.c_str()));
        CaptureStdout();
        EXPECT_EQ(ParseOptions(static_cast<int>(argv.size()), argv.data()), c.status);
        const std::string text = GetCapturedStdout();
        int unknown = 0;
        for (size_t at = 0; (at = text.find("Unknown option '", at)) != std::string::npos; ++at) ++unknown;
        EXPECT_EQ(unknown, c.unknownLines) << text;
        EXPECT_EQ(text.find("Syntax: OVKTSTR [option] [...] \n") != std::string::npos, c.status != 0);
    }
    // -noauto: neither the thread nor the automatic check.
    RunThread = 1;
    AutoCheckQueue = 1;
    char* noauto[] = {const_cast<char*>("OVKTSTR"), const_cast<char*>("-noauto")};
    EXPECT_EQ(ParseOptions(2, noauto), 0);
    EXPECT_EQ(RunThread.load(), 0);
    EXPECT_EQ(AutoCheckQueue.load(), 0);
    RunThread = 1;
    AutoCheckQueue = 1;
}

TEST(TstrOptions, HelpLinesArePaddedTo77Characters) {
    CaptureStdout();
    PrintHelp();
    const std::string text = GetCapturedStdout();
    EXPECT_NE(text.find("\nOptions:" + std::string(69, ' ') + "\n"), std::string::npos);
    EXPECT_NE(text.find("-help          = Display this help information." + std::string(30, ' ') + "\n\n\n"),
              std::string::npos);
}

TEST(TstrFiles, ReadAndWriteWholeFiles) {
    TempRoot root;
    const std::string path = root.at("/data.bin");
    const char data[] = "0123456789";
    CaptureStdout();
    EXPECT_EQ(WriteToFile(path.c_str(), data, 10), 10);
    EXPECT_EQ(GetCapturedStdout(), "OVKTSTR: Wrote 10 bytes to '" + path + "'\n");

    char buffer[16] = {};
    CaptureStdout();
    EXPECT_EQ(ReadFromFile(path.c_str(), buffer, sizeof buffer), 10);
    EXPECT_EQ(GetCapturedStdout(), "OVKTSTR: Read 10 bytes from '" + path + "'\n");
    EXPECT_EQ(std::string(buffer, 10), "0123456789");

    CaptureStdout();
    EXPECT_EQ(ReadFromFile(path.c_str(), buffer, 4), 0);
    EXPECT_EQ(GetCapturedStdout(),
              "OVKTSTR: Buffer not big enough: have 4 bytes, '" + path + "' is 10 bytes long\n");

    root.write("/empty", "");
    CaptureStdout();
    EXPECT_EQ(ReadFromFile(root.at("/empty").c_str(), buffer, sizeof buffer), -1);
    EXPECT_NE(GetCapturedStdout().find("on ftell of file"), std::string::npos);

    CaptureStdout();
    EXPECT_EQ(ReadFromFile(root.at("/missing").c_str(), buffer, sizeof buffer), -1);
    EXPECT_NE(GetCapturedStdout().find("Error 2 on open of file"), std::string::npos);
    CaptureStdout();
    EXPECT_EQ(WriteToFile(root.at("/no/such/folder/file").c_str(), data, 3), -1);
    EXPECT_NE(GetCapturedStdout().find("on open of file"), std::string::npos);
}

} // namespace
