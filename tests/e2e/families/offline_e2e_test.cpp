// Devices that go offline with work asked of them, end to end: a drawer open or an alarm
// sound asked as the unit goes away is never carried out once the unit is back; a client
// waiting on a scale or an NVRAM that acknowledged its command and then went (it left the
// bus, or the bus driver node was lost) is told with 317 within a second of the offline; an
// acquire of an offline scale or scanner fails and holds nothing; and a client that only
// waits for events is told at once when the daemon dies.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "SimulatedTerminal.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kOffline = 0x420C;
constexpr uint32_t kOnline = 0x420D;
constexpr int kAcquire = 301;
constexpr int kOpenTill = 5401;
constexpr int kSoundAlarm = 5403;
constexpr int kDeviceOffline = 317;
constexpr int kNotAcquired = 315;
constexpr int kConnectionLost = 337;
// Room for a loaded machine between the offline and the client's answer; the stack takes
// milliseconds. A sanitizer slows the daemon several times over.
#ifdef OVK_SANITIZED
constexpr int kToldWithinMs = 3000;
#else
constexpr int kToldWithinMs = 1000;
#endif

std::string At(int address) {
    char text[32];
    std::snprintf(text, sizeof text, "1 0x11 0x%02x", address);
    return text;
}

// The payloads of a "payloads" reply ("ok N p1 p2 ..."): their count and those listed.
std::pair<size_t, std::vector<std::string>> Payloads(const std::string& reply) {
    std::istringstream in(reply);
    std::string word;
    size_t count = 0;
    std::vector<std::string> list;
    in >> word >> count;
    while (in >> word) list.push_back(word);
    return {count, list};
}

class OfflineE2E : public TerminalTest {
protected:
    void Start(const std::string& stations, const std::string& slotOptions = "") {
        const std::string terminal = "slot 0 planar\nslot 1 rs485 type 5 kind 5 ports 2" +
                                     (slotOptions.empty() ? "" : " " + slotOptions) + "\n" + stations;
        ASSERT_NO_FATAL_FAILURE(StartTerminal(terminal, ""));
    }
    // Opens (and acquires, unless told not to) the device, once it is online unless
    // `online` says it is known to be: its handle.
    int OpenDevice(int address, uint32_t deviceClass, const char* posClass, bool acquire = true,
                   bool online = false) {
        if (!online) {
            EXPECT_TRUE(WaitForEvent(kOnline, DeviceWord(1, 0x11, address, deviceClass), 20000)) << Seen();
        }
        PosArg where[] = {{"slotNumber", 1}, {"portNumber", 0x11}, {"deviceNumber", address}};
        char name[] = "device";
        const int h = PosOpen(name, const_cast<char*>(posClass), where, 3);
        EXPECT_GT(h, 0) << PosErrno();
        if (acquire && h > 0) {
            EXPECT_EQ(PosIOCtl(h, kAcquire, nullptr, 0), 0) << PosErrno();
        }
        return h;
    }
    // The moment the daemon's output first says the device at `address` is offline, looked
    // for while `call` (a request that blocks the client library) runs on a thread: the
    // call's result and errno, and that moment.
    struct Outcome {
        int result = 0;
        int error = 0;
        bool returned = false;
        Clock::time_point offlineAt{}, returnedAt{};
        bool offline = false;
    };
    Outcome WhileWatching(int address, const std::function<int()>& call, const std::function<void()>& meanwhile) {
        char tag[32];
        std::snprintf(tag, sizeof tag, "(1.11.%x) offline", address);
        const size_t from = daemon_.Output().size();
        auto running = std::async(std::launch::async, [&] {
            const int r = call();
            return std::make_pair(r, r < 0 ? PosErrno() : 0);
        });
        Outcome o;
        bool didMeanwhile = false;
        const auto end = Clock::now() + std::chrono::seconds(40);
        while (Clock::now() < end) {
            if (!o.offline && daemon_.Output().find(tag, from) != std::string::npos) {
                o.offline = true;
                o.offlineAt = Clock::now();
            }
            if (running.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready) {
                o.returned = true;
                o.returnedAt = Clock::now();
                break;
            }
            if (!didMeanwhile) {
                didMeanwhile = true;
                meanwhile();
            }
            running.wait_for(std::chrono::milliseconds(10));
        }
        if (!o.returned) {
            running.wait();
            return o;
        }
        std::tie(o.result, o.error) = running.get();
        // Written just before the client's answer, the line may be read just after it.
        if (!o.offline && daemon_.Output().find(tag, from) != std::string::npos) {
            o.offline = true;
            o.offlineAt = o.returnedAt;
        }
        return o;
    }
    static int Ms(Clock::duration d) { return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count()); }
};

