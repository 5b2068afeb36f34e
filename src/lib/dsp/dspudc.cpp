// User-defined characters of the character displays.
#include "DspUserChars.h"

#include <cstring>

#include "ovkhost.h"

void DspUserChars::Clear() {
    std::memset(map, 0, sizeof map);
    std::memset(patterns, 0, sizeof patterns);
}

int DspUserChars::Define(const PosArg* args, int count) {
    Clear();
    if (!args || count <= 0) return 0;
    const int n = count < kChars ? count : kChars;
    for (int i = 0; i < n; ++i) {
        const auto code = static_cast<unsigned char>(reinterpret_cast<uintptr_t>(args[i].name) & 0xFF);
        const auto* pattern = reinterpret_cast<const unsigned char*>(args[i].value);
        if (chCheckBuffer(pattern, kPatternBytes, CH_ACCESS_READ) != 0) continue;
        std::memcpy(patterns[i], pattern, kPatternBytes);
        map[code] = static_cast<unsigned char>(i + 1);
    }
    return n;
}
