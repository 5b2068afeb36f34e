// Root, device and physical-device classes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include "COMD.h"
#include "CoreFakes.h"
#include "PDEV.h"
#include "TempRoot.h"
#include "ovkhost.h"

namespace {

class Printer : public PDEV {
public:
    explicit Printer(const DeviceID& id, const char* name = "PRNTP") : PDEV(id, name) {
        deviceType_ = 3;
        deviceSubtype_ = 0x12;
        vdevType_ = 20300;
    }
};

VDEV* fakeVdev(int n) { return reinterpret_cast<VDEV*>(static_cast<intptr_t>(0x1000 * n)); }

TEST(Stg, NameTagIsPaddedOrCutToEightCharacters) {
    EXPECT_STREQ(STG("COMD").NameTag(), "<<COMD    >>");
    EXPECT_STREQ(STG("TWELVECHARSX").NameTag(), "<<TWELVECH>>");
    EXPECT_STREQ(STG("").NameTag(), "<<        >>");
    STG s("x");
    EXPECT_EQ(s.CreatorThreadId(), static_cast<uint32_t>(chGetThreadId()));
    EXPECT_EQ(s.StatusWord(), 0u);
}

TEST(Device, OpenCountsAndCloseReportsTheOpensLeft) {
    ovkhost::clearCaptures();
    DEVICE d(DeviceID(1, 0x11, 0x35), "DEV");
    EXPECT_EQ(d.Open(), 0);
    EXPECT_EQ(d.OpenCount(), 1);
    EXPECT_EQ(d.Lock(), 0);
    EXPECT_EQ(d.Unlock(), 0);
    int remaining = -1;
    EXPECT_EQ(d.Close(remaining), 0);
    EXPECT_EQ(remaining, 0);
    EXPECT_FALSE(ovkhost::errorLogged(302));
}

TEST(Device, DestroyedWhileOpenIsLogged) {
    ovkhost::clearCaptures();
    {
        DEVICE d(DeviceID(1, 0x11, 0x35), "DEV");
        ASSERT_EQ(d.Open(), 0);
    }
    auto log = ovkhost::errorLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].logId, 302u);
    EXPECT_EQ(log[0].rc, 321u);
    EXPECT_EQ(log[0].extra, 1u);
}

// Clients on several request threads open one device, then close it: no open is lost, and
// each close reports a different number of opens left, down to exactly one last close.
TEST(Device, OpensAndClosesFromManyThreadsAllCount) {
    ovkhost::clearCaptures();
    DEVICE d(DeviceID(1, 0x11, 0x35), "DEV");
    constexpr int kThreads = 8, kEach = 2000;
    std::vector<std::vector<int>> left(kThreads);
    auto run = [&](auto step) {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                for (int i = 0; i < kEach; ++i) step(t);
            });
        for (std::thread& th : threads) th.join();
    };
    run([&](int) { EXPECT_EQ(d.Open(), 0); });
    EXPECT_EQ(d.OpenCount(), kThreads * kEach);
    run([&](int t) {
        int remaining = -1;
        EXPECT_EQ(d.Close(remaining), 0);
        left[t].push_back(remaining);
    });
    EXPECT_EQ(d.OpenCount(), 0);
    std::vector<int> all;
    for (const auto& l : left) all.insert(all.end(), l.begin(), l.end());
    std::sort(all.begin(), all.end());
    std::vector<int> expected(all.size());
    for (size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<int>(i);
    EXPECT_TRUE(all == expected) << "the closes did not count down one by one";
}

TEST(Pdev, StartsAsAnInternalDeviceWithoutOwner) {
    PDEV p(DeviceID(1, 0x11, 0x35), "PDEV");
    EXPECT_EQ(p.GetDeviceType(), 1);
    EXPECT_EQ(p.GetDeviceSubtype(), 0);
    EXPECT_EQ(p.GetVdevType(), 0);
    EXPECT_EQ(p.GetOwner(), nullptr);
    EXPECT_EQ(p.GetAdapter(), nullptr);
    EXPECT_FALSE(p.Confirmed(0x35));
}

TEST(Pdev, AcquireAndReleaseByOneVirtualDeviceAtATime) {
    PDEV p(DeviceID(1, 0x11, 0x35), "PDEV");
    VDEV* a = fakeVdev(1);
    VDEV* b = fakeVdev(2);
    EXPECT_EQ(p.Release(a), 315); // nobody holds it
    EXPECT_EQ(p.Acquire(a), 0);
    EXPECT_EQ(p.Acquire(a), 314); // already the owner
    EXPECT_EQ(p.GetOwner(), a);
    EXPECT_EQ(p.Acquire(b), 313);
    EXPECT_EQ(p.Release(b), 315);
    EXPECT_EQ(p.GetOwner(), a);
    EXPECT_EQ(p.Release(a), 0);
    EXPECT_EQ(p.GetOwner(), nullptr);
    EXPECT_EQ(p.Acquire(b), 0);
}

TEST(Pdev, VdevInfoOnlyForItsOwnAddress) {
    Printer p(DeviceID(1, 0x11, 0x35));
    unsigned char type = 99;
    long vdevType = 99;
    EXPECT_EQ(p.GetVdevInfo(0x35, type, vdevType), 0);
    EXPECT_EQ(type, 3);
    EXPECT_EQ(vdevType, 20300);
    EXPECT_EQ(p.GetVdevInfo(0x34, type, vdevType), 317);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(vdevType, 0);
}

