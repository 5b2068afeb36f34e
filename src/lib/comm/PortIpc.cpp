#include "PortIpc.h"

#include "PortTable.h"

#include <errno.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>

#include <cstring>

namespace portipc {

int semaphore(const std::string& name) {
    int32_t key = ports::semKey(name);
    if (key == -1) return -1;
    return ::semget(key, 1, IPC_CREAT | 0666);
}

int value(int semId) { return ::semctl(semId, 0, GETVAL); }

int lastPid(int semId) { return ::semctl(semId, 0, GETPID); }

int tryLock(int semId) {
    sembuf ops[2] = {{0, 0, IPC_NOWAIT}, {0, 1, static_cast<short>(IPC_NOWAIT | SEM_UNDO)}};
    return ::semop(semId, ops, 2) == 0 ? 0 : -1;
}

int lock(int semId) {
    sembuf ops[2] = {{0, 0, 0}, {0, 1, SEM_UNDO}};
    int rc;
    do {
        rc = ::semop(semId, ops, 2);
    } while (rc < 0 && errno == EINTR);
    return rc == 0 ? 0 : -1;
}

int unlock(int semId, bool wait) {
    sembuf op = {0, -1, static_cast<short>(SEM_UNDO | (wait ? 0 : IPC_NOWAIT))};
    return ::semop(semId, &op, 1) == 0 ? 0 : -1;
}

int swapWord(const std::string& name, int word) {
    int32_t key = ports::shmKey(name);
    if (key == -1) return -1;
    bool created = true;
    int id = ::shmget(key, 16, IPC_CREAT | IPC_EXCL | 0777);
    if (id < 0 && errno == EEXIST) {
        created = false;
        id = ::shmget(key, 16, 0);
    }
    if (id < 0) return -1;
    void* at = ::shmat(id, nullptr, 0);
    if (at == reinterpret_cast<void*>(-1)) return -1;
    auto* shared = static_cast<volatile int32_t*>(at);
    if (created) shared[0] = 0;
    int old = shared[0];
    shared[0] = word;
    ::shmdt(at);
    return old;
}

} // namespace portipc
