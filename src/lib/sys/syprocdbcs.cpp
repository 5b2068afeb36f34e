// DBCS lead-byte tables of clients and their character helpers.
#include "DbcsTable.h"

#include <cstring>

void DbcsTable::Clear() {
    std::memset(lead, 0, sizeof lead);
    std::memset(upper, 0, sizeof upper);
    active = 0;
}

int DbcsTable::Build(const unsigned char* ranges) {
    Clear();
    if (!ranges) return active;
    for (int pair = 0; pair < kMaxPairs; ++pair) {
        const unsigned low = ranges[2 * pair];
        const unsigned high = ranges[2 * pair + 1];
        if (low == 0 && high == 0) break;
        for (unsigned b = low; b <= high; ++b) lead[b] = 1;
    }
    std::memcpy(upper, lead + 128, sizeof upper);
    active = (ranges[0] != 0 || ranges[1] != 0) ? 1 : 0;
    return active;
}

int DbcsTable::getctype(const unsigned char* s, unsigned int n) const {
    if (!s) return 0;
    unsigned int pos = 0;
    while (pos < n) pos += lead[s[pos]] ? 2u : 1u;
    if (pos == n) return lead[s[n]] ? 1 : 0;
    return 2;
}

const unsigned char* DbcsTable::ms_strchr(const unsigned char* s, const unsigned char* c) const {
    if (!s || !c) return nullptr;
    if (!active) {
        return reinterpret_cast<const unsigned char*>(
            std::strchr(reinterpret_cast<const char*>(s), c[0]));
    }
    if (c[0] == 0) return s + std::strlen(reinterpret_cast<const char*>(s));
    const bool wantDouble = lead[c[0]] != 0;
    for (const unsigned char* p = s; *p;) {
        if (lead[*p]) {
            if (p[1] == 0) break;
            if (wantDouble && p[0] == c[0] && p[1] == c[1]) return p;
            p += 2;
        } else {
            if (!wantDouble && *p == c[0]) return p;
            ++p;
        }
    }
    return nullptr;
}
