// The record formatters of the components. Each is called with the minor code, the payload,
// its length and the date, time-difference and process texts; it begins a shown record with
// the line prefix, ends it with a line feed, and returns 1 when the record is not shown.
#pragma once

#include <cstdint>

class TraceFormatter;

// Component 0: the device server core, the client API entry points, the link and the devices.
int FormatCoreRecord(TraceFormatter& run, uint32_t minor, const uint8_t* payload, int length,
                     const char* date, const char* time, const char* process);
// Component 1: the OPOS service objects.
int FormatOposRecord(TraceFormatter& run, uint32_t minor, const uint8_t* payload, int length,
                     const char* date, const char* time, const char* process);
// Components 2 (self-checkout), 4 (RS-232 access) and 6 (JavaPOS).
int FormatScsRecord(TraceFormatter& run, uint32_t minor, const uint8_t* payload, int length);
int FormatRs232Record(TraceFormatter& run, uint32_t minor, const uint8_t* payload, int length);
int FormatJposRecord(TraceFormatter& run, uint32_t minor, const uint8_t* payload, int length);
