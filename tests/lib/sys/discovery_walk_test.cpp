// The tables a new device model fills in agree with the discovery walk: discovery finds a
// device only at an address of the docked walk, and a client opens it only where the address
// table gives the address a device type. A table entry the walk or the address table leaves
// out builds and runs without a word, so these tests name the address and the file to change.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "ObjectSupport.h"
#include "Sniffer.h"
#include "sytables.h"

namespace {

std::string Hex(unsigned address) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", address);
    return text;
}

bool Walked(unsigned address) {
    for (int i = 0; i < Sniffer::kInitSniffCount; ++i)
        if (Sniffer::InitSniffOrder[static_cast<size_t>(i)].address == address) return true;
    return false;
}

const char kWalkFix[] = ": add it to the docked walk (kWalked in src/lib/sys/sysniff.cpp) and raise "
                        "Sniffer::kInitSniffCount (src/lib/sys/include/Sniffer.h) with it";

TEST(DiscoveryWalk, EveryAddressWithADeviceTypeIsWalked) {
    for (unsigned a = 1; a < 0x80; ++a) {
        const unsigned type = ObjectSupport::SIOAddresses[a].deviceType;
        if (type == 0) continue;
        EXPECT_TRUE(Walked(a)) << "address " << Hex(a) << " has device type " << type
                               << " in the address table (kRanges in src/lib/sys/ObjectSupport.cpp)"
                               << " but discovery never polls it" << kWalkFix;
    }
}

TEST(DiscoveryWalk, EveryDeviceTableRowOnTheBusNamesAWalkedAddressWithADeviceType) {
    int rows = 0;
    for (const PhysicalInfoRow& row : physicalInfo.rows) {
        if (row.factoryType == 0 || row.address == 0 || row.address >= 0x80) continue; // unused or off the bus
        ++rows;
        const std::string what = "the device-table row (src/lib/sys/sytables.cpp) for address " +
                                 Hex(row.address) + ", class " + std::to_string(row.factoryType);
        EXPECT_NE(ObjectSupport::SIOAddresses[row.address].deviceType, 0)
            << what << ": the address has no device type, so no client can open the device there;"
            << " add a row for it to kRanges in src/lib/sys/ObjectSupport.cpp";
        EXPECT_TRUE(Walked(row.address)) << what << ": discovery never polls the address" << kWalkFix;
    }
    EXPECT_GT(rows, 0) << "no device-table row on the bus was looked at";
}

} // namespace
