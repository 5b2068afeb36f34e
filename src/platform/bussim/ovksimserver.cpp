// The sockets of ovksim.
#include "ovksimserver.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

#include "simcontrol.h"
#include "sydevnode.h"

namespace bussim {

namespace {

using simctl::sendAll;

} // namespace

SimServer::SimServer(Simulator& simulator, SimLog& log) : simulator_(simulator), log_(log) {}

SimServer::~SimServer() {
    stop();
    for (int fd : wake_)
        if (fd >= 0) ::close(fd);
}

bool SimServer::listenOn(const std::string& path, int& fd, std::string& error) {
    if (!simctl::listenOn(path, fd, error)) return false;
    bound_.push_back(path);
    return true;
}

bool SimServer::start(const Paths& paths, std::string& error) {
    if (wake_[0] < 0 && ::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = std::string("no wake-up pipe: ") + std::strerror(errno);
        return false;
    }
    if (!listenOn(paths.node, node_, error) || !listenOn(paths.keyboard, keyboard_, error) ||
        !listenOn(paths.control, control_, error)) {
        closeListeners();
        for (const std::string& path : bound_) ::unlink(path.c_str());
        bound_.clear();
        return false;
    }
    log_.line("serving " + paths.node + ", " + paths.keyboard + " and control socket " + paths.control);
    return true;
}

void SimServer::closeListeners() {
    for (int* fd : {&node_, &keyboard_, &control_}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
}

void SimServer::run() {
    while (!stopping_) {
        pollfd fds[4] = {{node_, POLLIN, 0}, {keyboard_, POLLIN, 0}, {control_, POLLIN, 0},
                         {wake_[0], POLLIN, 0}};
        const int r = ::poll(fds, 4, 1000);
        if (r < 0) {
            if (errno == EINTR) continue;
            log_.line(std::string("poll failed: ") + std::strerror(errno));
            break;
        }
        if (fds[3].revents) break;
        if (fds[0].revents & POLLIN) accept(node_, Kind::Node);
        if (fds[1].revents & POLLIN) accept(keyboard_, Kind::Keyboard);
        if (fds[2].revents & POLLIN) accept(control_, Kind::Control);
        reap(false);
    }
}

void SimServer::accept(int listener, Kind kind) {
    const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    int open = 0;
    for (const auto& c : connections_) open += c->done ? 0 : 1;
    if (stopping_ || open >= kMaxConnections) {
        log_.line("connection refused: too many connections");
        ::close(fd);
        return;
    }
    auto c = std::make_unique<Connection>();
    c->fd = fd;
    Connection* conn = c.get();
    try {
        switch (kind) {
        case Kind::Node:
            c->thread = std::thread(&SimServer::serveNode, this, conn, std::ref(simulator_.engine()), "/dev/ovkdcs");
            break;
        case Kind::Keyboard:
            c->thread = std::thread(&SimServer::serveNode, this, conn, std::ref(simulator_.keyboard()),
                                    "/dev/ovkikbps");
            break;
        case Kind::Control:
            c->thread = std::thread(&SimServer::serveControl, this, conn);
            break;
        }
    } catch (const std::system_error&) {
        log_.line("connection refused: no thread");
        ::close(fd);
        return;
    }
    connections_.push_back(std::move(c));
}

void SimServer::serveNode(Connection* c, DevNodeBackend& node, const char* systemPath) {
    int fd = -1;
    const int rc = node.open(systemPath, fd);
    if (rc != 0) {
        log_.line(std::string("open of ") + systemPath + " refused: " + std::strerror(rc));
    } else {
        log_.line(std::string(systemPath) + " opened (descriptor " + std::to_string(fd) + ")");
        uint32_t request = 0;
        std::vector<uint8_t> record;
        // After a power cut of the adapter's NVRAM the node answers nothing more.
        const bool bus = &node == &simulator_.engine();
        while (!stopping_ && !(bus && simulator_.engine().dropped()) &&
               devNodeReadRequest(c->fd, request, record, -1) == 0) {
            if (request == DEV_NODE_WATCH_INPUT) {
                watch(c);
                break;
            }
            node.ioctl(fd, request, record.data(), record.size());
            if (bus && simulator_.engine().dropped()) break;
            // A station's frame still waits after this buffer: the core's next round should
            // come at once rather than at its interval.
            if (bus && request == DCS_WAIT_BUFFER && simulator_.engine().framesWaiting()) notifyWatchers();
            if (devNodeWriteReply(c->fd, record.data(), record.size()) != 0) break;
        }
        node.close(fd);
        log_.line(std::string(systemPath) + " closed (descriptor " + std::to_string(fd) + ")");
    }
    ::shutdown(c->fd, SHUT_RDWR);
    c->done = true;
}

void SimServer::serveControl(Connection* c) {
    std::string pending;
    bool discarding = false; // inside a line that was too long
    char buf[512];
    while (!stopping_) {
        const ssize_t n = ::recv(c->fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        pending.append(buf, static_cast<size_t>(n));
        size_t nl;
        bool ok = true;
        while (ok && (nl = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            if (discarding) {
                discarding = false;
                continue;
            }
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.empty()) continue;
            if (line.size() > kMaxCommandLine) {
                ok = sendAll(c->fd, "error line longer than 1024 characters\n");
                continue;
            }
            const std::string reply = simulator_.execute(line);
            notifyWatchers();
            log_.line("control: " + line + " -> " + reply);
            ok = sendAll(c->fd, reply + "\n");
        }
        if (!ok) break;
        if (pending.size() > kMaxCommandLine) {
            pending.clear();
            if (!discarding && !sendAll(c->fd, "error line longer than 1024 characters\n")) break;
            discarding = true;
        }
    }
    ::shutdown(c->fd, SHUT_RDWR);
    c->done = true;
}

void SimServer::watch(Connection* c) {
    {
        std::lock_guard<std::mutex> lock(watchMutex_);
        watchers_.push_back(c->fd);
    }
    char buf[64];
    while (!stopping_) {
        const ssize_t n = ::recv(c->fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
    }
    std::lock_guard<std::mutex> lock(watchMutex_);
    watchers_.erase(std::remove(watchers_.begin(), watchers_.end(), c->fd), watchers_.end());
}

void SimServer::notifyWatchers() {
    std::lock_guard<std::mutex> lock(watchMutex_);
    const char b = 1;
    for (int fd : watchers_) {
        // A watcher that has not read its last bytes has been told already.
        ssize_t ignored = ::send(fd, &b, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        (void)ignored;
    }
}

void SimServer::reap(bool all) {
    std::list<std::unique_ptr<Connection>> finished;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            if (all || (*it)->done) {
                finished.push_back(std::move(*it));
                it = connections_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& c : finished) {
        if (c->thread.joinable()) c->thread.join();
        ::close(c->fd);
    }
}

void SimServer::stop() {
    if (stopping_.exchange(true)) return;
    if (wake_[1] >= 0) {
        const char b = 1;
        ssize_t ignored = ::write(wake_[1], &b, 1);
        (void)ignored;
    }
    closeListeners();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& c : connections_) ::shutdown(c->fd, SHUT_RDWR);
    }
    reap(true);
    // Only the socket files this server made go.
    for (const std::string& path : bound_) ::unlink(path.c_str());
    bound_.clear();
}

} // namespace bussim
