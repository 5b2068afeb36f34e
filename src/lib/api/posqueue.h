// The event queue behind descriptor 0: a ring of event records written by the connections'
// service threads and read by PosRead on descriptor 0, with the read time-out that decides how
// long such a read waits. Once the last connection feeding it is lost, no event can come: a
// read of the empty queue ends at once with the connection error.
#pragma once

#include <condition_variable>
#include <mutex>

#include "ovkapi.h"

class PosQueue {
public:
    static constexpr int SIZEOF_POSQMSG = 16;
    static constexpr int POSQMSG_BUFSIZ = 100; // ring slots; one stays free, so 99 records fit

    PosQueue();
    virtual ~PosQueue();
    PosQueue(const PosQueue&) = delete;
    PosQueue& operator=(const PosQueue&) = delete;

    // 16, or -1 with errno POSERR_SYS_DATA_DISCARDED when the ring is full (the record is
    // dropped).
    int write(const _POSQMSG* msg);
    // 16 with the oldest record, or -1 with errno POSERR_SYS_TIMEOUT when none came within
    // the read time-out (below 0: no limit; 0: no wait), or -1 with errno
    // POSERR_SYS_SERVICE_NOT_AVAILABLE, at once, when it is empty and every connection that
    // fed it was lost.
    int read(_POSQMSG* msg);

    // A connection that delivers events opened, and ended: lost (its daemon went away) or
    // closed by the process. A new connection makes the queue wait for events again.
    void connectionOpened();
    void connectionEnded(bool lost);

    void setReadTimeout(long ms);
    long getReadTimeout();

    // Test seam: wakes a waiting reader without a record, as a spurious wake-up would.
    void wakeForTesting();

    // The process-wide queue.
    static PosQueue& instance();

private:
    bool emptyLocked() const { return readIndex_ == writeIndex_; }

    std::mutex mutex_;
    std::condition_variable cond_;
    _POSQMSG* ring_;
    int readIndex_ = 0;
    int writeIndex_ = 0;
    long readTimeout_ = 0;
    int connections_ = 0; // open connections that deliver events
    bool lost_ = false;   // the last of them was lost
};
