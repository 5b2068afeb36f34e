// TCP socket service of the raw-access servers. One thread accepts, one reads, others
// write: the client table is guarded by a mutex, and every blocking wait runs outside it on
// a reference to the client, so a descriptor is closed only when nobody uses it any more.
#include "ovkhost.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kFollowMs = 1000;       // wait for the rest of a message already begun
constexpr int kWriteTimeoutMs = 3000; // a client that takes no data for this long is cut off
constexpr int kPollSliceMs = 100;     // the idle read looks for new clients this often
constexpr int kClientGone = -24;
constexpr int kBacklog = 16;

class Deadline {
public:
    explicit Deadline(int ms)
        : forever_(ms < 0),
          end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(ms, 0))) {}
    // Milliseconds left for poll(2): -1 without limit, 0 once passed.
    int remaining() const {
        if (forever_) return -1;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        end_ - std::chrono::steady_clock::now())
                        .count();
        return left > 0 ? static_cast<int>(left) + 1 : 0; // round up: never wake too early
    }
    bool passed() const { return !forever_ && std::chrono::steady_clock::now() >= end_; }

private:
    bool forever_;
    std::chrono::steady_clock::time_point end_;
};

int slice(int remaining, int limit) { return remaining < 0 ? limit : std::min(remaining, limit); }

struct Fd {
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int fd;
};

struct Client {
    explicit Client(int fd) : sock(fd) {}
    Fd sock;
    std::timed_mutex writeMutex; // one write at a time: frames of two writers never interleave
};

// The peer has ended its side (reset, or closed with nothing left unread). Never blocks.
bool peerGone(const Client& c) {
    struct pollfd p {c.sock.fd, POLLIN | POLLRDHUP, 0};
    if (::poll(&p, 1, 0) <= 0) return false;
    bool gone = (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
    if (!gone && (p.revents & POLLRDHUP)) {
        char byte;
        gone = ::recv(c.sock.fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) <= 0; // nothing left
    }
    return gone;
}

[[noreturn]] void fail(const char* what) {
    throw std::runtime_error(std::string("SvrSocket: ") + what + ": " + std::strerror(errno));
}

} // namespace

struct SvrSocket::Impl {
    explicit Impl(int max) : maxClients(std::max(max, 1)), clients(maxClients + 1) {
        wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wakeFd < 0) fail("eventfd");
    }
    ~Impl() { ::close(wakeFd); }

    std::shared_ptr<Client> client(int number) {
        std::lock_guard<std::mutex> lock(mutex);
        if (number < 1 || number > maxClients) return nullptr;
        return clients[number];
    }

    // Removes the client (when that number still holds it) and shuts its socket, which
    // wakes any thread waiting on it; the descriptor closes with the last reference.
    void drop(int number, const std::shared_ptr<Client>& c) {
        std::lock_guard<std::mutex> lock(mutex);
        if (number >= 1 && number <= maxClients && clients[number] == c && c) {
            ::shutdown(c->sock.fd, SHUT_RDWR);
            clients[number].reset();
        }
    }

    void wake() {
        uint64_t one = 1;
        ssize_t n = ::write(wakeFd, &one, sizeof one);
        (void)n; // a counter already at its limit wakes the waiter just as well
    }

    void drainWake() {
        uint64_t value;
        ssize_t n = ::read(wakeFd, &value, sizeof value);
        (void)n;
    }

    // Reads until `want` bytes, the deadline, the peer's end or an error; the client is
    // dropped on its end or an error. Returns the count read.
    int readFrom(int number, const std::shared_ptr<Client>& c, char* out, int want,
                 const Deadline& deadline) {
        int got = 0;
        while (got < want) {
            struct pollfd p {c->sock.fd, POLLIN, 0};
            int r = ::poll(&p, 1, deadline.remaining());
            if (r < 0) {
                if (errno == EINTR) continue;
                fail("poll");
            }
            if (r == 0) break;
            ssize_t n = ::recv(c->sock.fd, out + got, static_cast<size_t>(want - got),
                               MSG_DONTWAIT);
            if (n > 0) {
                got += static_cast<int>(n);
            } else if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
                continue;
            } else {
                drop(number, c);
                break;
            }
        }
        return got;
    }

    const int maxClients;
    std::mutex mutex;
    std::shared_ptr<Fd> listener;
    int port = 0;
    int wakeFd = -1;
    std::vector<std::shared_ptr<Client>> clients; // [1..maxClients]
    int nextNumber = 1; // numbers are handed out in turn, so a freed one is not reused at once
    int nextRead = 1;   // the idle read starts here, so that no client starves the others
};

