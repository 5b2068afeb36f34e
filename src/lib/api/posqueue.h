// The event queue behind descriptor 0: a ring of event records written by the connections'
// service threads and read by PosRead on descriptor 0, with the read time-out that decides how
// long such a read waits.
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
    // the read time-out (below 0: no limit; 0: no wait).
    int read(_POSQMSG* msg);

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
};
