// The Java touch adapter of libovktutil as a Java program uses it: a JVM runs
// TouchAdapterTest (which prints "N passed, N failed") against the real daemon, with ovksim
// playing the controller with calibration at slot 1, port 0x11, address 0x5C.
#include <string>

#include "JavaRunner.h"
#include "SimulatedTerminal.h"

namespace {

const char kRes[] = "/var/lib/misc/ovksys.res";
const char kWithScreen[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x5c touchelo\n";
const char kWithoutScreen[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x22 oper\n";

class JavaTouchAdapterE2E : public TerminalTest {
protected:
    JavaResult Run(const char* terminal, const char* online, const char* mode) {
        root_.write(kRes, "*touchEntryClick: OFF\n");
        StartTerminalWithoutClient(terminal, "");
        // The daemon tells a new client of every device online: the device must be so by then.
        if (online) {
            EXPECT_TRUE(daemon_.WaitForOutput(online, 20000)) << daemon_.Output();
        }
        return RunJava(TUTIL_TEST_JAR, "TouchAdapterTest", {mode}, root_.at("/java.err"));
    }
};

TEST_F(JavaTouchAdapterE2E, CalibrationModesTonesAndConfiguration) {
    const JavaResult r = Run(kWithScreen, "(1.11.5c) online", "present");
    EXPECT_TRUE(r.Passed()) << r.Report() << root_.read("/var/log/QORVEL6348TouchUtilLog.txt");
}

TEST_F(JavaTouchAdapterE2E, NoScreenAndASecondAdapterFailToInitialise) {
    const JavaResult r = Run(kWithoutScreen, nullptr, "absent");
    EXPECT_TRUE(r.Passed()) << r.Report();
}

TEST_F(JavaTouchAdapterE2E, KillTouchEndsAConnectionStillThere) {
    const JavaResult r = Run(kWithScreen, "(1.11.5c) online", "kill");
    EXPECT_TRUE(r.Passed()) << r.Report();
}

} // namespace
