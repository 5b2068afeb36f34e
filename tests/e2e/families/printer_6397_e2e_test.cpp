// The model-6397 printer end to end: ovksim plays the printer at 0x35, the daemon loads its
// plug-in, the printer runs its start-up queries and goes online, a newer firmware file
// starts the loader (once), and the printer goes away and comes back.
#include <algorithm>
#include <string>
#include <unistd.h>

#include "SimulatedTerminal.h"

namespace {

constexpr uint32_t kOnline = 0x420D;
constexpr uint32_t kOffline = 0x420C;
// Slot 1, port 0x11, address 0x35, device type 3 (printer).
constexpr uint32_t kPrinter = DeviceWord(1, 0x11, 0x35, 3);

std::string terminal(const std::string& options = "") {
    return "slot 0 planar\n"
           "slot 1 rs485 type 5 kind 5 ports 2\n"
           "station 1 0x11 0x35 p6397" + options + "\n";
}

class P6397E2E : public TerminalTest {
protected:
    // The loader of the build, where the daemon looks for it under the root.
    void StageLoader() {
        root_.write("/usr/bin/.keep", "");
        const std::string loader = std::string(OVK_STAGING_ROOT) + "/usr/bin/ovkfld63";
        ASSERT_EQ(::symlink(loader.c_str(), root_.at("/usr/bin/ovkfld63").c_str()), 0);
    }
    std::string LoaderLog() {
        for (int i = 0; i < 500; ++i) {
            const std::string log = root_.read("/var/log/ovkfld63.log");
            if (!log.empty()) return log;
            ::usleep(10000);
        }
        return "";
    }
};

TEST_F(P6397E2E, GoesOnlineAfterTheUdfQueryAndComesBackAfterGoingAway) {
    ASSERT_NO_FATAL_FAILURE(StartTerminal(terminal(), ""));
    ASSERT_TRUE(WaitForEvent(kOnline, kPrinter, 20000)) << Seen();
    EXPECT_EQ(seen_.back().p2 & 0xFF, 4u) << Seen();
    EXPECT_EQ(Sim("payloads 1 0x11 0x35"), "ok 2 000001 1b5356");

    EXPECT_EQ(Sim("away 1 0x11 0x35"), "ok taken away 1.11.35");
    EXPECT_TRUE(WaitForEvent(kOffline, kPrinter, 20000)) << Seen();
    EXPECT_EQ(Sim("back 1 0x11 0x35"), "ok brought back 1.11.35");
    EXPECT_TRUE(WaitForEvent(kOnline, kPrinter, 20000)) << Seen();
}

TEST_F(P6397E2E, Subtype0RunsTheWholeQueryChain) {
    ASSERT_NO_FATAL_FAILURE(StartTerminal(terminal(" subtype=0 serial=SN000042"), ""));
    ASSERT_TRUE(WaitForEvent(kOnline, kPrinter, 20000)) << Seen();
    EXPECT_EQ(seen_.back().p2 & 0xFF, 0u) << Seen();
    EXPECT_EQ(Sim("payloads 1 0x11 0x35"),
              "ok 29 000001 1b5356 1b3408000000 1b5351 1b5352 1b5353 1b5350 1b5354 1b5355 1b5302 "
              "1b5304 1b5310 1b5301 1b5302 1b5303 1b5304 1b5305 1b5317 1b5318 1b5307 1b5310 1b536f "
              "1b5369 1b536a 1b536b 1b536c 1b2201 1b536f 1b5337");
}

TEST_F(P6397E2E, ANewerFirmwareFileStartsTheLoaderOnce) {
    ASSERT_NO_FATAL_FAILURE(StageLoader());
    root_.write("/usr/share/pos/ovk63mch.hex", "EcLevel 15\nRevisionLevel 1\n:00000001FF\n");
    ASSERT_NO_FATAL_FAILURE(StartTerminal(terminal(), ""));
    ASSERT_TRUE(WaitForEvent(kOnline, kPrinter, 20000)) << Seen();
    EXPECT_EQ(LoaderLog(), "-P 17 -S 1 -F " + root_.at("/usr/share/pos/ovk63mch.hex") + "\n");
    const std::string log = root_.read("/var/log/ovkfld63.log");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
}

} // namespace
