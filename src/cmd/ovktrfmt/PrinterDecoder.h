// The model-6397 printer's side of the link records: the status bytes of the frames it sends
// and the commands of the data sent to it.
#pragma once

#include <cstdint>

class TraceFormatter;

// The status bytes of a received information frame's message.
void DecodePrinterStatus(TraceFormatter& run, const uint8_t* message, int length);
// The status bytes of a USB report from the printer.
void DecodeUsbPrinterStatus(TraceFormatter& run, const uint8_t* data, int length);
// The commands in data sent to the printer, one per line.
void DecodePrinterCommands(TraceFormatter& run, const uint8_t* data, int length);
// The name of a configuration-table (MCT) entry.
const char* MctName(int number);
