// Ownership of a port between processes: its System V semaphore (0 free, above 0 held; the
// hold is undone by the kernel when the holder ends) and the first word of its 16-byte shared
// segment (1: another process asks for the port).
#pragma once

#include <string>

namespace portipc {

// The semaphore of a port by logical name, -1 when the port is unknown or it cannot be had.
int semaphore(const std::string& name);
int value(int semId);
// The process id of the last operation, -1 on failure.
int lastPid(int semId);
// Takes the port when it is free, failing at once when it is held: the test for 0 and the
// increment go in one operation, so no opener can slip between them. 0 or -1.
int tryLock(int semId);
// Waits until the port is free, then takes it. 0 or -1.
int lock(int semId);
// Gives the port back (`wait` false: fail rather than wait).
int unlock(int semId, bool wait);
// Writes `word` into the port's shared word and returns the word before, -1 when the
// segment cannot be had. A segment newly made starts at 0.
int swapWord(const std::string& name, int word);

} // namespace portipc
