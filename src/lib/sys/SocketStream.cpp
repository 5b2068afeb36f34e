// sostream: iostream over a Unix-domain or TCP socket.
#include "SocketStream.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr std::ios_base::iostate kBadFail = std::ios_base::badbit | std::ios_base::failbit;
constexpr size_t kMaxUnixPath = 107;

// connect(2), finishing a connection that a signal interrupted.
int connectSocket(int sd, const sockaddr* addr, socklen_t len) {
    if (::connect(sd, addr, len) == 0) return 0;
    if (errno != EINTR) return -1;
    for (;;) {
        pollfd pfd{sd, POLLOUT, 0};
        int r = ::poll(&pfd, 1, -1);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        break;
    }
    int err = 0;
    socklen_t elen = sizeof err;
    if (::getsockopt(sd, SOL_SOCKET, SO_ERROR, &err, &elen) != 0) return -1;
    if (err != 0) {
        errno = err;
        return -1;
    }
    return 0;
}

// Removes a socket left at `path` by an earlier server; anything else at the path stays,
// so that the bind fails rather than a file being deleted.
void removeStaleSocket(const char* path) {
    struct stat st;
    if (::lstat(path, &st) == 0 && S_ISSOCK(st.st_mode)) ::unlink(path);
}

// Binds and listens under a name of its own beside `path` and only then renames the socket
// to `path`: a client that finds the path can connect at once (between bind and listen it
// would be refused). What is still at the path and is not a socket stays, and the open fails.
int listenUnix(int sd, const char* path) {
    struct stat st;
    if (::lstat(path, &st) == 0) {
        errno = EADDRINUSE;
        return -1;
    }
    sockaddr_un addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    const std::string temp = std::string(path) + "." + std::to_string(::getpid()) + ".new";
    if (temp.size() >= sizeof addr.sun_path) {
        // No room for the longer name: bind where the socket belongs.
        std::memcpy(addr.sun_path, path, std::strlen(path));
        return ::bind(sd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && ::listen(sd, 5) == 0 ? 0 : -1;
    }
    std::memcpy(addr.sun_path, temp.c_str(), temp.size());
    removeStaleSocket(temp.c_str());
    if (::bind(sd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return -1;
    if (::listen(sd, 5) != 0 || ::rename(temp.c_str(), path) != 0) {
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        return -1;
    }
    return 0;
}

} // namespace

// ---------------------------------------------------------------------------------------
// Construction

sostream::sostream() : std::iostream(&buf_) {
    buf_.setOwner(this);
    clear(std::ios_base::badbit);
}

sostream::sostream(const char* path, int mode) : std::iostream(&buf_) {
    buf_.setOwner(this);
    clear(std::ios_base::badbit);
    open(path, mode);
}

sostream::sostream(const char* host, unsigned short port, int mode) : std::iostream(&buf_) {
    buf_.setOwner(this);
    clear(std::ios_base::badbit);
    open(host, port, mode);
}

sostream::sostream(const char* host, const char* service, int mode) : std::iostream(&buf_) {
    buf_.setOwner(this);
    clear(std::ios_base::badbit);
    open(host, service, mode);
}

sostream::sostream(sockbuf* sb) : std::iostream(sb) {
    if (!sb) {
        clear(kBadFail);
        return;
    }
    sb->setOwner(this);
    sockaddr_storage addr;
    socklen_t len = sizeof addr;
    const int sd = sb->getDescriptor();
    if (sd != sockbuf::INVALID_SOCK &&
        ::getsockname(sd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        clear();
    else
        clear(std::ios_base::badbit);
}

sostream::~sostream() {
    close();
    // A buffer given by the caller may outlive this stream: it must not point back here.
    sockbuf* sb = rdbuf();
    if (sb && sb != &buf_) {
        std::basic_ios<char>* prev = sb->setOwner(nullptr);
        if (prev != this) sb->setOwner(prev);
        if (writer_) {
            prev = sb->setWriteOwner(nullptr);
            if (prev != writer_.get()) sb->setWriteOwner(prev);
        }
    }
}

void sostream::setOpenFailed() { clear(kBadFail); }

// ---------------------------------------------------------------------------------------
// Opening

int sostream::openSocket(int family, const void* addr, unsigned addrLen, int mode,
                         const char* unixPath) {
    const int sd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (sd < 0) {
        setOpenFailed();
        return -1;
    }
    auto failWith = [&]() {
        const int saved = errno;
        ::close(sd);
        setOpenFailed();
        errno = saved;
        return -1;
    };
    sockbuf* sb = rdbuf();
    int half = (sb ? sb->getBufsiz() : sockbuf::DEFAULT_BUFSIZ) / 2;
    if (half < 128) half = 128;
    if (::setsockopt(sd, SOL_SOCKET, SO_SNDBUF, &half, sizeof half) != 0 ||
        ::setsockopt(sd, SOL_SOCKET, SO_RCVBUF, &half, sizeof half) != 0)
        return failWith();

    const sockaddr* sa = static_cast<const sockaddr*>(addr);
    if (mode == 0) {
        if (connectSocket(sd, sa, addrLen) != 0) return failWith();
    } else if (unixPath) {
        removeStaleSocket(unixPath);
        if (listenUnix(sd, unixPath) != 0) return failWith();
    } else {
        if (::bind(sd, sa, addrLen) != 0 || ::listen(sd, 5) != 0) return failWith();
    }
    if (!sb || !sb->attach(sd)) {
        if (!sb) errno = EBADF;
        return failWith();
    }
    clear();
    return 0;
}

int sostream::open(const char* path, int mode) {
    if ((mode != 0 && mode != 1) || !path || std::strlen(path) > kMaxUnixPath) {
        errno = EINVAL;
        setOpenFailed();
        return -1;
    }
    sockaddr_un addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path, std::strlen(path));
    return openSocket(AF_UNIX, &addr, sizeof addr, mode, mode == 1 ? path : nullptr);
}

int sostream::open(const char* host, unsigned short port, int mode) {
    if (mode != 0 && mode != 1) {
        errno = EINVAL;
        setOpenFailed();
        return -1;
    }
    const uint32_t a = host_addr(host);
    if (a == sockbuf::INVALID_ADDR) {
        errno = EINVAL;
        setOpenFailed();
        return -1;
    }
    sockaddr_in addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = a;
    return openSocket(AF_INET, &addr, sizeof addr, mode, nullptr);
}

int sostream::open(const char* host, const char* service, int mode) {
    const uint16_t port = resolveService(service);
    if (port == sockbuf::INVALID_PORT) {
        errno = EINVAL;
        setOpenFailed();
        return -1;
    }
    return open(host, port, mode);
}

uint16_t sostream::resolveService(const char* service) {
    if (!service || std::strcmp(service, "0") == 0) return 0;
    servent entry;
    servent* found = nullptr;
    char scratch[1024];
    if (::getservbyname_r(service, nullptr, &entry, scratch, sizeof scratch, &found) == 0 && found)
        return ntohs(static_cast<uint16_t>(found->s_port));
    if (!*service) return sockbuf::INVALID_PORT;
    errno = 0;
    char* end = nullptr;
    const unsigned long v = std::strtoul(service, &end, 0);
    if (end == service || *end != '\0' || errno == ERANGE || v >= sockbuf::INVALID_PORT)
        return sockbuf::INVALID_PORT;
    return static_cast<uint16_t>(v);
}

uint32_t sostream::host_addr(const char* name) {
    if (!name || std::strcmp(name, "INADDR_ANY") == 0 || std::strcmp(name, "0") == 0)
        return 0;
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &res) == 0 && res) {
        const uint32_t a = reinterpret_cast<const sockaddr_in*>(res->ai_addr)->sin_addr.s_addr;
        ::freeaddrinfo(res);
        return a;
    }
    return ::inet_addr(name);
}

// ---------------------------------------------------------------------------------------
// Connections

sostream* sostream::accept() {
    sockbuf* sb = rdbuf();
    if (!sb || sb->getDescriptor() == sockbuf::INVALID_SOCK) return nullptr;
    int nsd;
    do {
        nsd = ::accept4(sb->getDescriptor(), nullptr, nullptr, SOCK_CLOEXEC);
    } while (nsd < 0 && errno == EINTR);
    if (nsd < 0) return nullptr;
    sostream* s = new sostream();
    if (!s->rdbuf()->attach(nsd)) {
        ::close(nsd);
        delete s;
        return nullptr;
    }
    s->clear();
    return s;
}

int sostream::close() {
    if (sockbuf* sb = rdbuf()) sb->close();
    clear(kBadFail);
    return 0;
}

int sostream::close_sd(int sd) { return sd != sockbuf::INVALID_SOCK ? ::close(sd) : 0; }

int sostream::sync() {
    sockbuf* sb = rdbuf();
    return sb ? sb->pubsync() : -1;
}

int sostream::error() { return errno; }

// ---------------------------------------------------------------------------------------
// Reading and writing

std::istream& sostream::read(char* p, int n) {
    if (n <= 0) return *this;
    clear();
    sockbuf* sb = rdbuf();
    if (!sb) {
        clear(kBadFail);
        return *this;
    }
    const long timeout = sb->getReadTimeout();
    if (timeout == -1 || timeout == 0) return std::istream::read(p, n);

    // Return at once when nothing is pending; else read with the time-out for each refill.
    sb->setReadTimeout(0);
    std::istream::read(p, 1);
    sb->setReadTimeout(timeout);
    if (gcount() == 0) return *this;
    unget();
    return std::istream::read(p, n);
}

std::ostream& sostream::writer() {
    if (!writer_) {
        sockbuf* sb = rdbuf();
        writer_ = std::make_unique<std::ostream>(sb);
        if (sb) {
            sb->doallocate();
            sb->setWriteOwner(writer_.get());
        }
    }
    return *writer_;
}
