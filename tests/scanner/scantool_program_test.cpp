// ovkscantool as a technician runs it on a console: the command line, the detection steps
// that are skipped or fail, and a port that is not there. The serial port is a
// pseudo-terminal linked as the root's /dev/ttyS0.
#include <gtest/gtest.h>

#include <pty.h>
#include <unistd.h>

#include <string>

#include "PtySession.h"
#include "TempRoot.h"

namespace {

class ScanToolProgram : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(openpty(&master_, &slave_, name_, nullptr, nullptr), 0);
        root_.write("/dev/.keep", "");
        ASSERT_EQ(symlink(name_, root_.at("/dev/ttyS0").c_str()), 0);
    }
    void TearDown() override {
        ::close(slave_);
        ::close(master_);
    }
    // Runs the program to its end; its output.
    std::string Run(std::vector<std::string> args) {
        args.insert(args.begin(), OVKSCANTOOL_PROGRAM);
        PtySession tool;
        EXPECT_TRUE(tool.Start(args));
        EXPECT_EQ(tool.Wait(30000), 0);
        return tool.Output();
    }

    TempRoot root_;
    int master_ = -1, slave_ = -1;
    char name_[64] = {};
};

TEST_F(ScanToolProgram, CommandLineErrorsShowTheHelpScreen) {
    struct Case {
        std::vector<std::string> args;
        const char* error;
    };
    for (const Case& c : {Case{{"-p4", "-p3"}, "Port number setted twice"}, Case{{"-b960000"}, "Invalid parameter"},
                          Case{{"-h", "-nf"}, "Help requested"}}) {
        const std::string out = Run(c.args);
        EXPECT_NE(out.find("|Integrated scanner configuration and test utility v"), std::string::npos) << out;
        EXPECT_NE(out.find(std::string(c.error) + "\r\n\r\nUsage: ovkscantool <parameter>...<parameter>"),
                  std::string::npos)
            << out;
        EXPECT_NE(out.find("-nf\t\tDon't request firmware level."), std::string::npos) << out;
    }
}

TEST_F(ScanToolProgram, NoFamilyToTry) {
    const std::string out = Run({"-p1", "-no", "-nl"});
    EXPECT_NE(out.find("Using " + root_.at("/dev/ttyS0")), std::string::npos) << out;
    EXPECT_NE(out.find("Detecting OmniScanner...skipped\r\nDetecting LineScanner...skipped\r\n"), std::string::npos)
        << out;
    EXPECT_EQ(out.find("Detecting scanner's port settings"), std::string::npos) << out;
}

TEST_F(ScanToolProgram, APseudoTerminalCarriesNoOmniScanner) {
    const std::string out = Run({"-p1", "-nl"});
    EXPECT_NE(out.find("Detecting OmniScanner...Omni Scanner not detected\r\nDetecting LineScanner...skipped"),
              std::string::npos)
        << out;
}

TEST_F(ScanToolProgram, AMissingPort) {
    const std::string out = Run({"-p9"});
    EXPECT_NE(out.find("Couldn't open com port: Invalid handle value"), std::string::npos) << out;
}

} // namespace
