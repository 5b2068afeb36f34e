// Virtual device base: open and close, system requests, timing values, code pages, events.
#include <gtest/gtest.h>

#include "RoadFakes.h"

namespace {

using namespace road;

unsigned char kNoRanges[32] = {};

// A virtual printer at slot 1, port 0x11, address 0x35, on an event queue of its own.
class VdevTest : public ::testing::Test {
protected:
    void SetUp() override { ovkhost::clearCaptures(); }

    std::unique_ptr<TestPrinterV> Make(int handle, const DeviceID& id = DeviceID(1, 0x11, 0x35)) {
        auto v = std::make_unique<TestPrinterV>(id, handle);
        v->StoreProcessInformation(77, &queue, database);
        return v;
    }
    int Open(VDEV& v, std::vector<PosArg> args = {}) {
        return v.Open(u("shop.receipt"), u("PosPrinter"), args.empty() ? nullptr : args.data(),
                      static_cast<int>(args.size()));
    }
    static int Close(VDEV& v) {
        int remaining = -1;
        return v.Close(remaining);
    }

    Terminal terminal;
    ClientEnd client;
    POSQ queue{client.connection(), "POSQ"};
    XrmDatabase database = nullptr;
};

TEST_F(VdevTest, BaseRefusesWhatItsFamilyDoesNotServe) {
    auto v = Make(3);
    char buffer[8];
    int count = -1;
    EXPECT_EQ(v->VDEV::Read(buffer, sizeof buffer, count), 311);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(v->VDEV::Write(buffer, sizeof buffer, count), 311);
    int out = -1;
    EXPECT_EQ(v->IOCtl(4401, nullptr, 0, out), 316);
    EXPECT_EQ(out, 0);
    EXPECT_EQ(v->IOCtl(POS_SYS_LOCK_DEVICE, nullptr, 0, out), 316);
    EXPECT_EQ(v->IOCtl(POS_SYS_UNLOCK_DEVICE, nullptr, 0, out), 316);

    unsigned char data[2] = {9, 8};
    EXPECT_EQ(v->TellVirt(&terminal.printer, 4242, data, 2), 321);
    auto log = ovkhost::errorLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].logId, 1305u);
    EXPECT_EQ(log[0].rc, 321u);
    EXPECT_EQ(log[0].extra, 4242u);
    ASSERT_EQ(log[0].blocks.size(), 2u);
    EXPECT_EQ(log[0].blocks[1], (std::vector<uint8_t>{9, 8}));
}

TEST_F(VdevTest, OpenAttachesToThePhysicalDeviceAndCloseDetaches) {
    auto v = Make(1);
    ASSERT_EQ(Open(*v), 0);
    EXPECT_EQ(v->GetPhysical(), &terminal.printer);
    EXPECT_EQ(v->OpenCount(), 1);
    EXPECT_EQ(terminal.printer.OpenCount(), 1);

    int remaining = -1;
    EXPECT_EQ(v->Close(remaining), 0);
    EXPECT_EQ(remaining, 0);
    EXPECT_EQ(v->GetPhysical(), nullptr);
    EXPECT_EQ(terminal.printer.OpenCount(), 0);
    EXPECT_TRUE(ovkhost::errorLog().empty());
}

TEST_F(VdevTest, OpenWithoutThePhysicalDeviceFailsAndLeavesNothingOpen) {
    auto v = Make(1, DeviceID(1, 0x11, 0x34)); // registered address, no device there
    EXPECT_EQ(Open(*v), 321);
    EXPECT_EQ(v->OpenCount(), 0);
    EXPECT_EQ(v->GetPhysical(), nullptr);
    EXPECT_TRUE(ovkhost::errorLogged(1303));
}

TEST_F(VdevTest, OpenWithAnOperatingSystemQueueIsRefusedAndDetaches) {
    auto v = Make(1);
    EXPECT_EQ(Open(*v, {{"queueHandle", 5}}), 308);
    EXPECT_EQ(v->OpenCount(), 0);
    EXPECT_EQ(terminal.printer.OpenCount(), 0);
    EXPECT_EQ(v->GetEventDestination().kind, 1);
}

