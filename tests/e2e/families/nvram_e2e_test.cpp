// NVRAM end to end: an application writes and reads records on the bus NVRAMs and on the
// adapter's own NVRAM, switches the terminal off through the power device, and finds its
// records again after the daemon and the simulator were killed and started on the same
// root; power cuts at every step of a write leave each record old or new, never broken.
#include <signal.h>

#include <atomic>
#include <ostream>
#include <chrono>
#include <string>
#include <thread>

#include "SimulatedTerminal.h"

namespace {

constexpr uint32_t kOnline = 0x420D;
constexpr int kAcquire = 301;
constexpr int kRelease = 304;
constexpr int kPowerOff = 6401;

const char kTerminal[] =
    "slot 0 planar\n"
    "slot 1 rs485 type 5 kind 5 ports 2 nvram 1\n"
    "station 1 0x11 0x50 nvcop\n"
    "station 1 0x11 0x51 nvocr\n";

const char kResources[] = "";

class NvramE2E : public TerminalTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(StartTerminal(kTerminal, kResources));
        ASSERT_NO_FATAL_FAILURE(WaitOnline());
    }
    void WaitOnline() {
        for (uint32_t word : {DeviceWord(1, 0x11, 0x85, 8), DeviceWord(1, 0x11, 0x50, 8),
                              DeviceWord(1, 0x11, 0x51, 8), DeviceWord(1, 0x11, 0x86, 12)})
            ASSERT_TRUE(Online(word)) << std::hex << word << Seen();
    }
    // The online event of a device, seen already or still to come (in any order).
    bool Online(uint32_t word) {
        for (const Event& e : seen_)
            if (e.msg == kOnline && e.p1 == word) return true;
        return WaitForEvent(kOnline, word);
    }
    // An NVRAM at address, opened in direct mode at cursor 0 and acquired.
    int OpenNvram(uint8_t address, const char* className = "PosNvram") {
        PosArg args[] = {{"slotNumber", 1}, {"portNumber", 0x11}, {"deviceNumber", address}};
        char name[] = "nvram";
        const int h = PosOpen(name, const_cast<char*>(className), args, 3);
        EXPECT_GT(h, 0) << PosErrno();
        if (h > 0) {
            EXPECT_EQ(PosIOCtl(h, kAcquire, nullptr, 0), 0) << PosErrno();
        }
        return h;
    }
    // The record at cursor 0, or "#<error>".
    std::string ReadFirst(uint8_t address) {
        const int h = OpenNvram(address);
        char buffer[1100];
        const int n = PosRead(h, buffer, sizeof buffer);
        const std::string out = n < 0 ? "#" + std::to_string(PosErrno()) : std::string(buffer, static_cast<size_t>(n));
        PosClose(h);
        return out;
    }
};

TEST_F(NvramE2E, RecordsWrittenAndReadOnTheBusNvram) {
    const int w = OpenNvram(0x51);
    char data[] = "hello, journal";
    ASSERT_EQ(PosWrite(w, data, 14), 14) << PosErrno();
    ASSERT_EQ(PosWrite(w, data, 5), 5) << PosErrno();
    ASSERT_EQ(PosIOCtl(w, kRelease, nullptr, 0), 0);
    EXPECT_EQ(ReadFirst(0x51), "hello, journal");
    // The record lies at its place on the device (address 0xC00).
    EXPECT_EQ(Sim("nvdump 1 0x11 0x51 0xc00 4"), "ok 0e006865");
    EXPECT_EQ(PosClose(w), 0);

    const int small = OpenNvram(0x50);
    ASSERT_EQ(PosWrite(small, data, 5), 5) << PosErrno();
    PosClose(small);
    EXPECT_EQ(ReadFirst(0x50), "hello");
}

TEST_F(NvramE2E, PowerOffReachesTheStation) {
    const int h = OpenNvram(0x86, "PosPower");
    ASSERT_EQ(PosIOCtl(h, kPowerOff, nullptr, 0), 0) << PosErrno();
    EXPECT_TRUE(WaitForReply("payloads 1 0x11 0x51", " 800000"));
    PosClose(h);
}

