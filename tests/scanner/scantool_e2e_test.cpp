// ovkscantool against the simulated line scanner: detection at the scanner's speed, reset to
// the expected configuration, a new baud rate and the reminder for it, detection again at that
// rate, the firmware lines, a scanned label, and a key to end.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "PtySession.h"
#include "TempRoot.h"

namespace {

// One control command of the running simulator and its reply.
std::string Sim(const std::string& command) {
    const std::string line = std::string(OVKSCANSIM_PROGRAM) + " -x '" + command + "' 2>&1";
    std::string reply;
    if (FILE* p = ::popen(line.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) reply.append(buffer, n);
        ::pclose(p);
    }
    return reply;
}

TEST(ScanToolE2E, SetsUpALineScannerAndShowsItsLabels) {
    TempRoot root;
    root.write("/dev/.keep", "");
    root.write("/tmp/.keep", "");
    PtySession sim;
    ASSERT_TRUE(sim.Start({OVKSCANSIM_PROGRAM, "-p", "1", "-b", "57600", "-f", "V2.07", "-i", "0x0A1B"}));
    ASSERT_TRUE(sim.WaitFor("ovkscansim ready")) << sim.Output();

    PtySession tool;
    ASSERT_TRUE(tool.Start({OVKSCANTOOL_PROGRAM, "-p1", "-no", "-b38400"}));
    auto expect = [&](const std::string& text, int timeoutMs = 60000) {
        EXPECT_TRUE(tool.WaitFor(text, timeoutMs)) << "no \"" << text << "\" in:\n" << tool.Unconsumed();
    };
    expect("Detecting OmniScanner...skipped\r\nDetecting LineScanner...detected.");
    expect("Detecting scanner's port settings...(press any key to exit)\r\n");
    expect("detected: baud=57600 parity=N data=8 stop=1\r\n");
    expect("Setting defaults...");
    expect("Default scanner baud rate will be set to 38400.");
    expect("<prop name=\"baudRate\" type=\"String\" value=\"38400\"/>");
    expect("done.\r\nRedetecting scanner's port settings...(press any key to exit)\r\n");
    expect("detected: baud=38400 parity=N data=8 stop=1\r\n");
    expect("Firmware version: V2.07\r\nHardware identifier: 0x0A1B\r\n");
    expect("Please scan UPCA, UPCE, EAN8 and EAN13 barcodes. Press any key to exit.");

    // The scanner got the reset first and the new baud rate later, as frames on its line.
    const std::string frames = Sim("frames");
    EXPECT_EQ(frames.rfind("ok 02 00 42 40 10 42 68 10 42 34 03;", 0), 0u) << frames;
    EXPECT_NE(frames.find("02 00 41 63 40 09 62 04 05 03"), std::string::npos) << frames;
    EXPECT_NE(Sim("state").find("speed=38400"), std::string::npos);

    EXPECT_EQ(Sim("scan EAN13 4006381333931").rfind("ok ", 0), 0u);
    expect("EAN13 barcode decoded\r\nASCII: 4006381333931\r\nHEX:   34/30/30/36/33/38/31/33/33/33/39/33/31/\r\n");
    tool.Type("q");
    EXPECT_EQ(tool.Wait(20000), 0) << tool.Output();
}

} // namespace