TEST(Pdev, BaseAnswersTheLinkTimingRequests) {
    PDEV p(DeviceID(1, 0x11, 0x35), "PDEV");
    struct Case {
        int request;
        int bytes; // how many bytes the answer stores
    };
    for (Case c : {Case{9993, 4}, Case{9995, 1}, Case{9997, 1}, Case{9999, 1}}) {
        SCOPED_TRACE(c.request);
        unsigned char data[8];
        std::memset(data, 0xAA, sizeof data);
        EXPECT_EQ(p.TellPhys(nullptr, c.request, data, sizeof data), 0);
        for (int i = 0; i < c.bytes; ++i) EXPECT_EQ(data[i], 0);
        EXPECT_EQ(data[c.bytes], 0xAA);
    }
    unsigned char data[4] = {1, 2, 3, 4};
    for (int setter : {9992, 9994, 9996, 9998}) EXPECT_EQ(p.TellPhys(nullptr, setter, data, 4), 0);
    EXPECT_EQ(p.TellPhys(nullptr, 1234, data, 4), 311);
    EXPECT_EQ(p.TellPhys(nullptr, 9991, data, 4), 311);
}

TEST(Pdev, UnexpectedInputAndErrorsAreLogged) {
    ovkhost::clearCaptures();
    PDEV p(DeviceID(1, 0x11, 0x35), "PDEV");
    const unsigned char frame[3] = {1, 2, 3};
    p.ProcessInput(frame, 3);
    p.ProcessError(frame, 1);
    auto log = ovkhost::errorLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].logId, 604u);
    EXPECT_EQ(log[1].logId, 603u);
    ASSERT_EQ(log[0].blocks.size(), 2u);
    EXPECT_EQ(log[0].blocks[1], (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(log[1].blocks[1], (std::vector<uint8_t>{1}));
}

TEST(Pdev, InitWithoutAnAdapterInTheSlotGives327) {
    PDEV p(DeviceID(4, 0x11, 0x35), "PDEV");
    EXPECT_EQ(p.Init(), 327);
    EXPECT_EQ(p.GetAdapter(), nullptr);
}

// Online and offline events through the system object to every listed process.
class PdevEvents : public ::testing::Test {
protected:
    void SetUp() override {
        comd_ = std::make_unique<COMD>();
        ASSERT_EQ(pcomd, comd_.get());
        ASSERT_EQ(comd_->AddProcess(&procA_), 0);
        ASSERT_EQ(comd_->AddProcess(&procB_), 0);
    }
    void TearDown() override {
        comd_->RemoveProcess(procA_.GetProcessId());
        comd_->RemoveProcess(procB_.GetProcessId());
        comd_.reset();
    }
    TempRoot root_;
    TestQueue queueA_, queueB_;
    TestProcess procA_{101, &queueA_};
    TestProcess procB_{102, &queueB_};
    std::unique_ptr<COMD> comd_;
};

TEST_F(PdevEvents, OnlineOnceToEveryProcessWithPackedParameters) {
    ovkhost::clearCaptures();
    Printer p(DeviceID(1, 0x11, 0x35));
    p.NowConfirmed();
    p.NowConfirmed();
    EXPECT_TRUE(p.Confirmed(0));
    const PostedEvent online{0x420D, 0x01113503, 0x12};
    EXPECT_EQ(queueA_.events(), std::vector<PostedEvent>{online});
    EXPECT_EQ(queueB_.events(), std::vector<PostedEvent>{online});
    auto lines = ovkhost::printedLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("--> <<PRNTP   >> (1.11.35) online"), std::string::npos);
}

TEST_F(PdevEvents, OfflineOnlyFromOnline) {
    Printer p(DeviceID(1, 0x11, 0x35));
    p.NowNotConfirmed(); // already offline: nothing
    EXPECT_TRUE(queueA_.events().empty());
    p.NowConfirmed();
    p.NowNotConfirmed();
    p.NowNotConfirmed();
    const std::vector<PostedEvent> expected{{0x420D, 0x01113503, 0x12}, {0x420C, 0x01113503, 0x12}};
    EXPECT_EQ(queueA_.events(), expected);
    EXPECT_EQ(queueB_.events(), expected);
}

TEST_F(PdevEvents, ForceOfflineClearsPresenceAndGoesOffline) {
    Printer p(DeviceID(2, 0x22, 0x10));
    p.SetStatusBits(PDEV_PRESENT);
    p.NowConfirmed();
    p.ForceOffline();
    EXPECT_FALSE(p.TestStatusBits(PDEV_PRESENT | PDEV_ONLINE));
    ASSERT_EQ(queueA_.events().size(), 2u);
    EXPECT_EQ(queueA_.events()[1], (PostedEvent{0x420C, 0x02221003, 0x12}));
}

TEST_F(PdevEvents, WhoIsOnlineTellsOneQueueOfOnlineDevicesOnly) {
    Printer online(DeviceID(1, 0x11, 0x35));
    Printer offline(DeviceID(1, 0x11, 0x34));
    online.NowConfirmed();
    TestQueue late;
    MsgQueueInfo q{1, 7, reinterpret_cast<intptr_t>(&late)};
    online.TellQueueWhosOnline(&q);
    offline.TellQueueWhosOnline(&q);
    EXPECT_EQ(late.events(), (std::vector<PostedEvent>{{0x420D, 0x01113503, 0x12}}));
}

TEST_F(PdevEvents, TermUnlinksFromTheSlotAndReportsAFailedUnlink) {
    ovkhost::clearCaptures();
    Printer p(DeviceID(6, 0x11, 0x35)); // no slot 6: the unlink fails
    p.SetStatusBits(PDEV_LINKED);
    EXPECT_EQ(p.Term(), 321);
    EXPECT_TRUE(ovkhost::errorLogged(605));
    EXPECT_TRUE(p.TestStatusBits(PDEV_LINKED));
}

} // namespace
