// The discovery walk, driven one adapter cycle at a time on the settable clock: the order of
// the walk over both ports, poll time-outs, the stop after five empty passes, the reset and
// SNRM of a silent address, the device made at an answering address, the slot's notices,
// and a single-port adapter.
#include <gtest/gtest.h>

#include <algorithm>

#include "DiscoveryDevices.h"
#include "DiscoveryFakes.h"

using namespace discovery;

namespace {

ObjectSupport objectRecordingAdapter(3800, _CreateRecordingAdapter);
// 0x5C: requested type 1700 names class 29500, which identifies itself here.
ObjectSupport objectSelfIdentifying(29500, _CreateTestDevice, static_cast<const unsigned char*>(nullptr), 0);

using Visit = std::pair<uint8_t, uint8_t>;

// One pass over every address of the docked walk that may carry a device, the ports taking
// turns.
std::vector<Visit> onePass(bool twoPorts) {
    std::vector<Visit> pass;
    for (int i = 1; i < Sniffer::kInitSniffCount; ++i) {
        const uint8_t a = Sniffer::InitSniffOrder[static_cast<size_t>(i)].address;
        pass.emplace_back(0x11, a);
        if (twoPorts) pass.emplace_back(0x22, a);
    }
    return pass;
}

class SnifferTest : public SnifferFixture {};

TEST(SnifferOrder, DockedWalkHoldsEveryAddressOnce) {
    bool seen[128] = {};
    for (const auto& e : Sniffer::InitSniffOrder) {
        ASSERT_LT(e.address, 128);
        EXPECT_FALSE(seen[e.address]) << int(e.address);
        seen[e.address] = true;
    }
    EXPECT_EQ(Sniffer::InitSniffOrder[0].address, 0x00);
    EXPECT_EQ(Sniffer::InitSniffOrder[50].address, 0x50);
    EXPECT_EQ(Sniffer::InitSniffOrder[51].address, 0x51);
    EXPECT_EQ(Sniffer::InitSniffOrder[51].waitCount, 1);
    // Beyond the walk's last entry, wherever that is, the other addresses follow in ascending
    // order, never waited for.
    for (size_t i = Sniffer::kInitSniffCount; i < Sniffer::InitSniffOrder.size(); ++i) {
        EXPECT_EQ(Sniffer::InitSniffOrder[i].waitCount, 0) << i;
        if (i > static_cast<size_t>(Sniffer::kInitSniffCount)) {
            EXPECT_LT(Sniffer::InitSniffOrder[i - 1].address, Sniffer::InitSniffOrder[i].address) << i;
        }
    }
    EXPECT_EQ(Sniffer::InitSniffOrder[127].address, 0x7F);
}

TEST_F(SnifferTest, MadeByTheSlotAsTheLastDeviceWithItsOwnTypes) {
    EXPECT_EQ(sniffer_->GetVdevType(), 1600);
    EXPECT_EQ(sniffer_->GetDeviceType(), 0xFF);
    EXPECT_STREQ(sniffer_->NameTag(), "<<SNIFFER >>");
    EXPECT_EQ(sniffer_->GetDeviceID(), DeviceID(1, 0x11, 0x00));
    EXPECT_EQ(sniffer_->GetCurrentIndex(), 0);
    EXPECT_EQ(PollByte(), 0x20);
    EXPECT_EQ(sniffer_->OpenCount(), 1);
}

TEST_F(SnifferTest, EmptyBusGivesFivePassesAlternatingPortsThenStops) {
    // The first address waits for two poll time-outs.
    Step();
    EXPECT_EQ(sniffer_->GetDeviceID(), DeviceID(1, 0x11, 0x5C));
    const unsigned char timeout = 0x13;
    sniffer_->ProcessError(&timeout, 1);
    Step();
    EXPECT_EQ(sniffer_->GetDeviceID(), DeviceID(1, 0x11, 0x5C));
    sniffer_->ProcessError(&timeout, 1);
    Step();
    EXPECT_EQ(sniffer_->GetDeviceID(), DeviceID(1, 0x22, 0x5C));
    EXPECT_EQ(sniffer_->GetAddressWaitTime(), 0x90); // the address's own wait times
    EXPECT_EQ(sniffer_->GetByteWaitTime(), 0x68);
    EXPECT_TRUE(adapter_->GetPollListStale());

    sniffer_->TellPhys(nullptr, SNIFF_RESCAN, nullptr, 0); // and from the start again
    std::vector<Visit> visits = Visits(20000);
    ASSERT_TRUE(sniffer_->WalkStopped());
    std::vector<Visit> expected;
    for (int pass = 0; pass < 5; ++pass) {
        std::vector<Visit> one = onePass(true);
        expected.insert(expected.end(), one.begin(), one.end());
    }
    EXPECT_EQ(visits, expected);
    EXPECT_EQ(sniffer_->GetPassCount(), 5);
    EXPECT_EQ(sniffer_->GetTimingFactor(), 300);
    EXPECT_EQ(PollByte(), 0x60);
    EXPECT_EQ(sniffer_->GetDeviceID().device, 0);

    // Stopped: the walk takes no address any more, even much later.
    now_ += 600000;
    for (int i = 0; i < 50; ++i) EmptyCycle();
    EXPECT_EQ(sniffer_->GetDeviceID().device, 0);
    EXPECT_TRUE(adapter_->TakeFrames().empty());
}

TEST_F(SnifferTest, SilentAddressGetsNsiThenSnrm) {
    Step();
    ASSERT_EQ(sniffer_->GetDeviceID(), DeviceID(1, 0x11, 0x5C));
    for (int i = 0; i < 40; ++i) Step();
    EXPECT_TRUE(adapter_->TakeFrames().empty());
    Step();
    auto frames = adapter_->TakeFrames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].port, 0x11);
    EXPECT_EQ(frames[0].address, 0x5C);
    EXPECT_EQ(frames[0].control, 0x03);
    EXPECT_EQ(frames[0].data, (std::vector<uint8_t>{0x00, 0x40}));
    EXPECT_NE(sniffer_->GetAddressRow(0x11, 0x5C)->lastResetTime, 0);

    for (int i = 0; i < 40; ++i) Step();
    EXPECT_TRUE(adapter_->TakeFrames().empty());
    Step();
    frames = adapter_->TakeFrames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].control, 0x83);
    EXPECT_EQ(frames[0].address, 0x5C);
    EXPECT_EQ(sniffer_->GetAddressRow(0x11, 0x5C)->lastResetTime, 0);
    // Still there: the address has not timed out.
    EXPECT_EQ(sniffer_->GetDeviceID(), DeviceID(1, 0x11, 0x5C));
}

