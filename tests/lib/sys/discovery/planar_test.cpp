// The system-board slot: the planar adapter's first cycle has the planar sniffer ask the
// keyboard node stand-in which keyboard is attached and make the keyboard and MSR devices.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "COMD.h"
#include "CoreFakes.h"
#include "DiscoveryFakes.h"
#include "ObjectSupport.h"
#include "Planar.h"
#include "PlanarSlot.h"
#include "PlanarSniffer.h"
#include "TempRoot.h"
#include "busengine.h"
#include "kbdnode.h"
#include "nodeswitch.h"
#include "ovkhost.h"
#include "sytables.h"

namespace {

// An on-board device: remembers the class it was made as and counts its output steps.
class PlanarTestDevice : public PDEV {
public:
    PlanarTestDevice(const DeviceID& id, int32_t type) : PDEV(id, "PLNRTEST") { vdevType_ = type; }
    void ProcessOutput(long) override { ++outputs; }
    int outputs = 0;
};

template <int32_t Type>
PDEV* makePlanarDevice(const DeviceID& id) {
    return new PlanarTestDevice(id, Type);
}

ObjectSupport object15800(15800, makePlanarDevice<15800>, static_cast<const unsigned char*>(nullptr), 0);
ObjectSupport object16600(16600, makePlanarDevice<16600>, static_cast<const unsigned char*>(nullptr), 0);
ObjectSupport object15500(15500, makePlanarDevice<15500>, static_cast<const unsigned char*>(nullptr), 0);
ObjectSupport object10700(10700, makePlanarDevice<10700>, static_cast<const unsigned char*>(nullptr), 0);
ObjectSupport object10600(10600, makePlanarDevice<10600>, static_cast<const unsigned char*>(nullptr), 0);

bussim::TerminalDescription planarOnly() {
    bussim::TerminalDescription d;
    d.slots[0].slotType = bussim::kSlotTypePlanar;
    d.slots[0].adapterType = 0xF803;
    return d;
}

class PlanarTest : public ::testing::Test {
protected:
    void SetUp() override {
        ovkhost::clearCaptures();
        ResetLoadedFlagsForTest();
        for (auto [address, type] : {std::pair<uint8_t, long>{0x81, 15800}, {0x81, 16600},
                                     {0x81, 15500}, {0x82, 10700}, {0x82, 10600}})
            discovery::markRowLoaded(address, type);
        nodes_.add(&engine_);
        nodes_.add(&keyboard_);
        chSetDevNodeBackend(&nodes_);
    }
    void TearDown() override {
        if (comd_) comd_->RemoveProcess(process_.GetProcessId());
        comd_.reset();
        chSetDevNodeBackend(nullptr);
        ResetLoadedFlagsForTest();
    }
    Slot* Build() {
        comd_ = std::make_unique<COMD>();
        comd_->AddProcess(&process_);
        return pcomd->GetSlot(0);
    }
    // The devices of the slot other than its sniffer, as (address, class).
    std::vector<std::pair<uint8_t, int32_t>> Made(Slot* slot) {
        std::vector<std::pair<uint8_t, int32_t>> out;
        for (PDEV* d : slot->ListedDevices())
            if (d->GetDeviceType() != PDEV_TYPE_SNIFFER)
                out.emplace_back(d->GetDeviceID().device, d->GetVdevType());
        return out;
    }

    TempRoot root_;
    bussim::BusEngine engine_{planarOnly()};
    bussim::KeyboardNode keyboard_;
    bussim::NodeSwitch nodes_;
    TestQueue queue_;
    TestProcess process_{77, &queue_};
    std::unique_ptr<COMD> comd_;
};

TEST_F(PlanarTest, SlotHasThePlanarAdapterAndSnifferBeforeItsFirstCycle) {
    Slot* slot = Build();
    ASSERT_NE(slot, nullptr);
    EXPECT_NE(dynamic_cast<PlanarSlot*>(slot), nullptr);
    EXPECT_STREQ(slot->NameTag(), "<<PlnrSlot>>");
    EXPECT_EQ(slot->GetAdapterType(), 0);
    auto* planar = dynamic_cast<Planar*>(slot->GetAdapter());
    ASSERT_NE(planar, nullptr);
    EXPECT_STREQ(planar->NameTag(), "<<PLANAR  >>");
    EXPECT_EQ(planar->GetPortCount(), 1);
    EXPECT_EQ(planar->ValidatePort(0x00), 0);
    EXPECT_EQ(planar->ValidatePort(0x11), 328);
    auto devices = slot->ListedDevices();
    ASSERT_EQ(devices.size(), 1u);
    auto* sniffer = dynamic_cast<PlanarSniffer*>(devices[0]);
    ASSERT_NE(sniffer, nullptr);
    EXPECT_EQ(sniffer->GetDeviceID(), DeviceID(0, 0, 0xFE));
    EXPECT_EQ(sniffer->GetVdevType(), 1800);
    EXPECT_EQ(sniffer->GetDeviceType(), 0xFF);
    EXPECT_STREQ(sniffer->NameTag(), "<<SYPLNSNF>>");
    EXPECT_FALSE(sniffer->Made());
    EXPECT_EQ(keyboard_.queries(), 0);
}

struct KeyboardCase {
    bussim::KeyboardState state;
    int32_t keyboard; // class made at 0x81, 0: none
    int32_t msr;      // class made at 0x82, 0: none
};

class PlanarKeyboardTest : public PlanarTest, public ::testing::WithParamInterface<KeyboardCase> {};

TEST_P(PlanarKeyboardTest, KeyboardAndMsrFollowTheDriversAnswer) {
    const KeyboardCase c = GetParam();
    keyboard_.set(c.state);
    Slot* slot = Build();
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->ServiceAdapter(0), 0);
    std::vector<std::pair<uint8_t, int32_t>> expected;
    if (c.keyboard) expected.emplace_back(0x81, c.keyboard);
    if (c.msr) expected.emplace_back(0x82, c.msr);
    std::vector<std::pair<uint8_t, int32_t>> made = Made(slot);
    std::sort(made.begin(), made.end());
    EXPECT_EQ(made, expected);
    for (PDEV* d : slot->ListedDevices()) {
        if (d->GetDeviceType() == PDEV_TYPE_SNIFFER) continue;
        EXPECT_EQ(d->OpenCount(), 1);
        EXPECT_EQ(d->GetDeviceID().port, 0x00);
        EXPECT_EQ(dynamic_cast<PlanarTestDevice*>(d)->outputs, 1); // the same cycle's output step
    }
    // The driver is asked once: later cycles make nothing more.
    slot->ServiceAdapter(0);
    PDEV* sniffer = nullptr;
    slot->FindPhysical(DeviceID(0, 0, 0xFE), sniffer);
    ASSERT_NE(sniffer, nullptr);
    sniffer->TellPhys(nullptr, PLANAR_MAKE_DEVICES, nullptr, 0);
    EXPECT_EQ(keyboard_.queries(), 1);
    EXPECT_EQ(Made(slot).size(), expected.size());
    EXPECT_FALSE(ovkhost::errorLogged(1801));
    EXPECT_FALSE(ovkhost::errorLogged(1401));
}

