#include "SimControl.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

SimControl::SimControl(const std::string& path) {
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

SimControl::~SimControl() {
    if (fd_ >= 0) ::close(fd_);
}

std::string SimControl::Run(const std::string& command) {
    const std::string line = command + "\n";
    if (fd_ < 0 ||
        ::send(fd_, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size()))
        return "";
    std::string reply;
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        char buf[512];
        if (::poll(&p, 1, 5000) <= 0) return "";
        // The reply is one line and nothing follows it until the next command.
        const ssize_t got = ::recv(fd_, buf, sizeof buf, 0);
        if (got <= 0) return "";
        reply.append(buf, static_cast<size_t>(got));
        const size_t end = reply.find('\n');
        if (end != std::string::npos) return reply.substr(0, end);
    }
}
