// libovkjni as Java programs use it: a JVM runs the Java test programs of this folder (which
// print "N passed, N failed"). The client API natives go through the real daemon on a
// simulated terminal; the keyboard hook reads a FIFO standing in for the sniffer node of a
// private root.
#include <sys/stat.h>

#include <string>

#include "JavaRunner.h"
#include "SimulatedTerminal.h"

namespace {

const char kTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x22 oper\n";

class JavaApiE2E : public TerminalTest {};

TEST_F(JavaApiE2E, ClientApiNativesOnTheOperatorDisplay) {
    ASSERT_NO_FATAL_FAILURE(StartTerminalWithoutClient(kTerminal, ""));
    const JavaResult r = RunJava(JNI_TEST_JAR, "ApiNativesTest", {}, root_.at("/java.err"));
    EXPECT_TRUE(r.Passed()) << r.Report();
}

TEST(JavaKeyboardHook, ScanCodesReachTheCallbackAndTheLightFailsWithoutAConsole) {
    TempRoot root;
    ASSERT_EQ(::mkfifo(root.at("/dev/ovksyskbd").c_str(), 0600), 0);
    const JavaResult r = RunJava(JNI_TEST_JAR, "KeyboardHookTest", {}, root.at("/java.err"));
    EXPECT_TRUE(r.Passed()) << r.Report();
    // The failures are told on standard error as the Java side cannot see them.
    for (const char* line : {"ovkjnilx->getMethodID failed\n", "ovkjnilx->processKeyProc exception occured\n",
                             "open: No such file or directory\n", "KDGETLED: "})
        EXPECT_NE(r.errors.find(line), std::string::npos) << line << r.Report();
}

TEST(JavaKeyboardHook, NoSnifferNodeFailsTheHook) {
    TempRoot root;
    const JavaResult r = RunJava(JNI_TEST_JAR, "NoSnifferTest", {}, root.at("/java.err"));
    EXPECT_TRUE(r.Passed()) << r.Report();
    EXPECT_NE(r.errors.find("ovkjnilx->open kbd sniffer failed!!!\n"), std::string::npos) << r.Report();
}

} // namespace
