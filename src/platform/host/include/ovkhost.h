// Host services that the control daemon exports to the device server core and to the
// device plug-ins. The core and the plug-ins import these names from the hosting process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------------------
// Fixed paths: every fixed path of the system ("/etc/ovksys.conf", "/tmp/.ovkctrl", ...)
// goes through this helper, which prefixes it with $OVK_ROOT when that is set.
std::string ovkPath(const std::string& systemPath);

// ---------------------------------------------------------------------------------------
// Error log. Never blocks: entries are queued for the server log and kept in a capture.
void clErrorLog(uint32_t logId, uint32_t rc, uint32_t extra, const char* sourceTag);
void clErrorLog(uint32_t logId, uint32_t rc, uint32_t extra, const char* sourceTag,
                const void* data1, uint16_t len1);
void clErrorLog(uint32_t logId, uint32_t rc, uint32_t extra, const char* sourceTag,
                const void* data1, uint16_t len1, const void* data2, uint16_t len2);
void clErrorLog(uint32_t logId, uint32_t rc, uint32_t extra, const char* sourceTag,
                const void* data1, uint16_t len1, const void* data2, uint16_t len2,
                const void* data3, uint16_t len3);
void clErrorLog(uint32_t logId, uint32_t rc, uint32_t extra, const char* sourceTag,
                const void* data1, uint16_t len1, const void* data2, uint16_t len2,
                const void* data3, uint16_t len3, const void* data4, uint16_t len4);

// Trace: one record of a component (93 for the core and the plug-ins) and a minor code.
int clTrace(uint32_t component, uint32_t minor, const void* data, uint32_t length, int flag);
// Debug and alert lines (printf conventions).
int tprintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
int aprintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Adapter exchange-buffer trace. Recorded with component ovkhost::kSioTraceComponent, the
// id as minor code, and as data the slot number (one byte) followed by the buffer.
void sioTrace(int slot, int id, const void* buffer, int length);
void sioTrace(int slot, int id); // a trace point without buffer
// Debug log: DebugFile names the file that debug lines go to (0, or 301 when it cannot be
// opened for appending; a null or empty path closes it); ToggleDebug switches them.
int DebugFile(const char* path);
void ToggleDebug();
bool DebugEnabled();

// ---------------------------------------------------------------------------------------
// Buffer checks: access 0 read `length` bytes, 1 write `length` bytes, 2 read a
// NUL-terminated string (length 0). 0 when allowed, else an error code: 334 for memory
// that is not accessible (a null pointer included), 318 for a negative length, 310 for an
// unknown access. A length of 0 (access 0 or 1) is always allowed.
enum { CH_ACCESS_READ = 0, CH_ACCESS_WRITE = 1, CH_ACCESS_STRING = 2 };
enum { CH_ERR_VALUE_OUT_OF_BOUNDS = 310, CH_ERR_INVALID_LENGTH = 318,
       CH_ERR_INVALID_ADDRESS = 334 };
int chCheckBuffer(const void* pointer, int length, int access);

// ---------------------------------------------------------------------------------------
// Time: milliseconds since the host started. The count wraps; make a deadline only with
// chTimeAdd and compare two times only with chTimeDiff / chTimeReached, never by adding,
// subtracting or comparing signed values directly.
int32_t chTime();
void chSleep(int ms);
// t + ms as a wrapping sum: the time `ms` milliseconds after (before, when negative) `t`.
inline int32_t chTimeAdd(int32_t t, int32_t ms) {
    return static_cast<int32_t>(static_cast<uint32_t>(t) + static_cast<uint32_t>(ms));
}
// later - earlier as a wrapping difference (correct across the 32-bit wrap).
inline int32_t chTimeDiff(int32_t later, int32_t earlier) {
    return static_cast<int32_t>(static_cast<uint32_t>(later) - static_cast<uint32_t>(earlier));
}
// True once `now` has reached or passed `deadline`.
inline bool chTimeReached(int32_t now, int32_t deadline) { return chTimeDiff(now, deadline) >= 0; }

