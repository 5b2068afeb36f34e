// Error log, traces and printed lines: captures, the server log file and the debug file.
#include "TempRoot.h"
#include "ovkhost.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

namespace {

using Bytes = std::vector<uint8_t>;

class Logging : public ::testing::Test {
protected:
    void SetUp() override { ovkhost::clearCaptures(); }
    void TearDown() override {
        ovkhost::setLogFile("");
        DebugFile(nullptr);
        if (DebugEnabled()) ToggleDebug();
    }
    TempRoot root;
};

TEST_F(Logging, ErrorLogCopiesEveryBlock) {
    char object[6] = "abcde";
    const uint8_t input[3] = {1, 2, 3};
    clErrorLog(2101, 321, 7, "sydevice");
    clErrorLog(8201, 301, 0, nullptr, object, sizeof object);
    clErrorLog(12001, 333, 1, "scanner", object, 2, nullptr, 9, input, 0, input, 3);
    std::strcpy(object, "XXXXX"); // the entries hold copies, not the caller's memory

    auto log = ovkhost::errorLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].logId, 2101u);
    EXPECT_EQ(log[0].rc, 321u);
    EXPECT_EQ(log[0].extra, 7u);
    EXPECT_EQ(log[0].sourceTag, "sydevice");
    EXPECT_TRUE(log[0].blocks.empty());

    EXPECT_EQ(log[1].sourceTag, "");
    ASSERT_EQ(log[1].blocks.size(), 1u);
    EXPECT_EQ(log[1].blocks[0], Bytes({'a', 'b', 'c', 'd', 'e', 0}));

    ASSERT_EQ(log[2].blocks.size(), 4u); // a null pointer or a 0 length is an empty block
    EXPECT_EQ(log[2].blocks[0], Bytes({'a', 'b'}));
    EXPECT_TRUE(log[2].blocks[1].empty());
    EXPECT_TRUE(log[2].blocks[2].empty());
    EXPECT_EQ(log[2].blocks[3], Bytes({1, 2, 3}));

    EXPECT_TRUE(ovkhost::errorLogged(8201));
    EXPECT_FALSE(ovkhost::errorLogged(8202));
    ovkhost::clearCaptures();
    EXPECT_TRUE(ovkhost::errorLog().empty());
}

// A device logs itself while its other thread changes one of its fields: the entry is a
// snapshot of the object, and taking it is no data race (the thread checker's pass runs this).
TEST_F(Logging, AnObjectChangedByAnotherThreadIsLoggedAsASnapshot) {
    struct Device {
        uint32_t id = 0x11223344;
        std::atomic<uint16_t> nextPort{1000};
    } device;
    std::atomic<bool> stop{false};
    std::thread changer([&] {
        while (!stop.load()) device.nextPort++;
    });
    for (int i = 0; i < 200; ++i) clErrorLog(2307, 321, 0, "sdiquery", &device, sizeof device);
    stop = true;
    changer.join();
    auto log = ovkhost::errorLog();
    ASSERT_EQ(log.size(), 200u);
    ASSERT_EQ(log[0].blocks.size(), 1u);
    EXPECT_EQ(log[0].blocks[0].size(), sizeof device);
    EXPECT_EQ(log[0].blocks[0][0], 0x44);
}

TEST_F(Logging, CaptureKeepsTheNewestEntriesWithinItsBound) {
    constexpr uint32_t kMany = 100000; // far more than the byte bound holds
    for (uint32_t i = 0; i < kMany; ++i) clErrorLog(i, 0, 0, "t");
    auto log = ovkhost::errorLog();
    ASSERT_FALSE(log.empty());
    EXPECT_LT(log.size(), kMany);
    EXPECT_GT(log.front().logId, 0u);
    EXPECT_EQ(log.back().logId, kMany - 1);
    for (size_t i = 1; i < log.size(); ++i) ASSERT_EQ(log[i].logId, log[i - 1].logId + 1);
}

