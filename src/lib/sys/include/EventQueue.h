// Where the events of one client process go. The process's event queue (POSQ) derives from
// it; a MsgQueueInfo of kind 1 names one by its queue field.
#pragma once

#include "STG.h"
#include "ovktypes.h"

class EventQueue : public STG {
public:
    explicit EventQueue(const unsigned char* name) : STG(name) {}
    explicit EventQueue(const char* name) : STG(name) {}
    ~EventQueue() override = default;

    // In this order (the event queue's own operations).
    virtual int Read(void* buffer, unsigned int length, int& count) = 0;
    virtual int SetMessageLimit(unsigned short limit) = 0;
    virtual int SetReadTimeout(unsigned long timeout) = 0;
    // data holds three 32-bit values in host order: message number, p1, p2. 0 when sent
    // (count 16), else an error code (320: the client has gone).
    virtual int Write(unsigned char* data, int length, int& count) = 0;
};

// The queue a destination of kind 1 names (null when none).
inline EventQueue* EventQueueOf(const MsgQueueInfo& destination) {
    return reinterpret_cast<EventQueue*>(destination.queue);
}
