// The polling thread on an RS-485 slot of the simulated driver node, on the real clock as in
// the daemon: it drives the adapter manager to running, and at shut-down keeps polling until
// the manager has sent its final broadcast and stopped.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "SioFakes.h"
#include "SlotPoller.h"
#include "TempRoot.h"
#include "busengine.h"
#include "ovkhost.h"
#include "scriptedmodel.h"
#include "sycrc.h"

using namespace siotest;

namespace {

ObjectSupport objectTestAdapter3800(3800, _CreateTestAdapter);

TEST(SlotPollerOnTheBus, StopsTheAdaptersAndPollsUntilTheyHaveStopped) {
    TempRoot root;
    ResetLoadedFlagsForTest();
    markAdapterRowsLoaded();
    bussim::BusEngine engine; // slot 1: an RS-485 adapter
    chSetDevNodeBackend(&engine);
    auto comd = std::make_unique<COMD>();
    Slot* slot = pcomd->GetSlot(1);
    ASSERT_NE(slot, nullptr);
    auto* manager = dynamic_cast<SIOAM*>(slot->GetAdapter());
    ASSERT_NE(manager, nullptr);
    ASSERT_NE(useTestSniffer(slot), nullptr);

    SlotPoller poller(5);
    ASSERT_TRUE(poller.Start());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (manager->GetState() != SIOAM_RUNNING && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(manager->GetState(), SIOAM_RUNNING);
    EXPECT_FALSE(SlotPoller::AdaptersStopped());

    const unsigned long before = poller.Rounds();
    EXPECT_TRUE(poller.StopAdapters(5000));
    EXPECT_EQ(manager->GetState(), SIOAM_STOPPED);
    EXPECT_TRUE(SlotPoller::AdaptersStopped());
    EXPECT_GE(poller.Rounds(), before + 3); // stopping takes rounds of its own
    // The polling has ended: the state stays.
    const unsigned long after = poller.Rounds();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(poller.Rounds(), after);

    comd.reset();
    chSetDevNodeBackend(nullptr);
    ResetLoadedFlagsForTest();
}

// On the settable clock, which the test never moves, the poller's idle interval never ends:
// a frame queued while it waits reaches the station only because queueing it wakes the poller.
TEST(SlotPollerOnTheBus, QueuedFrameIsCarriedWithoutWaitingForTheIdleInterval) {
    TempRoot root;
    ovkhost::useManualClock(true);
    ovkhost::setClock(1000);
    ResetLoadedFlagsForTest();
    markAdapterRowsLoaded();
    bussim::BusEngine engine;
    ASSERT_NE(engine.attach(1, 0x11, 0x35, std::make_unique<bussim::ScriptedModel>()), nullptr);
    chSetDevNodeBackend(&engine);
    auto comd = std::make_unique<COMD>();
    Slot* slot = pcomd->GetSlot(1);
    ASSERT_NE(slot, nullptr);
    auto* manager = dynamic_cast<SIOAM*>(slot->GetAdapter());
    ASSERT_NE(manager, nullptr);
    ASSERT_NE(useTestSniffer(slot), nullptr);
    SlotPoller poller;
    ASSERT_TRUE(poller.Start());
    // Start-up takes idle intervals: the clock moves until the manager runs.
    const auto started = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (manager->GetState() != SIOAM_RUNNING && std::chrono::steady_clock::now() < started) {
        ovkhost::advanceClock(SlotPoller::kDefaultIntervalMs);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(manager->GetState(), SIOAM_RUNNING);

    // Let the poller run out of work: its rounds stop while the clock stands still.
    unsigned long rounds = poller.Rounds();
    for (int settled = 0; settled < 20;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const unsigned long now = poller.Rounds();
        settled = now == rounds ? settled + 1 : 0;
        rounds = now;
    }
    const int32_t clockBefore = chTime();
    const size_t before = engine.received(1, 0x11, 0x35).size(); // the start-up broadcast

    // SNRM to the station at 0x35, queued as a request thread queues a device's frame.
    unsigned char record[9] = {0x04, 0x00, 0x11, 30, 0, 0x35, 0x93, 0, 0};
    const unsigned short crc = CalculateCRC(record + 5, 2);
    record[7] = static_cast<unsigned char>(crc);
    record[8] = static_cast<unsigned char>(crc >> 8);
    ASSERT_EQ(manager->SendFrame(record, sizeof record), 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (engine.received(1, 0x11, 0x35).size() == before && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto got = engine.received(1, 0x11, 0x35);
    ASSERT_EQ(got.size(), before + 1);
    EXPECT_EQ(got.back().control, 0x93);
    EXPECT_EQ(chTime(), clockBefore);
    EXPECT_GT(poller.Rounds(), rounds);

    poller.StopAdapters(5000);
    comd.reset();
    chSetDevNodeBackend(nullptr);
    ovkhost::useManualClock(false);
    ResetLoadedFlagsForTest();
}

} // namespace