// ---- The drawer unit -------------------------------------------------------------------

struct AskedCase {
    const char* name;
    int address;
    uint32_t deviceClass;
    const char* posClass;
    int request;
    const char* payload; // the command the unit would receive for it
    // The unit takes the command, acknowledges it and leaves before it answers: the command
    // is on its way as the unit goes. Otherwise the unit is gone when the request is asked.
    bool takenAsItLeaves = false;
};

void PrintTo(const AskedCase& c, std::ostream* os) { *os << c.name; }

class AskedAsTheUnitGoes : public OfflineE2E, public ::testing::WithParamInterface<AskedCase> {};

// Asked in the moment between the unit's loss and its offline event, or taken by the unit as
// it leaves, the request returns 0; the offline event tells the application, and once the
// unit is back nothing of it reaches the unit again: no open pulse, no sound.
TEST_P(AskedAsTheUnitGoes, IsNotCarriedOutWhenTheUnitReturns) {
    const AskedCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Start("station 1 0x11 0x54 drawer\n"));
    const int h = OpenDevice(c.address, c.deviceClass, c.posClass);
    ASSERT_GT(h, 0);
    ASSERT_EQ(Sim((c.takenAsItLeaves ? "leave " : "away ") + At(0x54)).substr(0, 2), "ok");
    ASSERT_EQ(PosIOCtl(h, c.request, nullptr, 0), 0) << "asked too late to play the fault: " << PosErrno();
    if (c.takenAsItLeaves) {
        // The unit took the command and left without answering; the drawer it opened is closed
        // by hand, and the unit is back before the stack has given up on the answer.
        std::string last;
        ASSERT_TRUE(WaitForReply("payloads " + At(0x54), std::string(" ") + c.payload, 10000, &last)) << last;
        ASSERT_EQ(Sim("close " + At(0x54) + " 1").substr(0, 2), "ok");
    } else {
        ASSERT_TRUE(WaitForEvent(kOffline, DeviceWord(1, 0x11, c.address, c.deviceClass), 20000)) << Seen();
    }
    const size_t before = Payloads(Sim("payloads " + At(0x54))).first;
    ASSERT_EQ(Sim("back " + At(0x54)).substr(0, 2), "ok");
    ASSERT_TRUE(WaitForEvent(kOnline, DeviceWord(1, 0x11, c.address, c.deviceClass), 20000)) << Seen();
    EXPECT_TRUE(std::any_of(seen_.begin(), seen_.end(), [&](const Event& e) {
        return e.msg == kOffline && e.p1 == DeviceWord(1, 0x11, c.address, c.deviceClass);
    })) << "the application was not told the unit went: " << Seen();
    // What was kept would go right after the unit's start-up, which ends with the pulse times.
    std::string last;
    ASSERT_TRUE(WaitForReply("payloads " + At(0x54), " 80013880013880", 10000, &last)) << last;
    WaitForEvent(0, 0, 500);
    const auto [count, list] = Payloads(Sim("payloads " + At(0x54)));
    const size_t fresh = std::min(list.size(), count - std::min(count, before));
    for (size_t i = list.size() - fresh; i < list.size(); ++i)
        EXPECT_NE(list[i], c.payload) << "sent once the unit was back: " << Sim("payloads " + At(0x54));
    EXPECT_NE(Sim("drawers " + At(0x54)).find("drawer1=closed"), std::string::npos) << Sim("drawers " + At(0x54));
}