SvrSocket::SvrSocket(int maxClients) : impl_(new Impl(maxClients)) {}

SvrSocket::~SvrSocket() {
    stopServer();
    delete impl_;
}

int SvrSocket::startServer(int port) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->listener) return EALREADY;
    if (port < 0 || port > 65535) return EINVAL;
    auto sock = std::make_shared<Fd>(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (sock->fd < 0) return errno ? errno : EIO;
    int on = 1;
    ::setsockopt(sock->fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    struct sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(sock->fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0 ||
        ::listen(sock->fd, kBacklog) < 0)
        return errno ? errno : EIO;
    socklen_t len = sizeof addr;
    if (::getsockname(sock->fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        impl_->port = ntohs(addr.sin_port);
    impl_->drainWake(); // a stop signalled before this start must not end the next accept
    impl_->listener = std::move(sock);
    return -1;
}

void SvrSocket::stopServer() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->listener.reset();
    impl_->port = 0;
    for (auto& c : impl_->clients) {
        if (c) ::shutdown(c->sock.fd, SHUT_RDWR);
        c.reset();
    }
    impl_->wake();
}

int SvrSocket::acceptConnections(int* state, int timeoutMs) {
    if (state) *state = 0;
    std::shared_ptr<Fd> listener;
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        listener = impl_->listener;
    }
    if (!listener) throw std::runtime_error("SvrSocket: accept while not listening");
    Deadline deadline(timeoutMs);
    for (;;) {
        struct pollfd fds[2] = {{listener->fd, POLLIN, 0}, {impl_->wakeFd, POLLIN, 0}};
        int r = ::poll(fds, 2, deadline.remaining());
        if (r < 0) {
            if (errno == EINTR) continue;
            fail("poll");
        }
        if (r == 0) return 0;
        if (fds[1].revents) {
            std::lock_guard<std::mutex> lock(impl_->mutex);
            if (impl_->listener != listener) return 0; // stopped
            impl_->drainWake();
        }
        if (!(fds[0].revents & POLLIN)) {
            if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) fail("listening socket");
            continue;
        }
        int fd = ::accept4(listener->fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            int err = errno;
            if (err == EINTR || err == EAGAIN || err == EWOULDBLOCK || err == ECONNABORTED ||
                err == EPROTO)
                continue;
            if (state) *state = err;
            if (err == EMFILE || err == ENFILE || err == ENOBUFS || err == ENOMEM) {
                // Out of descriptors or memory: back off instead of spinning on the
                // pending connection, and try again while time is left.
                struct pollfd w {impl_->wakeFd, POLLIN, 0};
                ::poll(&w, 1, slice(deadline.remaining(), kPollSliceMs));
                if (deadline.passed()) return 0;
                continue;
            }
            fail("accept");
        }
        auto c = std::make_shared<Client>(fd);
        int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        std::lock_guard<std::mutex> lock(impl_->mutex);
        if (impl_->listener != listener) return 0; // stopped meanwhile: c closes
        for (int i = 0; i < impl_->maxClients; ++i) {
            int number = (impl_->nextNumber - 1 + i) % impl_->maxClients + 1;
            if (!impl_->clients[number]) {
                impl_->clients[number] = std::move(c);
                impl_->nextNumber = number % impl_->maxClients + 1;
                return number + 1;
            }
        }
        // Every number is taken. A client that has left still holds its number until a
        // reader notices; it must not keep a new client out, so its number is freed here.
        for (int i = 0; i < impl_->maxClients; ++i) {
            int number = (impl_->nextNumber - 1 + i) % impl_->maxClients + 1;
            if (!peerGone(*impl_->clients[number])) continue;
            ::shutdown(impl_->clients[number]->sock.fd, SHUT_RDWR);
            impl_->clients[number] = std::move(c);
            impl_->nextNumber = number % impl_->maxClients + 1;
            return number + 1;
        }
        // Every number is held by a client still there: this connection is closed as c
        // goes out of scope.
    }
}

