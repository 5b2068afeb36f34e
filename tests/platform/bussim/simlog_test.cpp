// The simulator's log: a line repeating the one before it is counted, not written again.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "TempRoot.h"
#include "ovksimlog.h"

namespace bussim {
namespace {

// The lines of the log without their time stamps; the stamp of a repeat is shown as "T".
std::vector<std::string> linesOf(const std::string& text) {
    static const std::regex stamp("[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}");
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.size() > 13 && std::regex_search(line.substr(0, 12), stamp)) line.erase(0, 13);
        lines.push_back(std::regex_replace(line, stamp, "T"));
    }
    return lines;
}

TEST(SimLog, RepeatedLinesAreCountedBeforeTheNextDifferentLineAndAtTheEnd) {
    TempRoot root;
    {
        SimLog log;
        ASSERT_TRUE(log.open(root.at("/ovksim.log")));
        for (const char* text : {"control: drawers -> ok closed", "control: drawers -> ok closed",
                                 "control: drawers -> ok closed", "control: drawers -> ok open",
                                 "control: close -> ok", "control: drawers -> ok closed",
                                 "control: drawers -> ok closed", "stopped", "stopped"})
            log.line(text);
    }
    EXPECT_EQ(linesOf(root.read("/ovksim.log")),
              (std::vector<std::string>{
                  "ovksim: control: drawers -> ok closed",
                  "ovksim: (the line above came 2 more times, the last at T)",
                  "ovksim: control: drawers -> ok open",
                  "ovksim: control: close -> ok",
                  "ovksim: control: drawers -> ok closed",
                  "ovksim: (the line above came 1 more time, the last at T)",
                  "ovksim: stopped",
                  "ovksim: (the line above came 1 more time, the last at T)",
              }));
}

// Long lines are cut, so that a script that polls long replies for hours keeps the log small.
TEST(SimLog, LongLinesAreCutWithTheirLength) {
    TempRoot root;
    const std::string reply(5000, 'x');
    {
        SimLog log;
        ASSERT_TRUE(log.open(root.at("/ovksim.log")));
        log.line("control: payloads 1 0x11 0x35 -> ok " + reply);
        log.line("control: payloads 1 0x11 0x35 -> ok " + reply); // repeats still fold
        log.line(std::string(SimLog::kMaxLineLength, 'y'));     // at the bound: whole
    }
    const std::string text = "control: payloads 1 0x11 0x35 -> ok " + reply;
    EXPECT_EQ(linesOf(root.read("/ovksim.log")),
              (std::vector<std::string>{
                  "ovksim: " + text.substr(0, SimLog::kMaxLineLength) + "... (" +
                      std::to_string(text.size()) + " characters in all)",
                  "ovksim: (the line above came 1 more time, the last at T)",
                  "ovksim: " + std::string(SimLog::kMaxLineLength, 'y'),
              }));

    // Each line, however long, adds a bounded amount to the log.
    SimLog log;
    ASSERT_TRUE(log.open(root.at("/hour.log")));
    for (int i = 0; i < 200; ++i) log.line("control: payloads -> ok " + std::to_string(i) + " " + reply);
    EXPECT_LT(root.read("/hour.log").size(), 200 * (SimLog::kMaxLineLength + 100));
}

} // namespace
} // namespace bussim
