// The core's tables of which class, in which plug-in library, serves an adapter type or a
// bus address. The slot uses the first matching row and marks a row loaded once its
// library is loaded.
#pragma once

#include <cstdint>

// Requested type of a device not yet identified: the row's factory id names the class that
// identifies it.
enum : uint16_t { TYPE_UNIDENTIFIED = 1700 };

struct AdapterInfoRow {
    int16_t adapterType;   // as the driver reports it, compared as signed 16-bit
    uint16_t factoryType;  // ObjectSupport type id
    char library[20];      // plug-in to load; empty: built in
    uint8_t loaded;
};

struct PhysicalInfoRow {
    uint8_t address;        // bus address
    uint16_t requestedType; // key with the address
    uint16_t factoryType;   // ObjectSupport type id of the class to build
    char library[20];       // empty: none
    char library2[20];      // loaded after the first; empty: none
    uint8_t loaded;
};

enum { kAdapterInfoRows = 8, kPhysicalInfoRows = 150 };

struct AdapterInfoTable {
    AdapterInfoRow rows[kAdapterInfoRows];
};
struct PhysicalInfoTable {
    PhysicalInfoRow rows[kPhysicalInfoRows];
};
extern AdapterInfoTable adapterInfo;
extern PhysicalInfoTable physicalInfo;

// First row for the adapter type, or null.
AdapterInfoRow* FindAdapterInfo(unsigned short adapterType);
// First row for (address, requested type), or null; later rows are never looked at.
PhysicalInfoRow* FindPhysicalInfo(uint8_t address, long requestedType);

// Tests: every row back to its start-up loaded state.
void ResetLoadedFlagsForTest();
