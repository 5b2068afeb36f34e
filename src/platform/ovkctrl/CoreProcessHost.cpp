#include <chrono>
#include <new>
#include <thread>

#include "COMD.h"
#include "Process.h"
#include "ProcessHost.h"

Process* CoreProcessHost::NewProcess(int processId) {
    return new (std::nothrow) Process(processId, Process::kMaxHandles, "PROCESS");
}

int CoreProcessHost::AddProcess(Process* process) {
    if (!pcomd || !process) return 321;
    // A client that ends and initialises again at once (PosTerm, then PosInitialize) comes
    // back with its process id while the thread of its old connection may not yet have seen
    // the end of that connection and taken the old process off the list: give it a moment.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReinitWaitMs);
    bool retried = false;
    for (;;) {
        const int rc = pcomd->AddProcess(process);
        if (rc == 0 || std::chrono::steady_clock::now() >= deadline) return rc;
        Process* listed = nullptr;
        pcomd->FindProcess(process->GetProcessId(), listed);
        if (!listed) {
            // Not a duplicate, or the old process went just now: one more try tells.
            if (retried) return rc;
            retried = true;
            continue;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

int CoreProcessHost::RemoveProcess(int processId) {
    return pcomd ? pcomd->RemoveProcess(processId) : 321;
}
