// Value tables: rows that map a name to a number. Each row stores the hash of its name so
// that a lookup compares strings only for rows whose hash matches.
#pragma once

#include <cstdint>

struct posLookup {
    const char* name;
    int32_t hash;  // LookupHash(name)
    int32_t value;
};

// The hash of a name up to its first NUL, blank or tab: h = 2h + c from 0, c taken as a
// signed byte, in wrapping 32-bit arithmetic. Usable in constant tables:
//   {"PORT_1", LookupHash("PORT_1"), 0x11}
constexpr int32_t LookupHash(const char* s) {
    uint32_t h = 0;
    for (; *s && *s != ' ' && *s != '\t'; ++s)
        h = 2u * h + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*s)));
    return static_cast<int32_t>(h);
}

// The value of the first row whose hash and name equal s up to its first blank or tab;
// -1 when none does. Writes a NUL over the blank or tab that ended the name, so s is cut
// there (callers read the cut text afterwards). s must be writable.
int Lookup(char* s, const posLookup* table, int rows);

// As Lookup, but leaves s unchanged and tells whether a row matched (so that a row whose
// value is -1 can be told apart from no match). Use this on text owned by someone else.
bool LookupValue(const char* s, const posLookup* table, int rows, int32_t& value);
