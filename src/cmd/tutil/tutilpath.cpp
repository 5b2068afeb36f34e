#include "TutilPath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <vector>

namespace {

// The file that `path` names once its symbolic links are followed (a relative link from the
// folder of the link); `path` itself when it is no link.
std::string linkTarget(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::vector<char> buffer(st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : 4096);
        const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
        if (n <= 0 || static_cast<size_t>(n) >= buffer.size()) return path;
        std::string target(buffer.data(), static_cast<size_t>(n));
        if (target.front() != '/') {
            const size_t slash = path.rfind('/');
            if (slash != std::string::npos) target = path.substr(0, slash + 1) + target;
        }
        path = target;
    }
    return path;
}

bool writeAll(int fd, const std::string& content) {
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Rewrites the file itself, which keeps whatever it is.
bool writeInPlace(const std::string& path, const std::string& content) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const bool written = writeAll(fd, content);
    return ::close(fd) == 0 && written;
}

} // namespace

std::string tutilPath(const std::string& systemPath) {
    const char* root = std::getenv("OVK_ROOT");
    if (!root || !*root) return systemPath;
    std::string path(root);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (systemPath.empty() || systemPath.front() != '/') path += '/';
    return path + systemPath;
}

bool tutilReplaceFile(const std::string& path, const std::string& content) {
    // A link stays a link: its file is the one replaced, through a temporary file beside it.
    const std::string target = linkTarget(path);
    struct stat old;
    const bool existed = ::stat(target.c_str(), &old) == 0;
    static std::atomic<unsigned> serial{0};
    const std::string temporary =
        target + ".tmp" + std::to_string(getpid()) + "." + std::to_string(++serial);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    // No file can be made beside it (a folder the process may not write): in place.
    if (fd < 0) return writeInPlace(target, content);
    if (existed) {
        // The file keeps its owner and mode (the owner first: a change of owner may clear
        // mode bits). An owner that the process cannot give is kept by writing in place.
        const bool kept = ::fchown(fd, old.st_uid, old.st_gid) == 0 && ::fchmod(fd, old.st_mode & 07777) == 0;
        if (!kept) {
            ::close(fd);
            ::unlink(temporary.c_str());
            return writeInPlace(target, content);
        }
    }
    const bool written = writeAll(fd, content);
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}