TEST_F(SnifferTest, AnsweringAddressGetsItsDeviceWhichTakesTheFrame) {
    markRowLoaded(0x5C, 1700);
    // A pass that found nothing, then the address answers in the next one.
    ASSERT_TRUE(WalkTo(0x11, 0x5D));
    ASSERT_TRUE(WalkTo(0x11, 0x5C));
    EXPECT_EQ(sniffer_->GetPassCount(), 1);
    adapter_->TakeFrames();

    auto rol = inRecord(0x11, 0x5C, kROL);
    EXPECT_EQ(sniffer_->ProcessInput(rol.data(), static_cast<int>(rol.size())), 0);
    EXPECT_EQ(TestDevice::live, 1);
    auto* device = dynamic_cast<TestDevice*>(deviceAt(slot_, DeviceID(1, 0x11, 0x5C)));
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(slot_->ListedDevices().front(), device);
    EXPECT_EQ(device->OpenCount(), 1);
    EXPECT_EQ(device->GetAdapter(), adapter_);
    // The device answered the request to go online with SNRM from the sniffer's link.
    auto frames = adapter_->TakeFrames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].control, 0x83);
    EXPECT_EQ(frames[0].address, 0x5C);
    EXPECT_EQ(device->GetLinkState(), SIODEVICE::WAITNSA);

    // The sniffer marked the address and moved on.
    EXPECT_EQ(sniffer_->GetAddressRow(0x11, 0x5C)->present, 1);
    EXPECT_EQ(sniffer_->GetAddressRow(0x22, 0x5C)->present, 0);
    EXPECT_NE(sniffer_->GetDeviceID(), DeviceID(1, 0x11, 0x5C));
    EXPECT_EQ(sniffer_->GetPassCount(), 0);
    EXPECT_EQ(PollByte(), 0x20);

    // The device comes up on its own link and tells every process.
    auto nsa = inRecord(0x11, 0x5C, kNSA);
    device->ProcessInput(nsa.data(), static_cast<int>(nsa.size()));
    frames = adapter_->TakeFrames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].control, infoControl(0, 0));
    EXPECT_EQ(frames[0].data, (std::vector<uint8_t>{0x02}));
    auto status = inRecord(0x11, 0x5C, infoControl(0, 1), {0x82, 0x07, 0x10});
    device->ProcessInput(status.data(), static_cast<int>(status.size()));
    EXPECT_EQ(queue_.events(), (std::vector<PostedEvent>{{0x420D, 0x01115C0D, 0x07}}));

    // Later passes leave the address alone on port 1 but still look on port 2.
    std::vector<Visit> visits = Visits(20000);
    EXPECT_EQ(std::count(visits.begin(), visits.end(), Visit{0x11, 0x5C}), 0);
    EXPECT_EQ(std::count(visits.begin(), visits.end(), Visit{0x22, 0x5C}), 5);
}

