// Helpers shared by the process sources (not part of the core's interface).
#pragma once

#include <cstdint>

#include "ovktypes.h"
#include "syresource.h"

// Trace component of the request road.
constexpr uint32_t kProcessTraceComponent = 93;

// Trace records hold 32-bit words; an address is recorded by its low 32 bits.
inline uint32_t traceWord(const void* p) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}

// The argument list of a request must be readable as a whole: 0, 325 for a negative
// count, or the buffer check's code. A null list or a count of 0 leaves both null and 0.
// Process::CheckArgsNargs adds the check of each name.
int checkArgList(PosArg*& args, int& count);

// The process resource table: the variables its rows fill.
struct ProcessResourceValues {
    enum { kRows = 7 };
    int32_t slotNumber = 5;
    int32_t portNumber = 0x11;
    int32_t deviceNumber = 0;
    int32_t queueHandle = 0;
    int32_t readTimeout = 0;
    int32_t msgLimit = 128;
    int32_t vdevTimeout = 0;
    void MakeTable(posResources (&table)[kRows]);
};
