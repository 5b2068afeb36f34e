// sockbuf: stream buffer over a socket descriptor.
#include "SocketBuffer.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <new>

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

std::atomic<int> sockbuf::sockLibInitialized{0};

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::ios_base::iostate kBadFail = std::ios_base::badbit | std::ios_base::failbit;
constexpr std::ios_base::iostate kEofFail = std::ios_base::eofbit | std::ios_base::failbit;
constexpr std::ios_base::iostate kBadEofFail = kBadFail | std::ios_base::eofbit;

// Milliseconds left until `deadline`, rounded up, for poll(2); 0 once reached.
int msLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    if (left.count() <= 0) return 0;
    long long ms = (left.count() + 999) / 1000;
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

Clock::time_point deadlineAfter(long ms) { return Clock::now() + std::chrono::milliseconds(ms); }

} // namespace

// ---------------------------------------------------------------------------------------
// Construction

void sockbuf::preConstruct() {
    storage_ = nullptr;
    bufsiz_ = DEFAULT_BUFSIZ;
    ownsBuffer_ = 0;
    readTimeout_ = -1;
    writeTimeout_ = -1;
    base_ = putLimit_ = getBase_ = bufLast_ = nullptr;
    pushback_ = 0;
    setp(nullptr, nullptr);
    setg(nullptr, nullptr, nullptr);
    owner_ = nullptr;
    writeOwner_ = nullptr;
    sd_ = INVALID_SOCK;
    initSockLib();
}

sockbuf::sockbuf() {
    preConstruct();
    setbuf(nullptr, DEFAULT_BUFSIZ, 0);
}

sockbuf::sockbuf(int sd) {
    preConstruct();
    sd_ = sd;
    setbuf(nullptr, DEFAULT_BUFSIZ, 0);
}

sockbuf::sockbuf(char* buf, int size) {
    preConstruct();
    setbuf(buf, size, 0);
}

sockbuf::sockbuf(int sd, char* buf, int size) {
    preConstruct();
    sd_ = sd;
    setbuf(buf, size, 0);
}

sockbuf::~sockbuf() {
    close();
    if (ownsBuffer_) delete[] storage_;
}

// ---------------------------------------------------------------------------------------
// Buffer set-up

std::streambuf* sockbuf::setbuf(char* buf, std::streamsize size) {
    int n = size > INT_MAX ? INT_MAX : (size < INT_MIN ? INT_MIN : static_cast<int>(size));
    return setbuf(buf, n, 0);
}

sockbuf* sockbuf::setbuf(char* buf, int size, int own) {
    if (allocated()) return nullptr;
    if (buf && size < MIN_BUFSIZ) return nullptr;
    if (ownsBuffer_ && storage_ != buf) delete[] storage_;
    storage_ = buf;
    bufsiz_ = size;
    ownsBuffer_ = (buf && own) ? 1 : 0;
    return this;
}

int sockbuf::doallocate() {
    if (allocated()) return 0;
    if (storage_) {
        pushback_ = MIN_PUSHBACK;
    } else {
        if (bufsiz_ <= 0) {
            bufsiz_ = UNBUFSIZ;
            pushback_ = 0;
        } else {
            pushback_ = MIN_PUSHBACK;
            if (bufsiz_ < MIN_BUFSIZ) bufsiz_ = MIN_BUFSIZ;
        }
        char* p = new (std::nothrow) char[bufsiz_];
        if (!p) return -1;
        std::memset(p, 0, bufsiz_);
        storage_ = p;
        ownsBuffer_ = 1;
    }
    // Put area: bytes 0 .. H-2; byte H-1 spare; get area from H (putback reserve first);
    // data is received into H+R .. S-2; byte S-1 spare.
    const int half = (bufsiz_ - pushback_ - 1) / 2;
    base_ = storage_;
    putLimit_ = base_ + (half > 0 ? half - 1 : 0);
    getBase_ = base_ + half;
    bufLast_ = base_ + bufsiz_ - 1;
    setp(base_, putLimit_);
    setg(bufLast_, bufLast_, bufLast_); // empty, nothing to put back yet
    return 1;
}

// ---------------------------------------------------------------------------------------
// Accessors

long sockbuf::setReadTimeout(long ms) {
    long old = readTimeout_;
    readTimeout_ = ms;
    return old;
}

long sockbuf::setWriteTimeout(long ms) {
    long old = writeTimeout_;
    writeTimeout_ = ms;
    return old;
}

std::basic_ios<char>* sockbuf::setOwner(std::basic_ios<char>* owner) {
    std::basic_ios<char>* old = owner_;
    owner_ = owner;
    return old;
}

