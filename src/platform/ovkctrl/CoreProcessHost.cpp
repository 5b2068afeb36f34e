#include <new>

#include "COMD.h"
#include "Process.h"
#include "ProcessHost.h"

Process* CoreProcessHost::NewProcess(int processId) {
    return new (std::nothrow) Process(processId, Process::kMaxHandles, "PROCESS");
}

int CoreProcessHost::AddProcess(Process* process) {
    return pcomd ? pcomd->AddProcess(process) : 321;
}

int CoreProcessHost::RemoveProcess(int processId) {
    return pcomd ? pcomd->RemoveProcess(processId) : 321;
}
