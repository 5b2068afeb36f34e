// The trace file end to end: the daemon, with "trace = yes" in its configuration file, writes
// the records of an application's display session, and ovktrfmt prints every one of them.
#include <signal.h>

#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "SimulatedTerminal.h"

namespace {

constexpr uint32_t kOnline = 0x420D;
constexpr int kAcquire = 301;

const char kTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x22 oper\n";

const char kResources[] =
    "terminal.operator.slotNumber:   SLOT_1\n"
    "terminal.operator.portNumber:   PORT_1\n"
    "terminal.operator.deviceNumber: DEVICE_OPERATOR_DISPLAY_A\n";

uint32_t le32(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(s[at + i]);
    return v;
}

struct FormatRun {
    int status = -1;
    std::vector<std::string> lines;
    std::string err;
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
        while (p.ReadLine(line, 10000)) r.lines.push_back(line);
        r.status = p.Wait();
        r.err = root_.read("/ovktrfmt.err");
        return r;
    }
};

TEST_F(TraceE2E, TheDaemonsRecordsAreAllPrinted) {
    root_.write("/etc/ovksys.conf", root_.read("/etc/ovksys.conf") + "trace = yes\n");
    ASSERT_NO_FATAL_FAILURE(StartTerminal(kTerminal, kResources));
    ASSERT_TRUE(WaitForEvent(kOnline, DeviceWord(1, 0x11, 0x22, 2))) << Seen();
    char name[] = "operator", cls[] = "PosDisplay", text[] = "HELLO";
    const int h = PosOpen(name, cls, nullptr, 0);
    ASSERT_GT(h, 0) << PosErrno();
    ASSERT_EQ(PosIOCtl(h, kAcquire, nullptr, 0), 0) << PosErrno();
    ASSERT_EQ(PosWrite(h, text, 5), 5) << PosErrno();
    EXPECT_TRUE(WaitForReply("text 1 0x11 0x22 0", "HELLO"));
    EXPECT_EQ(PosClose(h), 0) << PosErrno();
    PosTerm();
    const pid_t daemonPid = daemon_.pid();
    ASSERT_EQ(daemon_.Terminate(), 0) << daemon_.Output();

    // The records in the file: the marker, then 32-byte headers with their payloads.
    const std::string file = root_.read("/var/log/ovkctrl.trc");
    ASSERT_GE(file.size(), 16u);
    EXPECT_EQ(le32(file, 4), 501u);
    size_t records = 0;
    std::multiset<uint32_t> minors;
    size_t at = 16;
    for (; at + 32 <= file.size(); at += 32 + le32(file, at)) {
        ++records;
        minors.insert(le32(file, at + 4));
        EXPECT_EQ(file[at + 28], 0) << "component of record " << records;
    }
    EXPECT_EQ(at, file.size()); // no record cut short

    const FormatRun r = Format({"-m"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(r.lines.size(), records); // one line per record for now
    std::set<uint32_t> printed;
    for (const std::string& line : r.lines) {
        ASSERT_EQ(line.compare(0, 7, "Unknown"), 0) << line;
        const size_t m = line.find("minorCode=");
        ASSERT_NE(m, std::string::npos) << line;
        printed.insert(static_cast<uint32_t>(std::stoul(line.substr(m + 10))));
    }
    for (uint32_t minor : {1u, 2u, 5u, 8u, 17u, 18u, 21u, 301u, 44u, 101u, 102u}) {
        EXPECT_EQ(minors.count(minor) > 0, true) << "minor " << minor << " not in the file";
        EXPECT_EQ(printed.count(minor), 1u) << "minor " << minor << " not printed";
    }

    // -L hides every core record.
    const FormatRun hidden = Format({"-L"});
    EXPECT_EQ(hidden.status, 0);
    EXPECT_TRUE(hidden.lines.empty());
    // -p names the daemon's process; -t today's date.
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
    EXPECT_EQ(withDate.lines.back().compare(0, 6, date), 0) << withDate.lines.back();
}

} // namespace
