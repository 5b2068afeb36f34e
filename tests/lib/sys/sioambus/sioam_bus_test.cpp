// The adapter manager of an RS-485 slot on the simulated driver node, the core driven in
// lockstep with the settable clock: start-up to running, frames both ways, poll time-outs,
// stop with the final broadcast, an adapter type 661 slot without adapter, and a node that
// goes away and comes back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <set>

#include "SioFakes.h"
#include "TempRoot.h"
#include "busengine.h"
#include "ovkhost.h"
#include "scriptedmodel.h"

using namespace siotest;

namespace {

ObjectSupport objectTestAdapter3800(3800, _CreateTestAdapter);
ObjectSupport objectTestAdapter37000(37000, _CreateTestAdapter);

bussim::TerminalDescription terminal() {
    bussim::TerminalDescription d = bussim::TerminalDescription::standard();
    bussim::SlotDescription& s = d.slots[3]; // type 661 with no adapter present
    s.adapterType = 661;
    s.slotType = bussim::kSlotTypeRS485;
    s.adapterPresent = false;
    return d;
}

// The simulated node behind a plug that can be pulled: then every descriptor opened before
// no longer reaches it (its requests fail, and it counts as lost), and opens are refused
// until the plug is put back.
struct Plug : DevNodeBackend {
    explicit Plug(DevNodeBackend& n) : node(n) {}
    int open(const char* path, int& fd) override {
        if (pulled) return ECONNREFUSED;
        ++opens;
        const int rc = node.open(path, fd);
        if (rc == 0) live.insert(fd);
        return rc;
    }
    void ioctl(int fd, unsigned long request, void* record, size_t size) override {
        if (cut.count(fd)) {
            static_cast<unsigned char*>(record)[0] = EPIPE;
            return;
        }
        node.ioctl(fd, request, record, size);
    }
    int close(int fd) override {
        live.erase(fd);
        cut.erase(fd);
        return node.close(fd);
    }
    bool lost(int fd) override { return cut.count(fd) != 0; }
    void pull() {
        pulled = true;
        cut.insert(live.begin(), live.end());
    }
    void putBack() { pulled = false; }

    DevNodeBackend& node;
    bool pulled = false;
    int opens = 0;
    std::set<int> live, cut;
};

class SioamBusTest : public ::testing::Test {
protected:
    void SetUp() override {
        ovkhost::useManualClock(true);
        ovkhost::setClock(5000);
        ovkhost::clearCaptures();
        ResetLoadedFlagsForTest();
        markAdapterRowsLoaded();
        auto model = std::make_unique<bussim::ScriptedModel>();
        model_ = model.get();
        ASSERT_NE(engine_.attach(1, 0x11, 0x30, std::move(model)), nullptr);
        chSetDevNodeBackend(&plug_);
        comd_ = std::make_unique<COMD>();
        slot_ = pcomd->GetSlot(1);
        ASSERT_NE(slot_, nullptr);
        am_ = dynamic_cast<SIOAM*>(slot_->GetAdapter());
        ASSERT_NE(am_, nullptr);
        ASSERT_NE(useTestSniffer(slot_), nullptr);
        dev_ = new TestLinkDevice(DeviceID(1, 0x11, 0x30));
        ASSERT_EQ(dev_->Init(), 0);
        ASSERT_EQ(slot_->LinkinPhysical(dev_), 0);
        ASSERT_EQ(dev_->Open(nullptr), 0);
    }
    void TearDown() override {
        comd_.reset();
        chSetDevNodeBackend(nullptr);
        ovkhost::useManualClock(false);
        ResetLoadedFlagsForTest();
    }
    int cycle(int slot = 1) {
        ovkhost::advanceClock(10);
        return pcomd->GetSlot(slot)->ServiceAdapter(0);
    }
    // Cycles until cond holds (false when it does not within max cycles).
    template <class Cond>
    bool runUntil(Cond cond, int max = 100) {
        for (int i = 0; i < max; ++i) {
            if (cond()) return true;
            cycle();
        }
        return cond();
    }
    static std::vector<uint32_t> distinct(const std::vector<uint32_t>& states) {
        std::vector<uint32_t> out;
        for (uint32_t s : states)
            if (out.empty() || out.back() != s) out.push_back(s);
        return out;
    }

