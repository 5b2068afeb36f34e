#include "Device.h"
#include "Ps2Driver.h"
#include "TempRoot.h"
#include "fakedev.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class Ps2DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        fakedev::reset();
        ovkPosKbdSetDevOps(fakedev::ops());
    }
    void TearDown() override {
        ps2::close();
        ovkPosKbdSetDevOps(nullptr);
        fakedev::reset();
    }
    TempRoot root;
};

TEST_F(Ps2DriverTest, WithoutTheDriverEveryRequestIsRefused) {
    EXPECT_FALSE(ps2::open());
    EXPECT_EQ(ps2::keyboardType(), 100);
    ps2::WordRecord record{};
    EXPECT_EQ(ps2::send(ps2::kEnable, &record), -77);
    EXPECT_TRUE(fakedev::ps2Requests().empty());
}

TEST_F(Ps2DriverTest, RequestsReachTheDriverAndReportItsErrors) {
    fakedev::addPs2Driver();
    ASSERT_TRUE(ps2::open());
    EXPECT_EQ(ps2::keyboardType(), 101);
    ps2::WordRecord record{};
    record.value = 1;
    EXPECT_EQ(ps2::send(ps2::kTypematic, &record), 0);
    EXPECT_EQ(record.completion, 256u);
    fakedev::scriptPs2Error(7, EIO);
    EXPECT_EQ(ps2::send(ps2::kTypematic, &record), -EIO);
    auto requests = fakedev::ps2Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].code, 0xC0086B07u);
    ASSERT_EQ(requests[0].record.size(), 8u);
    EXPECT_EQ(requests[0].record[6], 1);
    ps2::close();
    EXPECT_EQ(ps2::send(ps2::kTypematic, &record), -77);
}

TEST_F(Ps2DriverTest, AnUnchangedStatusIsReportedOnce) {
    fakedev::addPs2Driver();
    ASSERT_TRUE(ps2::open());
    fakedev::queueKbdStatus({0x10, 0x20, 0x30, 0x40});
    ps2::Poller poller;
    auto first = poller.poll();
    ASSERT_TRUE(first.statusChanged);
    EXPECT_EQ(first.status[0], 0x10);
    EXPECT_EQ(first.status[3], 0x40);
    EXPECT_FALSE(poller.poll().statusChanged);
    fakedev::queueKbdStatus({0x10, 0x20, 0x30, 0x40});
    EXPECT_FALSE(poller.poll().statusChanged);
    fakedev::queueKbdStatus({0x10, 0x20, 0x30, 0x41});
    EXPECT_TRUE(poller.poll().statusChanged);
    fakedev::queueKbdStatus({0, 0, 0, 0});
    EXPECT_TRUE(poller.poll().statusChanged) << "back to zero is a change too";
}

TEST_F(Ps2DriverTest, MsrDataIsBoundedByTheRecord) {
    fakedev::addPs2Driver();
    ASSERT_TRUE(ps2::open());
    std::vector<uint8_t> data(1000, 0x5A);
    fakedev::queueMsrData(5000, data);
    fakedev::queueMsrData(3, {1, 2, 3});
    ps2::Poller poller;
    auto r = poller.poll();
    ASSERT_EQ(r.msrLength, 1000u);
    EXPECT_EQ(r.msrData[999], 0x5A);
    r = poller.poll();
    ASSERT_EQ(r.msrLength, 3u);
    EXPECT_EQ(r.msrData[2], 3);
    EXPECT_EQ(poller.poll().msrLength, 0u);

    ps2::DataRecord record{};
    record.completion = 255;  // not done: nothing taken
    record.length = 4;
    ps2::Poller::Result result;
    poller.takeMsr(record, result);
    poller.takeStatus(record, result);
    EXPECT_EQ(result.msrLength, 0u);
    EXPECT_FALSE(result.statusChanged);
}

TEST(Ps2Commands, ToneFlags) {
    const ps2::ToneConstants c{875, 1300, 2000, 1, 2};
    struct Row {
        bool on, timed;
        int duration, frequency, volume;
        ps2::ToneResult result;
        uint8_t flags, extra;
    } rows[] = {
        {true, false, 0, 2000, 1, ps2::ToneOk, 0x34, 0},
        {false, false, 0, 0, 0, ps2::ToneOk, 0x40, 0},
        {true, true, 0x1F4, 875, 2, ps2::ToneOk, 0x00, 0xF4},
        {true, false, 0, 1300, 2, ps2::ToneOk, 0x28, 0},
        {true, false, 0, 1000, 1, ps2::ToneBadFrequency, 0, 0},
        {true, false, 0, 875, 3, ps2::ToneBadVolume, 0, 0},
    };
    for (const Row& r : rows) {
        ps2::ByteRecord record{};
        EXPECT_EQ(ps2::toneRecord(r.on, r.timed, r.duration, r.frequency, r.volume, c, record),
                  r.result);
        if (r.result != ps2::ToneOk) continue;
        EXPECT_EQ(record.value, r.flags) << r.frequency;
        EXPECT_EQ(record.extra, r.extra);
    }
}

TEST(Ps2Commands, TrapBitsAndPosLights) {
    const ps2::TrapConstants c{0x1,  0x2,  0x4,   0x8,   0x10,  0x20,
                               0x40, 0x80, 0x100, 0x200, 0x3E, 0x10000};
    EXPECT_EQ(ps2::trapBits(0x3E, c), 0x003E);
    EXPECT_EQ(ps2::trapBits(0x1 | 0x200, c), 0x0201);
    EXPECT_EQ(ps2::trapBits(0, c), 0);
    EXPECT_EQ(ps2::trapBits(0x10000, c), 0xFFFF);
    bool lights[7] = {true, false, false, false, true, false, true};
    EXPECT_EQ(ps2::posLightBits(lights), 0x31);
}

} // namespace
