#include "QueueReader.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "Printing.h"
#include "ovkapi.h"

std::atomic<int> RunThread{1};
std::atomic<int> AutoCheckQueue{1};
std::atomic<int> ThreadShouldRead{1};
std::atomic<int> ClearToPrint{1};
std::atomic<int> ThreadRunning{0};
std::atomic<int> ReaderActive{0};
std::atomic<int> ThreadOutput{0};
std::atomic<int> PosInitSuccessful{0};

namespace {

constexpr int kTimedOut = 329;
constexpr int kInterrupted = 332;

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The thread waits until the menu waits for a key (or it is told to stop).
void waitClearToPrint(bool fromThread) {
    while (fromThread && !ClearToPrint && RunThread) sleepMs(100);
}

// Steps 2 and 3 of one pass: read and print one record, or rest.
void onePass(bool fromThread) {
    if (!PosInitSuccessful || !ThreadShouldRead) {
        sleepMs(150);
        return;
    }
    _POSQMSG record;
    const int rc = PosRead(0, &record, sizeof record);
    if (rc < 0) {
        const int error = PosErrno();
        if (error == kTimedOut || error == kInterrupted) return;
        std::printf("--> Error reading POS input queue\n");
        std::printf("    rc = %d, errno = %d\n\n", rc, error);
        std::exit(1);
    }
    waitClearToPrint(fromThread);
    ReaderActive = 1;
    ThreadOutput = 1;
    PrintQueueMsg(&record, rc, fromThread);
    ReaderActive = 0;
}

} // namespace

void QueueReader(bool fromThread) {
    if (!fromThread) {
        onePass(false);
        return;
    }
    ThreadRunning = 1;
    int announced = ThreadShouldRead;
    while (RunThread) {
        if (ThreadShouldRead != announced) {
            announced = ThreadShouldRead;
            waitClearToPrint(true);
            ReaderActive = 1;
            ThreadOutput = 1;
            std::printf("\n\nFROM READER THREAD: Reading turned %s\n\n", announced ? "ON" : "OFF");
            ReaderActive = 0;
        }
        onePass(true);
    }
    ThreadRunning = 0;
}

void CheckQueueOnce() {
    if (AutoCheckQueue) QueueReader(false);
}