    TempRoot root_;
    bussim::BusEngine engine_{terminal()};
    Plug plug_{engine_};
    bussim::ScriptedModel* model_ = nullptr;
    std::unique_ptr<COMD> comd_;
    Slot* slot_ = nullptr;
    SIOAM* am_ = nullptr;
    TestLinkDevice* dev_ = nullptr;
};

TEST_F(SioamBusTest, StartUpReachesRunningAndTheDeviceIsPolled) {
    std::vector<uint32_t> states;
    for (int i = 0; i < 60 && am_->GetState() != SIOAM_RUNNING; ++i)
        states.push_back(static_cast<uint32_t>(cycle()));
    ASSERT_EQ(am_->GetState(), SIOAM_RUNNING);
    // The node reports the adapter's reset (event 7) only after the initialise, and its
    // readiness (event 1) after the re-initialise: waiting, reset reported, broadcast,
    // broadcast queued, running.
    EXPECT_EQ(distinct(states), (std::vector<uint32_t>{1, 2, 3, 4, 5}));

    ASSERT_TRUE(runUntil([&] { return !dev_->inputs.empty(); }));
    std::vector<int> flags;
    for (const auto& r : engine_.returnedBuffers(1)) {
        EXPECT_TRUE(r.accepted) << r.refusal;
        flags.push_back(r.output.flags);
    }
    // Initialise, re-initialise, configuration, the power-on reset record of port 1, the
    // configuration again with port 2's record, then configuration, poll list and timing.
    // The node has no poll list yet when the first configuration goes out, so the default
    // list goes with it.
    ASSERT_GE(flags.size(), 7u);
    EXPECT_EQ(std::vector<int>(flags.begin(), flags.begin() + 7),
              (std::vector<int>{0x80, 0x02, 0x28, 0x10, 0x20, 0x10, 0x68}));
    const auto& returned = engine_.returnedBuffers(1);
    ASSERT_GE(returned.size(), 6u);
    for (size_t i : {size_t(3), size_t(5)}) {
        ASSERT_EQ(returned[i].output.frames.size(), 1u);
        EXPECT_EQ(returned[i].output.frames[0].port, i == 3 ? 0x11 : 0x22);
        EXPECT_TRUE(returned[i].output.frames[0].broadcast());
    }
    for (const auto& r : engine_.returnedBuffers(1)) {
        if (r.output.flags == 0x68) {
            EXPECT_EQ(r.output.portConfig, 0xA4);
        }
    }

    // The station was reset by the broadcast and answers its first poll with ROL.
    EXPECT_GE(model_->resets(), 2);
    EXPECT_EQ(dev_->inputs[0][4], 0x0F);
    EXPECT_EQ(engine_.pollList(1)[2], (bussim::PollEntry{0x11, 0x30}));

    // SNRM out, NSA back.
    ASSERT_EQ(dev_->send(0x83), 0);
    ASSERT_TRUE(runUntil([&] { return dev_->inputs.size() >= 2; }));
    EXPECT_EQ(dev_->inputs[1][4], 0x63);
    auto got = engine_.received(1, 0x11, 0x30);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back().control, 0x83);
}

TEST_F(SioamBusTest, SilentAddressGivesPollTimeOutsToItsDevice) {
    engine_.takeAway(1, 0x11, 0x30);
    ASSERT_TRUE(runUntil([&] { return am_->GetState() == SIOAM_RUNNING; }));
    ASSERT_TRUE(runUntil([&] { return dev_->errors.size() >= 3; }));
    for (uint8_t code : dev_->errors) EXPECT_EQ(code, 0x13);
    EXPECT_TRUE(dev_->inputs.empty());
}

TEST_F(SioamBusTest, StopEndsWithTheFinalBroadcast) {
    ASSERT_TRUE(runUntil([&] { return am_->GetState() == SIOAM_RUNNING; }));
    ASSERT_TRUE(runUntil([&] { return !dev_->inputs.empty(); }));
    const int resets = model_->resets();
    slot_->StopAdapter();
    std::vector<uint32_t> states;
    for (int i = 0; i < 60 && am_->GetState() != SIOAM_STOPPED; ++i)
        states.push_back(static_cast<uint32_t>(cycle()));
    ASSERT_EQ(am_->GetState(), SIOAM_STOPPED);
    EXPECT_EQ(distinct(states), (std::vector<uint32_t>{6, 7, 8, 9}));
    // The broadcast is applied at the node's next tick; the node ticks while it holds the
    // buffer, so give it one more wait.
    unsigned char record[2060] = {};
    record[4] = 1;
    int fd = -1;
    ASSERT_EQ(chDevOpen("/dev/ovkdcs", fd), 0);
    chDevIoctl(fd, DCS_WAIT_BUFFER, record, sizeof record, 0);
    chDevClose(fd);
    EXPECT_GT(model_->resets(), resets);
    auto got = engine_.received(1, 0x11, 0x30);
    ASSERT_FALSE(got.empty());
    EXPECT_TRUE(got.back().broadcast);
    for (const auto& r : engine_.returnedBuffers(1)) EXPECT_TRUE(r.accepted) << r.refusal;
}