TEST_F(NvramE2E, AdapterNvramKeepsRecordsAcrossARestart) {
    const int h = OpenNvram(0x85);
    char data[] = "kept";
    ASSERT_EQ(PosWrite(h, data, 4), 4) << PosErrno();
    PosClose(h);
    EXPECT_EQ(Sim("addump 1 0 6").substr(0, 15), "ok 04006b657074");
    ASSERT_NO_FATAL_FAILURE(RestartTerminal());
    ASSERT_NO_FATAL_FAILURE(WaitOnline());
    EXPECT_EQ(ReadFirst(0x85), "kept");
}

// ---------------------------------------------------------------------------------------
// Power cuts.

struct Cut {
    const char* name;
    uint8_t address;
    int whole;   // write commands applied in full
    int partial; // bytes of the next
    bool fresh;  // the record reads new after the restart (else old)
};

void PrintTo(const Cut& c, std::ostream* os) { *os << c.name; }

class NvramPowerCut : public NvramE2E, public ::testing::WithParamInterface<Cut> {};

TEST_P(NvramPowerCut, EveryRecordReadsOldOrNew) {
    const Cut& c = GetParam();
    const std::string old = "the old record", fresh = "a NEW record, longer than the old one";
    {
        const int h = OpenNvram(c.address);
        ASSERT_EQ(PosWrite(h, const_cast<char*>(old.data()), static_cast<int>(old.size())),
                  static_cast<int>(old.size())) << PosErrno();
        PosClose(h);
    }
    ASSERT_EQ(ReadFirst(c.address), old);
    const std::string plan = c.address == 0x85 ? "adcut 1 " : "nvcut 1 0x11 " + std::to_string(c.address) + " ";
    ASSERT_EQ(Sim(plan + std::to_string(c.whole) + " " + std::to_string(c.partial)).substr(0, 2), "ok");

    // The write that the cut interrupts: the device goes silent (or the node goes away)
    // while the application waits.
    const int h = OpenNvram(c.address);
    std::atomic<int> written{-2};
    std::thread writer([&] {
        written = PosWrite(h, const_cast<char*>(fresh.data()), static_cast<int>(fresh.size()));
    });
    if (c.address != 0x85) {
        EXPECT_TRUE(WaitForReply("stations", "1.11." + std::string(c.address == 0x50 ? "50" : "51") + ":" +
                                                 (c.address == 0x50 ? "nvcop" : "nvocr") + ":away"));
    } else {
        for (int i = 0; i < 500 && written == -2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    daemon_.Kill();
    writer.join();
    const bool done = written == static_cast<int>(fresh.size());

    ASSERT_NO_FATAL_FAILURE(RestartTerminal());
    ASSERT_NO_FATAL_FAILURE(WaitOnline());
    const std::string now = ReadFirst(c.address);
    // Never a mix or a broken record; new once the data were staged in full.
    if (done) {
        EXPECT_EQ(now, fresh);
    }
    EXPECT_EQ(now, c.fresh ? fresh : old);
}

std::string CutName(const ::testing::TestParamInfo<Cut>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(
    Steps, NvramPowerCut,
    ::testing::Values(
        // The journalled bus NVRAM: header, staged data, state 02, copy (the record is 41 bytes).
        Cut{"BusBeforeHeader", 0x51, 0, 0, false}, Cut{"BusAfterHeader", 0x51, 1, 0, false},
        Cut{"BusAfterStage", 0x51, 2, 0, false}, Cut{"BusAfterState", 0x51, 3, 0, true},
        Cut{"BusAfterCopy", 0x51, 3, 41, true}, Cut{"BusMidHeader", 0x51, 0, 8, false},
        Cut{"BusMidStage", 0x51, 1, 20, false}, Cut{"BusMidCopy", 0x51, 3, 20, true},
        // The adapter's NVRAM: journal block, state, record.
        Cut{"AdapterBeforeJournal", 0x85, 0, 0, false}, Cut{"AdapterAfterJournal", 0x85, 1, 0, false},
        Cut{"AdapterAfterState", 0x85, 2, 0, true}, Cut{"AdapterAfterRecord", 0x85, 2, 41, true},
        Cut{"AdapterMidJournal", 0x85, 0, 30, false}, Cut{"AdapterMidRecord", 0x85, 2, 20, true},
        // The small NVRAM: its one command applied, no answer.
        Cut{"SmallAfterCommand", 0x50, 0, 41, true}),
    CutName);

} // namespace
