// The utility log and the observers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CLogManager.h"
#include "Observer.h"
#include "TempRoot.h"

namespace {

const char kLog[] = "/var/log/QORVEL6348TouchUtilLog.txt";
const char kConfDir[] = "/etc";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    size_t at = 0, end;
    while ((end = text.find("\r\n", at)) != std::string::npos) {
        out.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return out;
}

TEST(UtilityLog, OpensOnlyWhenSwitchedOnAndNeverAfterClosing) {
    TempRoot root;
    // Off: nothing is written and the configuration is read at every opening call.
    root.write("/etc/ovktutil.conf", "LogFile = 0 !\n");
    EXPECT_FALSE(CLogManager::WriteToLogFile(kConfDir, "Entry", "First::Call()"));
    EXPECT_FALSE(CLogManager::WriteToLogFile("Ignored", "Two::Arguments()"));
    EXPECT_EQ(root.read(kLog), "");

    root.write("/etc/ovktutil.conf", "LogFile = 1 ! on\n");
    EXPECT_TRUE(CLogManager::WriteToLogFile(kConfDir, "Entry", "CTouchScreen6348::IsDeviceReady()"));
    const std::string fifty(50, 'f'), sixty(60, 's');
    EXPECT_TRUE(CLogManager::WriteToLogFile("Exit", fifty));
    EXPECT_TRUE(CLogManager::WriteToLogFile("Success", sixty));
    EXPECT_FALSE(CLogManager::WriteToLogFile(kConfDir, "Again", "Opening::Call()")); // set up already
    EXPECT_TRUE(CLogManager::CloseLogFile());

    const std::vector<std::string> lines = Lines(root.read(kLog));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].substr(30), std::string("CTouchScreen6348::IsDeviceReady()") +
                                       std::string(50 - 33, ' ') + "Entry");
    EXPECT_EQ(lines[0].find(' ', 0) > 0, true);
    EXPECT_EQ(lines[0][29], ' ');
    EXPECT_EQ(lines[1].substr(30), fifty + "Exit");
    EXPECT_EQ(lines[2].substr(30), sixty + "Success"); // pushed ten columns on
    EXPECT_EQ(lines[3].substr(80), "Closing log file");
    EXPECT_EQ(lines[4].substr(80), "Log file ended");
    EXPECT_EQ(lines[4].substr(30, 25), "CLogManager::CloseLogFile");

    // Closed: a later opening call with the log on writes nothing.
    const std::string before = root.read(kLog);
    EXPECT_FALSE(CLogManager::WriteToLogFile(kConfDir, "Entry", "Later::Call()"));
    EXPECT_FALSE(CLogManager::WriteToLogFile("Exit", "Later::Call()"));
    EXPECT_EQ(root.read(kLog), before);
}

class Counter : public Observer {
public:
    void Update() override { ++updates; }
    int updates = 0;
};

TEST(Observers, TwentyInOrderDuplicatesAllowed) {
    Observable o;
    EXPECT_EQ(o.NotifyObserver(), 0);
    std::vector<Counter> counters(21);
    for (int i = 0; i < 20; ++i) EXPECT_TRUE(o.AddObserver(&counters[i]));
    EXPECT_FALSE(o.AddObserver(&counters[20]));
    EXPECT_EQ(o.NotifyObserver(), 20);
    EXPECT_EQ(counters[19].updates, 1);
    EXPECT_EQ(counters[20].updates, 0);

    Observable p;
    Counter a, b;
    p.AddObserver(&a);
    p.AddObserver(&b);
    p.AddObserver(&a);
    EXPECT_TRUE(p.DeleteObserver(&a)); // the first registration only
    EXPECT_EQ(p.GetNumObservers(), 2);
    EXPECT_EQ(p.NotifyObserver(), 2);
    EXPECT_EQ(a.updates, 1);
    EXPECT_EQ(b.updates, 1);
    EXPECT_TRUE(p.DeleteObserver(&a));
    EXPECT_FALSE(p.DeleteObserver(&a));
    EXPECT_EQ(p.SetState(4), 4);
    EXPECT_EQ(p.GetState(), 4);
}

TEST(Delay, RecorderTakesTheSeconds) {
    std::vector<unsigned long> asked;
    tutilTest::RecordDelays(&asked);
    delay(1);
    delay(4);
    tutilTest::RecordDelays(nullptr);
    EXPECT_EQ(asked, (std::vector<unsigned long>{1, 4}));
}

} // namespace