TEST_F(VdevTest, DestroyedWhileAttachedIsLogged) {
    {
        auto v = Make(1);
        ASSERT_EQ(Open(*v), 0);
    }
    EXPECT_TRUE(ovkhost::errorLogged(1306));
}

TEST_F(VdevTest, AcquireTwiceThenReleaseTwice) {
    auto v = Make(1);
    ASSERT_EQ(Open(*v), 0);
    int out = -1;
    EXPECT_EQ(v->IOCtl(POS_SYS_ACQUIRE_DEVICE, nullptr, 0, out), 0);
    EXPECT_TRUE(v->IsHolding());
    EXPECT_EQ(terminal.printer.GetOwner(), v.get());
    EXPECT_EQ(v->IOCtl(POS_SYS_ACQUIRE_DEVICE, nullptr, 0, out), 314);
    EXPECT_EQ(v->IOCtl(POS_SYS_RELEASE_DEVICE, nullptr, 0, out), 0);
    EXPECT_FALSE(v->IsHolding());
    EXPECT_EQ(terminal.printer.GetOwner(), nullptr);
    EXPECT_TRUE(terminal.printer.LockFree());
    EXPECT_EQ(v->IOCtl(POS_SYS_RELEASE_DEVICE, nullptr, 0, out), 315);
    EXPECT_EQ(Close(*v), 0);
}

TEST_F(VdevTest, HoldingKeepsThePhysicalDeviceLockedUntilRelease) {
    auto v = Make(1);
    ASSERT_EQ(Open(*v), 0);
    ASSERT_EQ(v->AcquirePhysical(), 0);
    EXPECT_EQ(terminal.printer.LockOwner(), chGetThreadId());
    v->Lock(); // the held physical device is locked again with the virtual device
    v->Unlock();
    EXPECT_EQ(terminal.printer.LockOwner(), chGetThreadId());
    ASSERT_EQ(v->ReleasePhysical(), 0);
    EXPECT_TRUE(terminal.printer.LockFree());
    EXPECT_EQ(Close(*v), 0);
}

TEST_F(VdevTest, AcquireOfAHeldDeviceWaitsForItsReleaseNotice) {
    auto holder = Make(1);
    auto waiter = Make(2);
    ASSERT_EQ(Open(*holder), 0);
    ASSERT_EQ(Open(*waiter), 0);
    int out = 0;
    ASSERT_EQ(holder->IOCtl(POS_SYS_ACQUIRE_DEVICE, nullptr, 0, out), 0);
    EXPECT_EQ(waiter->IOCtl(POS_SYS_ACQUIRE_DEVICE, nullptr, 0, out), 313);
    EXPECT_EQ(waiter->GetWaitedFor(), terminal.printer.GetDeviceID());
    EXPECT_EQ(terminal.printer.GetOwner(), holder.get());

    // Only the waited-for device at the waiter's own address counts, once.
    waiter->Notify(DeviceID(1, 0x11, 0x34), 0x35);
    waiter->Notify(terminal.printer.GetDeviceID(), 0x34);
    EXPECT_TRUE(client.drain().empty());
    waiter->Notify(terminal.printer.GetDeviceID(), 0x35);
    waiter->Notify(terminal.printer.GetDeviceID(), 0x35);
    auto events = client.drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].msg, 0x4213u);
    EXPECT_EQ(events[0].p1, 2u);
    EXPECT_EQ(events[0].p2, 0u);
    EXPECT_EQ(waiter->GetWaitedFor(), DeviceID());

    EXPECT_EQ(holder->IOCtl(POS_SYS_RELEASE_DEVICE, nullptr, 0, out), 0);
    EXPECT_EQ(Close(*holder), 0);
    EXPECT_EQ(Close(*waiter), 0);
}

