#include "service.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <system_error>

#include "apiseams.h"
#include "apistate.h"
#include "apitrace.h"
#include "ovkapi.h"
#include "ovkwire.h"
#include "posqueue.h"

using namespace ovkwire;
using Clock = std::chrono::steady_clock;

namespace {

std::atomic<int> replyWaitMs{30000};
std::atomic<int> dataWaitMs{5000};

std::mutex portsMutex;
std::map<std::string, int>& servicePorts() {
    static auto* m = new std::map<std::string, int>;
    return *m;
}

// The port of a TCP service name, or -1 when it is not known.
int lookupServicePort(const char* name) {
    {
        std::lock_guard<std::mutex> lock(portsMutex);
        auto it = servicePorts().find(name);
        if (it != servicePorts().end()) return it->second;
    }
    struct servent se, *result = nullptr;
    char buf[1024];
    if (getservbyname_r(name, "tcp", &se, buf, sizeof buf, &result) != 0 || !result) return -1;
    return ntohs(static_cast<uint16_t>(result->s_port));
}

bool setNonBlocking(int fd) {
    int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

int remainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

} // namespace

void apiSetReplyWait(int ms) { replyWaitMs = ms; }
void apiSetDataWait(int ms) { dataWaitMs = ms; }
void apiSetServicePort(const char* name, int port) {
    std::lock_guard<std::mutex> lock(portsMutex);
    if (port < 0) servicePorts().erase(name);
    else servicePorts()[name] = port;
}

Service::Service(int servdes) : servdes_(servdes) {
    in_ = new (std::nothrow) uint8_t[IO_BUFFER_SIZE];
    if (!in_) apitrace("I/O buffer allocation failed\n");
}

Service::~Service() {
    close();
    delete[] in_;
}

bool Service::open(const char* path) {
    if (thread_.joinable() || fd_ >= 0 || !in_) return false;
    struct sockaddr_un addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (std::strlen(path) >= sizeof addr.sun_path) return false;
    std::strcpy(addr.sun_path, path);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    if (::connect(fd, reinterpret_cast<struct sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return false;
    }
    return attach(fd);
}

bool Service::open(const char* host, unsigned short port) {
    if (thread_.joinable() || fd_ >= 0 || !in_) return false;
    struct addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo* list = nullptr;
    std::string portText = std::to_string(port);
    if (getaddrinfo(host, portText.c_str(), &hints, &list) != 0) return false;
    int fd = -1;
    for (struct addrinfo* a = list; a; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) break;
        ::close(fd);
        fd = -1;
    }
    freeaddrinfo(list);
    if (fd < 0) return false;
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return attach(fd);
}

bool Service::open(const char* host, const char* service) {
    if (thread_.joinable() || fd_ >= 0) return false;
    int port = lookupServicePort(service);
    if (port < 0 || port > 0xFFFF) return false;
    return open(host, static_cast<unsigned short>(port));
}

bool Service::attach(int fd) {
    if (!setNonBlocking(fd) || ::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    have_ = 0;
    partial_ = false;
    dead_ = false;
    {
        std::lock_guard<std::mutex> idle(idleMutex_);
        closing_ = false;
    }
    feeding_ = true;
    PosQueue::instance().connectionOpened();
    try {
        thread_ = std::thread(&Service::serviceInputLoop, this);
    } catch (const std::system_error&) {
        close();
        return false;
    }
    return true;
}

void Service::stopFeeding(bool lost) {
    if (feeding_.exchange(false)) PosQueue::instance().connectionEnded(lost);
}

void Service::close() {
    if (thread_.joinable()) {
        {
            std::lock_guard<std::mutex> idle(idleMutex_);
            closing_ = true;
        }
        idleCond_.notify_all();
        char c = 1;
        ssize_t r = ::write(wake_[1], &c, 1);
        (void)r;
        thread_.join();
    }
    for (int& fd : wake_) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    stopFeeding(false);
}

bool Service::writeAll(const uint8_t* p, size_t n) {
    auto deadline = Clock::now() + std::chrono::milliseconds(replyWaitMs.load());
    while (n > 0) {
        ssize_t w = ::send(fd_, p, n, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (w > 0) {
            p += w;
            n -= static_cast<size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        struct pollfd pfd = {fd_, POLLOUT, 0};
        int left = remainingMs(deadline);
        if (left == 0) return false;
        if (::poll(&pfd, 1, left) < 0 && errno != EINTR) return false;
    }
    return true;
}

int Service::sendRequest(std::unique_lock<std::mutex>& lock, unsigned int length) {
    ApiState& st = apiState();
    apitrace(">sendRequest(%u)\n", length);
    uint32_t handle = st.sequenceNumber++;
    putU32(st.requestBuffer + 4, handle);
    apitrace("Sending request %lu\n", static_cast<unsigned long>(handle));
    // From here the service thread leaves the socket to this thread.
    requestActive_ = true;
    if (dead_ || fd_ < 0 || !writeAll(st.requestBuffer, length)) {
        apitrace("I/O error\n");
        if (!dead_ && fd_ >= 0) {
            // A request cut short leaves the stream out of step: give the connection up.
            dead_ = true;
            ::shutdown(fd_, SHUT_RDWR);
            stopFeeding(true);
        }
        requestDone();
        errno = POSERR_SYS_SERVICE_NOT_AVAILABLE;
        apitrace("<sendRequest() returning %d\n", -1);
        return -1;
    }
    st.awaiting = this;
    st.awaitedHandle = handle;
    st.replyReady = false;
    apitrace("Waiting for reply\n");
    const auto deadline = Clock::now() + std::chrono::milliseconds(replyWaitMs.load());
    while (!st.replyReady) {
        std::unique_lock<std::mutex> reading(readMutex_, std::try_to_lock);
        if (reading.owns_lock()) {
            readOwnReply(handle, deadline);
            break;
        }
        // The service thread is reading: it hands the reply over, or lets go of the socket
        // and says so, and this thread tries again. The wait is sliced so that the socket is
        // tried again soon even if that word were missed.
        const auto slice = std::min(deadline, Clock::now() + std::chrono::milliseconds(20));
        if (st.replyCond.wait_until(lock, slice) == std::cv_status::timeout && !st.replyReady &&
            Clock::now() >= deadline) {
            st.reply = ReplyHeader{handle, -1, POSERR_SYS_TIMEOUT, 0};
            break;
        }
    }
    st.awaiting = nullptr;
    st.replyReady = false;
    requestDone();
    int rc = st.reply.rc;
    if (rc < 0) errno = st.reply.error;
    apitrace("<sendRequest() returning %d\n", rc);
    return rc;
}

void Service::requestDone() {
    {
        std::lock_guard<std::mutex> idle(idleMutex_);
        requestActive_ = false;
    }
    idleCond_.notify_one();
}

void Service::readOwnReply(uint32_t handle, Clock::time_point deadline) {
    ApiState& st = apiState();
    for (;;) {
        if (!takeMessages(true)) {
            connectionLost("malformed message (reply data too long)\n", true);
            return;
        }
        if (st.replyReady) return;
        if (dead_) {
            st.reply = ReplyHeader{handle, -1, POSERR_SYS_SERVICE_NOT_AVAILABLE, 0};
            st.replyReady = true;
            return;
        }
        int timeout = remainingMs(deadline);
        if (partial_) {
            const int dataLeft = remainingMs(messageDeadline_);
            if (dataLeft == 0) {
                connectionLost("read failed!\n", true);
                return;
            }
            if (dataLeft < timeout) timeout = dataLeft;
        } else if (timeout == 0) {
            st.reply = ReplyHeader{handle, -1, POSERR_SYS_TIMEOUT, 0};
            st.replyReady = true;
            return;
        }
        const char* why = nullptr;
        Receive r = receive(timeout, false, why);
        if (r == Receive::Bytes) r = take(why);
        if (r == Receive::Lost) {
            connectionLost(why, true);
            return;
        }
    }
}

void Service::connectionLost(const char* why, bool haveBuffers) {
    apitrace("%s", why);
    apitrace("ovkctrl died\n");
    ApiState& st = apiState();
    {
        std::unique_lock<std::mutex> lock(st.buffersMutex, std::defer_lock);
        if (!haveBuffers) lock.lock();
        dead_ = true;
        // Only a request waiting on this connection fails; one on another connection goes on.
        if (st.awaiting == this && !st.replyReady) {
            st.reply = ReplyHeader{st.awaitedHandle, -1, POSERR_SYS_SERVICE_NOT_AVAILABLE, 0};
            st.replyReady = true;
            if (!haveBuffers) st.replyCond.notify_all();
        }
    }
    ::shutdown(fd_, SHUT_RDWR);
    // No event comes through this connection any more: a reader of descriptor 0 that has no
    // other connection left is told.
    stopFeeding(true);
}

void Service::handleEvent(uint32_t msg, uint32_t mp1, uint32_t mp2) {
    apitrace("event received:\n  queueHandle: 0x%lx\n  msg        : 0x%lx\n  mp1        : 0x%lx\n"
             "  mp2        : 0x%lx\n",
             0UL, static_cast<unsigned long>(msg), static_cast<unsigned long>(mp1),
             static_cast<unsigned long>(mp2));
    if (msg == POSM_SYS_DEVICE_OFFLINE || msg == POSM_SYS_DEVICE_ONLINE)
        mp2 |= (static_cast<uint32_t>(servdes_) & 0xFF) << 8;
    _POSQMSG rec{static_cast<uint32_t>(::getpid()), msg, mp1, mp2};
    PosQueue::instance().write(&rec); // a full queue drops the event
}

void Service::deliverReply(const ServerMessage& m, bool haveBuffers) {
    apitrace("reply received:\n  requestHandle: 0x%lx\n  rc           : %d\n"
             "  errno        : %d\n  dataLength   : %u\n",
             static_cast<unsigned long>(m.reply.handle), m.reply.rc, m.reply.error,
             m.reply.dataLength);
    ApiState& st = apiState();
    std::unique_lock<std::mutex> lock(st.buffersMutex, std::defer_lock);
    if (!haveBuffers) lock.lock();
    if (st.awaiting == this && !st.replyReady && m.reply.handle == st.awaitedHandle) {
        st.reply = m.reply;
        std::memcpy(st.replyData, m.data.data, m.data.size);
        st.replyReady = true;
        apitrace("notifying client of available reply\n");
        if (!haveBuffers) st.replyCond.notify_all();
    } else {
        apitrace("reply not awaited, dropped\n");
    }
}

bool Service::takeMessages(bool haveBuffers) {
    for (;;) {
        ServerMessage m;
        DecodeResult r = decodeServerMessage(in_, have_, m);
        if (r.status == DecodeResult::Invalid) return false;
        if (r.status != DecodeResult::Ok) {
            // More bytes are needed: without limit between messages, within the data
            // time-out once a message has begun.
            if (have_ == 0) {
                partial_ = false;
            } else if (!partial_) {
                partial_ = true;
                messageDeadline_ = Clock::now() + std::chrono::milliseconds(dataWaitMs.load());
            }
            return true;
        }
        if (m.kind == ServerMessage::Event) handleEvent(m.event.msg, m.event.mp1, m.event.mp2);
        else if (m.kind == ServerMessage::Reply) deliverReply(m, haveBuffers);
        else apitrace("unexpected message type\n");
        std::memmove(in_, in_ + r.bytes, have_ - r.bytes);
        have_ -= r.bytes;
        partial_ = false;
    }
}

Service::Receive Service::receive(int timeoutMs, bool watchWake, const char*& why) {
    apitrace("service thread: reading socket\n");
    struct pollfd pfd[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    int n = ::poll(pfd, watchWake ? 2 : 1, timeoutMs);
    if (n < 0) {
        if (errno == EINTR) return Receive::Nothing;
        why = "poll failed\n";
        return Receive::Lost;
    }
    if (watchWake && pfd[1].revents) return Receive::Closing;
    if (n == 0) return Receive::Nothing;
    return Receive::Bytes; // readable (or hung up: the receive tells)
}

Service::Receive Service::take(const char*& why) {
    ssize_t got = ::recv(fd_, in_ + have_, IO_BUFFER_SIZE - have_, 0);
    if (got > 0) {
        have_ += static_cast<size_t>(got);
        return Receive::Bytes;
    }
    if (got == 0) {
        why = "eofbit is set\n";
        return Receive::Lost;
    }
    if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) return Receive::Nothing;
    why = "receive error\n";
    return Receive::Lost;
}

void Service::serviceInputLoop() {
    apitrace("service thread started\n");
    for (;;) {
        {
            // A request on this connection reads its own reply: stay off the socket.
            std::unique_lock<std::mutex> idle(idleMutex_);
            idleCond_.wait(idle, [this] { return !requestActive_ || closing_; });
            if (closing_) return;
        }
        int timeout = -1;
        {
            std::lock_guard<std::mutex> reading(readMutex_);
            if (partial_) timeout = remainingMs(messageDeadline_);
        }
        if (requestActive_) {
            // A request that began meanwhile may have found the read mutex taken and wait on
            // the reply condition: let it read, and stay off the socket.
            letRequestRead();
            continue;
        }
        if (timeout == 0) {
            connectionLost("read failed!\n", false);
            return;
        }
        // The wait holds nothing, so that a request starting meanwhile reads for itself.
        const char* why = nullptr;
        Receive r = receive(timeout, true, why);
        if (r == Receive::Closing) return;
        if (r == Receive::Lost) {
            connectionLost(why, false);
            return;
        }
        if (r == Receive::Nothing || requestActive_) continue;
        {
            std::lock_guard<std::mutex> reading(readMutex_);
            r = take(why);
            if (r == Receive::Lost) {
                // Lost below takes the buffers mutex: not under the read mutex.
            } else if (r == Receive::Bytes && !takeMessages(false)) {
                r = Receive::Lost;
                why = "malformed message (reply data too long)\n";
            }
        }
        if (r == Receive::Lost) {
            connectionLost(why, false);
            return;
        }
        // A request that found the socket taken waits on the reply condition: let it read now.
        if (requestActive_) letRequestRead();
    }
}

void Service::letRequestRead() {
    ApiState& st = apiState();
    std::lock_guard<std::mutex> lock(st.buffersMutex);
    st.replyCond.notify_all();
}
