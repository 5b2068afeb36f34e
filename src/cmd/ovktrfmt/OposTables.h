// The OPOS names the formatter prints: property indexes with the value table of each, string
// property indexes, the state and TRUE/FALSE tables, and the extended result codes by class.
// Of the standard's property and value tables only the rows below are held (the common
// properties 1 to 9 and the common string properties); a property that is not held prints
// as "index=value".
#pragma once

#include <cstdint>
#include <string>

#include "NameTables.h"

struct PropTableEntry {
    int32_t Value;            // property index
    const char* Name;         // null in the row that ends the table
    const TableEntry* Values; // the value names; null: the value is a number
};

extern const PropTableEntry OposProp[];
extern const TableEntry OposPropString[];
extern const TableEntry OposState[];
extern const TableEntry TrueFalse[];
extern const TableEntry OposPrnRcExt[];
extern const TableEntry OposMicrRcExt[];

// "name=value" of the first row with that index (the value through the row's table, or as a
// number); "index=value" for an index that is not in the table. Kept in the scratch area.
const char* GetPropTableEntry(const PropTableEntry* table, int32_t index, int32_t value);
// "ResultCodeExtended=<name>" through the class's extended table; "" for other classes.
std::string GetResultCodeExtended(const std::string& className, int32_t value);
