// The formatter's name tables: first match wins, misses become numbers in the scratch area.
#include <gtest/gtest.h>

#include <string>

#include "NameTables.h"

namespace {

int rows(const TableEntry* table) {
    int n = 0;
    while (table[n].Name) ++n;
    return n;
}

TEST(NameTables, RowCountsAndFirstMatch) {
    EXPECT_EQ(rows(TypeTable), 13);
    EXPECT_EQ(rows(DevTable), 64);
    EXPECT_EQ(rows(IOCtlTable), 49);
    EXPECT_EQ(rows(ErrnoTable), 198);
    EXPECT_EQ(rows(SubtypeTable), 113);
    EXPECT_STREQ(GetTableEntry(DevTable, 0x10), "CHECKOUT_KEYBOARD_A");
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
