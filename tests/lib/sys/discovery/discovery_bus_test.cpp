// Discovery on the simulated bus, the adapter manager and the core driven in lockstep with
// the settable clock: the walk over an empty bus, and a station on port 2 that the sniffer
// finds, an oracle identifies and the class it names brings online.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "COMD.h"
#include "CoreFakes.h"
#include "DiscoveryDevices.h"
#include "DiscoveryFakes.h"
#include "SIOAM.h"
#include "Sniffer.h"
#include "TempRoot.h"
#include "busengine.h"
#include "ovkhost.h"
#include "testdevicemodel.h"

using namespace discovery;

namespace {

class BusAdapter : public SIOAM {
public:
    BusAdapter(int slot, short type) : SIOAM(slot, type, "BUSSIO") {}
};
ADAPTER* _CreateBusAdapter(int slot, unsigned short type) {
    return new BusAdapter(slot, static_cast<short>(type));
}

ObjectSupport objectBusAdapter(3800, _CreateBusAdapter);
ObjectSupport objectTestOracle(13100, _CreateTestOracle, static_cast<const unsigned char*>(nullptr), 0);
ObjectSupport objectTestDevice(34900, _CreateTestDevice, static_cast<const unsigned char*>(nullptr), 0);

class DiscoveryBusTest : public ::testing::Test {
protected:
    void SetUp() override {
        ovkhost::useManualClock(true);
        ovkhost::setClock(5000);
        ovkhost::clearCaptures();
        ResetLoadedFlagsForTest();
        markAdapterRowsLoaded();
        markRowLoaded(0x4A, 1700);
        markRowLoaded(0x4A, 34900);
        TestDevice::statusAtStart = true;
        chSetDevNodeBackend(&engine_);
    }
    void Start() {
        comd_ = std::make_unique<COMD>();
        comd_->AddProcess(&process_);
        slot_ = pcomd->GetSlot(1);
        ASSERT_NE(slot_, nullptr);
        manager_ = dynamic_cast<SIOAM*>(slot_->GetAdapter());
        ASSERT_NE(manager_, nullptr);
        sniffer_ = snifferOf(slot_);
        ASSERT_NE(sniffer_, nullptr);
    }
    void TearDown() override {
        if (comd_) comd_->RemoveProcess(process_.GetProcessId());
        comd_.reset();
        chSetDevNodeBackend(nullptr);
        ovkhost::useManualClock(false);
        ResetLoadedFlagsForTest();
        EXPECT_EQ(TestOracle::live, 0);
        EXPECT_EQ(TestDevice::live, 0);
    }
    void Cycle() {
        ovkhost::advanceClock(10);
        slot_->ServiceAdapter(0);
    }
    template <class Cond>
    bool RunUntil(Cond cond, int max) {
        for (int i = 0; i < max; ++i) {
            if (cond()) return true;
            Cycle();
        }
        return cond();
    }

    TempRoot root_;
    bussim::BusEngine engine_;
    TestQueue queue_;
    TestProcess process_{99, &queue_};
    std::unique_ptr<COMD> comd_;
    Slot* slot_ = nullptr;
    SIOAM* manager_ = nullptr;
    Sniffer* sniffer_ = nullptr;
};

TEST_F(DiscoveryBusTest, EmptyBusEndsWithTheWalkStoppedAndTheSlowPollByte) {
    Start();
    ASSERT_TRUE(RunUntil([&] { return sniffer_->WalkStopped(); }, 20000));
    EXPECT_EQ(sniffer_->GetPassCount(), 5);
    // The poll list goes back to idle entries and the node gets the slow poll byte.
    for (int i = 0; i < 10; ++i) Cycle();
    uint8_t timing = 0;
    for (const auto& r : engine_.returnedBuffers(1))
        if (r.accepted && (r.output.flags & 0x40)) timing = r.output.timing[2];
    EXPECT_EQ(timing, 0x60);
    for (const bussim::PollEntry& e : engine_.pollList(1)) EXPECT_EQ(e.address, 0x00);
    EXPECT_TRUE(queue_.events().empty());
    EXPECT_FALSE(ovkhost::errorLogged(804)); // no frame ever came without a device
}

TEST_F(DiscoveryBusTest, StationOnPortTwoIsIdentifiedReplacedAndOnline) {
    bussim::TestDeviceModel::Options options;
    options.type = 34900;
    options.subtype = 7;
    auto model = std::make_unique<bussim::TestDeviceModel>(options);
    bussim::TestDeviceModel* station = model.get();
    ASSERT_NE(engine_.attach(1, 0x22, 0x4A, std::move(model)), nullptr);
    Start();

    // Identified: the new device is made, and the poll list rebuilt at the end of the same
    // cycle deletes the oracle.
    ASSERT_TRUE(RunUntil([&] { return TestOracle::live == 1; }, 20000));
    ASSERT_TRUE(RunUntil([&] { return TestDevice::live == 1; }, 50));
    EXPECT_EQ(TestOracle::live, 0);
    EXPECT_EQ(manager_->GetPollListStale(), 0);
    EXPECT_EQ(station->identifications(), 1);
    const std::vector<bussim::PollEntry> polled = engine_.pollList(1);
    EXPECT_EQ(std::count(polled.begin(), polled.end(), bussim::PollEntry{0x22, 0x4A}), 1);
    EXPECT_EQ(std::count(polled.begin(), polled.end(), bussim::PollEntry{0x21, 0x4A}), 0);

    ASSERT_TRUE(RunUntil([&] { return !queue_.events().empty(); }, 200));
    EXPECT_EQ(queue_.events(), (std::vector<PostedEvent>{{0x420D, 0x01224A04, 0x07}}));
    auto* device = dynamic_cast<TestDevice*>(deviceAt(slot_, DeviceID(1, 0x22, 0x4A)));
    ASSERT_NE(device, nullptr);
    EXPECT_TRUE(device->Confirmed(0x4A));
    EXPECT_EQ(sniffer_->GetAddressRow(0x22, 0x4A)->present, 1);

    // Some seconds on: the link stays up, with no reset after the identification.
    for (int i = 0; i < 500; ++i) Cycle();
    auto frames = engine_.received(1, 0x22, 0x4A);
    size_t identify = frames.size();
    for (size_t i = 0; i < frames.size(); ++i)
        if (frames[i].data == std::vector<uint8_t>{0x01}) identify = i;
    ASSERT_LT(identify, frames.size());
    for (size_t i = identify; i < frames.size(); ++i) {
        EXPECT_NE(frames[i].control, 0x83) << "frame " << i;
        EXPECT_NE(frames[i].control, 0x03) << "frame " << i;
    }
    EXPECT_EQ(device->GetLastMessageLostCounts(), 0);
    EXPECT_EQ(queue_.events().size(), 1u);
    EXPECT_FALSE(ovkhost::errorLogged(1701));
    EXPECT_FALSE(ovkhost::errorLogged(1602));

    // Taken off the bus: offline; back: online again.
    engine_.takeAway(1, 0x22, 0x4A);
    ASSERT_TRUE(RunUntil([&] { return queue_.events().size() == 2; }, 2000));
    EXPECT_EQ(queue_.events()[1], (PostedEvent{0x420C, 0x01224A04, 0x07}));
    engine_.bringBack(1, 0x22, 0x4A);
    ASSERT_TRUE(RunUntil([&] { return queue_.events().size() == 3; }, 2000));
    EXPECT_EQ(queue_.events()[2], (PostedEvent{0x420D, 0x01224A04, 0x07}));
    EXPECT_EQ(TestDevice::live, 1); // the same device object all along
}

} // namespace