unsigned long chGetProcessId();
unsigned long chGetThreadId(); // the kernel thread id, never 0
int chQueryPlatform();          // 4000
int chQueryCpInfo(int& codePage); // $OVKCODEPAGE (decimal, 16 bits), else 858; returns 0
int chGetMaxPathFileLength();   // 4096
// Looks fileName up in each directory of the environment variable envVarName; writes the
// first hit into outPath (at most outSize bytes, terminated). 0 when found; 334 for a bad
// argument, 312 when the path does not fit outSize, 336 when not found (outPath is then "").
// Relative directories are made absolute; the working directory is never changed.
int chSearchPath(const char* fileName, const char* envVarName, char* outPath, int outSize);

// ---------------------------------------------------------------------------------------
// List of untyped element pointers with a cursor. Does not own its elements.
class DList {
public:
    explicit DList(int kind = 0);
    virtual ~DList();
    DList(const DList&) = delete;
    DList& operator=(const DList&) = delete;

    enum { NO_ELEMENT = 60, NO_MEMORY = 305, NULL_ELEMENT = 321 };

    int start();         // cursor to the first element: 0, or 60 when empty
    int end();           // cursor behind the last element (linkin then appends); 0
    int fwd();           // advance: 0 on an element, non-zero when past the last
    int bkwd();          // step back: 0 on an element, non-zero when before the first
    void* get();         // element at the cursor, null when none
    int linkin(void* p); // insert before the cursor (after end(): append; before the
                         // first: prepend); cursor on it; 0. A null element is refused.
    void* linkout();     // remove and return the element at the cursor (null when none);
                         // the cursor moves to the element that followed it
    int update(void* p); // replace the element at the cursor: 0, or non-zero when none

    int count = 0;       // number of elements, read directly by callers
    int kind() const { return kind_; } // the construction argument (0: a plain queue)

private:
    struct Node;
    Node* head_ = nullptr;
    Node* tail_ = nullptr;
    Node* cursor_ = nullptr; // null: behind the last element, or before the first
    bool beforeFirst_ = false; // with a null cursor: bkwd() stepped off the first element
    int kind_;
};

// ---------------------------------------------------------------------------------------
// Recursive, owner-checked mutex. Acquire(15) waits without limit (so does a negative
// value); other values are a wait in milliseconds of real time, after which Acquire gives
// 329. Release by a thread that does not own it fails with 315. Each call returns 0 on
// success.
class mutexSem {
public:
    mutexSem();
    virtual ~mutexSem();
    mutexSem(const mutexSem&) = delete;
    mutexSem& operator=(const mutexSem&) = delete;

    int Open();
    int Close();
    int Acquire(int wait = 15);
    int Release();
    unsigned long Owner() const; // owning thread id, 0 when free
    bool HeldByCaller() const;

private:
    struct Impl;
    Impl* impl_;
};

// Event semaphore: Wait(ms) returns 0 when posted, 329 on time-out, 332 when interrupted.
// A negative wait waits without limit. A posted semaphore stays posted until Reset().
// Close() interrupts the waiters (332); until Open() again, Wait and Post give 301.
// While the manual clock is in use, the time-out runs on it (see ovkhost::advanceClock).
class eventSem {
public:
    eventSem();
    virtual ~eventSem();
    eventSem(const eventSem&) = delete;
    eventSem& operator=(const eventSem&) = delete;

    int Open();
    int Close();
    int Reset();
    int Post();
    int Wait(int ms);

private:
    struct Impl;
    Impl* impl_;
};

// ---------------------------------------------------------------------------------------
// TCP socket service for up to `maxClients` clients (numbered from 1). Thread-safe: one
// thread may accept while another reads and others write. Descriptors are close-on-exec;
// hard failures throw std::runtime_error.
class SvrSocket {
public:
    explicit SvrSocket(int maxClients = 10);
    virtual ~SvrSocket();
    SvrSocket(const SvrSocket&) = delete;
    SvrSocket& operator=(const SvrSocket&) = delete;

