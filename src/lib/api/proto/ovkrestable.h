// The resource-name table shared by the client library and the control daemon: which argument
// names exist and whether each carries a 32-bit integer or a string of a fixed length.
#pragma once

// One row: the name (at most 31 characters), whether the value is a 32-bit integer, and for
// string-valued rows the number of value bytes sent. Raw rows are copied as bytes, the other
// string rows as NUL-terminated text.
struct ResourceItem {
    char name[32];
    int isInteger;
    unsigned short maxLength;
    bool raw;
};

constexpr int MaxResourceItems = 238;
extern const ResourceItem resTable[MaxResourceItems];

// Index of the row whose name equals `name` exactly (case-sensitive), or -1.
int FindResourceName(const char* name);
