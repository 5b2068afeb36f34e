// Typed lines of the test program through its escape expansion and request matching.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "Escapes.h"
#include "TstrNames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool quiet = std::freopen("/dev/null", "w", stdout) != nullptr;
    (void)quiet;
    std::vector<char> line(data, data + size);
    line.push_back('\0');
    const size_t before = std::strlen(line.data());
    const int n = ExpandString(line.data());
    if (n < 0 || static_cast<size_t>(n) > before) __builtin_trap();
    int32_t request;
    FindMatch(line.data(), &request);
    return 0;
}