// The holder releases the very moment the refused acquire lets go of the physical device:
// the waiter is already waiting then and hears of the release.
TEST_F(VdevTest, ReleaseRightAfterARefusedAcquireStillReachesTheWaiter) {
    auto holder = Make(1);
    auto waiter = Make(2);
    ASSERT_EQ(Open(*holder), 0);
    ASSERT_EQ(Open(*waiter), 0);
    int out = 0;
    ASSERT_EQ(holder->IOCtl(POS_SYS_ACQUIRE_DEVICE, nullptr, 0, out), 0);
    terminal.printer.afterUnlock = [&] {
        int releaseOut = 0;
        EXPECT_EQ(holder->IOCtl(POS_SYS_RELEASE_DEVICE, nullptr, 0, releaseOut), 0);
        // What the release notice does for the waiter's process.
        waiter->Notify(terminal.printer.GetDeviceID(), 0x35);
    };
    EXPECT_EQ(waiter->IOCtl(POS_SYS_ACQUIRE_DEVICE, nullptr, 0, out), 313);
    EXPECT_FALSE(terminal.printer.afterUnlock);
    auto events = client.drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].msg, 0x4213u);
    EXPECT_EQ(events[0].p1, 2u);
    EXPECT_EQ(waiter->GetWaitedFor(), DeviceID());
    EXPECT_EQ(Close(*holder), 0);
    EXPECT_EQ(Close(*waiter), 0);
}

TEST_F(VdevTest, TimingValuesReachThePhysicalDeviceOnlyWhileHeld) {
    auto v = Make(1);
    ASSERT_EQ(Open(*v), 0);
    std::vector<PosArg> timing{{"ecLevel", 0x42}, {"ackWaitTime", 1500}, {"byteWaitTime", 7},
                               {"addressWaitTime", 0x30}};
    terminal.printer.requests.clear();
    EXPECT_EQ(v->SetValues(timing.data(), 4), 0);
    EXPECT_TRUE(terminal.printer.requests.empty());
    EXPECT_EQ(terminal.printer.ecLevel, 0);

    ASSERT_EQ(v->AcquirePhysical(), 0);
    EXPECT_EQ(v->SetValues(timing.data(), 4), 0);
    const auto& r = terminal.printer.requests;
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].code, 9998);
    EXPECT_EQ(r[0].value, 0x30);
    EXPECT_EQ(r[1].code, 9996);
    EXPECT_EQ(r[1].value, 7);
    EXPECT_EQ(r[2].code, 9994);
    EXPECT_EQ(r[2].value, 0x42);
    EXPECT_EQ(r[3].code, 9992);
    EXPECT_EQ(r[3].value, 1500);
    EXPECT_EQ(terminal.printer.ecLevel, 0x42);
    EXPECT_EQ(terminal.printer.ackWait, 1500);

    std::vector<PosArg> query{{"addressWaitTime", -1}, {"byteWaitTime", -1}, {"ecLevel", -1},
                              {"ackWaitTime", -1}, {"slotNumber", -1}, {"portNumber", -1},
                              {"deviceNumber", -1}, {"queueHandle", -1}, {"other", -1}};
    EXPECT_EQ(v->GetValues(query.data(), static_cast<int>(query.size())), 0);
    EXPECT_EQ(query[0].value, 0x30);
    EXPECT_EQ(query[1].value, 7);
    EXPECT_EQ(query[2].value, 0x42);
    EXPECT_EQ(query[3].value, 1500);
    EXPECT_EQ(query[4].value, 1);
    EXPECT_EQ(query[5].value, 0x11);
    EXPECT_EQ(query[6].value, 0x35);
    EXPECT_EQ(query[7].value, 0); // the process's own queue
    EXPECT_EQ(query[8].value, -1);

    ASSERT_EQ(v->ReleasePhysical(), 0);
    EXPECT_EQ(Close(*v), 0);
}

TEST_F(VdevTest, TimingValuesWithoutPhysicalDeviceAreZero) {
    auto v = Make(1);
    std::vector<PosArg> query{{"ecLevel", -1}, {"ackWaitTime", -1}};
    EXPECT_EQ(v->GetValues(query.data(), 2), 0);
    EXPECT_EQ(query[0].value, 0);
    EXPECT_EQ(query[1].value, 0);
}

