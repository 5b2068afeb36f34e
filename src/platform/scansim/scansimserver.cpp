// The pty and the control socket of ovkscansim.
#include "scansimserver.h"

#include "simcontrol.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

namespace scansim {

namespace {

struct Speed {
    speed_t code;
    unsigned rate;
};
constexpr Speed kSpeeds[] = {{B50, 50},       {B75, 75},       {B110, 110},       {B134, 134},
                             {B150, 150},     {B200, 200},     {B300, 300},       {B600, 600},
                             {B1200, 1200},   {B1800, 1800},   {B2400, 2400},     {B4800, 4800},
                             {B9600, 9600},   {B19200, 19200}, {B38400, 38400},   {B57600, 57600},
                             {B115200, 115200}, {B230400, 230400}};

using simctl::sendAll;

// Removes `path` when it is a symbolic link to `target`.
void unlinkIfOurs(const std::string& path, const std::string& target) {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    if (n > 0 && std::string(buf, static_cast<size_t>(n)) == target) ::unlink(path.c_str());
}

} // namespace

ScanSimServer::ScanSimServer(LineScanner& scanner) : scanner_(scanner) {}

ScanSimServer::~ScanSimServer() {
    stop();
    for (int& fd : wake_) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

bool ScanSimServer::start(const std::string& linkPath, const std::string& controlPath, std::string& error) {
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = std::string("no wake-up pipe: ") + std::strerror(errno);
        return false;
    }
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        error = std::string("no pty: ") + std::strerror(errno);
        return false;
    }
    const char* name = ::ptsname(master_);
    if (!name || (slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC)) < 0) {
        error = std::string("cannot open the pty's slave: ") + std::strerror(errno);
        return false;
    }
    // A serial line echoes nothing and changes no byte.
    termios t{};
    if (::tcgetattr(slave_, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(slave_, TCSANOW, &t);
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);

    struct stat st;
    if (::lstat(linkPath.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = linkPath + " exists and is not a symbolic link";
            return false;
        }
        ::unlink(linkPath.c_str());
    }
    if (::symlink(name, linkPath.c_str()) != 0) {
        error = "cannot link " + linkPath + ": " + std::strerror(errno);
        return false;
    }
    link_ = linkPath;

    if (!simctl::listenOn(controlPath, listener_, error)) {
        stop();
        return false;
    }
    control_ = controlPath;
    return true;
}

unsigned ScanSimServer::lineSpeed() const {
    // On the master the settings are those of the slave, and a pty keeps their speed.
    termios t{};
    if (::tcgetattr(master_, &t) != 0) return 0;
    const speed_t code = ::cfgetospeed(&t);
    for (const Speed& s : kSpeeds)
        if (s.code == code) return s.rate;
    return 0;
}

void ScanSimServer::run() {
    std::vector<pollfd> fds;
    while (true) {
        fds.assign({{wake_[0], POLLIN, 0}, {master_, POLLIN, 0}, {listener_, POLLIN, 0}});
        for (const Client& c : clients_) fds.push_back({c.fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents) return;
        if (fds[1].revents & POLLIN) serveLine();
        // Clients first, so that the indexes still match fds.
        for (size_t i = clients_.size(); i-- > 0;) {
            if (fds[3 + i].revents && !serveClient(clients_[i])) {
                ::close(clients_[i].fd);
                clients_.erase(clients_.begin() + static_cast<long>(i));
            }
        }
        if (fds[2].revents & POLLIN) acceptClient();
    }
}

void ScanSimServer::serveLine() {
    uint8_t buf[512];
    const ssize_t n = ::read(master_, buf, sizeof buf);
    if (n <= 0) return;
    send(scanner_.receive(buf, static_cast<size_t>(n), lineSpeed()));
}

void ScanSimServer::send(const Bytes& bytes) {
    // What the line cannot take now is lost, as on a serial line nobody reads.
    size_t off = 0;
    while (off < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + off, bytes.size() - off);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        off += static_cast<size_t>(n);
    }
}

void ScanSimServer::acceptClient() {
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    if (clients_.size() >= kMaxClients) {
        sendAll(fd, "error too many connections\n");
        ::close(fd);
        return;
    }
    clients_.push_back({fd, {}, false});
}

bool ScanSimServer::serveClient(Client& c) {
    char buf[512];
    const ssize_t n = ::recv(c.fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n < 0) return errno == EINTR || errno == EAGAIN;
    if (n == 0) return false;
    c.pending.append(buf, static_cast<size_t>(n));
    size_t nl;
    while ((nl = c.pending.find('\n')) != std::string::npos) {
        std::string line = c.pending.substr(0, nl);
        c.pending.erase(0, nl + 1);
        if (c.discarding) {
            c.discarding = false;
            continue;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        std::string reply;
        if (line.size() > kMaxCommandLine) {
            reply = "error line longer than 1024 characters";
        } else {
            Bytes out;
            reply = scanner_.execute(line, lineSpeed(), out);
            send(out);
        }
        if (!sendAll(c.fd, reply + "\n")) return false;
    }
    if (c.pending.size() > kMaxCommandLine) {
        c.pending.clear();
        if (!c.discarding && !sendAll(c.fd, "error line longer than 1024 characters\n")) return false;
        c.discarding = true;
    }
    return true;
}

void ScanSimServer::stop() {
    for (Client& c : clients_) ::close(c.fd);
    clients_.clear();
    if (listener_ >= 0) {
        ::close(listener_);
        listener_ = -1;
        ::unlink(control_.c_str());
    }
    if (master_ >= 0) {
        if (!link_.empty()) {
            const char* name = ::ptsname(master_);
            if (name) unlinkIfOurs(link_, name);
        }
        ::close(master_);
        master_ = -1;
    }
    if (slave_ >= 0) {
        ::close(slave_);
        slave_ = -1;
    }
    link_.clear();
}

} // namespace scansim
