// The test program's names of codes: the trace formatter's tables with this program's own
// differences laid over them (rows added, rows left out, a row that comes first).
#pragma once

#include <cstdint>

#include "NameTables.h"

const char* DeviceName(int32_t address);  // RS-485 device addresses
const char* RequestName(int32_t request); // PosIOCtl requests
const char* ErrorName(int32_t code);      // error codes
const char* MessageName(int32_t message); // event messages
const char* SubtypeName(int device, int subtype);
// Types, ports and slots are the formatter's as they are.
inline const char* TypeName(int32_t type) { return GetTableEntry(TypeTable, type); }
inline const char* PortName(int32_t port) { return GetTableEntry(PortTable, port); }
inline const char* SlotName(int32_t slot) { return GetTableEntry(SlotTable, slot); }

// The request whose name holds the typed text (upper-cased, blanks and underscores removed)
// as a substring of the name without its underscores. Exactly one hit: true and its value.
// No hit prints "  --> Couldn't find match for: '%s'", several "  --> Multiple matches for:
// '%s'"; an empty text prints nothing.
bool FindMatch(const char* text, int32_t* request);
