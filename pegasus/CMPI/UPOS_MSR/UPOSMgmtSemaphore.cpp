#include "UPOSMgmtSemaphore.h"

#include <sys/ipc.h>
#include <sys/sem.h>

#include <cerrno>
#include <cstdio>

int sem_id = -1;

namespace {
constexpr key_t kSemaphoreKey = 1234;

union semun {
    int val;
    semid_ds* buf;
    unsigned short* array;
};
} // namespace

extern "C" {

int set_semvalue(void) {
    semun arg{};
    arg.val = 1;
    return ::semctl(sem_id, 0, SETVAL, arg) == -1 ? 0 : 1;
}

int setSemaphore(void) {
    sem_id = ::semget(kSemaphoreKey, 1, IPC_CREAT | IPC_EXCL | 0);
    if (sem_id != -1) return set_semvalue();
    sem_id = ::semget(kSemaphoreKey, 1, IPC_CREAT);
    return sem_id == -1 ? 0 : 1;
}

int semaphore_p(void) {
    sembuf op{0, -1, SEM_UNDO};
    int r;
    do {
        r = ::semop(sem_id, &op, 1);
    } while (r == -1 && errno == EINTR);
    if (r == -1) {
        std::fprintf(stderr, "semaphore_p failed  \n");
        return 0;
    }
    return 1;
}

int releaseSemaphore(void) {
    sembuf op{0, 1, SEM_UNDO};
    if (::semop(sem_id, &op, 1) == -1) {
        std::fprintf(stderr, "semaphore_v failed  \n");
        return 0;
    }
    return 1;
}

} // extern "C"
