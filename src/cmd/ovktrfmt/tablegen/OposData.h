// The OPOS names as data: the property indexes, the value tables and which table decodes
// which property, read from the tab-separated files in the formatter's data folder. The
// table generator writes the formatter's C++ tables from this; the tests check them
// against it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct OposProperty {
    std::string category; // "Common", "Ptr", "Micr", ...
    std::string name;     // "RecLineChars"
    int32_t index = 0;
    std::string kind;  // "bool", "number" or "string"
    std::string table; // the value table of a number property; empty: printed as a number
};

struct OposValue {
    std::string name;
    int32_t value = 0;
};

struct OposValueTable {
    std::string name; // "PrnStation"; the C++ array is "Opos" + name
    std::vector<OposValue> rows;
};

struct OposData {
    std::vector<OposProperty> properties; // in file order
    std::vector<OposValueTable> tables;   // in file order
    const OposValueTable* table(const std::string& name) const;
};

// Reads properties.tsv, values.tsv and tables.tsv (the standard's constants) and the
// system's own system-values.tsv and property-tables.tsv from the folder, and links each
// number property to its value table. Throws std::runtime_error naming the file and line
// of a malformed row, a table or property that does not exist, or a table listed in one
// file and not the other.
OposData LoadOposData(const std::string& folder);
