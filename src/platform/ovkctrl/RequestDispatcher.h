// The daemon side of one client connection's requests: each decoded request becomes a call
// of the matching entry point of the connection's Process, and its result the reply.
//
// - The first Initialize request makes the Process (with the connection's process id),
//   gives it the client's lead-byte ranges and code page, initialises it and, only when that
//   succeeded, lists it with the system object. Until then every request but Initialize and
//   Version is answered with 302 and the core is not called.
// - Version is answered by the daemon itself.
// - The core receives only what the request decoder checked: argument lists whose names come
//   from the resource-name table and whose string values point into storage of the row's
//   length, and byte buffers of exactly the length the request carried.
//
// The dispatcher never holds the connection's writer mutex: the core takes it to post events,
// also from other threads while a request runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ovkwire.h"

class Process;
class ProcessHost;
class ServiceConnection;

class RequestDispatcher {
public:
    // The version the daemon reports.
    static ovkwire::VersionInfo DaemonVersion();

    // connection: where the process's event queue writes (may be null in tests).
    RequestDispatcher(ProcessHost& host, ServiceConnection* connection, int processId);
    // Ends the process (End).
    ~RequestDispatcher();
    RequestDispatcher(const RequestDispatcher&) = delete;
    RequestDispatcher& operator=(const RequestDispatcher&) = delete;

    // Answers one request: writes the reply (header and padded data) into `reply`, which
    // holds ovkwire::REPLY_BUFFER_SIZE bytes, and returns its length.
    size_t Dispatch(ovkwire::Request& request, uint8_t* reply);

    // Takes the process off the system object's list and deletes it, which closes and
    // releases every device the client left open. Safe to call more than once.
    void End();

    bool Initialized() const { return registered_; }
    int ProcessId() const { return processId_; }

private:
    struct Result {
        int32_t rc = 0;     // >= 0 on success
        int32_t error = 0;  // the core's code when rc is negative
        ByteSpan data;
    };
    static Result Fail(int code);
    static Result Done(int rc, int value);

    Result Initialize(ovkwire::InitializeRequest& r);
    Result Open(ovkwire::OpenRequest& r);
    Result IOCtl(ovkwire::IOCtlRequest& r);
    Result Read(const ovkwire::ReadRequest& r);
    Result Write(const ovkwire::WriteRequest& r);
    Result Close(const ovkwire::CloseRequest& r);
    Result Version();

    ProcessHost& host_;
    ServiceConnection* connection_;
    int processId_;
    Process* process_ = nullptr;
    bool registered_ = false;
    std::vector<uint8_t> scratch_; // read data and get-values blocks
    uint8_t version_[ovkwire::VERSION_DATA_SIZE] = {};
};
