// The OPOS names the formatter prints: property indexes with the value table of each, string
// property indexes, the value tables of the standard (written at build time from the data
// folder into OposStandardTables.h: "Opos<table>", e.g. OposPrnStation, OposMicrCheckType),
// the tables of the device layer that the printer service object calls, and the extended
// result codes by class. A property that is not held prints as "index=value", a value that
// is not held as a number.
#pragma once

#include <cstdint>
#include <string>

#include "NameTables.h"
#include "OposStandardTables.h"

struct PropTableEntry {
    int32_t Value;            // property index
    const char* Name;         // null in the row that ends the table
    const TableEntry* Values; // the value names; null: the value is a number
};

// A row per numeric property of the standard (the first row with an index wins), and the
// string properties.
extern const PropTableEntry OposProp[];
extern const TableEntry OposPropString[];

extern const TableEntry TrueFalse[];
// The printer's slip states: none known, so a slip state prints as a number.
extern const TableEntry OposPrnSlipState[];

// The device layer's values, as the printer service object passes them on.
extern const TableEntry PosPrintStation[];
extern const TableEntry OposPosMode[];
extern const TableEntry VuskPrnStatusChange[];
extern const TableEntry OposPrnDirectIoCommands[];

// "name=value" of the first row with that index (the value through the row's table, or as a
// number); "index=value" for an index that is not in the table. Kept in the scratch area.
const char* GetPropTableEntry(const PropTableEntry* table, int32_t index, int32_t value);
// "ResultCodeExtended=<name>" through the class's extended table; "" for other classes.
std::string GetResultCodeExtended(const std::string& className, int32_t value);
