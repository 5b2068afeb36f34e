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
