#include <chrono>
#include <new>
#include <thread>

#include "COMD.h"
#include "ClientConnection.h"
#include "Process.h"
#include "ProcessHost.h"

Process* CoreProcessHost::NewProcess(int processId) {
    return new (std::nothrow) Process(processId, Process::kMaxHandles, "PROCESS");
}

int CoreProcessHost::AddProcess(Process* process) {
    if (!pcomd || !process) return 321;
    // A client that ends and initialises again at once (PosTerm, then PosInitialize) comes
    // back with its process id while the thread of its old connection may not yet have seen
    // the end of that connection and taken the old process off the list: while such a
    // connection of the same process is there, wait for it to go.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReinitWaitMs);
    bool again = true;
    for (;;) {
        const int rc = pcomd->AddProcess(process);
        if (rc == 0 || std::chrono::steady_clock::now() >= deadline) return rc;
        if (!ClientConnection::HungUpConnectionOf(process->GetProcessId())) {
            // A duplicate that stays, or the old one went just now: one more try tells.
            if (!again) return rc;
            again = false;
            continue;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

int CoreProcessHost::RemoveProcess(int processId) {
    return pcomd ? pcomd->RemoveProcess(processId) : 321;
}