TEST_F(SioamBusTest, Type661WithoutAdapterHasNoAdapterState) {
    Slot* slot3 = pcomd->GetSlot(3);
    ASSERT_NE(slot3, nullptr);
    EXPECT_EQ(slot3->ServiceAdapter(0), static_cast<int>(SIOAM_NO_ADAPTER));
    EXPECT_EQ(slot3->ServiceAdapter(0), static_cast<int>(SIOAM_NO_ADAPTER));
    EXPECT_FALSE(ovkhost::errorLogged(809));
}

// How many of the printed lines hold the text.
int countLines(const std::vector<std::string>& lines, const char* text) {
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [text](const std::string& l) {
        return l.find(text) != std::string::npos;
    }));
}

// The node goes away while the adapter runs: one plain line, no error-log flood, the device
// offline, the node tried again once a second (on the settable clock), and once it opens
// the adapter starts again and polls the device.
TEST_F(SioamBusTest, LostNodeIsReopenedEverySecondAndTheAdapterStartsAgain) {
    ASSERT_TRUE(runUntil([&] { return am_->GetState() == SIOAM_RUNNING; }));
    ASSERT_TRUE(runUntil([&] { return !dev_->inputs.empty(); }));
    dev_->NowConfirmed(); // online, as its class would make it after the link's start-up
    ASSERT_TRUE(dev_->Confirmed(0x30));
    ovkhost::clearCaptures();

    plug_.pull();
    cycle();
    EXPECT_TRUE(am_->NodeLost());
    EXPECT_FALSE(dev_->Confirmed(0x30));
    EXPECT_FALSE(dev_->TestStatusBits(PDEV_PRESENT));
    const int opens = plug_.opens;
    // Two seconds of rounds: no error-log entry at all, two attempts to open, one line.
    for (int i = 0; i < 200; ++i) cycle();
    EXPECT_TRUE(ovkhost::errorLog().empty()) << ovkhost::errorLog().front().logId;
    const auto lines = ovkhost::printedLines();
    EXPECT_EQ(countLines(lines, "bus driver node failed"), 1);
    EXPECT_EQ(countLines(lines, "(1.11.30) offline"), 1) << ::testing::PrintToString(lines);
    EXPECT_EQ(am_->GetState(), SIOAM_CREATED);

    // Back: within a second the node is open, and the start-up runs as at construction.
    plug_.putBack();
    const int resets = model_->resets();
    std::vector<uint32_t> states;
    for (int i = 0; i < 200 && am_->GetState() != SIOAM_RUNNING; ++i)
        states.push_back(static_cast<uint32_t>(cycle()));
    EXPECT_EQ(plug_.opens, opens + 2); // exchange and information descriptors, once
    ASSERT_EQ(am_->GetState(), SIOAM_RUNNING);
    EXPECT_FALSE(am_->NodeLost());
    EXPECT_EQ(distinct(states), (std::vector<uint32_t>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(countLines(ovkhost::printedLines(), "bus driver node is open again"), 1);
    // The broadcast reset the station, which asks to come online again.
    const size_t before = dev_->inputs.size();
    ASSERT_TRUE(runUntil([&] { return dev_->inputs.size() > before; }));
    EXPECT_EQ(dev_->inputs.back()[4], 0x0F);
    EXPECT_GT(model_->resets(), resets);
    EXPECT_TRUE(ovkhost::errorLog().empty());
}

// A node that fails again and again is logged once a minute, with the count of the failures
// in between; a stop during the outage stops at once.
TEST_F(SioamBusTest, RepeatedLossesAreLoggedOnceAMinuteAndStopEndsTheOutage) {
    ASSERT_TRUE(runUntil([&] { return am_->GetState() == SIOAM_RUNNING; }));
    ovkhost::clearCaptures();
    for (int round = 0; round < 5; ++round) {
        plug_.pull();
        cycle();
        ASSERT_TRUE(am_->NodeLost()) << round;
        plug_.putBack();
        ASSERT_TRUE(runUntil([&] { return !am_->NodeLost(); }, 200)) << round;
        ASSERT_TRUE(runUntil([&] { return am_->GetState() == SIOAM_RUNNING; }, 200)) << round;
    }
    EXPECT_EQ(countLines(ovkhost::printedLines(), "bus driver node failed"), 1);
    EXPECT_EQ(countLines(ovkhost::printedLines(), "is open again"), 1);

    ovkhost::advanceClock(SIOAM::kNodeLogIntervalMs);
    plug_.pull();
    cycle();
    EXPECT_EQ(countLines(ovkhost::printedLines(), "(4 more failures since the last report)"), 1);

    slot_->StopAdapter();
    EXPECT_EQ(cycle(), static_cast<int>(SIOAM_STOPPED));
    const int opens = plug_.opens;
    plug_.putBack();
    for (int i = 0; i < 200; ++i) cycle();
    EXPECT_EQ(plug_.opens, opens); // a stopped manager does not open the node again
    EXPECT_TRUE(ovkhost::errorLog().empty());
}

} // namespace
