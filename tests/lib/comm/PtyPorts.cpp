#include "PtyPorts.h"

#include <fcntl.h>
#include <sched.h>
#include <stdlib.h>
#include <unistd.h>

#include <stdexcept>

PtyPorts::PtyPorts() {
    char dir[] = "/tmp/qcXXXXXX";
    if (!mkdtemp(dir)) throw std::runtime_error("mkdtemp");
    dir_ = dir;
    prefix_ = dir_ + "/p";
}

PtyPorts::~PtyPorts() {
    for (const auto& l : links_) ::unlink(l.c_str());
    for (const auto& m : masters_) ::close(m.second);
    ::rmdir(dir_.c_str());
}

std::string PtyPorts::add(int n) {
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        throw std::runtime_error("pty");
    std::string path = prefix_ + std::to_string(n);
    if (::symlink(ptsname(master), path.c_str()) != 0) throw std::runtime_error("symlink");
    masters_.emplace_back(n, master);
    links_.push_back(path);
    return path;
}

int PtyPorts::master(int n) const {
    for (const auto& m : masters_)
        if (m.first == n) return m.second;
    return -1;
}

bool privateIpc() {
    static const bool entered = ::unshare(CLONE_NEWIPC) == 0;
    return entered;
}
