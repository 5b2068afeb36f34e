// The trace formatter's address names against the core's tables: every bus address that
// carries a device type, and every address name applications use, prints by its name.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "NameTables.h"
#include "ObjectSupport.h"
#include "ProcessTables.h"

namespace {

std::string Hex(int address) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", address);
    return text;
}

const char kFix[] = " (add it to DevTable in src/cmd/ovktrfmt/NameTableData.cpp)";

TEST(TraceAddressNames, EveryAddressWithADeviceTypeHasAName) {
    for (int a = 1; a < 0x80; ++a) {
        if (ObjectSupport::SIOAddresses[a].deviceType == 0) continue;
        const TableEntry* row = DevTable;
        while (row->Name && row->Value != a) ++row;
        EXPECT_NE(row->Name, nullptr) << "address " << Hex(a)
                                      << " has a device type but the trace formatter has no name for it" << kFix;
    }
}

TEST(TraceAddressNames, EveryApplicationAddressNameIsTheFormattersToo) {
    ASSERT_GT(posDevicesLookupRows, 0);
    for (int i = 0; i < posDevicesLookupRows; ++i) {
        const std::string name = posDevicesLookupTbl[i].name;
        ASSERT_EQ(name.rfind("DEVICE_", 0), 0u) << name;
        const TableEntry* row = DevTable;
        while (row->Name && name.compare(7, std::string::npos, row->Name) != 0) ++row;
        ASSERT_NE(row->Name, nullptr) << name << " has no row of its own in the trace formatter" << kFix;
        EXPECT_EQ(row->Value, posDevicesLookupTbl[i].value)
            << name << ": the trace formatter gives " << row->Name << " another address" << kFix;
    }
}

} // namespace
