// The server log's bound per source: a few entries a minute of one log id from one source,
// the rest counted into one line once the minute has passed. Runs on the settable clock.
#include "TempRoot.h"
#include "ovkhost.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kPerMinute = 3; // entries a minute of one source that the file takes

class LogThrottle : public ::testing::Test {
protected:
    void SetUp() override {
        ovkhost::clearCaptures();
        ovkhost::useManualClock(true);
        ovkhost::setClock(1000000);
        ovkhost::setLogFile(path_);
    }
    void TearDown() override {
        ovkhost::setLogFile("");
        ovkhost::useManualClock(false);
    }
    // The lines of the log file that hold `text`.
    std::vector<std::string> Lines(const std::string& text) {
        ovkhost::flushLog();
        const std::string log = root_.read("/var/log/ovkctrl.log");
        std::vector<std::string> found;
        size_t at = 0;
        while (at < log.size()) {
            size_t eol = log.find('\n', at);
            if (eol == std::string::npos) eol = log.size();
            std::string line = log.substr(at, eol - at);
            if (line.find(text) != std::string::npos) found.push_back(line);
            at = eol + 1;
        }
        return found;
    }
    static bool IsCount(const std::string& line) { return line.find(" more held back") != std::string::npos; }
    static std::string CountOf(int n) { return "(" + std::to_string(n) + " more held back, the last at "; }

    TempRoot root_;
    const std::string path_ = root_.at("/var/log/ovkctrl.log");
};

TEST_F(LogThrottle, AFloodingSourceWritesItsFewEntriesAndThenOneCountLineAMinute) {
    struct Device {
        int state = 7;
    } device;
    constexpr int kFlood = 10000;
    for (int i = 0; i < kFlood; ++i) {
        clErrorLog(4711, 321, i, "@(#)floodme.cpp", &device, sizeof device);
        if (i % 200 == 0) ovkhost::advanceClock(1000); // the flood spreads over 50 s
    }
    std::vector<std::string> lines = Lines("error id=4711 ");
    ASSERT_EQ(lines.size(), size_t(kPerMinute)); // the count waits for the minute's end
    EXPECT_NE(lines[0].find("id=4711 rc=321 extra=0x0 src=@(#)floodme.cpp [4] 07000000"),
              std::string::npos)
        << lines[0];
    // The capture still sees every entry: tests count what was logged.
    EXPECT_EQ(ovkhost::errorLog().size(), size_t(kFlood));

    ovkhost::advanceClock(10000); // the minute since the first entry has passed
    lines = Lines("error id=4711 ");
    ASSERT_EQ(lines.size(), size_t(kPerMinute) + 1);
    // The count line bears the head of the last entry held back.
    EXPECT_TRUE(IsCount(lines.back())) << lines.back();
    EXPECT_NE(lines.back().find("rc=321 extra=0x270f src=@(#)floodme.cpp " + CountOf(kFlood - kPerMinute)),
              std::string::npos)
        << lines.back();

    // Nothing more is owed: flushing again writes no second count line.
    ovkhost::advanceClock(120000);
    EXPECT_EQ(Lines("error id=4711 ").size(), size_t(kPerMinute) + 1);
}

TEST_F(LogThrottle, AFloodGoingOnPastItsMinuteWritesTheCountBeforeTheNextEntry) {
    int device = 0;
    for (int i = 0; i < 10; ++i) clErrorLog(4712, 301, 0, "@(#)flood.cpp", &device, sizeof device);
    ovkhost::advanceClock(60000);
    clErrorLog(4712, 301, 0, "@(#)flood.cpp", &device, sizeof device); // written again at once
    std::vector<std::string> lines = Lines("error id=4712 ");
    ASSERT_EQ(lines.size(), size_t(kPerMinute) + 2);
    EXPECT_NE(lines[kPerMinute].find(CountOf(10 - kPerMinute)), std::string::npos) << lines[kPerMinute];
    EXPECT_FALSE(IsCount(lines.back())) << lines.back();
}

TEST_F(LogThrottle, AQuietSourceLogsAgainAtOnceAfterItsMinute) {
    int device = 0;
    for (int i = 0; i < kPerMinute; ++i) clErrorLog(4713, 301, 0, "@(#)quiet.cpp", &device, sizeof device);
    ovkhost::advanceClock(59999);
    clErrorLog(4713, 301, 1, "@(#)quiet.cpp", &device, sizeof device); // within the minute: counted
    ovkhost::advanceClock(1);
    clErrorLog(4713, 301, 2, "@(#)quiet.cpp", &device, sizeof device);
    std::vector<std::string> lines = Lines("error id=4713 ");
    ASSERT_EQ(lines.size(), size_t(kPerMinute) + 2);
    EXPECT_NE(lines[kPerMinute].find("extra=0x1 src=@(#)quiet.cpp " + CountOf(1)), std::string::npos)
        << lines[kPerMinute];
    EXPECT_NE(lines.back().find("extra=0x2 src=@(#)quiet.cpp [4]"), std::string::npos) << lines.back();

    // Quiet for over a minute, with nothing held back: its next entries are written at once.
    ovkhost::advanceClock(600000);
    for (int i = 0; i < kPerMinute; ++i) clErrorLog(4713, 301, 3, "@(#)quiet.cpp", &device, sizeof device);
    lines = Lines("error id=4713 rc=301 extra=0x3 ");
    EXPECT_EQ(lines.size(), size_t(kPerMinute));
}