TEST_F(SnifferTest, FailedCreationIsLoggedAndTheAddressTriedAgain) {
    // 0x5D names a library that is not there.
    ASSERT_TRUE(WalkTo(0x11, 0x5D));
    ovkhost::clearCaptures();
    auto rol = inRecord(0x11, 0x5D, kROL);
    EXPECT_EQ(sniffer_->ProcessInput(rol.data(), static_cast<int>(rol.size())), 337);
    EXPECT_TRUE(ovkhost::errorLogged(1602));
    EXPECT_EQ(TestDevice::live, 0);
    EXPECT_EQ(slot_->ListedDevices().size(), 1u);
    EXPECT_EQ(sniffer_->GetAddressRow(0x11, 0x5D)->present, 0);
    EXPECT_EQ(sniffer_->GetDeviceID(), DeviceID(1, 0x22, 0x5D));
    std::vector<Visit> visits = Visits(20000);
    EXPECT_GE(std::count(visits.begin(), visits.end(), Visit{0x11, 0x5D}), 1);
}

// The address answers at every round of the walk: its first failure is logged in full, the
// next ones only counted, and the count told once a minute has passed.
TEST_F(SnifferTest, RepeatedFailureAtAnAddressIsLoggedOnceThenCountedOnceAMinute) {
    const uint32_t at5D = 0x01115D00;
    auto failuresLogged = [&] {
        int n = 0;
        for (const auto& e : ovkhost::errorLog()) n += e.logId == 1602 && e.extra == at5D;
        return n;
    };
    auto countLines = [] {
        int n = 0;
        for (const std::string& l : ovkhost::printedLines())
            n += l.find("address 0x5d: the device still cannot be created") != std::string::npos;
        return n;
    };
    auto failAt5D = [&] {
        ASSERT_TRUE(WalkTo(0x11, 0x5D));
        auto rol = inRecord(0x11, 0x5D, kROL);
        EXPECT_EQ(sniffer_->ProcessInput(rol.data(), static_cast<int>(rol.size())), 337);
    };
    ovkhost::clearCaptures();
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        failAt5D();
        EXPECT_EQ(failuresLogged(), 1);
        EXPECT_EQ(countLines(), 0);
    }

    now_ += RepeatedFailure::kLogIntervalMs;
    failAt5D();
    EXPECT_EQ(failuresLogged(), 1);
    EXPECT_EQ(countLines(), 1);
    bool counted = false;
    for (const std::string& l : ovkhost::printedLines())
        counted |= l.find("(rc 337), 4 more failures since the last report") != std::string::npos;
    EXPECT_TRUE(counted) << ::testing::PrintToString(ovkhost::printedLines());

    // Within the next minute: counted again, not logged.
    failAt5D();
    EXPECT_EQ(failuresLogged(), 1);
    EXPECT_EQ(countLines(), 1);
}

