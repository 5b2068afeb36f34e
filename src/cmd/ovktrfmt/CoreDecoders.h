// Decoders of the core records that need more than one line: events, adapter errors, link
// frames, exchange buffers, remote API commands, and the device-layer client records.
#pragma once

#include <cstdint>

class Payload;
class TraceFormatter;
class TraceOutput;

// Record 8: an event {msg, mp1, mp2}.
void FormatEvent(TraceOutput& out, const Payload& p);
// Record 34: an adapter error message, with its warning box for codes 0x15 and 0x80.
void FormatAdapterError(TraceOutput& out, const Payload& p);
// Records 35 and 43 (received), 36 and 44 (sent): link frames.
void FormatReceivedFrame(TraceFormatter& run, const Payload& p);
void FormatSentFrame(TraceFormatter& run, const Payload& p);
// Records 101 and 102: the adapter exchange buffer (got, or returned).
void FormatExchangeBuffer(TraceOutput& out, const Payload& p, bool returned);
// Record 254: a remote API command.
void FormatTcpCommand(TraceOutput& out, const Payload& p);
// The USB records 400 to 408 but 404; false for any other minor code.
bool FormatUsbRecord(TraceFormatter& run, uint32_t minor, const Payload& p);
// The raw-access client records and the keyboard-node requests; false for
// a minor code that is none of them.
bool FormatDeviceRecord(TraceFormatter& run, uint32_t minor, const Payload& p);
