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
// Adapter exchange-buffer trace.
void sioTrace(int slot, int id, const void* buffer, int length);
// Debug log: DebugFile names the file that debug lines go to; ToggleDebug switches them.
int DebugFile(const char* path);
void ToggleDebug();
bool DebugEnabled();

// ---------------------------------------------------------------------------------------
// Buffer checks: access 0 read `length` bytes, 1 write `length` bytes, 2 read a
// NUL-terminated string (length 0). 0 when allowed, else an error code.
enum { CH_ACCESS_READ = 0, CH_ACCESS_WRITE = 1, CH_ACCESS_STRING = 2 };
int chCheckBuffer(const void* pointer, int length, int access);

// ---------------------------------------------------------------------------------------
// Time: milliseconds since the host started. The count wraps; compare two times only with
// chTimeDiff / chTimeReached, never by subtracting or comparing signed values directly.
int32_t chTime();
void chSleep(int ms);
// later - earlier as a wrapping difference (correct across the 32-bit wrap).
inline int32_t chTimeDiff(int32_t later, int32_t earlier) {
    return static_cast<int32_t>(static_cast<uint32_t>(later) - static_cast<uint32_t>(earlier));
}
// True once `now` has reached or passed `deadline`.
inline bool chTimeReached(int32_t now, int32_t deadline) { return chTimeDiff(now, deadline) >= 0; }

unsigned long chGetProcessId();
unsigned long chGetThreadId();
int chQueryPlatform();
int chQueryCpInfo(int& codePage);
int chGetMaxPathFileLength();
// Looks fileName up in each directory of the environment variable envVarName; writes the
// first hit into outPath (at most outSize bytes, terminated). 0 when found.
int chSearchPath(const char* fileName, const char* envVarName, char* outPath, int outSize);

// ---------------------------------------------------------------------------------------
// List of untyped element pointers with a cursor. Does not own its elements.
class DList {
public:
    explicit DList(int kind = 0);
    virtual ~DList();
    DList(const DList&) = delete;
    DList& operator=(const DList&) = delete;

    int start();         // cursor to the first element: 0, or 60 when empty
    int end();           // cursor behind the last element (linkin then appends)
    int fwd();           // advance: 0 on an element, non-zero when past the last
    int bkwd();          // step back: 0 on an element, non-zero when before the first
    void* get();         // element at the cursor, null when none
    int linkin(void* p); // insert before the cursor (after end(): append); cursor on it; 0
    void* linkout();     // remove and return the element at the cursor (null when none);
                         // the cursor moves to the element that followed it
    int update(void* p); // replace the element at the cursor: 0, or non-zero when none

    int count = 0;       // number of elements, read directly by callers

private:
    struct Node;
    Node* head_ = nullptr;
    Node* tail_ = nullptr;
    Node* cursor_ = nullptr; // null: behind the last element
    int kind_;
};

// ---------------------------------------------------------------------------------------
// Recursive, owner-checked mutex. Acquire(15) waits without limit; other values are a wait
// in milliseconds. Release by a thread that does not own it fails. Each call returns 0 on
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
// A negative wait waits without limit.
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
// TCP socket service for up to `maxClients` clients (numbered from 1).
class SvrSocket {
public:
    explicit SvrSocket(int maxClients = 10);
    virtual ~SvrSocket();
    SvrSocket(const SvrSocket&) = delete;
    SvrSocket& operator=(const SvrSocket&) = delete;

    int startServer(int port);                        // -1 = listening, else an error code
    void stopServer();
    int acceptConnections(int* state, int timeoutMs); // > 0: a new client; 0: none in time
    // Reads up to *length bytes from whichever client has data first; returns its number
    // (0 when none within timeoutMs); *length is set to the count read.
    int read(void* buffer, int* length, int timeoutMs);
    // Reads exactly *length bytes from `client`: -1 = all read; else the count read so far.
    int read(int client, void* buffer, int* length, int timeoutMs);
    int write(int client, const void* buffer, int length); // bytes written
    void disconnect(int client);
    bool isValidClient(int client);
    int listeningPort() const; // the bound port (useful when started on port 0)

private:
    struct Impl;
    Impl* impl_;
};

class SocketManager {
public:
    int startSockets();
    int endSockets();
};

// ---------------------------------------------------------------------------------------
// Test seams. Tests only: a settable clock and captures of what was logged.
namespace ovkhost {

// Settable clock: while enabled, chTime() answers the set value and chSleep(ms) advances it
// by ms without sleeping.
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
std::vector<ErrorLogEntry> errorLog();
std::vector<TraceRecord> traces();
std::vector<std::string> printedLines(); // tprintf/aprintf output and debug lines
void clearCaptures();
bool errorLogged(uint32_t logId);

// Server log: clErrorLog entries are also written, formatted as text, to this file.
void setLogFile(const std::string& path);
void setLogToStderr(bool enabled);

} // namespace ovkhost
