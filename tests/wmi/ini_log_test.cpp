// The bridge's properties reader and its log.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "TempRoot.h"
#include "UPOSIni.h"
#include "UPOSLog.h"

namespace {

struct IniCase {
    const char* name;
    const char* file;
    const char* section;
    const char* key;
    const char* expected;
};

class IniCases : public ::testing::TestWithParam<IniCase> {};

TEST_P(IniCases, Lookup) {
    const IniCase& c = GetParam();
    TempRoot root;
    root.write("/p.properties", c.file);
    INIFile ini = LoadIni(root.at("/p.properties").c_str());
    EXPECT_EQ(GetIniSetting(ini, c.section, c.key, "dflt"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Properties, IniCases,
    ::testing::Values(
        IniCase{"InSection", "[default]\nupos.requestSocket.Port=42200\n", "default", "upos.requestSocket.Port", "42200"},
        IniCase{"BeforeAnySection", "upos.requestSocket.Port=42200\n[default]\n", "default", "upos.requestSocket.Port", "dflt"},
        IniCase{"EmptySectionName", "upos.requestSocket.Port=42200\n", "", "upos.requestSocket.Port", "42200"},
        IniCase{"LetterCaseIgnored", "[DEFAULT]\nUPOS.REQUESTSOCKET.PORT=1\n", "default", "upos.requestSocket.Port", "1"},
        IniCase{"BlanksStayInKey", "[default]\nupos.requestSocket.Port = 42200\n", "default", "upos.requestSocket.Port", "dflt"},
        IniCase{"BlanksStayInValue", "[default]\nk= v \n", "default", "k", " v "},
        IniCase{"SecondValueWins", "[default]\nk=1\nk=2\n", "default", "k", "2"},
        IniCase{"SectionReopened", "[a]\nk=1\n[b]\n[a]\nj=2\n", "a", "k", "1"},
        IniCase{"CarriageReturnCut", "[default]\r\nk=v\r\n", "default", "k", "v"},
        IniCase{"HashIsAnOrdinaryKey", "[default]\n#k=v\n", "default", "#k", "v"},
        IniCase{"LineWithoutEquals", "[default]\nflag\n", "default", "flag", ""},
        IniCase{"LastLineWithoutNewline", "[default]\nk=v", "default", "k", "v"},
        IniCase{"MissingKey", "[default]\nk=v\n", "default", "other", "dflt"},
        IniCase{"LastBracketEndsSection", "[a]b]\nk=v\n", "a]b", "k", "v"}),
    [](const ::testing::TestParamInfo<IniCase>& info) { return std::string(info.param.name); });

TEST(Ini, MissingFileGivesEmptyMap) {
    INIFile ini = LoadIni("/nonexistent/sysmgmt.properties");
    EXPECT_TRUE(ini.empty());
    EXPECT_EQ(GetIniSetting(ini, "default", "upos.requestSocket.Port", "42115"), "42115");
}

TEST(Ini, OverlongLineEndsTheReadingButKeepsItsStart) {
    TempRoot root;
    const std::string longKey(600, 'k');
    root.write("/p", "[s]\na=1\n" + longKey + "=x\nb=2\n");
    INIFile ini = LoadIni(root.at("/p").c_str());
    EXPECT_EQ(GetIniSetting(ini, "s", "a", "-"), "1");
    EXPECT_EQ(GetIniSetting(ini, "s", longKey.substr(0, 499).c_str(), "-"), "");
    EXPECT_EQ(GetIniSetting(ini, "s", "b", "-"), "-");
}

TEST(Ini, PutWithNullKeyOnlyMakesTheSection) {
    INIFile ini;
    PutIniSetting(ini, "s", nullptr, "");
    ASSERT_EQ(ini.count("S"), 1u);
    EXPECT_TRUE(ini["s"].empty());
    PutIniSetting(ini, "s", "K", "1");
    PutIniSetting(ini, "S", "k", "2");
    EXPECT_EQ(ini["s"].size(), 1u);
    EXPECT_EQ(GetIniSetting(ini, "s", "k", ""), "2");
}

TEST(Ini, CompareOrdersLongerTextFirst) {
    StlIniCompareStringNoCase less;
    EXPECT_FALSE(less("abc", "ABC"));
    EXPECT_FALSE(less("ABC", "abc"));
    EXPECT_TRUE(less("abcd", "abc"));
    EXPECT_TRUE(less("ABA", "abb"));
}

class LogTest : public ::testing::Test {
protected:
    void TearDown() override { unsetenv("UPOS_SYSMGMT_LOG"); }
    TempRoot root_;
};

TEST_F(LogTest, OffWhileTheVariableIsUnset) {
    unsetenv("UPOS_SYSMGMT_LOG");
    EXPECT_FALSE(UPOSLog::CheckIfLog());
    UPOSLog::Line("nothing");
    EXPECT_EQ(root_.read("/var/log/UPOSSysMgmt.log"), "");
    EXPECT_EQ(UPOSLog::GetFileLocation(), root_.at("/var/log/UPOSSysMgmt.log"));
}

TEST_F(LogTest, OnWhenSetEvenEmptyWithTimeStampedLinesAndTextUnchanged) {
    setenv("UPOS_SYSMGMT_LOG", "", 1);
    ASSERT_TRUE(UPOSLog::CheckIfLog());
    char text[] = "100%s done %d";
    UPOSLog::LogMessage(text, 5);
    UPOSLog::LogMessage(42);
    std::string line = "caller's";
    UPOSLog::LogMessage(line);
    EXPECT_EQ(line, "caller's\r\n");
    const std::string log = root_.read("/var/log/UPOSSysMgmt.log");
    const std::regex expected("\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d 100%s done %d\r\n"
                              "\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d 42\r\n"
                              "\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d caller's\r\n");
    EXPECT_TRUE(std::regex_match(log, expected)) << log;
}

// A line for a file that cannot be opened goes nowhere: no folder is made for it, it does not
// fall back to the log file, and the lines after it are written as before.
TEST_F(LogTest, UnwritableFileDropsTheLine) {
    setenv("UPOS_SYSMGMT_LOG", "1", 1);
    UPOSLog::LogMessage(root_.at("/no/such/folder/log"), "dropped\r\n");
    EXPECT_FALSE(std::filesystem::exists(root_.at("/no")));
    EXPECT_EQ(root_.read("/var/log/UPOSSysMgmt.log"), "");
    UPOSLog::Line("kept");
    const std::string log = root_.read("/var/log/UPOSSysMgmt.log");
    EXPECT_TRUE(std::regex_match(log, std::regex("\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d kept\r\n"))) << log;
}

} // namespace
