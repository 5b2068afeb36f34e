// The trace file end to end: the daemon, with "trace = yes" in its configuration file, writes
// the records of an application's session with the operator display and a cash drawer, and
// ovktrfmt prints them: the calls, events, write data, link frames, an adapter error and the
// error log entry it causes.
#include <signal.h>

#include <chrono>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "SimulatedTerminal.h"

namespace {

constexpr uint32_t kOnline = 0x420D;
constexpr uint32_t kTillClosed = 0x420E;
constexpr uint32_t kTillOpened = 0x420F;
constexpr uint32_t kHandleBits = 0xFFFF;
constexpr int kAcquire = 301;
constexpr int kOpenTill = 5401;

const char kTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x22 oper\n"
    "station 1 0x11 0x54 drawer\n";

const char kResources[] =
    "terminal.operator.slotNumber:   SLOT_1\n"
    "terminal.operator.portNumber:   PORT_1\n"
    "terminal.operator.deviceNumber: DEVICE_OPERATOR_DISPLAY_A\n"
    "terminal.till.slotNumber:   SLOT_1\n"
    "terminal.till.portNumber:   PORT_1\n"
    "terminal.till.deviceNumber: DEVICE_CASH_DRAWER_A\n";

uint32_t le32(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(s[at + i]);
    return v;
}

struct FormatRun {
    int status = -1;
    std::string out, err;
    std::vector<std::string> lines;
};

class TraceE2E : public TerminalTest {
protected:
    // ovktrfmt of the build with `options` and "-f" the daemon's trace file.
    FormatRun Format(std::vector<std::string> options) {
        options.insert(options.begin(), std::string(OVK_STAGING_ROOT) + "/usr/bin/ovktrfmt");
        options.push_back("-f");
        options.push_back(root_.at("/var/log/ovkctrl.trc"));
        ChildProcess p;
        FormatRun r;
        if (!p.Start(options, root_.at("/ovktrfmt.err"))) return r;
        std::string line;
        while (p.ReadLine(line, 10000)) {
            r.lines.push_back(line);
            r.out += line + "\n";
        }
        r.status = p.Wait();
        r.err = root_.read("/ovktrfmt.err");
        return r;
    }

