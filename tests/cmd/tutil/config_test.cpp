// The utility configuration file and the tone keys of the resource file.
#include <gtest/gtest.h>

#include <string>

#include "CResourceFileConfig.h"
#include "CTouch6348Config.h"
#include "TempRoot.h"

namespace {

const char kConf[] = "/var/lib/misc/ovktutil.conf";
const char kDefault[] =
    "ConnectionType = RS485\n!ConnectionType = RS232\n!ConnectionType = USB\n"
    "Calibrated = 0 ! 1=True 0=False\nRemindCalibrate = 1 ! 1=True 0=False\n";
const char kRes[] = "/var/lib/misc/ovksys.res";
const char kSuffix[] = "//var/lib/misc/ovktutil.conf\r\nThe default setting is restored!";

class ConfigTest : public ::testing::Test {
protected:
    CTouch6348Config Read(const std::string& content) {
        root_.write(kConf, content);
        return CTouch6348Config(const_cast<char*>("/var/lib/misc"));
    }
    TempRoot root_;
};

TEST_F(ConfigTest, MissingFileGetsTheFiveDefaultLines) {
    CTouch6348Config c(const_cast<char*>("/var/lib/misc"));
    EXPECT_EQ(root_.read(kConf), kDefault);
    EXPECT_STREQ(c.GetFileName(), "//var/lib/misc/ovktutil.conf");
    EXPECT_EQ(c.GetConnectionType(), CTouch6348Config::RS485);
    EXPECT_EQ(c.GetScreenResolution(), 0);
    EXPECT_FALSE(c.GetCalibrated());
    EXPECT_TRUE(c.GetRemindCalibrate());
    EXPECT_FALSE(c.GetLogFileFlag());
    EXPECT_STREQ(c.GetErrorMessage(), "");
}

TEST_F(ConfigTest, ValuesAreReadFromNormalisedLinesWithTheirRemarks) {
    CTouch6348Config c = Read(
        "connectiontype=usb\nscreenresolution=3!x\nCalibrated = 1 ! 0\n"
        "LogFile = 1 ! on\nRemindCalibrate = 0 !\n");
    EXPECT_EQ(c.GetConnectionType(), CTouch6348Config::USB);
    EXPECT_EQ(c.GetScreenResolution(), 3);
    EXPECT_TRUE(c.GetCalibrated());
    EXPECT_TRUE(c.GetLogFileFlag());
    EXPECT_FALSE(c.GetRemindCalibrate());
    EXPECT_STREQ(c.GetErrorMessage(), "");
    // 12: each digit alone is within 0-7; the last line may end without a line end.
    EXPECT_EQ(Read("ScreenResolution = 12").GetScreenResolution(), 12);
    // Both RS485 and USB: the connection type stays.
    EXPECT_EQ(Read("ConnectionType = RS485 USB !\n").GetConnectionType(), CTouch6348Config::RS485);
}

TEST_F(ConfigTest, FaultsRestoreTheDefaultFile) {
    struct Case {
        const char* content;
        std::string message;
    };
    const Case cases[] = {
        {"ScreenResolution = 8 !\n", "Wrong definition in configuration file:\r\n"},
        {"ScreenResolution = !\n", "Wrong definition in configuration file!\r\n"},
        {"LogFile = 1\n", " Wrong definition in configuration file:\r\n"},
        {"Calibrated = 1 !\nCalibrated = 0 !\n",
         "Mutiple definitions of Calibrated in configuration file:\r\n"},
        {"ConnectionType = USB\nConnectionType = USB\n",
         "Multiple definitions of ConnectionType in configuration file:\r\n"},
        {"RemindCalibrate = 2 !\n", " Wrong definition in configuration file:\r\n"},
        {"LogFile = 1 !\nLogFile = 1 !\n", "Multiple definitions of LogFile in file:\r\n"},
    };
    for (const Case& c : cases) {
        CTouch6348Config config = Read(c.content);
        EXPECT_EQ(config.GetErrorMessage(), c.message + kSuffix) << c.content;
        EXPECT_EQ(root_.read(kConf), kDefault) << c.content;
    }
    // Members set before the fault keep their values.
    CTouch6348Config partial = Read("Calibrated = 1 !\nScreenResolution = 9 !\n");
    EXPECT_TRUE(partial.GetCalibrated());
    EXPECT_EQ(partial.GetScreenResolution(), 0);
}

TEST_F(ConfigTest, SettersRewriteTheirLines) {
    CTouch6348Config c(const_cast<char*>("/var/lib/misc"));
    c.SetScreenResolution(4);
    EXPECT_EQ(root_.read(kConf),
              std::string(kDefault) +
                  "ScreenResolution = 4 ! 0=? 1=640x480 2=800x600 3=1024x768 4=1152x864 "
                  "5=1280x1024 6=1400x1050 7=1600x1200\n");
    c.SetCalibrated(true);
    c.SetRemindCalibrate(false);
    const std::string now = root_.read(kConf);
    EXPECT_NE(now.find("Calibrated = 1 ! 1=True 0=False\n"), std::string::npos);
    EXPECT_NE(now.find("RemindCalibrate = 0 ! 1=True 0=False\n"), std::string::npos);
    CTouch6348Config again(const_cast<char*>("/var/lib/misc"));
    EXPECT_TRUE(again.GetCalibrated());
    EXPECT_FALSE(again.GetRemindCalibrate());
    EXPECT_EQ(again.GetScreenResolution(), 4);

    // No Calibrated line: the file stays as it was.
    root_.write(kConf, "ConnectionType = RS485\n");
    c.SetCalibrated(true);
    EXPECT_EQ(root_.read(kConf), "ConnectionType = RS485\n");
    // 100 lines: refused, the default file restored.
    root_.write(kConf, std::string(100, '\n'));
    c.SetCalibrated(false);
    EXPECT_EQ(std::string(c.GetErrorMessage()), std::string("Too many lines in configuration file.\r\n") + kSuffix);
    EXPECT_EQ(root_.read(kConf), kDefault);
}

class ResourceTest : public ::testing::Test {
protected:
    TempRoot root_;
    CResourceFileConfig res_;
};

TEST_F(ResourceTest, ToneLinesAreReplacedOrAppended) {
    root_.write(kRes, "*readTimeout: 500\n");
    bool entry = true, exit = false, disabled = false;
    res_.SetTouchToneConfig(entry, exit, disabled);
    EXPECT_EQ(res_.GetError(), 0);
    EXPECT_EQ(root_.read(kRes),
              "*readTimeout: 500\n!Touch screen (6348) tone setting\n"
              "!Touch screen tone entry click setting\n*touchEntryClick: ON\n"
              "!Touch screen tone exit click setting\n*touchExitClick: OFF\n"
              "!Touch screen tone click disabled setting\n*touchClickVolume: HIGH\n");
    entry = false;
    disabled = true;
    res_.SetTouchToneConfig(entry, exit, disabled);
    const std::string now = root_.read(kRes);
    EXPECT_NE(now.find("*touchEntryClick: OFF\n"), std::string::npos);
    EXPECT_NE(now.find("*touchClickVolume: LOW\n"), std::string::npos);
    EXPECT_EQ(now.size(), root_.read(kRes).size());

    bool e = true, x = true, d = false;
    res_.GetTouchToneConfig(e, x, d);
    EXPECT_EQ(res_.GetError(), 0);
    EXPECT_FALSE(e);
    EXPECT_FALSE(x);
    EXPECT_TRUE(d);
}

TEST_F(ResourceTest, FaultsAreReported) {
    bool e = false, x = false, d = false;
    res_.SetTouchToneConfig(e, x, d); // no file
    EXPECT_EQ(res_.GetError(), 1);
    EXPECT_STREQ(res_.GetErrorMessage(), "");

    root_.write(kRes, "*touchExitClick: ON\n*touchExitClick: OFF\n");
    res_.GetTouchToneConfig(e, x, d);
    EXPECT_EQ(res_.GetError(), 1);
    EXPECT_EQ(std::string(res_.GetErrorMessage()),
              "Mutiple definitions of Exit Click in resource file:\r\n/var/lib/misc/ovksys.res"
              "\r\nPlease install the QORVEL Varnelle again!");

    const std::string big(300, '\n');
    root_.write(kRes, big);
    res_.SetTouchToneConfig(e, x, d);
    EXPECT_EQ(res_.GetError(), 1);
    EXPECT_EQ(root_.read(kRes), big); // unchanged
}

} // namespace