TEST_F(SnifferTest, FrameWithoutABorrowedAddressIsRefused) {
    ovkhost::clearCaptures();
    auto rol = inRecord(0x11, 0x00, kROL);
    EXPECT_EQ(sniffer_->ProcessInput(rol.data(), static_cast<int>(rol.size())), 306);
    EXPECT_TRUE(ovkhost::errorLogged(1608));
    EXPECT_EQ(slot_->ListedDevices().size(), 1u);
}

TEST_F(SnifferTest, NothingLeftToPollWaitsUntilADeviceLeaves) {
    // Every address of the walk has a device but 0x4A on port 2.
    for (int i = 1; i < Sniffer::kInitSniffCount; ++i) {
        const uint8_t a = Sniffer::InitSniffOrder[static_cast<size_t>(i)].address;
        Notice(SNIFF_DEVICE_PRESENT, 0x11, a);
        if (a != 0x4A) Notice(SNIFF_DEVICE_PRESENT, 0x22, a);
    }
    Step();
    EXPECT_EQ(sniffer_->GetDeviceID(), DeviceID(1, 0x22, 0x4A));
    // That one gets a device too: nothing is left to poll.
    Notice(SNIFF_DEVICE_PRESENT, 0x22, 0x4A);
    EmptyCycle();
    EmptyCycle();
    EXPECT_EQ(sniffer_->GetWalkState(), Sniffer::NOTHING_LEFT);
    EXPECT_EQ(sniffer_->GetDeviceID().device, 0);
    for (int i = 0; i < 100; ++i) EmptyCycle();
    EXPECT_EQ(sniffer_->GetDeviceID().device, 0);
    EXPECT_FALSE(sniffer_->WalkStopped());

    // A device leaves on port 1: the walk starts again and looks there only.
    EXPECT_EQ(Notice(SNIFF_DEVICE_LEFT, 0x11, 0x30), 0);
    EXPECT_EQ(sniffer_->GetWalkState(), Sniffer::BETWEEN_PASSES);
    EXPECT_EQ(sniffer_->GetCurrentPort(), 0);
    std::vector<Visit> visits = Visits(2000);
    ASSERT_FALSE(visits.empty());
    for (const Visit& v : visits) EXPECT_EQ(v, (Visit{0x11, 0x30}));
    EXPECT_TRUE(sniffer_->WalkStopped());
}

// The walk had nothing left for 36 days (longer than half the clock's 32-bit range) when a
// device leaves: its pass starts at the next cycle, not once the clock has come round again
// to the last pass's start.
TEST_F(SnifferTest, ADeviceLeavingAfterWeeksWithNothingLeftStartsThePassAtOnce) {
    for (int i = 1; i < Sniffer::kInitSniffCount; ++i) {
        const uint8_t a = Sniffer::InitSniffOrder[static_cast<size_t>(i)].address;
        Notice(SNIFF_DEVICE_PRESENT, 0x11, a);
        Notice(SNIFF_DEVICE_PRESENT, 0x22, a);
    }
    for (int i = 0; i < 5; ++i) EmptyCycle();
    ASSERT_EQ(sniffer_->GetWalkState(), Sniffer::NOTHING_LEFT);

    now_ = chTimeAdd(now_, static_cast<int32_t>(36u * 24 * 3600 * 1000));
    ASSERT_EQ(Notice(SNIFF_DEVICE_LEFT, 0x11, 0x30), 0);
    Step();
    EXPECT_EQ(sniffer_->GetWalkState(), Sniffer::WALKING);
    EXPECT_EQ(sniffer_->GetDeviceID(), DeviceID(1, 0x11, 0x30));
}