    bool WaitForLog(const std::string& text) {
        for (int i = 0; i < 500; ++i) {
            if (root_.read("/var/log/ovkctrl.log").find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
};

TEST_F(TraceE2E, TheDaemonsRecordsArePrinted) {
    root_.write("/etc/ovksys.conf", root_.read("/etc/ovksys.conf") + "trace = yes\n");
    ASSERT_NO_FATAL_FAILURE(StartTerminal(kTerminal, kResources));
    // Both come online, in either order.
    for (const uint32_t device : {DeviceWord(1, 0x11, 0x22, 2), DeviceWord(1, 0x11, 0x83, 6)}) {
        bool seen = false;
        for (const Event& e : seen_) seen = seen || (e.msg == kOnline && e.p1 == device);
        if (!seen) {
            ASSERT_TRUE(WaitForEvent(kOnline, device)) << Seen();
        }
    }
    char display[] = "operator", displayClass[] = "PosDisplay", till[] = "till", tillClass[] = "PosDrawer";
    char text[] = "HELLO";
    const int d = PosOpen(display, displayClass, nullptr, 0);
    ASSERT_GT(d, 0) << PosErrno();
    const int t = PosOpen(till, tillClass, nullptr, 0);
    ASSERT_GT(t, 0) << PosErrno();
    ASSERT_EQ(PosIOCtl(d, kAcquire, nullptr, 0), 0) << PosErrno();
    ASSERT_EQ(PosIOCtl(t, kAcquire, nullptr, 0), 0) << PosErrno();
    ASSERT_EQ(PosWrite(d, text, 5), 5) << PosErrno();
    ASSERT_EQ(PosIOCtl(t, kOpenTill, nullptr, 0), 0) << PosErrno();
    ASSERT_TRUE(WaitForEvent(kTillOpened, static_cast<uint32_t>(t), 10000, kHandleBits)) << Seen();
    EXPECT_EQ(Sim("close 1 0x11 0x54 1"), "ok close drawer 1");
    ASSERT_TRUE(WaitForEvent(kTillClosed, static_cast<uint32_t>(t), 10000, kHandleBits)) << Seen();
    EXPECT_EQ(Sim("error 1 0x15").compare(0, 2, "ok"), 0);
    EXPECT_TRUE(WaitForLog("id=803")) << root_.read("/var/log/ovkctrl.log");
    EXPECT_EQ(PosClose(d), 0) << PosErrno();
    EXPECT_EQ(PosClose(t), 0) << PosErrno();
    PosTerm();
    const pid_t daemonPid = daemon_.pid();
    ASSERT_EQ(daemon_.Terminate(), 0) << daemon_.Output();

    // The file: the marker, then whole records of the core's component.
    const std::string file = root_.read("/var/log/ovkctrl.trc");
    ASSERT_GE(file.size(), 16u);
    EXPECT_EQ(le32(file, 4), 501u);
    size_t at = 16;
    for (; at + 32 <= file.size(); at += 32 + le32(file, at)) EXPECT_EQ(file[at + 28], 0);
    EXPECT_EQ(at, file.size());

    const FormatRun r = Format({"-m"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> shown = {
        "POSM_SYS_DEVICE_ONLINE - SLOT_1, PORT_1, DISPLAY",
        "Device: OPERATOR_DISPLAY_A  (Subtype: NONE)",
        "Device: CASH_DRAWER_A  (Subtype: NONE)",
        "rc=OK, Bytes Written=5",
        "48.45.4c.4c.4f",
        "|HELLO",
        "POS_TILL_OPEN_TILL",
        "POSM_TILL_OPENED",
        "POSM_TILL_CLOSED",
        "(XMIT_START_TOO_LARGE)",
        "! If using a 6412 Adapter, make sure the !",
        "Probe: UNDELIVERABLE_ERROR",
    };
    for (const std::string& s : shown) EXPECT_NE(r.out.find(s), std::string::npos) << s << "\n" << r.out;
    bool writeText = false, frame = false;
    for (const std::string& line : r.lines) {
        if (line.compare(0, 9, "WriteText") == 0 && line.find("48.45.4c.4c.4f") != std::string::npos) writeText = true;
        if (line.compare(0, 8, "S-IFrame") == 0 && line.find("1  11 22") != std::string::npos &&
            line.find("81.28.48.45.4c.4c.4f.20") != std::string::npos)
            frame = true;
    }
    EXPECT_TRUE(writeText) << r.out;
    EXPECT_TRUE(frame) << r.out;

    // -P keeps the error log alone of these; -S drops the exchange-buffer lines.
    const FormatRun device = Format({"-m", "-P"});
    EXPECT_EQ(device.status, 0);
    for (const std::string& s : shown) {
        if (s == "Probe: UNDELIVERABLE_ERROR") continue;
        EXPECT_EQ(device.out.find(s), std::string::npos) << s;
    }
    EXPECT_NE(device.out.find("Probe: UNDELIVERABLE_ERROR"), std::string::npos);
    const FormatRun noSio = Format({"-m", "-S"});
    EXPECT_NE(r.out.find("\nsio "), std::string::npos);
    EXPECT_EQ(noSio.out.find("\nsio "), std::string::npos);
    EXPECT_NE(noSio.out.compare(0, 4, "sio "), 0);

    // -L hides every core record; -p names the daemon's process; -t today's date.
    const FormatRun hidden = Format({"-L"});
    EXPECT_EQ(hidden.status, 0);
    EXPECT_TRUE(hidden.lines.empty());
    char pid[16];
    std::snprintf(pid, sizeof pid, "P%05x", static_cast<unsigned>(daemonPid));
    const FormatRun withPid = Format({"-m", "-p"});
    ASSERT_FALSE(withPid.lines.empty());
    EXPECT_NE(withPid.lines.front().find(pid), std::string::npos) << withPid.lines.front();
    const time_t now = time(nullptr);
    struct tm tm;
    localtime_r(&now, &tm);
    char date[32];
    std::snprintf(date, sizeof date, "%02d/%02d-", tm.tm_mon + 1, tm.tm_mday);
    const FormatRun withDate = Format({"-m", "-t"});
    ASSERT_FALSE(withDate.lines.empty());
    EXPECT_EQ(withDate.lines.front().compare(0, 6, date), 0) << withDate.lines.front();
}

} // namespace