KeyboardCase kc(uint16_t id, uint16_t type, uint16_t msrFlag, uint8_t flags13, int32_t keyboard,
                int32_t msr, uint8_t result = 0) {
    bussim::KeyboardState s;
    s.id = id;
    s.type = type;
    s.msrFlag = msrFlag;
    s.flags13 = flags13;
    s.result = result;
    return KeyboardCase{s, keyboard, msr};
}

INSTANTIATE_TEST_SUITE_P(
    Keyboards, PlanarKeyboardTest,
    ::testing::Values(kc(0x87AB, 2, 0, 0x00, 16600, 0),      // another type: no MSR
                      kc(0x87AB, 2, 1, 0x04, 16600, 0),      // ... whatever the flags say
                      kc(0x87AB, 8, 0, 0x04, 15800, 10700),  // types 7-9: byte 13 bit 0x04
                      kc(0x87AB, 8, 1, 0x00, 15800, 0),      // ... not the MSR flag
                      kc(0x87AB, 1, 1, 0x00, 15800, 10700),  // types 1, 3, 4: the MSR flag
                      kc(0x87AB, 3, 0, 0x04, 15800, 0),      // ... not byte 13
                      kc(0x88AB, 0, 1, 0x00, 15500, 10600),
                      kc(0x88AB, 0, 0, 0x00, 15500, 0),
                      kc(0x1234, 1, 1, 0x04, 0, 0),          // no POS keyboard
                      kc(0x87AB, 1, 1, 0x00, 0, 0, 5)));     // the driver refused the query

TEST_F(PlanarTest, NoKeyboardDriverLeavesTheSnifferAlone) {
    bussim::KeyboardState s;
    s.driver = false;
    keyboard_.set(s);
    Slot* slot = Build();
    EXPECT_EQ(slot->ServiceAdapter(0), 0);
    EXPECT_TRUE(Made(slot).empty());
    EXPECT_EQ(slot->ListedDevices().size(), 1u);
    EXPECT_EQ(keyboard_.queries(), 0);
}

TEST_F(PlanarTest, KeyboardClassThatCannotBeMadeStopsBeforeTheMsr) {
    ResetLoadedFlagsForTest(); // the keyboard libraries are not there
    discovery::markRowLoaded(0x82, 10700);
    bussim::KeyboardState s;
    s.type = 1;
    s.msrFlag = 1;
    keyboard_.set(s);
    Slot* slot = Build();
    slot->ServiceAdapter(0);
    // The MSR's class is there, yet it is not made without its keyboard.
    EXPECT_TRUE(Made(slot).empty());
    EXPECT_FALSE(ovkhost::errorLogged(1801));
}

TEST_F(PlanarTest, DeviceQueuedForDeletionGoesAtTheNextCycle) {
    Slot* slot = Build();
    slot->ServiceAdapter(0);
    ASSERT_EQ(Made(slot).size(), 1u); // type 1 without MSR flag: the keyboard only
    PDEV* keyboard = nullptr;
    slot->FindPhysical(DeviceID(0, 0, 0x81), keyboard);
    ASSERT_NE(keyboard, nullptr);
    ADAPTER* planar = slot->GetAdapter();
    ASSERT_EQ(planar->PdevReadyToBeDeleted(keyboard), 0);
    planar->SetPollListStale();
    ovkhost::clearCaptures();
    slot->ServiceAdapter(0);
    EXPECT_TRUE(Made(slot).empty());
    EXPECT_EQ(planar->GetPollListStale(), 0);
    // The device list changed under the output step: the step stopped and said so.
    EXPECT_TRUE(ovkhost::errorLogged(1401));
    slot->ServiceAdapter(0);
    EXPECT_EQ(slot->ListedDevices().size(), 1u);
}

} // namespace
