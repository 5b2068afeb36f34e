// A lost bus end to end: ovksim is killed while the daemon serves a display and a drawer
// unit. Every device is reported offline and refuses to open, the daemon's log says so in a
// line or two (no line per polling round), and once ovksim is back the daemon opens the node
// again, the devices come online again and requests work. SIGTERM during the outage ends
// the daemon at once.
#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "SimulatedTerminal.h"

namespace {

constexpr uint32_t kOffline = 0x420C;
constexpr uint32_t kOnline = 0x420D;
constexpr int kAcquire = 301;
constexpr int kNoDevice = 317;

const char kTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x22 oper\n"
    "station 1 0x11 0x54 drawer\n";

const char kResources[] =
    "terminal.operator.slotNumber:   SLOT_1\n"
    "terminal.operator.portNumber:   PORT_1\n"
    "terminal.operator.deviceNumber: DEVICE_OPERATOR_DISPLAY_A\n";

// The operator display, both drawers and the alarm of the drawer unit, and the adapter's
// own NVRAM.
const std::vector<uint32_t> kDevices = {DeviceWord(1, 0x11, 0x22, 2), DeviceWord(1, 0x11, 0x54, 6),
                                        DeviceWord(1, 0x11, 0x83, 6), DeviceWord(1, 0x11, 0x84, 7),
                                        DeviceWord(1, 0x11, 0x85, 8)};

class LostBusE2E : public TerminalTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(StartTerminal(kTerminal, kResources));
        ASSERT_TRUE(WaitForEach(kOnline)) << Seen();
    }

    // Reads events until `msg` has come for every device since the last call (true), or
    // the time is up.
    bool WaitForEach(uint32_t msg, int timeoutMs = 20000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        std::vector<uint32_t> missing = kDevices;
        for (;;) {
            for (; checked_ < seen_.size(); ++checked_)
                for (size_t i = 0; i < missing.size(); ++i)
                    if (seen_[checked_].msg == msg && seen_[checked_].p1 == missing[i]) {
                        missing.erase(missing.begin() + static_cast<long>(i));
                        break;
                    }
            if (missing.empty()) return true;
            if (std::chrono::steady_clock::now() >= end) return false;
            WaitForEvent(msg, missing.front(), 200);
        }
    }

    // Writes `text` to the display and waits until the simulated display's first row shows
    // `row`.
    ::testing::AssertionResult Show(int handle, std::string text, std::string row) {
        if (PosWrite(handle, &text[0], static_cast<unsigned>(text.size())) != static_cast<int>(text.size()))
            return ::testing::AssertionFailure() << "write refused: " << PosErrno();
        text = row;
        text.resize(20, ' ');
        std::string shown;
        if (!WaitForReply("text 1 0x11 0x22 0", "ok [" + text + "]", 10000, &shown))
            return ::testing::AssertionFailure() << "the display shows " << shown;
        return ::testing::AssertionSuccess();
    }

    size_t checked_ = 0;
};

// Lines of the daemon's output after `from` that are not a device going on- or offline.
std::vector<std::string> OtherLines(const std::string& output, size_t from) {
    std::vector<std::string> out;
    std::istringstream in(output.substr(from));
    std::string line;
    while (std::getline(in, line))
        if (line.find(") offline") == std::string::npos && line.find(") online") == std::string::npos)
            out.push_back(line);
    return out;
}

TEST_F(LostBusE2E, DevicesGoOfflineAndComeBackWithTheSimulator) {
    char name[] = "operator", cls[] = "PosDisplay";
    const int display = PosOpen(name, cls, nullptr, 0);
    ASSERT_GT(display, 0) << PosErrno() << Seen();
    ASSERT_EQ(PosIOCtl(display, kAcquire, nullptr, 0), 0) << PosErrno();
    ASSERT_TRUE(Show(display, "BEFORE", "BEFORE"));
    const size_t logFrom = daemon_.Output().size();

    KillSimulator();
    ASSERT_TRUE(WaitForEach(kOffline)) << Seen();
    // An offline device cannot be opened.
    PosArg args[] = {{"slotNumber", 1}, {"portNumber", 0x11}, {"deviceNumber", 0x54}};
    char till[] = "till", drawer[] = "PosDrawer";
    EXPECT_EQ(PosOpen(till, drawer, args, 3), -1);
    EXPECT_EQ(PosErrno(), kNoDevice);

    ASSERT_NO_FATAL_FAILURE(StartSimulator());
    ASSERT_TRUE(WaitForEach(kOnline)) << Seen();
    // The outage took a line or two of the log, not one per polling round.
    const std::vector<std::string> lines = OtherLines(daemon_.Output(), logFrom);
    EXPECT_LE(lines.size(), 4u) << daemon_.Output().substr(logFrom);
    EXPECT_NE(daemon_.Output().find("bus driver node failed", logFrom), std::string::npos);

    // Requests work again: the display, still held by this client, goes on where its text
    // ended (the new simulator gets the whole row), and the drawer opens.
    EXPECT_TRUE(Show(display, "AFTER", "BEFOREAFTER"));
    const int h = PosOpen(till, drawer, args, 3);
    EXPECT_GT(h, 0) << PosErrno();
}

TEST_F(LostBusE2E, TermDuringTheOutageEndsTheDaemonAtOnce) {
    KillSimulator();
    ASSERT_TRUE(WaitForEach(kOffline)) << Seen();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(daemon_.Terminate(6000), 0) << daemon_.Output();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));
    // ovksim back, so that the end of the test finds both programs as it expects.
    ASSERT_NO_FATAL_FAILURE(StartSimulator());
}

} // namespace
