// Identification: the sniffer makes an oracle at an answering address, the oracle asks the
// device which class it is, and the class the answer selects takes over the link; the
// oracle steps aside and is deleted by the adapter.
#include <gtest/gtest.h>

#include "DiscoveryDevices.h"
#include "DiscoveryFakes.h"

using namespace discovery;

namespace {

ObjectSupport objectRecordingAdapter(3800, _CreateRecordingAdapter);
// 0x4A: requested type 1700 names the oracle class 13100; 34900 is a class of that address.
ObjectSupport objectTestOracle(13100, _CreateTestOracle, static_cast<const unsigned char*>(nullptr), 0);
ObjectSupport objectTestDevice(34900, _CreateTestDevice, static_cast<const unsigned char*>(nullptr), 0);

const DeviceID kAt(1, 0x22, 0x4A);

class OracleTest : public SnifferFixture {
protected:
    void SetUp() override {
        SnifferFixture::SetUp();
        markRowLoaded(0x4A, 1700);
        markRowLoaded(0x4A, 34900);
        TestDevice::statusAtStart = true;
    }
    void TearDown() override {
        SnifferFixture::TearDown();
        TestDevice::statusAtStart = true;
        EXPECT_EQ(TestOracle::live, 0);
        EXPECT_EQ(TestDevice::live, 0);
    }
    void Give(PDEV* device, uint8_t control, const std::vector<uint8_t>& data = {}) {
        auto r = inRecord(kAt.port, kAt.device, control, data);
        device->ProcessInput(r.data(), static_cast<int>(r.size()));
    }
    // The sniffer finds the station, whose oracle resets the link: the oracle has sent its
    // identification request.
    TestOracle* Discover() {
        EXPECT_TRUE(WalkTo(kAt.port, kAt.device));
        auto rol = inRecord(kAt.port, kAt.device, kROL);
        EXPECT_EQ(sniffer_->ProcessInput(rol.data(), static_cast<int>(rol.size())), 0);
        auto* oracle = dynamic_cast<TestOracle*>(deviceAt(slot_, kAt));
        if (!oracle) return nullptr;
        Give(oracle, kNSA);
        auto frames = adapter_->TakeFrames();
        EXPECT_EQ(frames.size(), 2u); // SNRM, then the request
        if (frames.size() == 2) {
            EXPECT_EQ(frames[0].control, 0x83);
            EXPECT_EQ(frames[1].control, infoControl(0, 0));
            EXPECT_EQ(frames[1].data, (std::vector<uint8_t>{0x01}));
        }
        return oracle;
    }
    // Link frames of the device at the address over the next ms of cycles.
    std::vector<SentFrame> RunDevice(PDEV* device, int ms) {
        for (int t = 0; t < ms; t += 10) {
            now_ += 10;
            ovkhost::setClock(now_);
            device->ProcessOutput(now_);
        }
        return adapter_->TakeFrames();
    }
};

TEST_F(OracleTest, OracleIsMadeWithItsOwnTypesAndRunsTheLink) {
    TestOracle* oracle = Discover();
    ASSERT_NE(oracle, nullptr);
    EXPECT_EQ(oracle->GetVdevType(), 1700);
    EXPECT_EQ(oracle->GetDeviceType(), 254);
    EXPECT_EQ(oracle->GetLinkState(), SIODEVICE::WAITACK);
    EXPECT_TRUE(oracle->TestStatusBits(PDEV_PRESENT));
    EXPECT_TRUE(oracle->TestStatusBits(SIODEV_AWAITING_REPLY)); // reset mark
    EXPECT_EQ(oracle->GetPendingLength(), 0);
    EXPECT_EQ(oracle->GetLastSentLength(), 1);
    EXPECT_EQ(sniffer_->GetAddressRow(0x22, 0x4A)->present, 1);
}

// The identification frame is acknowledged by the new device: with the message it has to
// send, or with RR when it has none. Either way no lost message, sequence error or link reset
// follows.
struct AckCase {
    bool statusAtStart;
    uint8_t control; // of the frame that acknowledges the identification
    SIODEVICE::LinkState state;
};

class OracleAckTest : public OracleTest, public ::testing::WithParamInterface<AckCase> {};

TEST_P(OracleAckTest, NewDeviceTakesOverAndAcknowledges) {
    const AckCase c = GetParam();
    TestDevice::statusAtStart = c.statusAtStart;
    TestOracle* oracle = Discover();
    ASSERT_NE(oracle, nullptr);
    ovkhost::clearCaptures();
    adapter_->ClearPollListStale();

    Give(oracle, infoControl(0, 1), {0x81, 0x54, 0x88}); // class 34900
    EXPECT_EQ(oracle->chosen, 34900);
    EXPECT_EQ(oracle->createResult, 0);
    auto* device = dynamic_cast<TestDevice*>(deviceAt(slot_, kAt));
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(slot_->ListedDevices().front(), device);
    EXPECT_EQ(device->OpenCount(), 1);
    EXPECT_TRUE(device->TestStatusBits(PDEV_PRESENT));
    EXPECT_EQ(device->GetSendSequence(), c.statusAtStart ? 2 : 1);
    EXPECT_EQ(device->GetReceiveSequence(), 1);
    EXPECT_EQ(device->GetLinkState(), c.state);

    auto frames = adapter_->TakeFrames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].port, 0x22);
    EXPECT_EQ(frames[0].address, 0x4A);
    EXPECT_EQ(frames[0].control, c.control);

    // The oracle is out of the way and waits for the adapter.
    EXPECT_EQ(oracle->GetDeviceID(), DeviceID(1, 0x21, 0x4A));
    EXPECT_EQ(oracle->GetLinkState(), SIODEVICE::IDLE);
    EXPECT_EQ(adapter_->DeleteListCount(), 1);
    EXPECT_TRUE(adapter_->GetPollListStale());
    EXPECT_FALSE(ovkhost::errorLogged(1701));

    if (c.statusAtStart) {
        Give(device, infoControl(1, 2), {0x82, 0x07, 0x10});
        EXPECT_EQ(queue_.events(), (std::vector<PostedEvent>{{0x420D, 0x01224A04, 0x07}}));
        EXPECT_EQ(device->GetECLevel(), 0x10);
        frames = adapter_->TakeFrames();
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0].control, 0x41); // RR, N(R) 2
    }
    EXPECT_EQ(device->GetLinkState(), SIODEVICE::IDLE);
    for (const SentFrame& f : RunDevice(device, 900)) {
        EXPECT_NE(f.control, 0x83);
        EXPECT_NE(f.control, 0x03);
    }
    EXPECT_EQ(device->GetLastMessageLostCounts(), 0);
    EXPECT_FALSE(ovkhost::errorLogged(908));

    // The adapter deletes the oracle; the address keeps its device.
    adapter_->DeleteAnyReadyPdevs();
    EXPECT_EQ(TestOracle::live, 0);
    EXPECT_EQ(deviceAt(slot_, kAt), device);
    EXPECT_EQ(sniffer_->GetAddressRow(0x22, 0x4A)->present, 1);
}

