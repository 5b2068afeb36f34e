// The console program's command line and the layout rules of its calibration screens.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CCalibrationGUI.h"
#include "CCommandLineProcessor.h"

namespace {

int Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "ovktouchcon");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    CCommandLineProcessor p;
    return p.ProcessCmdLine(static_cast<int>(args.size()), argv.data());
}

TEST(CommandLine, OneOptionOrTheMenu) {
    struct Case {
        std::vector<std::string> args;
        int rc;
    } cases[] = {
        {{}, 6},
        {{"-c"}, 1},
        {{"-r"}, 2},
        {{"-t:touchdown"}, 4},
        {{"-t:liftoff"}, 5},
        {{"-t:disable"}, 3},
        {{"-h"}, 0},
        {{"-t:Touchdown"}, -1},
        {{"-ttouchdown"}, -1},
        {{"-t"}, -2},
        {{"-c", "-r"}, -1},
        {{"-x"}, -1},
        {{"-cr"}, -1},
        {{"menu"}, -1},
    };
    for (const Case& c : cases) {
        std::string text;
        for (const std::string& a : c.args) text += a + " ";
        EXPECT_EQ(Parse(c.args), c.rc) << text;
    }
}

TEST(CalibrationScreens, LinesTargetsAndErrorTexts) {
    // 60 characters with a blank at 50 in 56 columns: two lines.
    std::string text(60, 'x');
    text[50] = ' ';
    EXPECT_EQ(CCalibrationGUI::ComputeNumOfLines(text, 56), 2);
    EXPECT_EQ(CCalibrationGUI::ComputeNumOfLines(std::string(56, 'x'), 56), 1);
    EXPECT_EQ(CCalibrationGUI::ComputeNumOfLines(std::string(120, 'x'), 56), 3);

    int r = 0, c = 0;
    ASSERT_TRUE(CCalibrationGUI::TargetCentre(25, 80, 25 * 7 / 8, 80 / 8, r, c));
    EXPECT_EQ(r, 21);
    EXPECT_EQ(c, 10);
    ASSERT_TRUE(CCalibrationGUI::TargetCentre(25, 80, 25 / 8, 80 * 7 / 8, r, c));
    EXPECT_EQ(r, 3);
    EXPECT_EQ(c, 70);
    // A large window moves the centre up and left; one past the edge draws nothing.
    ASSERT_TRUE(CCalibrationGUI::TargetCentre(80, 160, 10, 10, r, c));
    EXPECT_EQ(r, 9);
    EXPECT_EQ(c, 9);
    EXPECT_FALSE(CCalibrationGUI::TargetCentre(80, 160, 0, 10, r, c));

    const char* expected[] = {
        "Error : Inaccurate 1st touched point",       "Error : Inaccurate 2nd touched point",
        "Error : Failed to switch to Native mode",    "Error : Failed to switch to Emulation mode",
        "Error : Unknown error",                      "Error : Calibration command failed",
        "Error : Calibration Time Out",               "Error : Failed to restore tone setting",
        "Error : Unknown error",
    };
    for (int code = 0; code <= 8; ++code) EXPECT_STREQ(CCalibrationGUI::ErrorText(code), expected[code]) << code;
}

} // namespace
