// chSearchPath: the first readable file of that name along the directories of an
// environment variable. Relative directories are made absolute with realpath, so the
// process's working directory is never changed (other threads rely on it).
#include "ovkhost.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kBufferTooSmall = 312;
constexpr int kInvalidFile = 336;

bool readableFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
    ::close(fd);
    return ok;
}

} // namespace

int chSearchPath(const char* fileName, const char* envVarName, char* outPath, int outSize) {
    if (!outPath || outSize <= 0 || chCheckBuffer(outPath, outSize, CH_ACCESS_WRITE) != 0)
        return CH_ERR_INVALID_ADDRESS;
    outPath[0] = '\0';
    if (chCheckBuffer(fileName, 0, CH_ACCESS_STRING) != 0 ||
        chCheckBuffer(envVarName, 0, CH_ACCESS_STRING) != 0)
        return CH_ERR_INVALID_ADDRESS;
    const char* value = std::getenv(envVarName);
    if (!value || !*fileName) return kInvalidFile;

    std::string dirs(value); // copied: the environment may change under us
    size_t pos = 0;
    while (pos <= dirs.size()) {
        size_t colon = dirs.find(':', pos);
        if (colon == std::string::npos) colon = dirs.size();
        std::string dir = dirs.substr(pos, colon - pos);
        pos = colon + 1;
        if (dir.empty()) continue;
        if (dir.size() + std::strlen(fileName) + 2 > static_cast<size_t>(chGetMaxPathFileLength()))
            continue;
        if (!readableFile(dir + "/" + fileName)) continue;
        std::string found;
        if (dir.front() == '/') {
            found = dir + "/" + fileName;
        } else {
            char* absolute = ::realpath(dir.c_str(), nullptr);
            if (!absolute) continue;
            found = std::string(absolute) + "/" + fileName;
            std::free(absolute);
        }
        if (found.size() + 1 > static_cast<size_t>(outSize)) return kBufferTooSmall;
        std::memcpy(outPath, found.c_str(), found.size() + 1);
        return 0;
    }
    return kInvalidFile;
}
