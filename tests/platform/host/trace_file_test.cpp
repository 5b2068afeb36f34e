// The trace file: the marker, the version-3 record headers, the component and minor codes as
// the formatter reads them, rotation, and records of the error log and the text lines.
#include "TempRoot.h"
#include "ovkhost.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct FileRecord {
    uint32_t length, minor;
    double clock;
    uint32_t tid, pid, time;
    uint8_t component, reserved;
    uint16_t ms;
    std::string payload;
};

uint32_t le32(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(s[at + i]);
    return v;
}

// The records after the 16-byte marker; a record cut short ends the list.
std::vector<FileRecord> parse(const std::string& file) {
    std::vector<FileRecord> out;
    for (size_t at = 16; at + 32 <= file.size();) {
        FileRecord r;
        r.length = le32(file, at);
        r.minor = le32(file, at + 4);
        std::memcpy(&r.clock, file.data() + at + 8, 8);
        r.tid = le32(file, at + 16);
        r.pid = le32(file, at + 20);
        r.time = le32(file, at + 24);
        r.component = static_cast<uint8_t>(file[at + 28]);
        r.reserved = static_cast<uint8_t>(file[at + 29]);
        r.ms = static_cast<uint16_t>(static_cast<uint8_t>(file[at + 30]) | static_cast<uint8_t>(file[at + 31]) << 8);
        if (at + 32 + r.length > file.size()) break;
        r.payload = file.substr(at + 32, r.length);
        out.push_back(r);
        at += 32 + r.length;
    }
    return out;
}

class TraceFile : public ::testing::Test {
protected:
    void TearDown() override {
        if (ovkhost::traceFileActive()) ovkhost::stopTraceFile();
        ovkhost::useManualClock(false);
    }
    std::string path() const { return root.at("/var/log/ovkctrl.trc"); }
    TempRoot root;
};

