// The probe and fiscal tables: first row wins, unknown ids and numbers are printed as such.
#include <gtest/gtest.h>

#include <string>

#include "NameTables.h"
#include "ProbeTables.h"

namespace {

TEST(ProbeTables, KnownAndUnknownProbes) {
    int rows = 0;
    while (ProbeTable[rows].Name) ++rows;
    EXPECT_EQ(rows, 1253);
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
