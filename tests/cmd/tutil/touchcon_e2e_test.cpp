// The console program in a terminal: tmux runs it on the simulated terminal (ovksim plays
// the controller with calibration at slot 1, port 0x11, address 0x5C, the daemon of the
// build serves it); the test reads the screen, presses keys, scripts the controller, and
// holds the screen acquired as a second client where a failure is wanted.
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <vector>
#include <string>
#include <thread>

#include "SimulatedTerminal.h"
#include "TmuxSession.h"

namespace {

const char kRes[] = "/var/lib/misc/ovksys.res";
const char kTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x5c touchelo\n";
const std::string kScreen = " 1 0x11 0x5c";

class TouchConsole : public TerminalTest {
protected:
    // The terminal with the screen online, this process initialised as a client, and the
    // resource file in the root unless told otherwise.
    void Start(bool resourceFile = true) {
        if (resourceFile) root_.write(kRes, "*touchEntryClick: OFF\n");
        // The program's log, shown when a test fails.
        root_.write("/var/lib/misc/ovktutil.conf", "ConnectionType = RS485\nLogFile = 1 ! on\n");
        ASSERT_NO_FATAL_FAILURE(StartTerminal(kTerminal, ""));
        ASSERT_TRUE(WaitForEvent(0x420D, DeviceWord(1, 0x11, 0x5C, 13), 20000)) << Seen();
    }
    // Runs the program with these arguments in a window of that size.
    void Run(const std::string& args, int rows = 25, const std::string& term = "screen") {
        tmux_.reset();
        tmux_ = std::make_unique<TmuxSession>(root_.path());
        // The program's pid goes to "/pid" in the root.
        ASSERT_TRUE(tmux_->Start("cd '" + root_.path() + "' && OVK_ROOT='" + root_.path() + "' TERM=" + term +
                                     " sh -c 'echo $$ > pid; exec " + OVKTOUCHCON_PROGRAM + " " + args + "'",
                                 80, rows));
    }
    // Runs it to its end; its status.
    int RunToEnd(const std::string& args, std::string& screen) {
        Run(args);
        const int status = tmux_->WaitForExit(30000);
        screen = tmux_->Text();
        return status;
    }
    std::string Payloads() { return Sim("payloads" + kScreen); }
    // Checks that the payload list holds the patterns in this order ('.' matches any hex
    // digit); "" when it does, else the first pattern missing.
    static std::string Sequence(const std::string& payloads, const std::vector<std::string>& patterns) {
        std::istringstream in(payloads);
        std::string word;
        size_t next = 0;
        while (next < patterns.size() && in >> word) {
            const std::string& p = patterns[next];
            bool match = word.size() == p.size();
            for (size_t i = 0; match && i < p.size(); ++i) match = p[i] == '.' || p[i] == word[i];
            if (match) ++next;
        }
        return next == patterns.size() ? "" : patterns[next];
    }
    // Holds the screen acquired from this process.
    int HoldScreen() {
        PosArg args[] = {{"slotNumber", 1}, {"portNumber", 0x11}, {"deviceNumber", 0x5C}};
        char name[] = "holder", cls[] = "PosTouch";
        const int handle = PosOpen(name, cls, args, 3);
        EXPECT_GT(handle, 0) << PosErrno();
        EXPECT_EQ(PosIOCtl(handle, 301, nullptr, 0), 0) << PosErrno();
        return handle;
    }
    void TearDown() override {
        if (HasFailure() && tmux_) std::cerr << "--- screen\n" << tmux_->Text();
        if (HasFailure()) std::cerr << "--- log\n" << root_.read("/var/log/QORVEL6348TouchUtilLog.txt");
        tmux_.reset();
        TerminalTest::TearDown();
    }
    std::unique_ptr<TmuxSession> tmux_;
};

TEST_F(TouchConsole, OptionsAndUsage) {
    ASSERT_NO_FATAL_FAILURE(Start());
    std::string screen;
    EXPECT_EQ(RunToEnd("-x", screen), 255);
    EXPECT_NE(screen.find("<<QORVEL 6348 Touch Calibration Utility>>"), std::string::npos) << screen;
    EXPECT_NE(screen.find("Error: Invalid option\nrc = -1\nUsage:"), std::string::npos) << screen;
    EXPECT_NE(screen.find("-t:touchdown : enable touchdown click tone\n"), std::string::npos) << screen;
    EXPECT_EQ(RunToEnd("-t", screen), 254);
    EXPECT_NE(screen.find("Error: Missing argument\nrc = -2\n"), std::string::npos) << screen;
    EXPECT_EQ(RunToEnd("-h", screen), 0);
    EXPECT_NE(screen.find("rc = 0\nUsage:"), std::string::npos) << screen;
    EXPECT_NE(screen.find("-h           : help\n"), std::string::npos) << screen;
}

TEST_F(TouchConsole, NoResourceFileNoStart) {
    ASSERT_NO_FATAL_FAILURE(Start(false));
    std::string screen;
    EXPECT_EQ(RunToEnd("-h", screen), 255);
    EXPECT_NE(screen.find("Can't start touch utility. Error: Touch device is not ready or resource "
                          "file is missing."),
              std::string::npos)
        << screen;
}

TEST_F(TouchConsole, ToneAndResetWriteTheResourceFile) {
    ASSERT_NO_FATAL_FAILURE(Start());
    std::string screen;
    EXPECT_EQ(RunToEnd("-t:liftoff", screen), 5);
    EXPECT_NE(screen.find("Success: Touch tone set to liftoff mode"), std::string::npos) << screen;
    std::string res = root_.read(kRes);
    EXPECT_NE(res.find("*touchEntryClick: OFF"), std::string::npos) << res;
    EXPECT_NE(res.find("*touchExitClick: ON"), std::string::npos) << res;
    EXPECT_NE(res.find("*touchClickVolume: HIGH"), std::string::npos) << res;

    const size_t before = Payloads().size();
    EXPECT_EQ(RunToEnd("-r", screen), 2);
    EXPECT_NE(screen.find("Please DO NOT touch the screen. System is restoring touch to default "
                          "settings.\nSuccess: Touch screen reset to default settings"),
              std::string::npos)
        << screen;
    // A configure ending 00 (native), the restore, then one ending 01 (emulation).
    const std::string sent = Payloads().substr(before);
    EXPECT_EQ(Sequence(sent, {"21....00", "430301520d", "21....01"}), "") << sent;
    res = root_.read(kRes);
    EXPECT_NE(res.find("*touchEntryClick: OFF"), std::string::npos) << res;
    EXPECT_NE(res.find("*touchExitClick: OFF"), std::string::npos) << res;
    EXPECT_NE(res.find("*touchClickVolume: LOW"), std::string::npos) << res;
}

TEST_F(TouchConsole, MenuChoosesAndReports) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_NO_FATAL_FAILURE(Run(""));
    std::string screen;
    ASSERT_TRUE(tmux_->WaitForText("Exit", 15000, &screen)) << screen;
    auto rows = tmux_->Screen();
    ASSERT_GE(rows.size(), 24u) << screen;
    // The title centred in the window's row 1, the entries in the sub-window after the mark.
    EXPECT_EQ(TmuxSession::From(rows[5], 7, 44), "QORVEL 6348 Touch Screen Calibration Utility") << screen;
    const char* entries[] = {"Calibrate Touch Screen", "Enable TouchDown Tone", "Enable LiftOff Tone",
                             "Disable Touch Tone",     "Reset To Default Touch Settings", "Exit"};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(TmuxSession::From(rows[7 + i], 8, static_cast<int>(std::string(entries[i]).size())),
                  entries[i])
            << screen;
    EXPECT_EQ(TmuxSession::From(rows[7], 5, 3), " * ") << screen;
    EXPECT_EQ(rows[22].rfind("Press Up and Down arrow keys to navigate", 0), 0u) << screen;
    EXPECT_EQ(rows[23].rfind("Please Press <ENTER> to choose option", 0), 0u) << screen;

