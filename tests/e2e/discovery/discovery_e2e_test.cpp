// Discovery end to end: ovksim plays a terminal with a test device on port 2 of its RS-485
// adapter, the daemon finds it (the sniffer, an oracle from a test plug-in, the class the
// device names), and an application sees it come online on handle 0, go offline when the
// station is taken away through ovksim's control socket, and come back.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "SimulatedTerminal.h"

namespace {

constexpr uint32_t kOnline = 0x420D;
constexpr uint32_t kOffline = 0x420C;
// Slot 1, port 0x22, address 0x4A, device type 4 (the address's type), subtype 7.
constexpr uint32_t kDevice = 0x01224A04;
constexpr int kWaitMs = 30000;

const char kTerminal[] =
    "# the system board and a two-port RS-485 adapter with the test device on port 2\n"
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2 nvram 1\n"
    "station 1 0x22 0x4a testdev type=34900 subtype=7\n";

class DiscoveryE2E : public TerminalTest {
protected:
    void SetUp() override {
        // The test plug-ins for the device table's rows at 0x4A join the root's libraries.
        ASSERT_NO_FATAL_FAILURE(StartTerminal(kTerminal, "", DISCOVERY_PLUGINS,
                                              {"libovkso4a.so.0", "libovksnoem.so.0"}));
    }
};

TEST_F(DiscoveryE2E, SimulatedDeviceComesOnlineGoesOfflineAndComesBack) {
    ASSERT_TRUE(WaitForEvent(kOnline, kDevice, kWaitMs)) << Seen();
    EXPECT_EQ(seen_.back().p2, 7u);

    // The station saw the identification and status requests.
    const std::string payloads = Sim("payloads 1 0x22 0x4a");
    std::istringstream words(payloads);
    std::string ok, count, first, second;
    words >> ok >> count >> first >> second;
    EXPECT_EQ(ok + " " + first + " " + second, "ok 01 02") << payloads;

    ASSERT_EQ(Sim("away 1 0x22 0x4a"), "ok taken away 1.22.4a");
    ASSERT_TRUE(WaitForEvent(kOffline, kDevice, kWaitMs)) << Seen();
    ASSERT_EQ(Sim("back 1 0x22 0x4a"), "ok brought back 1.22.4a");
    ASSERT_TRUE(WaitForEvent(kOnline, kDevice, kWaitMs)) << Seen();

    // A new station in its place: removed, the device goes offline; attached, it is found on
    // its own link again.
    ASSERT_EQ(Sim("detach 1 0x22 0x4a"), "ok detached 1.22.4a");
    ASSERT_TRUE(WaitForEvent(kOffline, kDevice, kWaitMs)) << Seen();
    ASSERT_EQ(Sim("attach 1 0x22 0x4a testdev type=34900 subtype=7"),
              "ok attached 1.22.4a testdev");
    ASSERT_TRUE(WaitForEvent(kOnline, kDevice, kWaitMs)) << Seen();

    const std::string received = Sim("received 1 0x22 0x4a");
    EXPECT_EQ(received.compare(0, 11, "ok 1.22.4a="), 0) << received;
    EXPECT_EQ(Sim("stations"), "ok 1 1.22.4a:testdev:on");
}

} // namespace
