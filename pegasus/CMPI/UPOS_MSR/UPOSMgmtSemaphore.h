// The system semaphore (key 1234) that serialises every operation of the management providers
// of all processes: the bridge's result and text pointers are process-wide.
#pragma once

extern int sem_id;

extern "C" {
// Creates the set (value 1) when this process is the first, else opens it.
int setSemaphore(void);
int set_semvalue(void);
int semaphore_p(void);
int releaseSemaphore(void);
}
