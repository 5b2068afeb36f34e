// Value-table lookups by name.
#include "sylookup.h"

#include <cstring>

namespace {

size_t nameLength(const char* s) {
    size_t n = 0;
    while (s[n] && s[n] != ' ' && s[n] != '\t') ++n;
    return n;
}

} // namespace

bool LookupValue(const char* s, const posLookup* table, int rows, int32_t& value) {
    if (!s || !table) return false;
    const int32_t h = LookupHash(s);
    const size_t n = nameLength(s);
    for (int i = 0; i < rows; ++i) {
        const posLookup& row = table[i];
        if (row.hash != h || !row.name) continue;
        if (std::strncmp(row.name, s, n) == 0 && row.name[n] == '\0') {
            value = row.value;
            return true;
        }
    }
    return false;
}

int Lookup(char* s, const posLookup* table, int rows) {
    if (!s) return -1;
    int32_t value = -1;
    bool found = LookupValue(s, table, rows, value);
    s[nameLength(s)] = '\0';
    return found ? value : -1;
}
