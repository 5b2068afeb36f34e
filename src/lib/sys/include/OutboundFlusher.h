// Writes out what connections could not send at once: one thread for the whole daemon polls
// the sockets of the connections with queued output for room and has each send what fits,
// so that no thread that posts an event or a reply ever waits on a client.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

class ServiceConnection;

class OutboundFlusher {
public:
    static OutboundFlusher& instance();

    // The connection has queued output (called without its writer mutex held).
    void Add(ServiceConnection* connection);
    // The connection goes away: after this the flusher no longer touches it.
    void Remove(ServiceConnection* connection);

    // For tests: called on the flusher's thread after each flush, with whether it left the
    // connection's queue empty, before the flusher decides whether the connection stays
    // pending. An empty function removes it.
    void setAfterFlushForTest(std::function<void(ServiceConnection*, bool done)> hook);

private:
    OutboundFlusher() = default;
    void Run();
    void Wake();

    std::mutex mutex_;
    std::condition_variable idle_;
    std::set<ServiceConnection*> pending_;
    ServiceConnection* busy_ = nullptr; // being flushed right now
    bool busyAddedAgain_ = false;       // output was queued for busy_ while it was flushed
    std::function<void(ServiceConnection*, bool)> afterFlush_;
    int wake_[2] = {-1, -1};
    bool started_ = false;
};
