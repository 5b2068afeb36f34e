#include "ArgList.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Console.h"
#include "Escapes.h"
#include "Printing.h"

PosArg Global_args[kMaxArgs];
int Global_nargs = 0;

namespace {

constexpr int kMaxBinary = 126;
// Places for answers of get values: as large as the largest value the client library writes
// back into them (strings up to 150 characters, raw blocks up to 24 bytes), with room.
constexpr int kAnswerSize = 256;
// The count of zero bytes a binary place for an answer shows.
constexpr uint16_t kAnswerBytes = 100;

// A name with its type letter in the byte in front of it.
const char* keepName(const char* name, int length, char type) {
    char* block = static_cast<char*>(std::malloc(static_cast<size_t>(length) + 2));
    block[0] = type;
    std::memcpy(block + 1, name, static_cast<size_t>(length));
    block[length + 1] = '\0';
    return block + 1;
}

// A byte block preceded by its 16-bit count; the value points past the count.
unsigned char* newBlock(uint16_t count, int room) {
    auto* block = static_cast<unsigned char*>(std::calloc(static_cast<size_t>(room) + 2, 1));
    std::memcpy(block, &count, sizeof count);
    return block + 2;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

char askType() {
    for (;;) {
        char line[256];
        Ask("  Decimal, heX, String, Binary data (D): ", line, sizeof line);
        if (!line[0]) return 'D';
        const char t = static_cast<char>(std::toupper(static_cast<unsigned char>(line[0])));
        if (!line[1] && (t == 'D' || t == 'X' || t == 'S' || t == 'B')) return t;
    }
}

intptr_t askBinary() {
    long n;
    do n = AskNumber("  Number of bytes (up to 126): ", -1);
    while (n < 0 || n > kMaxBinary);
    unsigned char* bytes = newBlock(static_cast<uint16_t>(n), static_cast<int>(n));
    while (n > 0) {
        std::printf("  Enter %ld hex digits", n * 2);
        char line[256];
        Ask(" with no spaces: ", line, sizeof line);
        if (static_cast<long>(std::strlen(line)) != n * 2) continue;
        bool ok = true;
        for (long i = 0; i < n * 2 && ok; ++i) ok = hexDigit(line[i]) >= 0;
        if (!ok) continue;
        for (long i = 0; i < n; ++i)
            bytes[i] = static_cast<unsigned char>(hexDigit(line[2 * i]) * 16 + hexDigit(line[2 * i + 1]));
        break;
    }
    return reinterpret_cast<intptr_t>(bytes);
}

intptr_t askValue(char type) {
    char line[256];
    switch (type) {
    case 'D':
        for (;;) {
            Ask("  Decimal value: ", line, sizeof line);
            char* end;
            const long v = std::strtol(line, &end, 10);
            if (end != line) return v;
        }
    case 'X':
        for (;;) {
            Ask("  Hexdecimal value: ", line, sizeof line);
            char* end;
            const unsigned long v = std::strtoul(line, &end, 16);
            if (end != line) return static_cast<intptr_t>(static_cast<long>(v));
        }
    case 'S': {
        const int n = GetEscapeString("  String: ", line, sizeof line);
        char* copy = static_cast<char*>(std::malloc(static_cast<size_t>(n) + 1));
        std::memcpy(copy, line, static_cast<size_t>(n) + 1);
        return reinterpret_cast<intptr_t>(copy);
    }
    default: return askBinary();
    }
}

intptr_t answerPlace(char type) {
    switch (type) {
    case 'S': return reinterpret_cast<intptr_t>(std::calloc(kAnswerSize, 1));
    case 'B': return reinterpret_cast<intptr_t>(newBlock(kAnswerBytes, kAnswerSize));
    default: return -1;
    }
}

} // namespace

int GetArgs(bool withValues) {
    DoneWithArgs();
    long n;
    do n = AskNumber("Nargs (0): ", 0);
    while (n > kMaxArgs);
    Global_nargs = static_cast<int>(n);
    for (int i = 0; i < n; ++i) {
        char prompt[32], name[256];
        std::snprintf(prompt, sizeof prompt, "PosArg %d name: ", i + 1);
        int length;
        do length = GetEscapeString(prompt, name, sizeof name);
        while (length == 0);
        const char type = askType();
        Global_args[i].name = keepName(name, length, type);
        Global_args[i].value = withValues ? askValue(type) : answerPlace(type);
    }
    return Global_nargs;
}

void DoneWithArgs() {
    for (int i = 0; i < Global_nargs; ++i) {
        PosArg& arg = Global_args[i];
        if (!arg.name) continue;
        const char type = ArgType(arg);
        if (type == 'S') std::free(reinterpret_cast<char*>(arg.value));
        if (type == 'B') std::free(reinterpret_cast<unsigned char*>(arg.value) - 2);
        std::free(const_cast<char*>(arg.name) - 1);
        arg = PosArg{};
    }
    Global_nargs = 0;
}