INSTANTIATE_TEST_SUITE_P(Acks, OracleAckTest,
                         ::testing::Values(AckCase{true, infoControl(1, 1), SIODEVICE::WAITACK},
                                           AckCase{false, 0x21, SIODEVICE::IDLE}));

TEST_F(OracleTest, PendingMessageIsSentOnceAndAgainWhenLost) {
    TestOracle* oracle = Discover();
    ASSERT_NE(oracle, nullptr);
    // Sent: nothing pending.
    EXPECT_EQ(oracle->SendAnyPendingMessage(), -1);
    EXPECT_TRUE(adapter_->TakeFrames().empty());
    // Lost: the last message is pending again and goes out at the next chance.
    oracle->LastMsgLost(nullptr, 0);
    EXPECT_EQ(oracle->GetPendingLength(), 1);
    EXPECT_EQ(oracle->SendAnyPendingMessage(), 0);
    auto frames = adapter_->TakeFrames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].data, (std::vector<uint8_t>{0x01}));

    // A power-on reset forgets the last message: nothing to send again.
    oracle->PowerOnResetInProgress();
    EXPECT_EQ(oracle->GetLastSentLength(), 0);
    oracle->LastMsgLost(nullptr, 0);
    EXPECT_EQ(oracle->GetPendingLength(), 1); // the subclass asks again after its reset
    oracle->ResetComplete();
    EXPECT_FALSE(oracle->TestStatusBits(SIODEV_AWAITING_REPLY));
}

TEST_F(OracleTest, ClassThatCannotBeMadeLeavesTheOracleToBeDeletedAndTheAddressFree) {
    TestOracle* oracle = Discover();
    ASSERT_NE(oracle, nullptr);
    ovkhost::clearCaptures();
    Give(oracle, infoControl(0, 1), {0x81, 0x42, 0x42}); // no such class at 0x4A
    EXPECT_EQ(oracle->createResult, 321);
    EXPECT_TRUE(ovkhost::errorLogged(1022));
    EXPECT_EQ(TestDevice::live, 0);
    EXPECT_EQ(oracle->GetDeviceID(), kAt);
    EXPECT_EQ(adapter_->DeleteListCount(), 1);
    // A second attempt does not queue it twice.
    EXPECT_EQ(oracle->CreateNewDevice(34900), 321);
    EXPECT_EQ(adapter_->DeleteListCount(), 1);

    adapter_->DeleteAnyReadyPdevs();
    EXPECT_EQ(TestOracle::live, 0);
    EXPECT_EQ(slot_->ListedDevices().size(), 1u);
    // The sniffer will look at the address again.
    EXPECT_EQ(sniffer_->GetAddressRow(0x22, 0x4A)->present, 0);
}

TEST_F(OracleTest, ClassWhoseLibraryIsMissingGives337) {
    TestOracle* oracle = Discover();
    ASSERT_NE(oracle, nullptr);
    Give(oracle, infoControl(0, 1), {0x81, 0x9C, 0x31}); // 12700, library not there
    EXPECT_EQ(oracle->createResult, 337);
    EXPECT_EQ(TestDevice::live, 0);
    adapter_->DeleteAnyReadyPdevs();
    EXPECT_EQ(slot_->ListedDevices().size(), 1u);
}

} // namespace
