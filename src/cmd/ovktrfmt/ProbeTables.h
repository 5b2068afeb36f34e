// The error-log probe table (which module logged which probe id, under which name) and the
// fiscal printer's command names and error table, with their lookups for printing.
#pragma once

#include <cstdint>

struct ProbeTableEntry {
    int32_t Value;
    const char* Name;     // null in the row that ends the table
    const char* FileName; // the source module
};

struct FiscalTableEntry {
    int32_t Value;
    const char* Area;    // "Application", "DeviceDriver", "Hardware" or "OK"; null at the end
    const char* Comment;
};

extern const ProbeTableEntry ProbeTable[];
extern const char* const FiscalCommands[256]; // by command byte: "hh - name" or "hh - ???"
extern const FiscalTableEntry FiscalTable[];

// "File:  <module>\n", 36 blanks and "Probe: <name>" of the first row with that id; for an
// unknown id "File: Unknown\n", 36 blanks and "Probe: " with the id in decimal and hex.
// The text is kept in the name tables' scratch area.
const char* GetProbeTableEntry(int32_t probeId);
// "\n", 8 blanks, "Area:" and the area, "\n", 8 blanks, "Text:" and the comment (each label
// padded to 17 columns); an unknown number gives the area "Unknown" and the number.
const char* GetFiscalTableEntry(int32_t number);