TEST_F(Logging, NothingIsKeptWithoutTheCapture) {
    ovkhost::installCapture(false);
    clErrorLog(8301, 0, 0, "t");
    clTrace(93, 1, "abc", 3, 0);
    sioTrace(1, 100, "abc", 3);
    tprintf("line\n");
    EXPECT_TRUE(ovkhost::errorLog().empty());
    EXPECT_TRUE(ovkhost::traces().empty());
    EXPECT_TRUE(ovkhost::printedLines().empty());
    ovkhost::installCapture(true);
    clTrace(93, 2, "abc", 3, 0);
    EXPECT_EQ(ovkhost::traces().size(), 1u);
}

TEST_F(Logging, EntriesGoToTheServerLogFile) {
    const std::string path = root.at("/var/log/ovkctrl.log");
    ovkhost::setLogFile(path);
    const uint8_t data[5] = {0x01, 0x02, 0xab, 0xcd, 0xef};
    clErrorLog(2404, 301, 0x15, "syconn", data, 5);
    clErrorLog(2405, 301, 0, "syconn");
    ovkhost::flushLog();
    std::string text = root.read("/var/log/ovkctrl.log");
    EXPECT_NE(text.find("id=2404 rc=301 extra=0x15 src=syconn [5] 0102abcd ef\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("id=2405 rc=301 extra=0x0 src=syconn\n"), std::string::npos) << text;

    ovkhost::setLogFile(""); // no file: only the capture
    clErrorLog(2406, 301, 0, "syconn");
    ovkhost::flushLog();
    EXPECT_EQ(root.read("/var/log/ovkctrl.log"), text);
    EXPECT_TRUE(ovkhost::errorLogged(2406));
}

TEST_F(Logging, PrintedLinesAndTheDebugFile) {
    EXPECT_EQ(DebugFile(root.at("/no/such/dir/debug.log").c_str()), 301);
    ASSERT_EQ(DebugFile(root.at("/var/log/ovkdebug.log").c_str()), 0);
    EXPECT_FALSE(DebugEnabled());
    EXPECT_EQ(tprintf("%s, 0x%x(%d)", "codePage", 858, 858), 20);
    ToggleDebug();
    EXPECT_TRUE(DebugEnabled());
    tprintf("MSR with Encoder\n");
    aprintf("--> %s created\n", "KBD");
    std::string longLine(1000, 'x');
    tprintf("%s\n", longLine.c_str());
    ToggleDebug();
    tprintf("not in the file\n");
    ovkhost::flushLog();

    auto lines = ovkhost::printedLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "codePage, 0x35a(858)");
    EXPECT_EQ(lines[2], "--> KBD created\n");
    EXPECT_EQ(lines[3], longLine + "\n");
    EXPECT_EQ(root.read("/var/log/ovkdebug.log"),
              "MSR with Encoder\n--> KBD created\n" + longLine + "\n");
}

TEST_F(Logging, TraceRecords) {
    const uint8_t data[4] = {9, 8, 7, 6};
    EXPECT_EQ(clTrace(93, 705, data, 4, 0), 0);
    clTrace(93, 0xC00002BE, nullptr, 12, 0);
    sioTrace(2, 101, data, 2);
    sioTrace(3, 100);
    auto t = ovkhost::traces();
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0].component, 93u);
    EXPECT_EQ(t[0].minor, 705u);
    EXPECT_EQ(t[0].data, Bytes({9, 8, 7, 6}));
    EXPECT_EQ(t[1].minor, 0xC00002BEu);
    EXPECT_TRUE(t[1].data.empty());
    EXPECT_EQ(t[2].component, ovkhost::kSioTraceComponent);
    EXPECT_EQ(t[2].minor, 101u);
    EXPECT_EQ(t[2].data, Bytes({2, 9, 8}));
    EXPECT_EQ(t[3].data, Bytes({3}));
}

} // namespace