INSTANTIATE_TEST_SUITE_P(Unit, AskedAsTheUnitGoes,
                         ::testing::Values(AskedCase{"DrawerOpen", 0x54, 6, "PosDrawer", kOpenTill, "01"},
                                           AskedCase{"AlarmSound", 0x84, 7, "PosAlarm", kSoundAlarm, "06"},
                                           AskedCase{"DrawerOpenTakenAsTheUnitLeaves", 0x54, 6, "PosDrawer",
                                                     kOpenTill, "01", true}),
                         [](const ::testing::TestParamInfo<AskedCase>& info) { return std::string(info.param.name); });

// ---- Waiters on a device that acknowledged and went ------------------------------------

struct GoneCase {
    const char* name;
    const char* station;     // the model at its address
    const char* slotOptions;
    int address;
    uint32_t deviceClass;
    const char* posClass;
    bool nodeLost;           // the simulator (the bus driver node) goes, not the station
};

void PrintTo(const GoneCase& c, std::ostream* os) { *os << c.name; }

class GoneAfterAcknowledging : public OfflineE2E, public ::testing::WithParamInterface<GoneCase> {};

// The waiting client gets 317 within a second of the offline, not the family's time-out
// (329 after 15 s for a scale, 30 s for an NVRAM); the device back, the next request works.
TEST_P(GoneAfterAcknowledging, TheWaitingClientIsToldWithinASecondOfTheOffline) {
    const GoneCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Start("station " + At(c.address) + " " + c.station + "\n", c.slotOptions));
    const int h = OpenDevice(c.address, c.deviceClass, c.posClass);
    ASSERT_GT(h, 0);
    const bool scale = c.deviceClass == 11;
    auto request = [h, scale] {
        if (scale) {
            unsigned char record[8] = {};
            return PosRead(h, record, sizeof record);
        }
        char data[] = "NVREC";
        return PosWrite(h, data, 5);
    };
    ASSERT_EQ(Sim("leave " + At(c.address)).substr(0, 2), "ok");
    const Outcome o = WhileWatching(c.address, request, [&] {
        if (!c.nodeLost) return;
        // The command is acknowledged and the station has left: then the node goes.
        char away[64];
        std::snprintf(away, sizeof away, "1.11.%02x:%s:away", c.address, c.station);
        WaitForReply("stations", away, 5000);
        KillSimulator();
    });
    ASSERT_TRUE(o.returned) << "the request did not return";
    EXPECT_EQ(o.result, -1);
    EXPECT_EQ(o.error, kDeviceOffline);
    ASSERT_TRUE(o.offline) << daemon_.Output();
    EXPECT_LE(Ms(o.returnedAt - o.offlineAt), kToldWithinMs);

    if (c.nodeLost) {
        ASSERT_NO_FATAL_FAILURE(StartSimulator());
    } else {
        ASSERT_EQ(Sim("back " + At(c.address)).substr(0, 2), "ok");
    }
    ASSERT_TRUE(WaitForEvent(kOnline, DeviceWord(1, 0x11, c.address, c.deviceClass), 20000)) << Seen();
    EXPECT_GE(request(), 0) << PosErrno();
}

INSTANTIATE_TEST_SUITE_P(
    Devices, GoneAfterAcknowledging,
    ::testing::Values(GoneCase{"ScaleLeaves", "scale96", "", 0x6e, 11, "PosScale", false},
                      GoneCase{"ScaleBehindALostNode", "scale96", "", 0x6e, 11, "PosScale", true},
                      GoneCase{"NvramLeaves", "nvcop", "nvram 1", 0x50, 8, "PosNvram", false},
                      GoneCase{"NvramBehindALostNode", "nvcop", "nvram 1", 0x50, 8, "PosNvram", true}),
    [](const ::testing::TestParamInfo<GoneCase>& info) { return std::string(info.param.name); });

// ---- Acquiring while offline -----------------------------------------------------------

struct AcquireCase {
    const char* name;
    const char* station;
    int address;
    uint32_t deviceClass;
    const char* posClass;
};

void PrintTo(const AcquireCase& c, std::ostream* os) { *os << c.name; }

class AcquireOffline : public OfflineE2E, public ::testing::WithParamInterface<AcquireCase> {};

