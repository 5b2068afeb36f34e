// User-defined characters of the two-row character displays: up to seven 8-byte dot
// patterns, numbered 1 to 7, and the client bytes that show them.
#pragma once

#include <cstdint>

#include "ovktypes.h"

struct DspUserChars {
    enum { kChars = 7, kPatternBytes = 8 };

    unsigned char map[256] = {};                      // client byte -> character 1..7, 0 none
    unsigned char patterns[kChars][kPatternBytes] = {}; // pattern of character i + 1

    void Clear();
    // Takes a definition request: everything is cleared, then at most seven arguments,
    // argument i carrying the client byte in the low byte of its name field and a pointer
    // to an 8-byte pattern in its value; a readable pattern becomes character i + 1 and
    // its byte is mapped to it. Returns the number of arguments looked at.
    int Define(const PosArg* args, int count);
    // The character a client byte shows, 0 when none.
    unsigned char Lookup(unsigned char byte) const { return map[byte]; }
};
