#include "FakeDaemon.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <type_traits>

using namespace ovkwire;

void FakeConn::sendRaw(const void* p, size_t n) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    while (fd_ >= 0 && n > 0) {
        ssize_t w = ::send(fd_, b, n, MSG_NOSIGNAL);
        if (w <= 0) return;
        b += w;
        n -= static_cast<size_t>(w);
    }
}

void FakeConn::sendRaw(const Bytes& b) { sendRaw(b.data(), b.size()); }

void FakeConn::reply(uint32_t handle, int32_t rc, int32_t error, const Bytes& data) {
    sendRaw(replyBytes(handle, rc, error, data));
}

void FakeConn::event(uint32_t msg, uint32_t mp1, uint32_t mp2) { sendRaw(eventBytes(msg, mp1, mp2)); }

void FakeConn::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

uint32_t requestHandle(const Request& r) {
    return std::visit([](const auto& x) { return x.handle; }, r);
}

Bytes replyBytes(uint32_t handle, int32_t rc, int32_t error, const Bytes& data) {
    Bytes out(REPLY_HEADER_SIZE + pad4(data.size()));
    size_t n = encodeReply(out.data(), out.size(), ReplyHeader{handle, rc, error, 0},
                           ByteSpan(data.data(), data.size()));
    if (n == 0) throw std::runtime_error("reply too long");
    return out;
}

Bytes eventBytes(uint32_t msg, uint32_t mp1, uint32_t mp2) {
    Bytes out(EVENT_SIZE);
    encodeEvent(out.data(), out.size(), EventMessage{0, msg, mp1, mp2});
    return out;
}

std::unique_ptr<FakeDaemon> FakeDaemon::onUnix(const std::string& path) {
    std::unique_ptr<FakeDaemon> d(new FakeDaemon);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct sockaddr_un addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    ::unlink(path.c_str());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0)
        throw std::runtime_error("cannot listen on " + path);
    d->path_ = path;
    d->start(fd);
    return d;
}

std::unique_ptr<FakeDaemon> FakeDaemon::onTcp() {
    std::unique_ptr<FakeDaemon> d(new FakeDaemon);
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    struct sockaddr_in addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0)
        throw std::runtime_error("cannot listen on TCP");
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    d->port_ = ntohs(addr.sin_port);
    d->start(fd);
    return d;
}

void FakeDaemon::start(int listenFd) {
    listen_ = listenFd;
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe");
    thread_ = std::thread(&FakeDaemon::run, this);
}

FakeDaemon::~FakeDaemon() {
    char c = 'q';
    ssize_t r = ::write(wake_[1], &c, 1);
    (void)r;
    thread_.join();
    for (auto& c : conns_) c->close();
    ::close(listen_);
    ::close(wake_[0]);
    ::close(wake_[1]);
    if (!path_.empty()) ::unlink(path_.c_str());
}

void FakeDaemon::setScript(Script s) {
    std::lock_guard<std::mutex> lock(mutex_);
    script_ = std::move(s);
}

void FakeDaemon::answer(FakeConn& c, const Request& r) {
    std::visit(
        [&](const auto& x) {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, InitializeRequest> || std::is_same_v<T, CloseRequest>) {
                c.reply(x.handle, 0);
            } else if constexpr (std::is_same_v<T, OpenRequest>) {
                c.reply(x.handle, nextDescriptor_++);
            } else if constexpr (std::is_same_v<T, ReadRequest>) {
                Bytes data(x.data.size);
                for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0x40 + i);
                c.reply(x.handle, static_cast<int32_t>(data.size()), 0, data);
            } else if constexpr (std::is_same_v<T, WriteRequest>) {
                c.reply(x.handle, static_cast<int32_t>(x.data.size));
            } else if constexpr (std::is_same_v<T, IOCtlRequest>) {
                Bytes data;
                if (x.request == POS_SYS_GET_VALUES) {
                    data.resize(MAX_IOCTL_ARGS);
                    ArgList& args = const_cast<ArgList&>(x.args);
                    int n = args.encodeValues(data.data(), static_cast<unsigned int>(data.size()));
                    data.resize(n > 0 ? static_cast<size_t>(n) : 0);
                }
                c.reply(x.handle, 0, 0, data);
            } else if constexpr (std::is_same_v<T, VersionRequest>) {
                uint8_t v[VERSION_DATA_SIZE];
                encodeVersionData(VersionInfo{1, 2, 3}, v);
                c.reply(x.handle, 0, 0, Bytes(v, v + sizeof v));
            }
        },
        r);
}

std::vector<Bytes> FakeDaemon::requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

size_t FakeDaemon::requestCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.size();
}

bool FakeDaemon::waitForRequests(size_t count, int ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cond_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return requests_.size() >= count; });
}

int FakeDaemon::connections() {
    std::lock_guard<std::mutex> lock(mutex_);
    return accepted_;
}

bool FakeDaemon::sawClientClose() {
    std::lock_guard<std::mutex> lock(mutex_);
    return clientClosed_;
}

void FakeDaemon::closeConnections() {
    closeAll_ = true;
    char c = 'c';
    ssize_t r = ::write(wake_[1], &c, 1);
    (void)r;
    while (closeAll_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void FakeDaemon::run() {
    for (;;) {
        std::vector<pollfd> fds = {{wake_[0], POLLIN, 0}, {listen_, POLLIN, 0}};
        for (auto& c : conns_) fds.push_back({c->fd(), POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) continue;
        if (fds[0].revents) {
            char buf[16];
            while (::read(wake_[0], buf, sizeof buf) > 0) {
            }
            if (closeAll_) {
                for (auto& c : conns_) c->close();
                conns_.clear();
                closeAll_ = false;
                continue;
            }
            return;
        }
        if (fds[1].revents & POLLIN) {
            int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                conns_.push_back(std::make_unique<FakeConn>(fd));
                std::lock_guard<std::mutex> lock(mutex_);
                ++accepted_;
            }
        }
        for (size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            FakeConn* c = nullptr;
            for (auto& p : conns_)
                if (p->fd() == fds[i].fd) c = p.get();
            if (!c) continue;
            uint8_t buf[65536];
            ssize_t got = ::recv(c->fd(), buf, sizeof buf, 0);
            if (got <= 0) {
                c->close();
                std::lock_guard<std::mutex> lock(mutex_);
                clientClosed_ = true;
                continue;
            }
            c->in_.insert(c->in_.end(), buf, buf + got);
            while (!c->closed()) {
                Request req;
                DecodeResult r = decodeRequest(c->in_.data(), c->in_.size(), req);
                if (r.status == DecodeResult::NeedMore) break;
                if (r.status == DecodeResult::Invalid) {
                    c->close();
                    std::lock_guard<std::mutex> lock(mutex_);
                    clientClosed_ = true;
                    break;
                }
                Script script;
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    requests_.emplace_back(c->in_.begin(), c->in_.begin() + static_cast<long>(r.bytes));
                    script = script_;
                }
                cond_.notify_all();
                if (script) script(*c, req);
                else answer(*c, req);
                if (!c->closed())
                    c->in_.erase(c->in_.begin(), c->in_.begin() + static_cast<long>(r.bytes));
            }
        }
        conns_.erase(std::remove_if(conns_.begin(), conns_.end(), [](auto& c) { return c->closed(); }),
                     conns_.end());
    }
}
