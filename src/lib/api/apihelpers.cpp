#include "apihelpers.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ovkapi.h"

namespace {

constexpr unsigned int kMaxPath = 4096;

bool readable(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

// The absolute, symlink-free form of a directory, or "" when it cannot be had.
std::string absoluteDir(const std::string& dir) {
    char* r = ::realpath(dir.c_str(), nullptr);
    if (!r) return std::string();
    std::string s(r);
    std::free(r);
    return s;
}

std::string join(const std::string& dir, const std::string& name) {
    return dir == "/" ? "/" + name : dir + "/" + name;
}

unsigned int store(const std::string& path, char* out, unsigned int size) {
    if (path.size() + 1 > size) return POSERR_SYS_BUFFER_TOO_SMALL;
    std::memcpy(out, path.c_str(), path.size() + 1);
    return 0;
}

unsigned int searchPath(const char* file, const char* envVar, char* out, unsigned int size) {
    const char* slash = std::strrchr(file, '/');
    if (slash) {
        std::string dir(file, static_cast<size_t>(slash - file));
        std::string base(slash + 1);
        std::string abs = absoluteDir(dir.empty() ? "/" : dir);
        if (abs.empty() || !readable(file)) return POSERR_SYS_INVALID_FILE;
        return store(join(abs, base), out, size);
    }
    if (readable(file)) {
        char cwd[kMaxPath];
        if (!::getcwd(cwd, sizeof cwd)) return POSERR_SYS_BUFFER_TOO_SMALL;
        return store(join(cwd, file), out, size);
    }
    const char* list = std::getenv(envVar);
    if (!list) return POSERR_SYS_INVALID_FILE;
    std::string dirs(list);
    std::string name(file);
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        start = end + 1;
        if (dir.empty() || dir.size() + name.size() + 2 > kMaxPath) continue;
        std::string candidate = dir + "/" + name;
        if (!readable(candidate)) continue;
        if (dir[0] == '/') return store(candidate, out, size);
        std::string abs = absoluteDir(dir);
        if (abs.empty()) continue;
        return store(join(abs, name), out, size);
    }
    return POSERR_SYS_INVALID_FILE;
}

} // namespace

unsigned int apiCheckBuffer(const volatile void* buffer, unsigned int length, apiAccessType access) {
    if (buffer == nullptr || reinterpret_cast<uintptr_t>(buffer) == UINTPTR_MAX)
        return POSERR_SYS_INVALID_ADDRESS;
    if (length == 0 && access != apiReadAccess) return POSERR_SYS_INVALID_ADDRESS;
    return 0;
}

unsigned int apiGetMaxPathFileLength() { return kMaxPath; }

int apiQueryPlatform() { return 4000; }

unsigned int apiHex(const char* text) {
    unsigned int v = 0;
    if (!text) return 0;
    for (int i = 0; i < 8; ++i) {
        char c = text[i];
        unsigned int d;
        if (c >= '0' && c <= '9') d = static_cast<unsigned int>(c - '0');
        else if (c >= 'A' && c <= 'F') d = static_cast<unsigned int>(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f') d = static_cast<unsigned int>(c - 'a' + 10);
        else break;
        v = v * 16 + d;
    }
    return v;
}

unsigned int apiSearchPath(const char* file, const char* envVar, char* out, unsigned int size) {
    if (apiCheckBuffer(out, size, apiWriteAccess)) return POSERR_SYS_INVALID_ADDRESS;
    out[0] = '\0';
    if (apiCheckBuffer(file, 0, apiReadAccess) || apiCheckBuffer(envVar, 0, apiReadAccess))
        return POSERR_SYS_INVALID_ADDRESS;
    unsigned int rc = searchPath(file, envVar, out, size);
    if (rc) out[0] = '\0';
    return rc;
}

unsigned int apiResourceFile(const char* name, char* out, unsigned int size) {
    if (apiCheckBuffer(out, size, apiWriteAccess) || apiCheckBuffer(name, 0, apiReadAccess))
        return POSERR_SYS_INVALID_ADDRESS;
    while (*name == ' ') ++name;
    if (std::strchr(name, '/') || (name[0] != '\0' && name[1] == ':')) {
        unsigned int rc = store(name, out, size);
        if (rc) out[0] = '\0';
        return rc;
    }
    return apiSearchPath(name, "POSAPPLRESDIR", out, size);
}

unsigned int apiQueryCpInfo(unsigned short& codePage) {
    const char* v = std::getenv("OVKCODEPAGE");
    codePage = v ? static_cast<unsigned short>(std::strtol(v, nullptr, 10)) : 858;
    return 0;
}

unsigned long apiGetThreadId() { return static_cast<unsigned long>(pthread_self()); }

int apiGetProcessId() { return static_cast<int>(::getpid()); }
