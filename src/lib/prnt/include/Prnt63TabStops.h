// Tab stops of a model-6397 write buffer: five 32-bit positions, a -1 entry ending the list
// (all five used when no entry is -1). The application gives and gets them as texts of
// comma-separated decimal numbers ("100,200,300").
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

enum { PRN63_TAB_STOPS = 5, PRN63_TAB_TEXT_MIN = 31 };

// 0 when text (terminated, read at most 100 characters) is at most 99 characters without
// blanks holding 1 to 5 comma-separated values, each a run of hexadecimal-digit characters
// read as a decimal number, positive, not below the one before and not above lineWidth;
// otherwise 4920.
int Prnt63ValidateTabStops(const char* text, uint32_t lineWidth);

// Fills stops from text: a text of 100 characters or more (or none) empties the list; each
// comma-separated decimal value (a negative one taken as 0) fills the next slot, and after
// at most four values a -1 ends the list.
void Prnt63SetTabStops(const char* text, int32_t stops[PRN63_TAB_STOPS]);

// The values up to the end of the list as decimal numbers separated by commas, terminated,
// in out (size bytes; nothing below PRN63_TAB_TEXT_MIN). false when out is too small.
bool Prnt63GetTabStops(const int32_t stops[PRN63_TAB_STOPS], char* out, size_t size);

// The data of the tab-stop command: each stop up to the end of the list as a 16-bit value,
// most significant byte first, then two 0 bytes.
std::vector<unsigned char> Prnt63TabStopBytes(const int32_t stops[PRN63_TAB_STOPS]);
