// Lookups in the name tables, with the scratch area for the texts of missing values.
#include "NameTables.h"

#include <cstdio>
#include <cstring>

namespace {

char scratch[kTableScratchSize];
int used = 0;

// Appends the text to the scratch area (cut to what is left) and returns it.
const char* keep(const char* text) {
    if (used >= kTableScratchSize) used = kTableScratchSize - 1;
    char* out = scratch + used;
    const int room = kTableScratchSize - used; // room for the text and its terminator
    const int n = static_cast<int>(std::strlen(text));
    const int take = n < room - 1 ? n : room - 1;
    std::memcpy(out, text, static_cast<size_t>(take));
    out[take] = '\0';
    used += take + 1;
    return out;
}

} // namespace

const char* GetTableEntry(const TableEntry* table, int32_t value) {
    for (const TableEntry* row = table; row && row->Name; ++row)
        if (row->Value == value) return row->Name;
    char text[32];
    std::snprintf(text, sizeof text, "%-6d (0x%08X)", value, static_cast<unsigned>(value));
    return keep(text);
}

const char* GetSubtypeEntry(int device, int subtype) {
    if (subtype == 0) return "NONE";
    const int32_t key = static_cast<int32_t>((static_cast<uint32_t>(device) << 8) | static_cast<uint32_t>(subtype & 0xFF));
    for (const TableEntry* row = SubtypeTable; row->Name; ++row)
        if (row->Value == key) return row->Name;
    char text[32];
    std::snprintf(text, sizeof text, "%3d (0x%02X)", subtype, static_cast<unsigned>(subtype));
    return keep(text);
}

const char* KeepTableString(const char* text) { return keep(text ? text : ""); }

void FreeTableStrings() {
    used = 0;
    scratch[0] = '\0';
}
