// Names of the system's numeric vocabulary for printing: constant tables and their lookups.
// A value missing from a table is printed as a number; those texts live in a scratch area
// of 2,560 characters until FreeTableStrings empties it (after each printed line).
#pragma once

#include <cstdint>

struct TableEntry {
    int32_t Value;
    const char* Name; // null in the row that ends the table
};

extern const TableEntry TypeTable[];    // device types
extern const TableEntry PortTable[];    // ports
extern const TableEntry SlotTable[];    // slots
extern const TableEntry TcpApiTable[];  // remote (TCP) API requests
extern const TableEntry Error2kTable[]; // adapter exchange-buffer errors
extern const TableEntry QMsgTable[];    // event messages
extern const TableEntry DevTable[];     // RS-485 device addresses
extern const TableEntry IOCtlTable[];   // PosIOCtl requests
extern const TableEntry OposRc[];       // OPOS result codes
extern const TableEntry ErrnoTable[];   // error codes
extern const TableEntry SubtypeTable[]; // key (address << 8) | subtype

// The name of the first row whose value matches; else "%-6d (0x%08X)" of the value, kept in
// the scratch area.
const char* GetTableEntry(const TableEntry* table, int32_t value);
// "NONE" for subtype 0; else the name of the first subtype row for the key; else
// "%3d (0x%02X)" of the subtype, kept in the scratch area.
const char* GetSubtypeEntry(int device, int subtype);
// Empties the scratch area.
void FreeTableStrings();
// Keeps a text in the scratch area (cut to what is left) until FreeTableStrings.
const char* KeepTableString(const char* text);

// Size of the scratch area; a miss that no longer fits is cut (down to an empty text).
constexpr int kTableScratchSize = 2560;
