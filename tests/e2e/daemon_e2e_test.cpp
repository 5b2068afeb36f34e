// The daemon as applications meet it: through the client library, with other clients, and
// when clients or the daemon itself go away.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "DaemonTest.h"
#include "RawClient.h"
#include "ovkapi.h"

namespace {

using E2E = DaemonTest;

TEST_F(E2E, InitializeVersionAndTheSystemValuesOfHandleZero) {
    ASSERT_EQ(Initialize(), 0) << PosErrno();

    int version = -1, release = -1, modification = -1;
    ASSERT_EQ(PosVersion(&version, &release, &modification), 0) << PosErrno();
    EXPECT_EQ(version, OVK_VERSION_MAJOR);
    EXPECT_EQ(release, OVK_VERSION_MINOR);
    EXPECT_EQ(modification, 0);

    // Values only the daemon knows: the event destination is the process's own queue, and
    // the vital product data come from the core (no driver: all zero).
    unsigned char vpd[24];
    std::memset(vpd, 0xAA, sizeof vpd);
    PosArg get[] = {{"queueHandle", 4711}, {"vitalProductData", 0}};
    get[1].value = reinterpret_cast<intptr_t>(vpd);
    ASSERT_EQ(PosIOCtl(0, POS_SYS_GET_VALUES, get, 2), 0) << PosErrno();
    EXPECT_EQ(get[0].value, 0);
    for (unsigned char b : vpd) EXPECT_EQ(b, 0);

    PosArg set[] = {{"readTimeout", 250}};
    ASSERT_EQ(PosIOCtl(0, POS_SYS_SET_VALUES, set, 1), 0) << PosErrno();
    PosArg readBack[] = {{"readTimeout", 0}};
    ASSERT_EQ(PosIOCtl(0, POS_SYS_GET_VALUES, readBack, 1), 0) << PosErrno();
    EXPECT_EQ(readBack[0].value, 250);

    // A request the event queue does not know.
    EXPECT_EQ(PosIOCtl(0, 4000, nullptr, 0), -1);
    EXPECT_EQ(PosErrno(), 316);
}

TEST_F(E2E, OpeningADeviceThatIsNotThereGivesTheCoresError) {
    ASSERT_EQ(Initialize(), 0);
    char name[] = "receipt", cls[] = "PosPrinter";
    EXPECT_EQ(PosOpen(name, cls, nullptr, 0), -1); // slot 5 by default: no such slot
    EXPECT_EQ(PosErrno(), 326);
    PosArg at[] = {{"slotNumber", 3}};
    EXPECT_EQ(PosOpen(name, cls, at, 1), -1);
    EXPECT_EQ(PosErrno(), 326);
}

TEST_F(E2E, HandleZeroCannotBeClosed) {
    ASSERT_EQ(Initialize(), 0);
    EXPECT_EQ(PosClose(0), -1);
    EXPECT_EQ(PosErrno(), 311);
    int v, r, m;
    EXPECT_EQ(PosVersion(&v, &r, &m), 0); // still connected
}

TEST_F(E2E, TwoClientsAtOnce) {
    ChildProcess other;
    ASSERT_TRUE(other.Start({E2E_CLIENT, "hold"}, root_.at("/client.log")));
    std::string line;
    ASSERT_TRUE(other.ReadLine(line)) << root_.read("/client.log");
    ASSERT_EQ(line, "ready");

    ASSERT_EQ(Initialize(), 0);
    for (int round = 0; round < 3; ++round) {
        PosArg a[] = {{"queueHandle", 5}};
        EXPECT_EQ(PosIOCtl(0, POS_SYS_GET_VALUES, a, 1), 0);
        EXPECT_EQ(a[0].value, 0);
        ASSERT_TRUE(other.WriteLine("values"));
        ASSERT_TRUE(other.ReadLine(line));
        EXPECT_EQ(line, "ok");
    }
    other.CloseInput();
    EXPECT_EQ(other.Wait(), 0);
    int v, r, m;
    EXPECT_EQ(PosVersion(&v, &r, &m), 0);
}

TEST_F(E2E, AClientKilledMidRequestLeavesTheOthersServed) {
    ASSERT_EQ(Initialize(), 0);
    ChildProcess partial;
    ASSERT_TRUE(partial.Start({E2E_CLIENT, "partial", daemon_.SocketPath()}, root_.at("/client.log")));
    std::string line;
    ASSERT_TRUE(partial.ReadLine(line)) << root_.read("/client.log");
    ASSERT_EQ(line, "ready");
    partial.Signal(SIGKILL);
    partial.Wait();

    PosArg a[] = {{"queueHandle", 5}};
    EXPECT_EQ(PosIOCtl(0, POS_SYS_GET_VALUES, a, 1), 0) << PosErrno();
    // New clients too.
    ChildProcess next;
    ASSERT_TRUE(next.Start({E2E_CLIENT, "hold"}, root_.at("/client.log")));
    ASSERT_TRUE(next.ReadLine(line));
    EXPECT_EQ(line, "ready");
    next.CloseInput();
    EXPECT_EQ(next.Wait(), 0);
}

TEST_F(E2E, AKilledDaemonGivesTheClientServiceNotAvailable) {
    ASSERT_EQ(Initialize(), 0);
    daemon_.Kill();
    expectRunning_ = false;
    int v, r, m;
    EXPECT_EQ(PosVersion(&v, &r, &m), -1);
    EXPECT_EQ(PosErrno(), POSERR_SYS_SERVICE_NOT_AVAILABLE);
    PosArg a[] = {{"queueHandle", 5}};
    EXPECT_EQ(PosIOCtl(0, POS_SYS_GET_VALUES, a, 1), -1);
    EXPECT_EQ(PosErrno(), POSERR_SYS_SERVICE_NOT_AVAILABLE);
}

TEST_F(E2E, SigtermEndsTheDaemonCleanlyAndRemovesItsSocket) {
    ASSERT_EQ(Initialize(), 0);
    ASSERT_TRUE(SocketExists());
    expectRunning_ = false;
    EXPECT_EQ(daemon_.Terminate(), 0) << daemon_.Output();
    EXPECT_FALSE(SocketExists());
    int v, r, m;
    EXPECT_EQ(PosVersion(&v, &r, &m), -1);
    EXPECT_EQ(PosErrno(), POSERR_SYS_SERVICE_NOT_AVAILABLE);
    // In the foreground every line went to the standard error and to the log file.
    const std::string log = root_.read("/var/log/ovkctrl.log");
    EXPECT_NE(log.find("serving"), std::string::npos) << log;
    EXPECT_NE(log.find("shutting down"), std::string::npos) << log;
    EXPECT_NE(daemon_.Output().find("shutting down"), std::string::npos);
    EXPECT_NE(root_.read("/var/run/ovkctrl.pid"), "");
}

TEST(E2EStart, SystemResourcesThatFailToLoadAreLoggedAndTheDaemonGoesOn) {
    TempRoot root;
    root.write("/etc/ovksys.res", "ovkctrl.OVKSYS.pollList: S9\n"); // no slot 9
    DaemonUnderTest daemon(root);
    ASSERT_TRUE(daemon.Start()) << daemon.Output();
    std::string a = "e2eapp", r = "e2eapp.res";
    EXPECT_EQ(PosInitialize(a.data(), r.data(), 0, 0, nullptr, 0), 0);
    PosTerm();
    EXPECT_EQ(daemon.Terminate(), 0);
    EXPECT_NE(daemon.Output().find("system resources not loaded (error 310)"), std::string::npos)
        << daemon.Output();
}

// A root whose socket path does not fit a Unix socket: the daemon names the path and stops.
TEST(E2EStart, ASocketPathTooLongIsNamedAndTheDaemonStops) {
    TempRoot root;
    DaemonUnderTest::PrepareRoot(root);
    // The same root under a name long enough that its socket path passes 107 bytes.
    const std::string longRoot = root.at("/" + std::string(100, 'r'));
    ASSERT_EQ(::symlink(root.path().c_str(), longRoot.c_str()), 0);
    ::setenv("OVK_ROOT", longRoot.c_str(), 1);
    ChildProcess daemon;
    const bool started = daemon.Start({DaemonUnderTest::Program(), "-f"}, root.at("/long.log"), false);
    ::setenv("OVK_ROOT", root.path().c_str(), 1);
    ASSERT_TRUE(started);
    EXPECT_EQ(daemon.Wait(20000), 1);
    EXPECT_NE(root.read("/long.log").find("cannot listen on " + longRoot +
                                          "/tmp/.ovkctrl: the path is too long for a Unix socket"),
              std::string::npos)
        << root.read("/long.log");
}

TEST_F(E2E, ASecondDaemonStopsAtThePidFileLock) {
    ChildProcess second;
    ASSERT_TRUE(second.Start({DaemonUnderTest::Program(), "-f"}, root_.at("/second.log"), false));
    EXPECT_EQ(second.Wait(), 1);
    EXPECT_NE(root_.read("/second.log").find("already running"), std::string::npos)
        << root_.read("/second.log");
    ASSERT_EQ(Initialize(), 0); // the first one still serves its socket
}

// A free TCP port of the loopback address (free when asked; the daemon takes it at once).
uint16_t freeTcpPort() {
    const int sd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    uint16_t port = 0;
    if (sd >= 0 && ::bind(sd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(sd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    if (sd >= 0) ::close(sd);
    return port;
}

TEST(E2ETcp, ClientsOnTheTcpServiceGetTheirOwnProcesses) {
    TempRoot root;
    DaemonUnderTest daemon(root);
    const uint16_t port = freeTcpPort();
    ASSERT_NE(port, 0);
    ASSERT_TRUE(daemon.Start(30000, {"-t", std::to_string(port)})) << daemon.Output();
    ASSERT_TRUE(daemon.WaitForOutput("serving TCP port " + std::to_string(port))) << daemon.Output();

    // Two TCP clients of one machine: each gets a made-up process id of its own, so both
    // initialise, and a request that cannot be decoded ends only its own connection.
    RawClient first, second;
    ASSERT_TRUE(first.ConnectTcp(port));
    ASSERT_TRUE(second.ConnectTcp(port));
    EXPECT_EQ(first.Initialize("tcpone").rc, 0);
    EXPECT_EQ(second.Initialize("tcptwo").rc, 0);
    std::vector<uint8_t> version;
    EXPECT_EQ(first.Call(ovkwire::VersionRequest{}, &version).rc, 0);
    EXPECT_EQ(version.size(), ovkwire::VERSION_DATA_SIZE);
    ASSERT_TRUE(second.Send(std::vector<uint8_t>(8, 0xEE)));
    EXPECT_TRUE(second.ClosedByPeer());
    EXPECT_EQ(first.Call(ovkwire::VersionRequest{}).rc, 0);
    first.Close();

    EXPECT_EQ(daemon.Terminate(), 0) << daemon.Output();
    RawClient late;
    EXPECT_FALSE(late.ConnectTcp(port)); // the TCP listener went with the daemon
}

TEST(E2ETcp, NoTcpWithoutAServiceOrForAnUnknownOne) {
    TempRoot root;
    DaemonUnderTest daemon(root);
    ASSERT_TRUE(daemon.Start(30000, {"-t", "no-such-ovk-service"})) << daemon.Output();
    EXPECT_TRUE(daemon.WaitForOutput("TCP service no-such-ovk-service is not known"))
        << daemon.Output();
    EXPECT_EQ(daemon.Output().find("serving TCP"), std::string::npos) << daemon.Output();
    EXPECT_EQ(daemon.Terminate(), 0) << daemon.Output();
}

} // namespace
