#include "Console.h"

#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "Escapes.h"
#include "QueueReader.h"

namespace {

void (*endOfInput)() = [] { std::exit(0); };
termios saved;
bool haveSaved = false;

// One byte of standard input; false at its end.
bool readByte(unsigned char& c) {
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n == 1) return true;
        if (n < 0 && errno == EINTR) continue;
        return false;
    }
}

bool keyReady() {
    fd_set in;
    FD_ZERO(&in);
    FD_SET(STDIN_FILENO, &in);
    timeval none{0, 0};
    return ::select(STDIN_FILENO + 1, &in, nullptr, nullptr, &none) > 0;
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The typed text without blanks around it; a choice is one character alone.
char choiceOf(const char* typed) {
    while (*typed == ' ' || *typed == '\t') ++typed;
    if (!*typed) return 0;
    const char c = *typed++;
    while (*typed == ' ' || *typed == '\t') ++typed;
    return *typed ? 0 : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

char readChoiceRaw() {
    termios raw{};
    const bool terminal = haveSaved && tcgetattr(STDIN_FILENO, &raw) == 0;
    if (terminal) {
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    }
    std::string typed;
    ThreadOutput = 0;
    ClearToPrint = 1;
    std::printf("Choice: ");
    for (;;) {
        if (!keyReady()) {
            if (ThreadOutput && !ReaderActive) {
                ThreadOutput = 0;
                std::printf("Choice: %s", typed.c_str());
            }
            sleepMs(75);
            continue;
        }
        ClearToPrint = 0;
        while (ReaderActive) sleepMs(20);
        if (ThreadOutput) {
            ThreadOutput = 0;
            std::printf("Choice: %s", typed.c_str());
        }
        unsigned char c;
        if (!readByte(c)) {
            RestoreTerminal();
            endOfInput();
        }
        if (c == '\n' || c == '\r') {
            std::printf("\n");
            break;
        }
        if (c == 0 || c == 224) { // a function key: its second byte goes with it
            unsigned char dropped;
            if (!readByte(dropped)) {
                RestoreTerminal();
                endOfInput();
            }
        } else if (c == 127) {
            if (!typed.empty()) {
                typed.pop_back();
                std::printf("\b \b");
            }
        } else if (std::isprint(c) && typed.size() < 9) {
            typed += static_cast<char>(c);
            std::printf("%c", c);
        }
        ClearToPrint = 1;
    }
    if (terminal) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    return choiceOf(typed.c_str());
}

} // namespace

void SetEndOfInput(void (*handler)()) { endOfInput = handler; }

void SaveTerminal() { haveSaved = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0; }

void RestoreTerminal() {
    if (haveSaved) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

void ReadLine(char* buffer, int size) {
    int n = 0;
    unsigned char c;
    for (;;) {
        if (!readByte(c)) {
            if (n == 0) endOfInput(); // else a last line without its end
            break;
        }
        if (c == '\n') break;
        if (c == '\r') continue;
        if (n < size - 1) buffer[n++] = static_cast<char>(c);
    }
    buffer[n] = '\0';
}

void Ask(const char* prompt, char* buffer, int size) {
    std::printf("%s", prompt);
    ReadLine(buffer, size);
}

long AskNumber(const char* prompt, long defaultValue) {
    for (;;) {
        char line[256];
        Ask(prompt, line, sizeof line);
        const char* p = line;
        while (*p == ' ') ++p;
        if (!*p) return defaultValue;
        char* end;
        errno = 0;
        const long value = std::strtol(p, &end, 10);
        while (*end == ' ') ++end;
        if (!*end && end != p && errno == 0) return value;
    }
}

int GetEscapeString(const char* prompt, char* buffer, int size) {
    Ask(prompt, buffer, size);
    return ExpandString(buffer);
}

char ReadChoice(bool withThread) {
    if (withThread) return readChoiceRaw();
    CheckQueueOnce();
    char line[10];
    Ask("Choice: ", line, sizeof line);
    CheckQueueOnce();
    return choiceOf(line);
}
