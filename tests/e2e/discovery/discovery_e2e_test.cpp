// Discovery end to end: ovksim plays a terminal with a test device on port 2 of its RS-485
// adapter, the daemon finds it (the sniffer, an oracle from a test plug-in, the class the
// device names), and an application sees it come online on handle 0, go offline when the
// station is taken away through ovksim's control socket, and come back.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "ChildProcess.h"
#include "DaemonUnderTest.h"
#include "TempRoot.h"
#include "ovkapi.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kOnline = 0x420D;
constexpr uint32_t kOffline = 0x420C;
// Slot 1, port 0x22, address 0x4A, device type 4 (the address's type), subtype 7.
constexpr uint32_t kDevice = 0x01224A04;

const char kTerminal[] =
    "# the system board and a two-port RS-485 adapter with the test device on port 2\n"
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2 nvram 1\n"
    "station 1 0x22 0x4a testdev type=34900 subtype=7\n";

// One command on ovksim's control socket; its reply line ("" when there is none in time).
class Control {
public:
    explicit Control(const std::string& path) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
        if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~Control() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool connected() const { return fd_ >= 0; }
    std::string Run(const std::string& command) {
        const std::string line = command + "\n";
        if (fd_ < 0 || ::send(fd_, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size()))
            return "";
        std::string reply;
        char c;
        while (true) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0 || ::recv(fd_, &c, 1, 0) != 1) return "";
            if (c == '\n') return reply;
            reply += c;
        }
    }

private:
    int fd_ = -1;
};

class DiscoveryE2E : public ::testing::Test {
protected:
    void SetUp() override {
        // The test plug-ins join the staging root's libraries in the private root.
        std::error_code ec;
        for (const char* lib : {"libovkso4a.so.0", "libovksnoem.so.0"}) {
            ASSERT_TRUE(fs::exists(fs::path(DISCOVERY_PLUGINS) / lib)) << lib;
            fs::create_symlink(fs::path(DISCOVERY_PLUGINS) / lib, fs::path(root_.at("/usr/lib")) / lib, ec);
            ASSERT_FALSE(ec) << ec.message();
        }
        root_.write("/etc/ovksim.term", kTerminal);
        ASSERT_TRUE(sim_.Start({OVKSIM_PROGRAM, "-t", root_.at("/etc/ovksim.term"), "-l",
                                root_.at("/var/log/ovksim.log")},
                               root_.at("/ovksim.err")));
        std::string line;
        ASSERT_TRUE(sim_.ReadLine(line, 10000)) << root_.read("/ovksim.err");
        ASSERT_EQ(line, "ovksim ready");
        ASSERT_TRUE(daemon_.Start()) << daemon_.Output();
        PosArg init[] = {{"readTimeout", 200}};
        char appl[] = "discovery", res[] = "discovery.res";
        ASSERT_EQ(PosInitialize(appl, res, 0, 0, init, 1), 0) << PosErrno();
    }
    void TearDown() override {
        PosTerm();
        EXPECT_EQ(daemon_.Terminate(), 0) << daemon_.Output();
        sim_.Signal(SIGTERM);
        EXPECT_EQ(sim_.Wait(), 0) << root_.read("/ovksim.err");
        if (HasFailure()) {
            std::cerr << "--- ovksim log\n" << root_.read("/var/log/ovksim.log");
            std::cerr << "--- daemon output\n" << daemon_.Output();
            std::cerr << "--- daemon log\n" << root_.read("/var/log/ovkctrl.log");
        }
    }

    // Reads handle 0 until the event comes (true) or the time is up; other events are kept.
    bool WaitForEvent(uint32_t msg, uint32_t p1, int seconds = 30) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < end) {
            _POSQMSG m{};
            if (PosRead(0, &m, sizeof m) == static_cast<int>(sizeof m)) {
                seen_.push_back(m);
                if (m.msg == msg && m.p1 == p1) return true;
            }
        }
        return false;
    }
    std::string Events() const {
        std::string out;
        char text[48];
        for (const _POSQMSG& m : seen_) {
            std::snprintf(text, sizeof text, " %04x/%08x/%x", m.msg, m.p1, m.p2);
            out += text;
        }
        return out;
    }

    TempRoot root_;
    ChildProcess sim_;
    DaemonUnderTest daemon_{root_};
    std::vector<_POSQMSG> seen_;
};

TEST_F(DiscoveryE2E, SimulatedDeviceComesOnlineGoesOfflineAndComesBack) {
    ASSERT_TRUE(WaitForEvent(kOnline, kDevice)) << Events();
    EXPECT_EQ(seen_.back().p2, 7u);

    Control control(root_.at("/tmp/.ovksim"));
    ASSERT_TRUE(control.connected());
    // The station saw the identification and status requests.
    const std::string payloads = control.Run("payloads 1 0x22 0x4a");
    std::istringstream words(payloads);
    std::string ok, count, first, second;
    words >> ok >> count >> first >> second;
    EXPECT_EQ(ok + " " + first + " " + second, "ok 01 02") << payloads;

    ASSERT_EQ(control.Run("away 1 0x22 0x4a"), "ok taken away 1.22.4a");
    ASSERT_TRUE(WaitForEvent(kOffline, kDevice)) << Events();
    ASSERT_EQ(control.Run("back 1 0x22 0x4a"), "ok brought back 1.22.4a");
    ASSERT_TRUE(WaitForEvent(kOnline, kDevice)) << Events();

    // A new station in its place: removed, the device goes offline; attached, it is found on
    // its own link again.
    ASSERT_EQ(control.Run("detach 1 0x22 0x4a"), "ok detached 1.22.4a");
    ASSERT_TRUE(WaitForEvent(kOffline, kDevice)) << Events();
    ASSERT_EQ(control.Run("attach 1 0x22 0x4a testdev type=34900 subtype=7"),
              "ok attached 1.22.4a testdev");
    ASSERT_TRUE(WaitForEvent(kOnline, kDevice)) << Events();

    const std::string received = control.Run("received 1 0x22 0x4a");
    EXPECT_EQ(received.compare(0, 11, "ok 1.22.4a="), 0) << received;
    EXPECT_EQ(control.Run("stations"), "ok 1 1.22.4a:testdev:on");
}

} // namespace
