// The formatter's name tables: every row names its value, first match wins, misses become
// numbers in the scratch area.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "NameTables.h"

namespace {

struct NamedTable {
    const char* name;
    const TableEntry* rows;
};

const NamedTable kTables[] = {
    {"TypeTable", TypeTable}, {"DevTable", DevTable}, {"IOCtlTable", IOCtlTable}, {"ErrnoTable", ErrnoTable},
};

// Every row has a name of its own, and its value prints a name of the table (the first row's,
// where several names share a value) rather than a number.
TEST(NameTables, EveryNameIsUniqueAndItsValuePrintsAName) {
    for (const NamedTable& t : kTables) {
        std::set<std::string> names;
        int n = 0;
        for (; t.rows[n].Name; ++n) {
            const TableEntry& row = t.rows[n];
            EXPECT_STRNE(row.Name, "") << t.name << " row " << n;
            EXPECT_TRUE(names.insert(row.Name).second) << t.name << ": the name " << row.Name << " twice";
            int first = 0;
            while (t.rows[first].Value != row.Value) ++first;
            FreeTableStrings();
            EXPECT_STREQ(GetTableEntry(t.rows, row.Value), t.rows[first].Name) << t.name << ": " << row.Name;
        }
        EXPECT_GT(n, 0) << t.name;
    }
    FreeTableStrings();
}

// The subtype rows print their name for their key; a key listed twice prints the first.
TEST(NameTables, EverySubtypeRowPrintsAName) {
    int n = 0;
    for (; SubtypeTable[n].Name; ++n) {
        const TableEntry& row = SubtypeTable[n];
        const int key = row.Value;
        if ((key & 0xFF) == 0) continue; // subtype 0 prints NONE
        int first = 0;
        while (SubtypeTable[first].Value != key) ++first;
        FreeTableStrings();
        EXPECT_STREQ(GetSubtypeEntry(key >> 8, key & 0xFF), SubtypeTable[first].Name) << row.Name;
    }
    EXPECT_GT(n, 0);
    FreeTableStrings();
}

TEST(NameTables, FirstMatch) {
    EXPECT_STREQ(GetTableEntry(DevTable, 0x10), "CHECKOUT_KEYBOARD_A");
    EXPECT_STREQ(GetTableEntry(DevTable, 0x40), "MSR_1_TRACK_A"); // before MSR_J_TRACK
    EXPECT_STREQ(GetTableEntry(TypeTable, 6), "CASH_DRAWER");
    EXPECT_STREQ(GetTableEntry(ErrnoTable, 301), "POSERR_SYS_OS_ERROR");
    EXPECT_STREQ(GetTableEntry(IOCtlTable, 5401), "POS_TILL_OPEN_TILL");
    EXPECT_STREQ(GetSubtypeEntry(0x24, 0x01), "2X20_LCD");
}

TEST(NameTables, MissesAreNumbersKeptUntilFreed) {
    FreeTableStrings();
    const char* a = GetTableEntry(IOCtlTable, 9999);
    const char* b = GetTableEntry(TypeTable, -1);
    EXPECT_STREQ(a, "9999   (0x0000270F)");
    EXPECT_STREQ(b, "-1     (0xFFFFFFFF)");
    EXPECT_STREQ(GetSubtypeEntry(0x35, 0), "NONE");
    EXPECT_STREQ(GetSubtypeEntry(0x35, 0x77), "119 (0x77)");
    EXPECT_STREQ(a, "9999   (0x0000270F)"); // two misses in one line stay apart
    FreeTableStrings();
}

TEST(NameTables, ScratchAreaNeverOverflows) {
    FreeTableStrings();
    std::string last;
    for (int i = 0; i < 1000; ++i) last = GetTableEntry(TypeTable, 100000 + i);
    // Once full, a miss is cut to what fits (nothing).
    EXPECT_EQ(last, "");
    FreeTableStrings();
    EXPECT_STREQ(GetTableEntry(TypeTable, 99), "99     (0x00000063)");
    FreeTableStrings();
}

} // namespace