    // Up on the first entry stays there.
    tmux_->SendKeys("Up");
    tmux_->SendKeys("Down Enter");
    ASSERT_TRUE(tmux_->WaitForText("Success: Touch tone set to touchdown mode", 15000, &screen)) << screen;
    rows = tmux_->Screen();
    EXPECT_EQ(TmuxSession::From(rows[20], 2, 41), "Success: Touch tone set to touchdown mode") << screen;

    // With the screen held by another client the change fails.
    const int handle = HoldScreen();
    tmux_->SendKeys("Enter");
    ASSERT_TRUE(tmux_->WaitForText("Error: Fail to set touch tone to touchdown mode", 15000, &screen)) << screen;
    PosClose(handle);

    tmux_->SendKeys("Up Down Down Down Down Down Enter");
    EXPECT_EQ(tmux_->WaitForExit(15000), 6) << tmux_->Text();
}

TEST_F(TouchConsole, FailedCalibrationFromTheMenuReturnsToIt) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_NO_FATAL_FAILURE(Run(""));
    std::string screen;
    ASSERT_TRUE(tmux_->WaitForText("Exit", 15000, &screen)) << screen;
    // Held by another client, the screen cannot go native.
    const int handle = HoldScreen();
    tmux_->SendKeys("Enter");
    ASSERT_TRUE(tmux_->WaitForText("Touch screen calibration failed.", 30000, &screen)) << screen;
    PosClose(handle);
    tmux_->SendKeys("q");
    // The menu is drawn again whole.
    ASSERT_TRUE(tmux_->WaitForText("Reset To Default Touch Settings", 15000, &screen)) << screen;
    EXPECT_NE(screen.find("Press <ENTER> to see the option selected"), std::string::npos) << screen;
    EXPECT_NE(screen.find("QORVEL 6348 Touch Screen Calibration Utility"), std::string::npos) << screen;
    tmux_->SendKeys("Down Down Down Down Down Enter");
    EXPECT_EQ(tmux_->WaitForExit(15000), 6) << tmux_->Text();
}

