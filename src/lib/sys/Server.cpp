// Server: daemonising, single-instance lock and log set-up of a socket daemon.
#include "Server.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ServerException.h"
#include "ovkhost.h"

namespace {

std::string pidPath(const std::string& name) { return ovkPath("/var/run/" + name + ".pid"); }

// Creates `dirs` with mode 0755 (umask 0 meanwhile), errors ignored; leaves umask 022.
void makeDirs(std::initializer_list<std::string> dirs) {
    ::umask(0);
    for (const std::string& d : dirs) ::mkdir(d.c_str(), 0755);
    ::umask(022);
}

// A whole-file write lock owned by the open file: it conflicts with any other holder,
// in this process or another, and closing another descriptor of the file keeps it.
int lockWholeFile(int fd, int cmd) {
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;
    if (cmd == F_OFD_GETLK) {
        if (::fcntl(fd, F_OFD_GETLK, &fl) != 0) {
            if (errno != EINVAL) return -1;
            if (::fcntl(fd, F_GETLK, &fl) != 0) return -1;
        }
        return fl.l_type == F_UNLCK ? 0 : 1;
    }
    if (::fcntl(fd, F_OFD_SETLK, &fl) == 0) return 0;
    if (errno != EINVAL) return -1;
    return ::fcntl(fd, F_SETLK, &fl);
}

} // namespace

Server::Server(const std::string& name, int flags) {
    if (flags & DAEMONIZE) flags |= LOGGING;
    try {
        // A daemon's parent exits with status 0 at once: tell a second instance here, in
        // the foreground, instead of failing silently after the fork.
        if ((flags & DAEMONIZE) && (flags & SINGLETON) && singletonLockHeld(name))
            throw ServerException("server is already running");
        if (flags & DAEMONIZE) becomeDaemon();
        if (flags & SINGLETON) acquireSingletonLock(name);
        if (flags & LOGGING) initLogging(name);
    } catch (...) {
        if (lockFd_ >= 0) ::close(lockFd_);
        lockFd_ = -1;
        throw;
    }
}

Server::~Server() {
    if (lockFd_ >= 0) ::close(lockFd_);
}

void Server::addSelectable(Selectable* s) { selector_.addSelectable(s); }

void Server::run() { selector_.run(); }

void Server::becomeDaemon() {
    std::fflush(nullptr);
    if (::close_range(0, ~0U, 0) != 0) {
        long max = ::sysconf(_SC_OPEN_MAX);
        if (max <= 0) max = 256;
        for (long fd = max - 1; fd >= 0; --fd) ::close(static_cast<int>(fd));
    }
    pid_t pid = ::fork();
    if (pid < 0) throw ServerException("can't fork(): %s", std::strerror(errno));
    if (pid > 0) ::_exit(0);
    ::setsid();
    pid = ::fork();
    if (pid < 0) throw ServerException("can't fork() (2nd): %s", std::strerror(errno));
    if (pid > 0) ::_exit(0);
    ::open("/dev/null", O_RDONLY);
    ::open("/dev/null", O_WRONLY);
    ::open("/dev/null", O_WRONLY);
    if (::chdir("/") != 0) {
        // Nothing to do: the daemon only keeps running in its old directory.
    }
}

bool Server::singletonLockHeld(const std::string& name) {
    const std::string path = pidPath(name);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool held = lockWholeFile(fd, F_OFD_GETLK) == 1;
    ::close(fd);
    return held;
}

void Server::acquireSingletonLock(const std::string& name) {
    const std::string path = pidPath(name);
    makeDirs({ovkPath("/var/"), ovkPath("/var/run/")});

    // Not truncated on open: the file may be another running instance's.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) throw ServerException("can't open %s: %s", path.c_str(), std::strerror(errno));
    if (lockWholeFile(fd, F_OFD_SETLK) != 0) {
        const int e = errno;
        ::close(fd);
        if (e == EACCES || e == EAGAIN) throw ServerException("server is already running");
        throw ServerException("error locking %s: %s", path.c_str(), std::strerror(e));
    }
    // Ours now: the file holds exactly our pid, with no digits left of a longer one.
    char text[32];
    const int len = std::snprintf(text, sizeof text, "%lu\n", static_cast<unsigned long>(::getpid()));
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, text, len, 0) != len) {
        const int e = errno;
        ::close(fd);
        throw ServerException("can't write file %s: %s", path.c_str(), std::strerror(e));
    }
    const int fdFlags = ::fcntl(fd, F_GETFD);
    if (fdFlags < 0) {
        const int e = errno;
        ::close(fd);
        throw ServerException("can't fcntl(fd, F_GETFD): for file %s: %s", path.c_str(), std::strerror(e));
    }
    if (::fcntl(fd, F_SETFD, fdFlags | FD_CLOEXEC) < 0) {
        const int e = errno;
        ::close(fd);
        throw ServerException("can't fcntl(fd, F_SETFD): for file %s: %s", path.c_str(), std::strerror(e));
    }
    if (lockFd_ >= 0) ::close(lockFd_);
    lockFd_ = fd;
}

void Server::initLogging(const std::string& name) {
    const std::string dir = ovkPath("/var/log");
    auto logName = [&](int n) {
        char path[4096];
        if (n == 0) std::snprintf(path, sizeof path, "%s/%s.log", dir.c_str(), name.c_str());
        else std::snprintf(path, sizeof path, "%s/%s.log.%d", dir.c_str(), name.c_str(), n);
        return std::string(path);
    };
    ::unlink(logName(3).c_str());
    ::rename(logName(2).c_str(), logName(3).c_str());
    ::rename(logName(1).c_str(), logName(2).c_str());
    ::rename(logName(0).c_str(), logName(1).c_str());
    makeDirs({ovkPath("/var"), dir});

    std::fflush(stdout);
    std::fflush(stderr);
    const int fd = ::open(logName(0).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return; // keep the old standard output rather than leave descriptor 1 free
    ::dup2(fd, 1);
    ::dup2(1, 2);
    if (fd != 1 && fd != 2) ::close(fd);
}
