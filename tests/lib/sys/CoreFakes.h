// Stand-ins for the core classes that the system object and the device classes call:
// an event queue that records what it is given, a process on it, and a slot that records
// its calls.
#pragma once

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "EventQueue.h"
#include "PDEV.h"
#include "Process.h"
#include "StubSlot.h"

struct PostedEvent {
    uint32_t msg, p1, p2;
    bool operator==(const PostedEvent& o) const { return msg == o.msg && p1 == o.p1 && p2 == o.p2; }
};

inline std::ostream& operator<<(std::ostream& os, const PostedEvent& e) {
    return os << std::hex << "{0x" << e.msg << ", 0x" << e.p1 << ", 0x" << e.p2 << "}" << std::dec;
}

class TestQueue : public EventQueue {
public:
    TestQueue() : EventQueue("POSQ") {}
    int Read(void*, unsigned int, int& count) override {
        count = 0;
        return 0;
    }
    int SetMessageLimit(unsigned short) override { return 0; }
    int SetReadTimeout(unsigned long) override { return 0; }
    int Write(unsigned char* data, int, int& count) override {
        PostedEvent e;
        std::memcpy(&e, data, sizeof e);
        std::lock_guard<std::mutex> g(mutex_);
        events_.push_back(e);
        count = 16;
        return result;
    }
    std::vector<PostedEvent> events() {
        std::lock_guard<std::mutex> g(mutex_);
        return events_;
    }
    int result = 0;

private:
    std::mutex mutex_;
    std::vector<PostedEvent> events_;
};

class TestProcess : public Process {
public:
    TestProcess(int pid, TestQueue* queue) : Process(pid, 32, "TestProc") {
        destination_ = MsgQueueInfo{1, pid, reinterpret_cast<intptr_t>(queue)};
    }
    int PdevReleased(const DeviceID& id, unsigned char address) override {
        released.push_back(id);
        releasedAddress = address;
        return 0;
    }
    std::vector<DeviceID> released;
    unsigned char releasedAddress = 0;
};

// Records every call as "<slot>:<operation>" into a log shared by all fake slots.
class FakeSlot : public StubSlot {
public:
    FakeSlot(unsigned short adapterType, unsigned short slot, const char* name,
             std::vector<std::string>* log, int initResult = 0)
        : StubSlot(adapterType, slot, name), log_(log), initResult_(initResult) {}
    ~FakeSlot() override { note("deleted"); }

    std::vector<PDEV*> devices; // not owned

    int Init() override {
        note("Init");
        return initResult_;
    }
    int LinkoutPhysical(const PDEV*) override {
        note("LinkoutPhysical");
        return linkoutResult;
    }
    int LockSlot() override {
        note("LockSlot");
        return 0;
    }
    int ServiceAdapter(int) override { return 337; }
    int Term() override {
        note("Term");
        return 0;
    }
    int UnlockSlot() override {
        note("UnlockSlot");
        return 0;
    }
    int WhoIsOnline(const MsgQueueInfo& q) override {
        note("WhoIsOnline");
        for (PDEV* d : devices) d->TellQueueWhosOnline(&q);
        return 0;
    }

    int linkoutResult = 0;

private:
    void note(const char* what) {
        if (log_) log_->push_back(std::to_string(slotNumber_) + ":" + what);
    }
    std::vector<std::string>* log_;
    int initResult_;
};
