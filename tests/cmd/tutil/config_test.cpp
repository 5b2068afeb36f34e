// The utility configuration file and the tone keys of the resource file.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

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

// Both files are rewritten whole; what the file is stays as it was.
class RewriteTest : public ::testing::Test {
protected:
    struct File {
        const char* path;
        const char* before;
        std::function<void()> rewrite;
        const char* written; // a line the rewrite puts in
    };
    std::vector<File> Files() {
        return {
            {kRes, "*readTimeout: 500\n*touchEntryClick: OFF\n",
             [] {
                 bool entry = true, exit = false, disabled = false;
                 CResourceFileConfig().SetTouchToneConfig(entry, exit, disabled);
             },
             "*touchEntryClick: ON\n"},
            {kConf, "ConnectionType = RS485\nCalibrated = 0 ! 1=True 0=False\n",
             [] { CTouch6348Config(const_cast<char*>("/var/lib/misc")).SetCalibrated(true); },
             "Calibrated = 1 ! 1=True 0=False\n"},
        };
    }
    // The names in a folder of the root.
    std::vector<std::string> Names(const std::string& folder) {
        std::vector<std::string> names;
        if (DIR* d = opendir(root_.at(folder).c_str())) {
            while (dirent* e = readdir(d))
                if (e->d_name[0] != '.') names.push_back(e->d_name);
            closedir(d);
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    TempRoot root_;
};

TEST_F(RewriteTest, TheFileKeepsItsModeAndOwner) {
    // Only a privileged process can give a file another owner.
    const bool privileged = geteuid() == 0;
    for (const File& f : Files()) {
        root_.write(f.path, f.before);
        const std::string path = root_.at(f.path);
        ASSERT_EQ(chmod(path.c_str(), 0640), 0);
        if (privileged) {
            ASSERT_EQ(chown(path.c_str(), 4321, 4322), 0);
        }
        f.rewrite();
        EXPECT_NE(root_.read(f.path).find(f.written), std::string::npos) << f.path;
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u) << f.path;
        if (privileged) {
            EXPECT_EQ(st.st_uid, 4321u) << f.path;
            EXPECT_EQ(st.st_gid, 4322u) << f.path;
        }
    }
    EXPECT_EQ(Names("/var/lib/misc"), (std::vector<std::string>{"ovksys.res", "ovktutil.conf"}))
        << "temporary files left";
}

TEST_F(RewriteTest, ALinkStaysAndItsFileIsRewritten) {
    for (const File& f : Files()) {
        // A relative link to a file in another folder.
        const std::string target = std::string("/etc/shared") + std::strrchr(f.path, '/');
        root_.write(target, f.before);
        const std::string link = root_.at(f.path);
        std::remove(link.c_str());
        ASSERT_EQ(symlink((std::string("../../../etc/shared") + std::strrchr(f.path, '/')).c_str(), link.c_str()), 0);
        f.rewrite();
        struct stat st;
        ASSERT_EQ(lstat(link.c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << f.path;
        EXPECT_NE(root_.read(target).find(f.written), std::string::npos) << f.path;
    }
    EXPECT_EQ(Names("/etc/shared").size(), 2u) << "temporary files left";
}

} // namespace
