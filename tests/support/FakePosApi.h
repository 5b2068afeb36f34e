// A stand-in for the client library in unit tests: the Pos* calls answer from scripts
// (queued handle-0 records, results and error codes per call) and every call is logged
// with its arguments. Tests that link it instead of libovklib reach failure paths a daemon
// does not make. Safe to call from several threads.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace fakepos {

struct Call {
    std::string function; // "PosInitialize", "PosOpen", "PosIOCtl", ...
    int handle = 0;       // the descriptor of PosRead, PosWrite, PosIOCtl and PosClose
    int request = 0;      // PosIOCtl's request
    std::string name;     // PosInitialize's application, PosOpen's device name
    std::string klass;    // PosInitialize's resource file, PosOpen's class name
    std::vector<std::pair<std::string, intptr_t>> args;
};

// Forgets every script, record and call.
void Reset();

// The next call of `function` returns `result` (and sets the error `code` when the result is
// negative). For PosIOCtl a script under "PosIOCtl:<request>" wins over one under "PosIOCtl".
// Unscripted calls succeed: PosOpen gives handles 1, 2, 3, ...; PosRead of handle 0 gives a
// queued record, else fails with 329 (timed out).
void Script(const std::string& function, int result, int code = 0);
// Every unscripted call of `function` answers so (until Reset).
void Always(const std::string& function, int result, int code = 0);
// A record for PosRead on handle 0.
void QueueRecord(uint32_t msg, uint32_t p1, uint32_t p2);
// The value that PosIOCtl with request 302 writes back for the argument `name`.
void SetValue(const std::string& name, intptr_t value);

std::vector<Call> Calls();
// The calls of one function, in order.
std::vector<Call> Calls(const std::string& function);
// The requests of the PosIOCtl calls, in order.
std::vector<int> Requests();
// Waits until PosRead of handle 0 has been called `count` times in all; false after
// `timeoutMs`.
bool WaitForReads(int count, int timeoutMs = 10000);
// From HoldReads until ReleaseReads (or Reset), PosRead of handle 0 blocks before it answers:
// a reader kept in the client library as long as a test needs.
void HoldReads();
void ReleaseReads();
// Waits until a PosRead of handle 0 is blocked by HoldReads; false after `timeoutMs`.
bool WaitForHeldRead(int timeoutMs = 10000);
// How many PosRead calls are blocked right now.
int HeldReads();

} // namespace fakepos