int SvrSocket::read(void* buffer, int* length, int timeoutMs) {
    if (!length) return 0;
    const int want = *length;
    *length = 0;
    if (!buffer || want <= 0) return 0;
    Deadline deadline(timeoutMs);
    for (;;) {
        std::vector<std::pair<int, std::shared_ptr<Client>>> ready;
        {
            std::lock_guard<std::mutex> lock(impl_->mutex);
            for (int i = 0; i < impl_->maxClients; ++i) {
                int number = (impl_->nextRead - 1 + i) % impl_->maxClients + 1;
                if (impl_->clients[number]) ready.emplace_back(number, impl_->clients[number]);
            }
        }
        std::vector<struct pollfd> fds;
        for (auto& entry : ready) fds.push_back({entry.second->sock.fd, POLLIN, 0});
        // Short slices, so that clients accepted meanwhile are also watched.
        int r = ::poll(fds.data(), fds.size(), slice(deadline.remaining(), kPollSliceMs));
        if (r < 0) {
            if (errno == EINTR) continue;
            fail("poll");
        }
        for (size_t i = 0; r > 0 && i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            const int number = ready[i].first;
            const auto& c = ready[i].second;
            char* out = static_cast<char*>(buffer);
            ssize_t n = ::recv(c->sock.fd, out, static_cast<size_t>(want), MSG_DONTWAIT);
            if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
            if (n <= 0) {
                impl_->drop(number, c);
                return kClientGone;
            }
            int got = static_cast<int>(n);
            if (got < want) got += impl_->readFrom(number, c, out + got, want - got,
                                                   Deadline(kFollowMs));
            *length = got;
            std::lock_guard<std::mutex> lock(impl_->mutex);
            impl_->nextRead = number % impl_->maxClients + 1;
            return number;
        }
        if (deadline.passed()) return 0;
    }
}

int SvrSocket::read(int client, void* buffer, int* length, int timeoutMs) {
    if (!length) return 0;
    const int want = *length;
    if (want <= 0) {
        *length = 0;
        return -1; // nothing asked, all read
    }
    auto c = impl_->client(client);
    if (!buffer || !c) {
        *length = 0;
        return 0;
    }
    int got = impl_->readFrom(client, c, static_cast<char*>(buffer), want,
                              Deadline(timeoutMs == 0 ? kFollowMs : timeoutMs));
    *length = got;
    return got == want ? -1 : got;
}

int SvrSocket::write(int client, const void* buffer, int length) {
    return write(client, buffer, length, kWriteTimeoutMs);
}

int SvrSocket::write(int client, const void* buffer, int length, int timeoutMs) {
    if (!buffer || length <= 0) return 0;
    auto c = impl_->client(client);
    if (!c) return 0;
    Deadline deadline(std::max(timeoutMs, 0));
    // Another writer that cannot get rid of its bytes counts against this write's time.
    std::unique_lock<std::timed_mutex> writing(c->writeMutex, std::defer_lock);
    if (!writing.try_lock_for(std::chrono::milliseconds(std::max(timeoutMs, 0)))) {
        impl_->drop(client, c);
        return 0;
    }
    const char* data = static_cast<const char*>(buffer);
    int sent = 0;
    while (sent < length) {
        ssize_t n = ::send(c->sock.fd, data + sent, static_cast<size_t>(length - sent),
                           MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            struct pollfd p {c->sock.fd, POLLOUT, 0};
            int r = ::poll(&p, 1, deadline.remaining());
            if (r < 0 && errno == EINTR) continue;
            if (r > 0) continue;
        }
        break; // the peer is gone, or it took nothing in time
    }
    // A frame cut short leaves the client's stream unusable: end the connection.
    if (sent < length) impl_->drop(client, c);
    return sent;
}

void SvrSocket::disconnect(int client) {
    auto c = impl_->client(client);
    if (c) impl_->drop(client, c);
}

bool SvrSocket::isValidClient(int client) {
    auto c = impl_->client(client);
    if (!c) return false;
    const bool gone = peerGone(*c);
    if (gone) impl_->drop(client, c);
    return !gone;
}

int SvrSocket::listeningPort() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->listener ? impl_->port : 0;
}

int SocketManager::startSockets() { return 0; }

int SocketManager::endSockets() { return 0; }
