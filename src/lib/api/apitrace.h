// The client library's call trace: on when OVK_API_TRACE is "ON" (any case), written to the
// file OVK_API_LOG_FILE names ("ovkapi.log" in the working directory when unset). Each entry
// is prefixed with the time since the trace started and the calling thread's id.
#pragma once

// Writes one entry; returns the characters written, 0 when the trace is off.
int apitrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Test seam: closes the trace file and forgets the decision, so that the next entry reads the
// environment again.
void apiTraceReset();
