// The probe and fiscal tables: first row wins, unknown ids and numbers are printed as such.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "NameTables.h"
#include "ProbeTables.h"

namespace {

// Every row decodes: its id prints the module and name of the first row with that id, never
// "Unknown", and no module lists a name twice.
TEST(ProbeTables, EveryProbeDecodes) {
    const std::string blanks(36, ' ');
    std::set<std::pair<std::string, std::string>> seen;
    int n = 0;
    for (; ProbeTable[n].Name; ++n) {
        const ProbeTableEntry& row = ProbeTable[n];
        ASSERT_NE(row.FileName, nullptr) << "row " << n;
        EXPECT_STRNE(row.Name, "") << "row " << n;
        EXPECT_STRNE(row.FileName, "") << row.Name;
        EXPECT_TRUE(seen.insert({row.FileName, row.Name}).second)
            << row.FileName << " lists the probe " << row.Name << " twice";
        int first = 0;
        while (ProbeTable[first].Value != row.Value) ++first;
        FreeTableStrings();
        EXPECT_EQ(std::string(GetProbeTableEntry(row.Value)),
                  std::string("File:  ") + ProbeTable[first].FileName + "\n" + blanks + "Probe: " + ProbeTable[first].Name)
            << row.FileName << " " << row.Name;
    }
    EXPECT_GT(n, 0);
    FreeTableStrings();
}

TEST(ProbeTables, KnownAndUnknownProbes) {
    FreeTableStrings();
    const std::string blanks(36, ' ');
    EXPECT_EQ(std::string(GetProbeTableEntry(5201)), "File:  dsp/dsanopp\n" + blanks + "Probe: BAD_DEV_ID");
    // An id listed by two modules prints the first.
    EXPECT_EQ(std::string(GetProbeTableEntry(15201)), "File:  kbd/kbp\n" + blanks + "Probe: IOCTL_FAILED");
    EXPECT_EQ(std::string(GetProbeTableEntry(1)), "File: Unknown\n" + blanks + "Probe: 1      (0x00000001)");
    FreeTableStrings();
}

TEST(ProbeTables, FiscalCommandsAndErrors) {
    EXPECT_STREQ(FiscalCommands[0x01], "01 - Print Store Header");
    EXPECT_STREQ(FiscalCommands[0x02], "02 - ???");
    EXPECT_STREQ(FiscalCommands[0xff], "ff - Dump Fiscal RAM and Fiscal EPROM");
    FreeTableStrings();
    EXPECT_STREQ(GetFiscalTableEntry(67), "\n        Area:            OK\n"
                                          "        Text:            The command was processed successfully.");
    EXPECT_STREQ(GetFiscalTableEntry(300), "\n        Area:            Unknown\n"
                                           "        Text:            300    (0x0000012C)");
    EXPECT_STREQ(GetFiscalTableEntry(-1), "\n        Area:            Unknown\n"
                                          "        Text:            -1     (0xFFFFFFFF)");
    FreeTableStrings();
}

} // namespace
