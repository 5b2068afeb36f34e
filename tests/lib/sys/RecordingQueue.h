// An event queue that records every event posted to it (message and two parameters), and
// a client process whose events go to one: for the tests of device classes that post
// online, offline and device events.
#pragma once

#include <cstdint>
#include <cstring>
#include <mutex>
#include <ostream>
#include <vector>

#include "EventQueue.h"
#include "Process.h"

struct RecordedEvent {
    uint32_t msg, p1, p2;
    bool operator==(const RecordedEvent& o) const { return msg == o.msg && p1 == o.p1 && p2 == o.p2; }
};

inline std::ostream& operator<<(std::ostream& os, const RecordedEvent& e) {
    return os << std::hex << "{0x" << e.msg << ", 0x" << e.p1 << ", 0x" << e.p2 << "}" << std::dec;
}

class RecordingQueue : public EventQueue {
public:
    RecordingQueue() : EventQueue("POSQ") {}
    int Read(void*, unsigned int, int& count) override {
        count = 0;
        return 0;
    }
    int SetMessageLimit(unsigned short) override { return 0; }
    int SetReadTimeout(unsigned long) override { return 0; }
    int Write(unsigned char* data, int length, int& count) override {
        count = 0;
        if (!data || length < static_cast<int>(sizeof(RecordedEvent))) return 310;
        RecordedEvent e;
        std::memcpy(&e, data, sizeof e);
        std::lock_guard<std::mutex> g(mutex_);
        events_.push_back(e);
        count = 16;
        return 0;
    }
    // The events so far.
    std::vector<RecordedEvent> events() const {
        std::lock_guard<std::mutex> g(mutex_);
        return events_;
    }
    // The events since the last take.
    std::vector<RecordedEvent> take() {
        std::lock_guard<std::mutex> g(mutex_);
        std::vector<RecordedEvent> out;
        out.swap(events_);
        return out;
    }
    // Where a process or a virtual device posts to reach this queue.
    MsgQueueInfo destination(int clientId = 0) {
        return MsgQueueInfo{1, clientId, reinterpret_cast<intptr_t>(static_cast<EventQueue*>(this))};
    }

private:
    mutable std::mutex mutex_;
    std::vector<RecordedEvent> events_;
};

class RecordingProcess : public Process {
public:
    RecordingProcess(int pid, RecordingQueue* queue) : Process(pid, 32, "TestProc") {
        destination_ = queue->destination(pid);
    }
};
