#include "PortIpc.h"
#include "PortTable.h"
#include "PtyPorts.h"

#include <gtest/gtest.h>

#include <sys/sem.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Made before any thread starts: the namespace then covers the whole test program.
const bool ipc = privateIpc();

struct Found {
    std::string name, node;
    int type, semId;
};

class PortTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ipc) GTEST_SKIP() << "no private IPC namespace here (needs root): fixed keys skipped";
        ports::clear();
    }
    void TearDown() override { ports::clear(); }

    std::vector<Found> discover(const std::string& prefix, int type) {
        std::vector<Found> found;
        ports::discover(prefix, type, [&](const std::string& name, int t, const std::string& node,
                                          int semId) { found.push_back({name, node, t, semId}); });
        return found;
    }
    PtyPorts ptys;
};

TEST_F(PortTableTest, DiscoveryNamesPortsAndHandsOutKeysInOrder) {
    ptys.add(0);
    ptys.add(1);
    auto found = discover(ptys.prefix(), ports::kSerial);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].name, "COM1");
    EXPECT_EQ(found[1].name, "COM2");
    EXPECT_EQ(found[1].node, ptys.prefix() + "1");
    EXPECT_EQ(ports::semKey("COM1"), 0x11223344);
    EXPECT_EQ(ports::semKey("COM2"), 0x11223345);
    EXPECT_EQ(ports::shmKey("COM2"), 0x4F554B31);
    EXPECT_EQ(semget(0x11223345, 1, 0), found[1].semId);
    EXPECT_TRUE(discover(ptys.prefix(), ports::kSerial).empty()) << "nothing new";

    ptys.add(5);
    found = discover(ptys.prefix(), ports::kParallel);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, "LPT1");
    EXPECT_EQ(ports::semKey("LPT1"), 0x11223346);
    EXPECT_EQ(ports::semKey("COM9"), -1);
}

TEST_F(PortTableTest, LongPrefixesAndOtherTypesAddNothing) {
    ptys.add(0);
    EXPECT_TRUE(discover("/tmp/a-prefix-too-long/p", ports::kSerial).empty());
    EXPECT_TRUE(discover(ptys.prefix(), 3).empty());
    EXPECT_EQ(ports::count(), 0);
}

TEST_F(PortTableTest, AHeldPortCannotBeTakenAgainFromAnyProcess) {
    ptys.add(0);
    auto found = discover(ptys.prefix(), ports::kSerial);
    ASSERT_EQ(found.size(), 1u);
    int sem = portipc::semaphore("COM1");
    ASSERT_GE(sem, 0);
    ASSERT_EQ(portipc::tryLock(sem), 0);
    EXPECT_EQ(portipc::value(sem), 1);
    EXPECT_EQ(portipc::tryLock(sem), -1);
    EXPECT_EQ(portipc::lastPid(sem), getpid());

    pid_t child = fork();
    if (child == 0) _exit(portipc::tryLock(sem) == -1 ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "another process fails at once";

    ASSERT_EQ(portipc::unlock(sem, false), 0);
    EXPECT_EQ(portipc::value(sem), 0);
    // A holder that ends gives the port back.
    child = fork();
    if (child == 0) _exit(portipc::tryLock(sem) == 0 ? 0 : 1);
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(portipc::value(sem), 0);
}

TEST_F(PortTableTest, TheSharedWordCarriesARequest) {
    ptys.add(0);
    discover(ptys.prefix(), ports::kSerial);
    EXPECT_EQ(portipc::swapWord("COM1", 1), 0) << "a new segment starts at 0";
    EXPECT_EQ(portipc::swapWord("COM1", 0), 1);
    EXPECT_EQ(portipc::swapWord("COM1", 0), 0);
    EXPECT_EQ(portipc::swapWord("COM7", 1), -1);
}

} // namespace