TEST_F(SnifferTest, NoticesAreBoundedByTheirData) {
    // Another port, an address above 0x7F, short data: nothing happens.
    EXPECT_EQ(Notice(SNIFF_DEVICE_PRESENT, 0x33, 0x30), 0);
    EXPECT_EQ(Notice(SNIFF_DEVICE_PRESENT, 0x11, 0x81), 0);
    unsigned char shortId[2] = {1, 0x11};
    EXPECT_EQ(sniffer_->TellPhys(nullptr, SNIFF_DEVICE_PRESENT, shortId, 2), 0);
    EXPECT_EQ(sniffer_->TellPhys(nullptr, SNIFF_DEVICE_LEFT, nullptr, 3), 0);
    EXPECT_EQ(sniffer_->TellPhys(nullptr, SNIFF_POLL_BYTE, nullptr, 0), 0);
    EXPECT_EQ(sniffer_->GetAddressRow(0x11, 0x30)->present, 0);
    // Codes of its own are for the physical device base.
    unsigned char value[4] = {};
    EXPECT_EQ(sniffer_->TellPhys(nullptr, 9999, value, 1), 0);
    EXPECT_EQ(value[0], 30);
    EXPECT_EQ(sniffer_->TellPhys(nullptr, 4242, value, 1), 311);
}

TEST_F(SnifferTest, ExistingDevicesAreMarkedPresentAtInit) {
    auto* device = new TestDevice(DeviceID(1, 0x22, 0x30));
    ASSERT_EQ(device->Init(), 0);
    ASSERT_EQ(slot_->LinkinPhysical(device), 0);
    ASSERT_EQ(device->Open(nullptr), 0);
    Sniffer second(DeviceID(1, 0, 0xFE), "SNIFFER2");
    ASSERT_EQ(second.Init(), 0);
    EXPECT_EQ(second.GetAddressRow(0x22, 0x30)->present, 1);
    EXPECT_EQ(second.GetAddressRow(0x11, 0x30)->present, 0);
    second.Term(); // not listed: the unlink is logged and ignored
    EXPECT_EQ(second.GetCurrentIndex(), -1);
    EXPECT_EQ(second.GetAddressRow(0x22, 0x30), nullptr);
}

TEST_F(SnifferTest, SinglePortAdapterWalksPortOneOnly) {
    adapter_->SetPortCount(1);
    std::vector<Visit> visits = Visits(200);
    ASSERT_FALSE(visits.empty());
    for (const Visit& v : visits) EXPECT_EQ(v.first, 0x11);
    EXPECT_EQ(sniffer_->GetPortCount(), 1);
    EXPECT_EQ(sniffer_->GetAddressRow(0x22, 0x30), nullptr);
    // Notices for the port that is gone are ignored.
    EXPECT_EQ(Notice(SNIFF_DEVICE_PRESENT, 0x22, 0x30), 0);
    EXPECT_EQ(Notice(SNIFF_DEVICE_LEFT, 0x22, 0x30), 0);

    // Rescans, even once the adapter reports the second port again, leave port 2 alone.
    sniffer_->TellPhys(nullptr, SNIFF_RESCAN, nullptr, 0);
    visits = Visits(200);
    adapter_->SetPortCount(2);
    sniffer_->TellPhys(nullptr, SNIFF_RESCAN, nullptr, 0);
    std::vector<Visit> more = Visits(20000);
    visits.insert(visits.end(), more.begin(), more.end());
    ASSERT_TRUE(sniffer_->WalkStopped());
    for (const Visit& v : visits) EXPECT_EQ(v.first, 0x11);
    EXPECT_EQ(sniffer_->GetPortCount(), 1);
    EXPECT_EQ(more, [] {
        std::vector<Visit> expected;
        for (int pass = 0; pass < 5; ++pass) {
            std::vector<Visit> one = onePass(false);
            expected.insert(expected.end(), one.begin(), one.end());
        }
        return expected;
    }());
}

} // namespace