TEST_F(TraceFile, RecordsOfEveryServiceInTheFormattersFormat) {
    ovkhost::useManualClock(true);
    ovkhost::setClock(1000);
    ASSERT_TRUE(ovkhost::startTraceFile(path()));
    EXPECT_TRUE(ovkhost::traceFileActive());
    const uint32_t event[3] = {0x420D, 0x02113503, 0};
    clTrace(93, 8, event, sizeof event, 0);
    ovkhost::advanceClock(5);
    const char msr[] = "track";
    clTrace(93, 0xC00002BE, msr, 5, 0);
    std::string buffer(2048, '\0');
    for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<char>(i * 7);
    sioTrace(1, static_cast<int>(0x80000065), buffer.data(), 2048);
    clErrorLog(803, 811, 0x15FFFF, "sysioam");
    tprintf("hello %d\n", 42);
    ovkhost::stopTraceFile();
    EXPECT_FALSE(ovkhost::traceFileActive());
    clTrace(93, 9, nullptr, 0, 0); // after the end: not written

    const std::string file = root.read("/var/log/ovkctrl.trc");
    ASSERT_GE(file.size(), 16u);
    EXPECT_EQ(file.substr(0, 8), std::string("\x00\x00\x00\x00\xf5\x01\x00\x00", 8));
    EXPECT_EQ(file.substr(8, 8), std::string(8, '\0'));
    const auto recs = parse(file);
    ASSERT_EQ(recs.size(), 5u);
    const uint32_t minors[] = {8, 702, 101, 64, 42};
    size_t total = 16;
    for (size_t i = 0; i < recs.size(); ++i) {
        EXPECT_EQ(recs[i].minor, minors[i]) << i;
        EXPECT_EQ(recs[i].component, 0) << i;
        EXPECT_EQ(recs[i].reserved, 0) << i;
        EXPECT_EQ(recs[i].pid, static_cast<uint32_t>(getpid()));
        EXPECT_EQ(recs[i].tid, static_cast<uint32_t>(chGetThreadId()));
        EXPECT_LT(recs[i].ms, 1000);
        EXPECT_NEAR(static_cast<double>(recs[i].time), static_cast<double>(time(nullptr)), 10.0);
        total += 32 + recs[i].length;
    }
    EXPECT_EQ(total, file.size());
    EXPECT_EQ(recs[0].clock, 1000.0); // the settable clock while it is on
    EXPECT_EQ(recs[1].clock, 1005.0);
    EXPECT_EQ(recs[0].payload, std::string(reinterpret_cast<const char*>(event), sizeof event));
    EXPECT_EQ(recs[1].payload, "track");
    EXPECT_EQ(recs[2].payload, buffer); // the buffer alone, no slot byte
    EXPECT_EQ(recs[3].payload, std::string("\x23\x03\x00\x00\x2b\x03\x00\x00\xff\xff\x15\x00", 12));
    EXPECT_EQ(recs[4].payload, std::string("hello 42\n", 10)); // with its zero byte

    struct stat st;
    ASSERT_EQ(::stat(path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(TraceFile, ComponentsFlagBytesAndLongPayloads) {
    ASSERT_TRUE(ovkhost::startTraceFile(path()));
    std::string big(128001, 'x');
    clTrace(93, 0x91000261, big.data(), static_cast<uint32_t>(big.size()), 0); // 609 marked
    clTrace(4, 265, "abc", 3, 0);
    clTrace(93, 0x9000002B, nullptr, 7, 0); // no data: an empty payload
    ovkhost::stopTraceFile();
    const auto recs = parse(root.read("/var/log/ovkctrl.trc"));
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_EQ(recs[0].minor, 0x261u);
    EXPECT_EQ(recs[0].length, 128000u); // cut to what the formatter reads
    EXPECT_EQ(recs[1].component, 4);
    EXPECT_EQ(recs[1].minor, 265u);
    EXPECT_EQ(recs[2].minor, 43u);
    EXPECT_EQ(recs[2].length, 0u);
}

TEST_F(TraceFile, StartingAgainKeepsThePreviousFileAsDotOne) {
    ASSERT_TRUE(ovkhost::startTraceFile(path()));
    clTrace(93, 1, "a", 1, 0);
    ovkhost::stopTraceFile();
    ASSERT_TRUE(ovkhost::startTraceFile(path()));
    clTrace(93, 2, "bb", 2, 0);
    ovkhost::stopTraceFile();
    const auto old = parse(root.read("/var/log/ovkctrl.trc.1"));
    const auto now = parse(root.read("/var/log/ovkctrl.trc"));
    ASSERT_EQ(old.size(), 1u);
    EXPECT_EQ(old[0].minor, 1u);
    ASSERT_EQ(now.size(), 1u);
    EXPECT_EQ(now[0].minor, 2u);
    EXPECT_EQ(root.read("/var/log/ovkctrl.trc").substr(4, 4), std::string("\xf5\x01\x00\x00", 4));
}

TEST_F(TraceFile, PastItsLimitANewFileBeginsWithItsMarker) {
    constexpr uint64_t kLimit = 1u << 20;
    ASSERT_TRUE(ovkhost::startTraceFile(path(), kLimit));
    // The limit in records of 10,000 bytes; one more starts the next file.
    std::string block(10000, 'z');
    const int n = static_cast<int>((kLimit - 16) / (32 + block.size())) + 1;
    for (int i = 0; i < n; ++i)
        clTrace(93, static_cast<uint32_t>(i), block.data(), static_cast<uint32_t>(block.size()), 0);
    ovkhost::stopTraceFile();
    const std::string oldFile = root.read("/var/log/ovkctrl.trc.1");
    const std::string newFile = root.read("/var/log/ovkctrl.trc");
    EXPECT_LE(oldFile.size(), kLimit);
    EXPECT_EQ(newFile.substr(4, 4), std::string("\xf5\x01\x00\x00", 4));
    const auto recs = parse(newFile);
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].minor, static_cast<uint32_t>(n - 1));
    EXPECT_EQ(parse(oldFile).size(), static_cast<size_t>(n - 1));
}

TEST_F(TraceFile, AFileThatCannotBeCreatedIsRefused) {
    EXPECT_FALSE(ovkhost::startTraceFile(root.at("/no/such/folder/x.trc")));
    EXPECT_FALSE(ovkhost::traceFileActive());
}

} // namespace