// Each of these differs from the first source in one part of the key: each is a source of
// its own with its own few lines.
TEST_F(LogThrottle, SourcesAreLimitedSeparately) {
    int first = 0, second = 0;
    struct Source {
        uint32_t id;
        const char* tag;
        const void* object;
    } sources[] = {
        {4714, "@(#)model.cpp", &first},
        {4714, "@(#)model.cpp", &second}, // a second device of the same model
        {4714, "@(#)other.cpp", &first},  // another unit logging the same object
        {4715, "@(#)model.cpp", &first},  // another log id
        {4714, "@(#)model.cpp", nullptr}, // no object
    };
    for (int round = 0; round < 20; ++round)
        for (const Source& s : sources) {
            if (s.object)
                clErrorLog(s.id, 301, 0, s.tag, s.object, 4);
            else
                clErrorLog(s.id, 301, 0, s.tag);
        }
    ovkhost::flushLog();
    EXPECT_EQ(Lines("error id=471").size(), size_t(5 * kPerMinute));
    ovkhost::advanceClock(60000);
    std::vector<std::string> lines = Lines(CountOf(20 - kPerMinute));
    EXPECT_EQ(lines.size(), 5u);
}

// Ever new sources (an object address that changes at every entry) do not grow the table
// without end: past its bound they share one more budget, so the file stays bounded too.
TEST_F(LogThrottle, EverNewSourcesStayBounded) {
    static char objects[20000];
    constexpr int kSources = 20000;
    for (int i = 0; i < kSources; ++i) clErrorLog(4716, 301, 0, "@(#)many.cpp", &objects[i], 1);
    const size_t written = Lines("error id=4716 ").size();
    EXPECT_LT(written, 1000u);
    EXPECT_EQ(ovkhost::errorLog().size(), size_t(kSources));

    ovkhost::advanceClock(60000);
    std::vector<std::string> counts = Lines(" more held back");
    ASSERT_EQ(counts.size(), 1u);
    EXPECT_NE(counts[0].find(CountOf(kSources - int(written))), std::string::npos) << counts[0];

    // Once their minute has passed the table is free again: new sources have their own lines.
    int fresh[2] = {};
    for (int i = 0; i < kPerMinute; ++i)
        for (int& f : fresh) clErrorLog(4717, 301, 0, "@(#)fresh.cpp", &f, sizeof f);
    EXPECT_EQ(Lines("error id=4717 ").size(), size_t(2 * kPerMinute));
}

} // namespace

namespace {

// Closing the log, by closeLog at a stop or by setting another file, writes the counts held
// back so far into the file that closes, their minute passed or not, and only once.
TEST_F(LogThrottle, TheCountsHeldBackAreWrittenWhenTheLogCloses) {
    struct Case {
        const char* what;
        bool stop; // closeLog, else another file is set
    };
    for (const Case& c : {Case{"a stop", true}, Case{"another file", false}}) {
        SCOPED_TRACE(c.what);
        ovkhost::setLogFile(path_);
        int a = 0, b = 0;
        for (int i = 0; i < 7; ++i) clErrorLog(4720, 301, i, "@(#)failing.cpp", &a, sizeof a);
        for (int i = 0; i < 5; ++i) clErrorLog(4721, 302, 0, "@(#)failing.cpp", &b, sizeof b);
        ovkhost::advanceClock(1000); // well within the minute
        if (c.stop)
            ovkhost::closeLog();
        else
            ovkhost::setLogFile(root_.at("/var/log/other.log"));
        ovkhost::flushLog();
        const std::string log = root_.read("/var/log/ovkctrl.log");
        EXPECT_NE(log.find("id=4720 rc=301 extra=0x6 src=@(#)failing.cpp " + CountOf(7 - kPerMinute)),
                  std::string::npos)
            << log;
        EXPECT_NE(log.find("id=4721 rc=302 extra=0x0 src=@(#)failing.cpp " + CountOf(5 - kPerMinute)),
                  std::string::npos)
            << log;
        // Nothing is owed any more: no second count line, in either file.
        ovkhost::setLogFile(path_);
        ovkhost::advanceClock(120000);
        EXPECT_EQ(Lines(" more held back").size(), 2u);
        EXPECT_EQ(root_.read("/var/log/other.log").find(" more held back"), std::string::npos);
        ovkhost::setLogFile("");
        ::remove(path_.c_str());
    }
}

} // namespace
