// The adapter manager of an RS-485 slot on the simulated driver node, the core driven in
// lockstep with the settable clock: start-up to running, frames both ways, poll time-outs,
// stop with the final broadcast, and an adapter type 661 slot without adapter.
#include <gtest/gtest.h>

#include <memory>

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
        chSetDevNodeBackend(&engine_);
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

} // namespace
