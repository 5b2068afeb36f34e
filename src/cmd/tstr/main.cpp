// OVKTSTR: drives every call of the client API by hand from a menu, echoing each call and
// printing its result, while the events of descriptor 0 are printed as they arrive.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "ArgList.h"
#include "Console.h"
#include "FileHelpers.h"
#include "Options.h"
#include "Printing.h"
#include "QueueReader.h"
#include "TstrNames.h"
#include "ovkapi.h"

namespace {

constexpr int kLineSize = 256;
constexpr int kWriteLine = 253;
constexpr int kFileBufSize = 8192;

int HandleDefault = 0;
char ApplNameDefault[kLineSize] = "OVKTSTR";
char ResourceFileDefault[kLineSize] = "OVKTSTR";
char DevNameDefault[kLineSize] = "device";
char DevClassDefault[kLineSize] = "PosDisplay";
char BigBuf[kLineSize];
unsigned char FileBuf[kFileBufSize];
std::thread reader;
bool noteShown = false;

const char* onOff(int flag) { return flag ? "ON" : "OFF"; }

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// A text prompt with a default: an empty line keeps it, typed text (expanded) replaces it.
void askDefault(const char* label, char* value) {
    char prompt[kLineSize + 32];
    std::snprintf(prompt, sizeof prompt, "%s (%s): ", label, value);
    char line[kLineSize];
    const int n = GetEscapeString(prompt, line, sizeof line);
    if (n > 0) std::memcpy(value, line, static_cast<size_t>(n) + 1);
}

int askHandle() {
    char prompt[32];
    std::snprintf(prompt, sizeof prompt, "Handle (%d): ", HandleDefault);
    return static_cast<int>(AskNumber(prompt, HandleDefault));
}

long getReadTimeout(int* rc) {
    long value = 0;
    PosArg arg{"readTimeout", 0};
    *rc = PosIOCtl(0, POS_SYS_GET_VALUES, &arg, 1);
    value = static_cast<long>(arg.value);
    return value;
}

int setReadTimeout(long ms) {
    PosArg arg{"readTimeout", static_cast<intptr_t>(ms)};
    return PosIOCtl(0, POS_SYS_SET_VALUES, &arg, 1);
}

// After an initialise: a queue read that does not wait would turn the reader into a busy loop.
void tuneReadTimeout() {
    if (!RunThread && !AutoCheckQueue) return;
    int rc;
    const long value = getReadTimeout(&rc);
    if (rc == -1) {
        std::printf("Error on GET_VALUES(readTimeout): %d (errno = %d)\n", rc, PosErrno());
        return;
    }
    if (value != 0) return;
    if (setReadTimeout(500) == -1) {
        std::printf("Error on SET_VALUES(readTimeout): %d (errno = %d)\n", -1, PosErrno());
        return;
    }
    std::printf("\n***> readTimeout reset to %ld ms. for performance <***\n\n", 500L);
}

void doInitialize() {
    askDefault("ApplName", ApplNameDefault);
    askDefault("ResourceFile", ResourceFileDefault);
    const int n = GetArgs(true);
    std::printf("PosInitialize(%s, %s, 0, 0, [], %d)\n", ApplNameDefault, ResourceFileDefault, n);
    PrintArgs(Global_args, n);
    const int rc = PosInitialize(ApplNameDefault, ResourceFileDefault, 0, 0, Global_args, n);
    PrintResults(rc);
    DoneWithArgs();
    if (rc == -1) return;
    PosInitSuccessful = 1;
    tuneReadTimeout();
}

void doOpen() {
    askDefault("DevName", DevNameDefault);
    askDefault("DevClass", DevClassDefault);
    const int n = GetArgs(true);
    std::printf("PosOpen(%s, %s, [], %d)\n", DevNameDefault, DevClassDefault, n);
    PrintArgs(Global_args, n);
    const int rc = PosOpen(DevNameDefault, DevClassDefault, Global_args, n);
    PrintResults(rc);
    DoneWithArgs();
    HandleDefault = rc;
}

void doClose() {
    const int h = askHandle();
    std::printf("PosClose(%d)\n", h);
    PrintResults(PosClose(h));
    HandleDefault = h;
}

void doRead() {
    const int h = askHandle();
    long size;
    do size = AskNumber("Buffer Size (80): ", 80);
    while (size < 0);
    std::vector<unsigned char> buffer(static_cast<size_t>(size) + 1);
    std::printf("PosRead(%d, [], %ld)\n", h, size);
    const int rc = PosRead(h, buffer.data(), static_cast<unsigned>(size));
    PrintResults(rc);
    if (rc > 0) {
        if (h == 0)
            PrintQueueMsg(reinterpret_cast<const _POSQMSG*>(buffer.data()), rc, false);
        else
            PrintDataBlock("Read Results", buffer.data(), rc);
    }
    HandleDefault = h;
}

void doWrite() {
    const int h = askHandle();
    char prompt[64];
    std::snprintf(prompt, sizeof prompt, "Enter up to %d bytes to write: ", kWriteLine);
    const int n = GetEscapeString(prompt, BigBuf, sizeof BigBuf);
    std::printf("PosWrite(%d, [], %d)\n", h, n);
    PrintResults(PosWrite(h, BigBuf, static_cast<unsigned>(n)));
    HandleDefault = h;
}

void doLongWrite() {
    std::printf("This function allows you to enter more data at a time than is allowed by\n");
    std::printf("the one-line buffer (about 250 bytes) of a normal write.\n");
    const int h = askHandle();
    std::string queued;
    for (;;) {
        std::printf("\n%d bytes are currently queued to be written.\n\n", static_cast<int>(queued.size()));
        char prompt[96];
        std::snprintf(prompt, sizeof prompt,
                      "Enter up to %d more bytes to queue up or nothing at all to issue a PosWrite\n",
                      kWriteLine);
        const int n = GetEscapeString(prompt, BigBuf, sizeof BigBuf);
        if (n == 0) break;
        queued.append(BigBuf, static_cast<size_t>(n));
    }
    std::printf("PosWrite(%d, [], %d)\n", h, static_cast<int>(queued.size()));
    PrintResults(PosWrite(h, queued.data(), static_cast<unsigned>(queued.size())));
    HandleDefault = h;
}

void doIOCtl() {
    const int h = askHandle();
    int32_t request = 0;
    for (;;) {
        char line[kLineSize];
        Ask("Request: ", line, sizeof line);
        char* end;
        const long number = std::strtol(line, &end, 10);
        if (end != line && *end == '\0') {
            request = static_cast<int32_t>(number);
            break;
        }
        if (FindMatch(line, &request)) break;
    }
    const bool getValues = request == POS_SYS_GET_VALUES;
    const int n = GetArgs(!getValues);
    std::printf("\n\nPosIOCtl(%d, %s, [..], %d)\n", h, RequestName(request), n);
    FreeTableStrings();
    PrintArgs(Global_args, n);
    PrintResults(PosIOCtl(h, request, Global_args, n));
    if (getValues) PrintArgs(Global_args, n);
    DoneWithArgs();
    HandleDefault = h;
}

void doFile() {
    char line[kLineSize];
    do Ask("Read from or Write to device (r,w): ", line, sizeof line);
    while (!(line[1] == '\0' && (line[0] == 'r' || line[0] == 'w' || line[0] == 'R' || line[0] == 'W')));
    const bool toFile = line[0] == 'r' || line[0] == 'R';
    const int h = askHandle();
    char path[128];
    std::printf("File to %s: ", toFile ? "Read into" : "Write to device");
    ReadLine(path, sizeof path);
    if (toFile) {
        std::printf("PosRead(%d, [], %d)\n", h, kFileBufSize);
        const int rc = PosRead(h, FileBuf, kFileBufSize);
        PrintResults(rc);
        if (rc > 0) WriteToFile(path, FileBuf, rc);
    } else {
        const int n = ReadFromFile(path, FileBuf, kFileBufSize);
        if (n > 0) {
            std::printf("PosWrite(%d, [], %d)\n", h, n);
            PrintResults(PosWrite(h, FileBuf, static_cast<unsigned>(n)));
        }
    }
    HandleDefault = h;
}

void toggleThreadReading() {
    ThreadShouldRead = !ThreadShouldRead;
    std::printf("Thread reading of queue turned %s...it will print a message when ready.\n\n",
                onOff(ThreadShouldRead));
    if (noteShown) return;
    noteShown = true;
    std::printf("--> Note: The thread will print out a message when it changes to the new state.\n");
    std::printf("          If the readTimeout is set to a large value, it may take a LONG time\n");
    std::printf("          for this to happen, or it could take forever, unless a message comes\n");
    std::printf("          in.  :-)\n");
}

[[noreturn]] void quit() {
    ClearToPrint = 1;
    const bool hadThread = RunThread;
    RunThread = 0;
    if (hadThread) {
        if (ThreadRunning) std::printf("Waiting for thread to end...\n");
        while (ThreadRunning) sleepMs(250);
        if (reader.joinable()) reader.join();
    }
    if (PosInitSuccessful && setReadTimeout(0) == -1)
        std::printf("Error on last SET_VALUES: %d (errno = %d)\n", -1, PosErrno());
    QueueReader(false);
    RestoreTerminal();
    std::exit(0);
}

void showMenu(bool withThread) {
    std::printf("\n\n");
    std::printf("x - PosInitialize        r - PosRead\n");
    std::printf("o - PosOpen              w - PosWrite\n");
    std::printf("c - PosClose             l - Long PosWrite\n");
    std::printf("i - PosIoctl             f - Read/Write File\n");
    if (withThread)
        std::printf("t - Thread reading (Currently: %s)\n", onOff(ThreadShouldRead));
    else
        std::printf("a - Auto queue checking (Currently: %s)\n", onOff(AutoCheckQueue));
    std::printf("q - Quit\n");
    std::printf("\n");
}

void onTerm(int) {
    RestoreTerminal();
    _exit(0);
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    if (const int status = ParseOptions(argc, argv)) return status;
    std::printf("OVKTSTR (Console) Built on %s\n", __DATE__);
    SaveTerminal();
    std::signal(SIGTERM, onTerm);
    SetEndOfInput(quit);

    const bool withThread = RunThread;
    if (withThread) {
        ClearToPrint = 0;
        try {
            reader = std::thread(QueueReader, true);
        } catch (const std::exception&) {
            std::printf("Error starting new thread\n\n");
            return 4;
        }
    }
    bool menu = true;
    for (;;) {
        if (menu) showMenu(withThread);
        menu = true;
        const char choice = ReadChoice(withThread);
        errno = 0;
        switch (choice) {
        case 0: menu = false; continue;
        case '?': continue;
        case 'x': doInitialize(); break;
        case 'o': doOpen(); break;
        case 'c': doClose(); break;
        case 'r': doRead(); break;
        case 'w': doWrite(); break;
        case 'l': doLongWrite(); break;
        case 'i': doIOCtl(); break;
        case 'f': doFile(); break;
        case 't':
            if (withThread) { toggleThreadReading(); break; }
            std::printf("\n--> Invalid choice");
            break;
        case 'a':
            if (!withThread) {
                AutoCheckQueue = !AutoCheckQueue;
                std::printf("Auto checking of queue turned %s\n", onOff(AutoCheckQueue));
                break;
            }
            std::printf("\n--> Invalid choice");
            break;
        case 'q': quit();
        default: std::printf("\n--> Invalid choice");
        }
    }
}
