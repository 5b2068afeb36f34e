// A private OVK_ROOT for a fuzz run: a fresh directory that becomes $OVK_ROOT at start-up and
// is removed when the run ends.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace fuzzroot {

inline std::string& path() {
    static std::string root;
    return root;
}

inline void remove() {
    std::error_code ec;
    std::filesystem::remove_all(path(), ec);
}

// Call once, from LLVMFuzzerInitialize.
inline void usePrivateRoot() {
    char dir[] = "/tmp/ovkfuzz.XXXXXX";
    if (!mkdtemp(dir)) std::abort();
    path() = dir;
    std::atexit(remove);
    setenv("OVK_ROOT", dir, 1);
}

} // namespace fuzzroot
