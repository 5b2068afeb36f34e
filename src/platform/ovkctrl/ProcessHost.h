// How a client connection reaches the core: it makes the connection's Process and lists it
// with the system object. The daemon uses CoreProcessHost; tests and the fuzz target may use
// a stand-in whose Process subclass answers the entry points itself.
#pragma once

class Process;

class ProcessHost {
public:
    virtual ~ProcessHost() = default;
    // A new, not yet initialised process for a client; null when none can be made.
    virtual Process* NewProcess(int processId) = 0;
    // The system object's process list (COMD::AddProcess, COMD::RemoveProcess).
    virtual int AddProcess(Process* process) = 0;
    virtual int RemoveProcess(int processId) = 0;
};

// The real core: Process objects with the full handle table, listed with pcomd.
class CoreProcessHost : public ProcessHost {
public:
    // Longest wait for an old connection of the same process to end (see AddProcess).
    static constexpr int kReinitWaitMs = 3000;

    Process* NewProcess(int processId) override;
    int AddProcess(Process* process) override;
    int RemoveProcess(int processId) override;
};
