// A client that never reads must not stall the bus: while its connection is full, two
// stations go offline and come back again and again; the daemon's event writes to that
// client wait in its queue (within its bound) instead of holding the bus, and this test's
// application (which reads) gets every offline and online event in good time and has its
// requests answered throughout.
#include <chrono>
#include <sstream>
#include <string>

#include "SimulatedTerminal.h"

namespace {

constexpr uint32_t kOffline = 0x420C;
constexpr uint32_t kOnline = 0x420D;
// The test device on each port of slot 1 (address 0x4A, device class 4).
constexpr uint32_t kDevice1 = DeviceWord(1, 0x11, 0x4A, 4);
constexpr uint32_t kDevice2 = DeviceWord(1, 0x22, 0x4A, 4);
constexpr int kCycles = 3;
// Room the silent client leaves on its connection: fewer messages than the cycles bring.
constexpr int kFreeMessages = 8;
// An event comes within this time of the script's command, a request is answered within
// this time (a station is found gone within about 1.5 s).
constexpr int kEventDeadlineMs = 8000;
constexpr auto kRequestLimit = std::chrono::milliseconds(2500);

const char kTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2\n"
    "station 1 0x11 0x4a testdev type=34900 subtype=1\n"
    "station 1 0x22 0x4a testdev type=34900 subtype=2\n";

class NeverReadingClient : public TerminalTest {
protected:
    // Reads handle 0 until both events came, asking for the system values between reads;
    // false when the time is up.
    bool WaitForBoth(uint32_t msg, int timeoutMs) {
        bool first = false, second = false;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!(first && second) && std::chrono::steady_clock::now() < end) {
            _POSQMSG m{};
            if (PosRead(0, &m, sizeof m) == static_cast<int>(sizeof m)) {
                seen_.push_back(Event{m.msg, m.p1, m.p2});
                if (m.msg == msg) {
                    first = first || m.p1 == kDevice1;
                    second = second || m.p1 == kDevice2;
                    ++events_;
                }
            }
            const auto start = std::chrono::steady_clock::now();
            PosArg values[] = {{"readTimeout", 0}};
            EXPECT_EQ(PosIOCtl(0, POS_SYS_GET_VALUES, values, 1), 0) << PosErrno();
            const auto took = std::chrono::steady_clock::now() - start;
            if (took > slowest_) slowest_ = took;
        }
        return first && second;
    }

    int events_ = 0;
    std::chrono::steady_clock::duration slowest_{};
};

TEST_F(NeverReadingClient, DoesNotStallTheBusOrTheOtherClients) {
    ASSERT_NO_FATAL_FAILURE(StartTerminal(kTerminal, "", FAMILY_TEST_PLUGINS,
                                          {"libovkso4a.so.0", "libovksnoem.so.0"}));
    ASSERT_TRUE(WaitForBoth(kOnline, 15000)) << Seen();

    ChildProcess silent;
    ASSERT_TRUE(silent.Start({SILENT_CLIENT, daemon_.SocketPath(), std::to_string(kFreeMessages)},
                             root_.at("/silent.err")));
    std::string line;
    ASSERT_TRUE(silent.ReadLine(line, 20000)) << root_.read("/silent.err");
    std::istringstream ready(line);
    std::string word;
    int requests = 0;
    ready >> word >> requests;
    ASSERT_EQ(word, "ready") << line;

    events_ = 0;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        ASSERT_EQ(Sim("away 1 0x11 0x4a"), "ok taken away 1.11.4a");
        ASSERT_EQ(Sim("away 1 0x22 0x4a"), "ok taken away 1.22.4a");
        ASSERT_TRUE(WaitForBoth(kOffline, kEventDeadlineMs)) << Seen();
        ASSERT_EQ(Sim("back 1 0x11 0x4a"), "ok brought back 1.11.4a");
        ASSERT_EQ(Sim("back 1 0x22 0x4a"), "ok brought back 1.22.4a");
        ASSERT_TRUE(WaitForBoth(kOnline, kEventDeadlineMs)) << Seen();
    }
    EXPECT_LT(slowest_, kRequestLimit)
        << std::chrono::duration_cast<std::chrono::milliseconds>(slowest_).count() << " ms";

    // The silent client is still connected and, now that it reads, gets every reply and every
    // event: what its full connection did not take waited in its queue, and the bus went on
    // without waiting for it.
    ASSERT_TRUE(silent.WriteLine("drain"));
    ASSERT_TRUE(silent.ReadLine(line, 20000)) << root_.read("/silent.err");
    std::istringstream drained(line);
    int replies = -1, events = -1;
    std::string state;
    drained >> word >> replies >> events >> state;
    ASSERT_EQ(word, "drained") << line;
    EXPECT_EQ(replies, requests) << line;
    EXPECT_EQ(state, "open") << line;
    EXPECT_GE(events, events_) << line << " (this client read " << events_ << ")";
    EXPECT_EQ(silent.Wait(), 0);
}

} // namespace
