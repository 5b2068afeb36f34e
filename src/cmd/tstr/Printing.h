// What the test program prints: data blocks, event records, argument lists and call results.
#pragma once

#include <cstdint>

#include "ovkapi.h"

// Rows of 16 bytes in hexadecimal and as characters, under "title:  (n bytes)". Nothing for
// absent data or a size of 0; only the title line for a size above 65,519.
void PrintDataBlock(const char* title, const void* data, int size);

// One event record; `fromThread` puts 15 blanks in front of each line (the reader thread's).
void PrintQueueMsg(const _POSQMSG* record, int length, bool fromThread);

// "  RC = %d, errno = %s" with the error name when the call returned -1 (else 0).
void PrintResults(int rc);

// The value types the user gives arguments: decimal, hexadecimal, string, binary.
// Each argument name is kept with one byte in front of it that holds its type letter.
inline char ArgType(const PosArg& arg) { return arg.name[-1]; }

// "   %d: name = value" for each argument.
void PrintArgs(const PosArg* args, int count);