// The acquire fails with 317 and holds nothing: asked again it is not "already acquired",
// the one that failed may not read, and another handle acquires the device once it is back.
// The device goes offline with the bus (the quickest road offline).
TEST_P(AcquireOffline, FailsAndHoldsNothing) {
    const AcquireCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Start("station " + At(c.address) + " " + c.station + "\n"));
    const int a = OpenDevice(c.address, c.deviceClass, c.posClass, false);
    const int b = OpenDevice(c.address, c.deviceClass, c.posClass, false, true);
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    KillSimulator();
    ASSERT_TRUE(WaitForEvent(kOffline, DeviceWord(1, 0x11, c.address, c.deviceClass), 20000)) << Seen();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(PosIOCtl(a, kAcquire, nullptr, 0), -1);
        EXPECT_EQ(PosErrno(), kDeviceOffline);
    }
    ASSERT_NO_FATAL_FAILURE(StartSimulator());
    ASSERT_TRUE(WaitForEvent(kOnline, DeviceWord(1, 0x11, c.address, c.deviceClass), 20000)) << Seen();
    unsigned char record[256] = {};
    EXPECT_EQ(PosRead(a, record, sizeof record), -1);
    EXPECT_EQ(PosErrno(), kNotAcquired);
    EXPECT_EQ(PosIOCtl(b, kAcquire, nullptr, 0), 0) << PosErrno();
}

INSTANTIATE_TEST_SUITE_P(Devices, AcquireOffline,
                         ::testing::Values(AcquireCase{"Scale", "scale96", 0x6e, 11, "PosScale"},
                                           AcquireCase{"HandHeldScanner", "hh2", 0x4b, 4, "PosScanner"}),
                         [](const ::testing::TestParamInfo<AcquireCase>& info) { return std::string(info.param.name); });

// ---- The daemon dies -------------------------------------------------------------------

// A client that only waits for events on handle 0 is told at once when the daemon dies, and
// every later call fails with the same error until PosTerm.
TEST_F(OfflineE2E, AClientWaitingOnHandleZeroIsToldWhenTheDaemonDies) {
    ASSERT_NO_FATAL_FAILURE(Start("station 1 0x11 0x54 drawer\n"));
    ASSERT_TRUE(WaitForEvent(kOnline, DeviceWord(1, 0x11, 0x54, 6), 20000)) << Seen();
    PosArg forever[] = {{"readTimeout", -1}};
    ASSERT_EQ(PosIOCtl(0, POS_SYS_SET_VALUES, forever, 1), 0) << PosErrno();
    _POSQMSG m{};
    while (true) { // what came so far is read away; the reader then waits
        PosArg noWait[] = {{"readTimeout", 0}};
        ASSERT_EQ(PosIOCtl(0, POS_SYS_SET_VALUES, noWait, 1), 0);
        const bool any = PosRead(0, &m, sizeof m) == static_cast<int>(sizeof m);
        ASSERT_EQ(PosIOCtl(0, POS_SYS_SET_VALUES, forever, 1), 0);
        if (!any) break;
    }
    auto reader = std::async(std::launch::async, [] {
        _POSQMSG e{};
        int r;
        do {
            r = PosRead(0, &e, sizeof e);
        } while (r == static_cast<int>(sizeof e)); // events of the daemon's last moments
        return PosErrno();
    });
    ASSERT_EQ(reader.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    const auto killed = Clock::now();
    daemon_.Kill();
    ASSERT_EQ(reader.wait_for(std::chrono::milliseconds(kToldWithinMs)), std::future_status::ready)
        << "the event reader still waits " << kToldWithinMs << " ms after the daemon died";
    EXPECT_EQ(reader.get(), kConnectionLost);
    EXPECT_LE(Ms(Clock::now() - killed), kToldWithinMs);
    EXPECT_EQ(PosRead(0, &m, sizeof m), -1);
    EXPECT_EQ(PosErrno(), kConnectionLost);
    PosArg where[] = {{"slotNumber", 1}, {"portNumber", 0x11}, {"deviceNumber", 0x54}};
    char name[] = "till", cls[] = "PosDrawer";
    EXPECT_EQ(PosOpen(name, cls, where, 3), -1);
    EXPECT_EQ(PosErrno(), kConnectionLost);
    EXPECT_EQ(PosTerm(), 0);
    // A daemon again, for the end of the test.
    ASSERT_TRUE(daemon_.Start()) << daemon_.Output();
}

} // namespace
