// DBCS lead-byte table of a client (or of the system), built from the ranges the client
// sends, and the helpers that walk text a character at a time over it.
#pragma once

#include <cstdint>

struct DbcsTable {
    // The ranges are 16 pairs of (low, high) lead-byte values in 32 bytes; a 0, 0 pair ends
    // them early.
    enum { kRangeBytes = 32, kMaxPairs = kRangeBytes / 2 };

    unsigned char lead[256] = {};   // 1 = lead byte
    unsigned char upper[128] = {};  // copy of lead[128..255]
    int32_t active = 0;             // 1 when the first pair is not 0, 0

    // Clears the table, then marks every value from low to high of each pair as a lead
    // byte, pair by pair until a 0, 0 pair and never beyond the 16 pairs of kRangeBytes.
    // A null ranges pointer means no ranges. Returns the active flag.
    int Build(const unsigned char* ranges);
    void Clear();

    int isdbcs1(int byte) const { return lead[byte & 0xFF]; }
    // Walks s by characters up to position n: 1 when a character starts at n with a lead
    // byte, 0 when a single-byte character starts there, 2 when n is the second byte of a
    // double-byte character. s must hold at least n + 1 bytes.
    int getctype(const unsigned char* s, unsigned int n) const;
    // strchr by characters: without DBCS the ordinary strchr(s, c[0]); with DBCS the
    // terminator for a NUL c, the first double-byte character equal to c[0] c[1] when c[0]
    // is a lead byte, else the first single byte equal to c[0]; null when none. A lead byte
    // right before the terminator ends the walk.
    const unsigned char* ms_strchr(const unsigned char* s, const unsigned char* c) const;
};