TEST_F(TouchConsole, CalibrationTakesTwoPoints) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_NO_FATAL_FAILURE(Run("-c"));
    std::string screen;
    ASSERT_TRUE(tmux_->WaitForText("System is configuring environment to start calibration", 15000, &screen))
        << screen;
    EXPECT_NE(screen.find("Please do NOT touch the screen until the calibration"), std::string::npos) << screen;
    EXPECT_NE(screen.find(" point appear "), std::string::npos) << screen;
    std::string last;
    ASSERT_TRUE(WaitForReply("payloads" + kScreen, " 43040143580d", 20000, &last)) << last;
    EXPECT_EQ(Sim("caldone" + kScreen), "ok caldone");
    ASSERT_TRUE(tmux_->WaitForText("lower left corner of the screen ONCE", 15000, &screen)) << screen;
    auto rows = tmux_->Screen();
    EXPECT_EQ(TmuxSession::From(rows[21], 9, 3), "q`q") << screen;
    // Yellow on a colour terminal.
    EXPECT_NE(tmux_->Screen(true)[21].find("\x1b[33m"), std::string::npos) << tmux_->Screen(true)[21];
    EXPECT_EQ(TmuxSession::From(rows[20], 10, 1), "x") << screen;
    EXPECT_EQ(TmuxSession::From(rows[22], 10, 1), "x") << screen;
    EXPECT_EQ(Sim("calpoint" + kScreen + " ok"), "ok calpoint ok");
    ASSERT_TRUE(tmux_->WaitForText("upper right corner of the screen ONCE", 15000, &screen)) << screen;
    rows = tmux_->Screen();
    EXPECT_EQ(TmuxSession::From(rows[3], 69, 3), "q`q") << screen;
    EXPECT_EQ(Sim("calpoint" + kScreen + " ok"), "ok calpoint ok");
    ASSERT_TRUE(tmux_->WaitForText("Touch calibration performed successfully", 20000, &screen)) << screen;
    tmux_->SendKeys("q");
    EXPECT_EQ(tmux_->WaitForExit(15000), 1) << tmux_->Text();
    EXPECT_EQ(Sequence(Payloads(), {"21....00", "43040143580d", "21....01"}), "") << Payloads();
}

TEST_F(TouchConsole, CalibrationWithoutPointsTimesOut) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_NO_FATAL_FAILURE(Run("-c", 25, "vt100"));
    std::string last, screen;
    ASSERT_TRUE(WaitForReply("payloads" + kScreen, " 43040143580d", 20000, &last)) << last;
    EXPECT_EQ(Sim("caldone" + kScreen), "ok caldone");
    ASSERT_TRUE(tmux_->WaitForText("lower left corner of the screen ONCE", 15000, &screen)) << screen;
    const auto target = std::chrono::steady_clock::now();
    // Drawn without colour on a terminal without colours.
    const std::regex colour(R"(\x1b\[([0-9]+;)*3[0-7](;[0-9]+)*m)");
    for (const std::string& row : tmux_->Screen(true)) EXPECT_FALSE(std::regex_search(row, colour)) << row;
    ASSERT_TRUE(tmux_->WaitForText("Error : Calibration Time Out", 20000, &screen)) << screen;
    EXPECT_GE(std::chrono::steady_clock::now() - target, std::chrono::seconds(11));
    ASSERT_TRUE(tmux_->WaitForText("Touch screen calibration failed.", 20000, &screen)) << screen;
    tmux_->SendKeys("q");
    EXPECT_EQ(tmux_->WaitForExit(15000), 1) << tmux_->Text();
}

TEST_F(TouchConsole, SmallWindowRefusesTheMenu) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_NO_FATAL_FAILURE(Run("", 24));
    EXPECT_EQ(tmux_->WaitForExit(30000), 6);
    const std::string screen = tmux_->Text();
    EXPECT_NE(screen.find("Can't initialize touch utility menu.\nLINES and COLUMNS must be at least 25 "
                          "and 80 respectively."),
              std::string::npos)
        << screen;
}

TEST_F(TouchConsole, TerminationDuringCalibrationCleansUp) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_NO_FATAL_FAILURE(Run("-c"));
    std::string last;
    ASSERT_TRUE(WaitForReply("payloads" + kScreen, " 43040143580d", 20000, &last)) << last;
    // After the native switch: SIGTERM to the program.
    const pid_t pid = std::atoi(root_.read("/pid").c_str());
    ASSERT_GT(pid, 0);
    ASSERT_EQ(kill(pid, SIGTERM), 0);
    EXPECT_EQ(tmux_->WaitForExit(20000), 0) << tmux_->Text();
    const std::string sent = Payloads();
    EXPECT_EQ(Sequence(sent, {"43040143580d", "21....01"}), "") << sent;
    const int handle = HoldScreen();
    PosClose(handle);
}

} // namespace