TEST_F(VdevTest, CodePageWithoutItsFileFallsBackTo858) {
    auto v = Make(1);
    v->InitializeEnvironment(kNoRanges, 437, 0, 0x2A);
    EXPECT_EQ(v->GetCodePage(), 858);
    ASSERT_NE(v->GetCpTableData(), nullptr);
    ASSERT_EQ(v->GetCpTableSize(), 11u);
    EXPECT_EQ(std::memcmp(v->GetCpTableData(), "CP858-TABLE", 11), 0);
    EXPECT_EQ(v->GetClientId(), 0x2Au);
    EXPECT_EQ(v->GetEventDestination().clientId, 0x2A);

    // Set through the values as well, and read back.
    std::vector<PosArg> set{{"codePage", 0x10000 | 437}};
    EXPECT_EQ(v->SetValues(set.data(), 1), 0);
    EXPECT_EQ(v->GetCodePage(), 858);
    std::vector<PosArg> get{{"codePage", 0}};
    ovkhost::clearCaptures();
    EXPECT_EQ(v->GetValues(get.data(), 1), 0);
    EXPECT_EQ(get[0].value, 858);
    auto lines = ovkhost::printedLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("Current CodePage=858"), std::string::npos);
}

TEST_F(VdevTest, CodePageWithItsOwnFileIsKept) {
    FILE* f = std::fopen(terminal.FontPath("cp00850.fon").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("CP850", f);
    std::fclose(f);
    auto v = Make(1);
    v->InitializeEnvironment(kNoRanges, 850, 0, 0);
    EXPECT_EQ(v->GetCodePage(), 850);
    EXPECT_EQ(v->GetCpTableSize(), 5u);

    unsigned char* buffer = new unsigned char[4];
    char name[] = "cp00850.fon";
    EXPECT_EQ(v->LoadFontFile(name, buffer), 0); // the buffer passed in is freed first
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(std::memcmp(buffer, "CP850", 5), 0);
    char missing[] = "cp09999.fon";
    EXPECT_EQ(v->LoadFontFile(missing, buffer), 316);
    EXPECT_EQ(buffer, nullptr);
}

TEST_F(VdevTest, WithNeitherFileThereIsNoTable) {
    std::remove(terminal.FontPath("cp00858.fon").c_str());
    auto v = Make(1);
    v->InitializeEnvironment(kNoRanges, 437, 0, 0);
    EXPECT_EQ(v->GetCodePage(), 858);
    EXPECT_EQ(v->GetCpTableData(), nullptr);
    EXPECT_EQ(v->GetCpTableSize(), 0u);
}

TEST_F(VdevTest, LeadByteRangesBuildTheDbcsTable) {
    unsigned char ranges[32] = {0x81, 0x9F, 0xE0, 0xFC};
    auto v = Make(1);
    EXPECT_EQ(v->InitializeEnvironment(ranges, 858, 0, 0), 1);
    EXPECT_EQ(v->isdbcs1(0x81), 1);
    EXPECT_EQ(v->isdbcs1(0x9F), 1);
    EXPECT_EQ(v->isdbcs1(0xA0), 0);
    EXPECT_EQ(v->isdbcs1(0xFC), 1);
    EXPECT_EQ(v->isdbcs1('A'), 0);
    const unsigned char text[] = {'a', 0x81, 0x40, 'b', 0};
    EXPECT_EQ(v->getctype(text, 1), 1);
    EXPECT_EQ(v->getctype(text, 2), 2);
    EXPECT_EQ(v->getctype(text, 3), 0);
}

TEST_F(VdevTest, EventsCarryTheHandleInTheLowHalfOfTheFirstParameter) {
    auto v = Make(5);
    EXPECT_EQ(v->PostQueueMsg(0x4203, 0x12340000 | 7, 9), 0);
    Event e{};
    ASSERT_TRUE(client.next(e));
    EXPECT_EQ(e.type, 0xCE000001u);
    EXPECT_EQ(e.msg, 0x4203u);
    EXPECT_EQ(e.p1, 0x12340005u);
    EXPECT_EQ(e.p2, 9u);
}

TEST_F(VdevTest, OperatingSystemQueueIsRefusedAndKeepsTheDestination) {
    auto v = Make(1);
    std::vector<PosArg> args{{"queueHandle", 0}, {"queueHandle", 99}};
    EXPECT_EQ(v->SetValuesCreation(args.data(), 2), 308);
    EXPECT_EQ(v->GetEventDestination().kind, 1);
    EXPECT_EQ(v->GetEventDestination().queue, reinterpret_cast<intptr_t>(static_cast<EventQueue*>(&queue)));
}

} // namespace
