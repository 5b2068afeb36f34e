// The event-queue reader: a thread that reads descriptor 0 and prints each event while the
// menu waits for a key, or one check made directly before and after a prompt. The flags are
// shared between the menu and the reader as plain words.
#pragma once

#include <atomic>

extern std::atomic<int> RunThread;        // a reader thread runs
extern std::atomic<int> AutoCheckQueue;   // without the thread: check around each prompt
extern std::atomic<int> ThreadShouldRead; // the reader (or the check) reads the queue
extern std::atomic<int> ClearToPrint;     // the menu waits for a key: the reader may print
extern std::atomic<int> ThreadRunning;    // the reader thread is in its loop
extern std::atomic<int> ReaderActive;     // the reader is printing now
extern std::atomic<int> ThreadOutput;     // the reader printed since the prompt was shown
extern std::atomic<int> PosInitSuccessful;

// The reader's loop (the thread's body); `fromThread` false makes one pass.
void QueueReader(bool fromThread);
// One direct check when automatic checking is on.
void CheckQueueOnce();