    // -1 = listening (on all addresses, SO_REUSEADDR), else an errno value.
    int startServer(int port);
    // Closes the listening socket and every client; wakes a thread blocked in accept.
    void stopServer();
    // Waits for a connection (negative timeout: until one comes or stopServer). > 0: a new
    // client, whose number is the result minus 1; 0: none in time. *state (when not null)
    // is 0, or the errno of a failed accept. A connection beyond maxClients is closed.
    int acceptConnections(int* state, int timeoutMs);
    // Reads up to *length bytes from whichever client has data first and returns its
    // number; once data came, the rest of *length is awaited briefly from that client.
    // *length is set to the count read. 0 when no data within timeoutMs; -24 when a
    // client was found disconnected (it is no longer valid).
    int read(void* buffer, int* length, int timeoutMs);
    // Reads exactly *length bytes from `client`: -1 = all read; else the count read so far
    // (also stored in *length). timeoutMs bounds the whole read; 0 allows a short wait for
    // bytes still in flight; negative waits without limit.
    int read(int client, void* buffer, int* length, int timeoutMs);
    // Bytes written. Writes to one client are serialised; a write that cannot complete
    // within a few seconds disconnects that client, since its stream is cut mid-frame.
    int write(int client, const void* buffer, int length);
    // The same with its own time limit: a client that has not taken every byte (or whose
    // other writer has not finished) within timeoutMs is disconnected.
    int write(int client, const void* buffer, int length, int timeoutMs);
    void disconnect(int client);
    bool isValidClient(int client); // connected and not hung up
    int listeningPort() const; // the bound port (useful when started on port 0)

private:
    struct Impl;
    Impl* impl_;
};

// Process-wide socket set-up; nothing is needed on this platform (both return 0).
class SocketManager {
public:
    int startSockets();
    int endSockets();
};

// ---------------------------------------------------------------------------------------
// Test seams. Tests only: a settable clock and captures of what was logged.
namespace ovkhost {

// Settable clock: while enabled, chTime() answers the set value and chSleep(ms) advances it
// by ms without sleeping. Changing it wakes eventSem waits so that their time-outs follow.
// A program on the real clock (a daemon under an end-to-end test) starts its count from the
// environment variable OVK_TEST_CLOCK_START, read once at load; tests only.
void useManualClock(bool enabled);
void setClock(int32_t ms);
void advanceClock(int32_t ms);

struct ErrorLogEntry {
    uint32_t logId, rc, extra;
    std::string sourceTag;
    std::vector<std::vector<uint8_t>> blocks;
};
struct TraceRecord {
    uint32_t component, minor;
    std::vector<uint8_t> data;
};
// The captures keep entries only while installed (test programs install them at start; the
// daemon does not, so that with tracing off a trace call costs one flag test). Each kind
// keeps its newest entries within a bound in bytes.
void installCapture(bool on);
std::vector<ErrorLogEntry> errorLog();
std::vector<TraceRecord> traces();
std::vector<std::string> printedLines(); // tprintf/aprintf output and debug lines
void clearCaptures();
bool errorLogged(uint32_t logId);

// Server log: clErrorLog entries are also written, formatted as text, to this file.
// Lines are written by a background thread; an empty path stops writing to a file. Of one
// log id from one source (tag and first block's object) the file takes 3 entries a minute;
// the rest are counted and, once that minute has passed, written as one count line
// (the captures above still get every entry).
void setLogFile(const std::string& path);
void setLogToStderr(bool enabled);   // error-log and aprintf lines also go to stderr
// Queues the count lines whose minute has passed, then waits (at most a few seconds) until
// every queued log and debug line has been written.
void flushLog();
// Closes the server log: the counts of every entry held back are written at once (their
// minute need not have passed), then the queue is drained and the file closed. setLogFile
// likewise writes them to the file it closes.
void closeLog();

// Trace file: while it is open, clTrace, sioTrace, clErrorLog (record 64) and the debug and
// alert lines (record 42) are also written to it in the format ovktrfmt reads. Opening moves
// an existing file to "<path>.1" and creates the new one (mode 0600) with its marker record;
// past limitBytes the same happens again. false when the file cannot be created.
bool startTraceFile(const std::string& path, uint64_t limitBytes = 64ull << 20);
// Stops tracing to the file; waits (at most a few seconds) until its records are written.
void stopTraceFile();
bool traceFileActive();

// Component of sioTrace records (the core and the plug-ins trace with component 93).
constexpr uint32_t kSioTraceComponent = 0x510;

} // namespace ovkhost