std::basic_ios<char>* sockbuf::setWriteOwner(std::basic_ios<char>* owner) {
    std::basic_ios<char>* old = writeOwner_;
    writeOwner_ = owner;
    return old;
}

void sockbuf::setReadState(std::ios_base::iostate s) {
    if (owner_) owner_->clear(s);
}

void sockbuf::setWriteState(std::ios_base::iostate s) {
    if (std::basic_ios<char>* o = writeOwner_ ? writeOwner_ : owner_) o->clear(s);
}

// ---------------------------------------------------------------------------------------
// Descriptor handling

sockbuf* sockbuf::attach(int sd) {
    sockaddr_storage addr;
    socklen_t len = sizeof addr;
    if (::getsockname(sd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return nullptr;
    sd_ = sd;
    if (owner_) owner_->clear();
    if (writeOwner_) writeOwner_->clear();
    return this;
}

sockbuf* sockbuf::accept() {
    const int listening = sd_.load();
    if (listening == INVALID_SOCK) return nullptr;
    int nsd;
    do {
        nsd = ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
    } while (nsd < 0 && errno == EINTR);
    if (nsd < 0) return nullptr;
    sockbuf* sb = new (std::nothrow) sockbuf();
    if (!sb) {
        ::close(nsd);
        return nullptr;
    }
    if (!sb->attach(nsd)) {
        int saved = errno;
        ::close(nsd);
        delete sb;
        errno = saved;
        return nullptr;
    }
    sb->setbuf(nullptr, bufsiz_, 0);
    return sb;
}

int sockbuf::close() {
    int sd = sd_.exchange(INVALID_SOCK);
    if (sd != INVALID_SOCK) ::close(sd);
    return 0;
}

int sockbuf::close(int& sd) {
    if (sd != INVALID_SOCK) ::close(sd);
    sd = INVALID_SOCK;
    return 0;
}

int sockbuf::error() { return errno; }

int sockbuf::initSockLib() {
    sockLibInitialized = 1;
    return 1;
}

// ---------------------------------------------------------------------------------------
// Receiving

bool sockbuf::waitReadable() {
    const int sd = sd_.load();
    const long timeout = readTimeout_;
    const Clock::time_point deadline = timeout >= 0 ? deadlineAfter(timeout) : Clock::time_point();
    for (;;) {
        pollfd pfd{sd, POLLIN, 0};
        int r = ::poll(&pfd, 1, timeout >= 0 ? msLeft(deadline) : -1);
        if (r > 0) return true; // readable, or hang-up/error that recv will report
        if (r == 0) return false;
        if (errno != EINTR) return false;
    }
}

std::streamsize sockbuf::showmanyc() {
    if (gptr() < egptr()) return egptr() - gptr();
    const int sd = sd_.load();
    if (sd == INVALID_SOCK) return -1;
    int n = 0;
    if (::ioctl(sd, FIONREAD, &n) == 0 && n > 0) return n;
    return 0;
}

sockbuf::int_type sockbuf::underflow() {
    if (sd_.load() == INVALID_SOCK) {
        setReadState(kBadFail);
        return traits_type::eof();
    }
    if (!allocated() && doallocate() < 0) {
        setReadState(kBadFail);
        return traits_type::eof();
    }
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    // Without a time-out the receive itself waits: no poll before it.
    if (readTimeout_ >= 0 && !waitReadable()) return traits_type::eof();

    // Keep up to R bytes before the read position as the putback reserve.
    char* room = getBase_ + pushback_;
    int keep = 0;
    if (gptr() && eback() && gptr() > eback()) {
        long have = gptr() - eback();
        keep = have < pushback_ ? static_cast<int>(have) : pushback_;
        std::memmove(room - keep, gptr() - keep, keep);
    }
    const int capacity = static_cast<int>(bufLast_ - room);
    ssize_t r;
    do {
        r = ::recv(sd_.load(), room, capacity, MSG_NOSIGNAL);
    } while (r < 0 && errno == EINTR);
    if (r > 0) {
        setg(room - keep, room, room + r);
        return traits_type::to_int_type(*gptr());
    }
    setg(room - keep, room, room);
    if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return traits_type::eof();
    setReadState(kBadEofFail);
    return traits_type::eof();
}

sockbuf::int_type sockbuf::uflow() {
    int_type c = underflow();
    if (!traits_type::eq_int_type(c, traits_type::eof())) gbump(1);
    return c;
}

sockbuf::int_type sockbuf::pbackfail(int_type c) {
    if (!gptr() || gptr() <= eback()) return traits_type::eof();
    gbump(-1);
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    *gptr() = traits_type::to_char_type(c);
    return c;
}

// ---------------------------------------------------------------------------------------
// Sending

int sockbuf::sendBytes(const char* p, int n, long waitMs, int& sent) {
    sent = 0;
    const int sd = sd_.load();
    const Clock::time_point deadline = waitMs >= 0 ? deadlineAfter(waitMs) : Clock::time_point();
    while (sent < n) {
        int flags = MSG_NOSIGNAL | (waitMs >= 0 ? MSG_DONTWAIT : 0);
        ssize_t r = ::send(sd, p + sent, static_cast<size_t>(n - sent), flags);
        if (r > 0) {
            sent += static_cast<int>(r);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            int ms = -1;
            if (waitMs >= 0) {
                ms = msLeft(deadline);
                if (ms == 0) return 1;
            }
            pollfd pfd{sd, POLLOUT, 0};
            if (::poll(&pfd, 1, ms) < 0 && errno != EINTR) return -1;
            continue;
        }
        return r == 0 ? 1 : -1;
    }
    return 0;
}

// Sends the put area. On a time-out or error the unsent rest moves to the start of the put
// area and stays there as pending output.
int sockbuf::flushPut(long waitMs) {
    const int n = static_cast<int>(pptr() - pbase());
    if (n <= 0) return 0;
    if (sd_.load() == INVALID_SOCK) {
        setWriteState(kBadEofFail);
        return -1;
    }
    int sent = 0;
    const int r = sendBytes(pbase(), n, waitMs, sent);
    if (r == 0) {
        setp(base_, putLimit_);
        return 0;
    }
    const int saved = errno;
    std::memmove(base_, pbase() + sent, static_cast<size_t>(n - sent));
    setp(base_, putLimit_);
    pbump(n - sent);
    setWriteState(r < 0 ? kBadEofFail : kEofFail);
    errno = saved;
    return -1;
}

int sockbuf::sync() {
    if (!allocated() || pptr() == pbase()) return 0;
    return flushPut(writeTimeout_);
}

sockbuf::int_type sockbuf::overflow(int_type c) {
    if (!allocated() && doallocate() < 0) {
        setWriteState(kBadFail);
        return traits_type::eof();
    }
    if (traits_type::eq_int_type(c, traits_type::eof())) return sync() == 0 ? traits_type::not_eof(c) : traits_type::eof();
    if (pptr() >= epptr()) {
        if (sync() != 0) return traits_type::eof();
    }
    if (pptr() < epptr()) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
        return traits_type::not_eof(c);
    }
    // No put area (unbuffered): the byte goes out at once.
    if (sd_.load() == INVALID_SOCK) {
        setWriteState(kBadEofFail);
        return traits_type::eof();
    }
    const char ch = traits_type::to_char_type(c);
    int sent = 0;
    const int r = sendBytes(&ch, 1, writeTimeout_, sent);
    if (r == 0) return traits_type::not_eof(c);
    setWriteState(r < 0 ? kBadEofFail : kEofFail);
    return traits_type::eof();
}

int sockbuf::sendMessage(const void* data, int length) {
    if (length < 0 || (!data && length > 0)) return -1;
    if (length == 0) return 0;
    if (!allocated() && doallocate() < 0) {
        setWriteState(kBadFail);
        return -1;
    }
    if (sd_.load() == INVALID_SOCK) {
        setWriteState(kBadEofFail);
        return -1;
    }
    // Output left from an earlier time-out: the peer has not been reading, so do not wait
    // for it again; the message is dropped whole when that output cannot go out now.
    if (pptr() > pbase() && flushPut(0) != 0) return -1;

    const char* p = static_cast<const char*>(data);
    if (length <= epptr() - pptr()) {
        std::memcpy(pptr(), p, static_cast<size_t>(length));
        pbump(length);
        return flushPut(writeTimeout_);
    }
    // Larger than the put area: send it directly.
    int sent = 0;
    const int r = sendBytes(p, length, writeTimeout_, sent);
    if (r == 0) return 0;
    if (r < 0) {
        setWriteState(kBadEofFail);
        return -1;
    }
    const int rest = length - sent;
    if (sent > 0 && rest <= epptr() - pptr()) {
        std::memcpy(pptr(), p + sent, static_cast<size_t>(rest));
        pbump(rest);
        setWriteState(kEofFail);
        return -1;
    }
    if (sent > 0) {
        // Part of the message is out and the rest cannot be kept: the peer would read a
        // torn message, so end the connection instead.
        ::shutdown(sd_.load(), SHUT_RDWR);
        setWriteState(kBadEofFail);
        return -1;
    }
    setWriteState(kEofFail);
    return -1;
}
