#include "simcontrol.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace simctl {

bool sendAll(int fd, const std::string& text) {
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::send(fd, p, left, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

std::string tooLong(const std::string& path) {
    return "socket path too long (a Unix socket's path holds at most " +
           std::to_string(sizeof(sockaddr_un::sun_path) - 1) + " bytes): " + path;
}

bool listenOn(const std::string& path, int& fd, std::string& error) {
    fd = -1;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) {
        error = tooLong(path);
        return false;
    }
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            error = path + " exists and is not a socket";
            return false;
        }
        ::unlink(path.c_str());
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd, 16) != 0) {
        error = "cannot listen on " + path + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        fd = -1;
        return false;
    }
    return true;
}

int runCommand(const char* program, const std::string& socketPath, const std::string& command) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (command.find('\n') != std::string::npos) return -1;
    if (socketPath.empty() || socketPath.size() >= sizeof addr.sun_path) {
        std::fprintf(stderr, "%s: %s\n", program, tooLong(socketPath).c_str());
        return 1;
    }
    std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        std::fprintf(stderr, "%s: no simulator at %s\n", program, socketPath.c_str());
        if (fd >= 0) ::close(fd);
        return 1;
    }
    const std::string line = command + "\n";
    std::string reply;
    bool done = ::send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size());
    while (done) {
        pollfd p{fd, POLLIN, 0};
        char c;
        if (::poll(&p, 1, 10000) <= 0 || ::recv(fd, &c, 1, 0) != 1) {
            done = false;
            break;
        }
        if (c == '\n') break;
        reply += c;
    }
    ::close(fd);
    if (!done) {
        std::fprintf(stderr, "%s: no reply from %s\n", program, socketPath.c_str());
        return 1;
    }
    std::printf("%s\n", reply.c_str());
    return reply.compare(0, 2, "ok") == 0 ? 0 : 1;
}

} // namespace simctl
