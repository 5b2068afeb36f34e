// Lookups in the probe and fiscal tables.
#include "ProbeTables.h"

#include <cstdio>
#include <string>

#include "NameTables.h"

namespace {
const std::string kIndent36(36, ' ');
const char kIndent8[] = "        ";
} // namespace

const char* GetProbeTableEntry(int32_t probeId) {
    for (const ProbeTableEntry* row = ProbeTable; row->Name; ++row)
        if (row->Value == probeId)
            return KeepTableString(("File:  " + std::string(row->FileName) + "\n" + kIndent36 +
                                    "Probe: " + row->Name).c_str());
    char number[32];
    std::snprintf(number, sizeof number, "%-6d (0x%08X)", probeId, static_cast<unsigned>(probeId));
    return KeepTableString(("File: Unknown\n" + kIndent36 + "Probe: " + number).c_str());
}

const char* GetFiscalTableEntry(int32_t number) {
    const FiscalTableEntry* found = nullptr;
    // The table's own end bounds the search.
    for (const FiscalTableEntry* row = FiscalTable; row->Area && !found; ++row)
        if (row->Value == number) found = row;
    const char* area = found ? found->Area : "Unknown";
    std::string comment;
    if (found) {
        comment = found->Comment ? found->Comment : "";
    } else {
        char text[32];
        std::snprintf(text, sizeof text, "%-6d (0x%08X)", number, static_cast<unsigned>(number));
        comment = text;
    }
    return KeepTableString((std::string("\n") + kIndent8 + "Area:            " + area + "\n" +
                            kIndent8 + "Text:            " + comment).c_str());
}
