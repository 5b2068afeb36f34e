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

} // namespace
