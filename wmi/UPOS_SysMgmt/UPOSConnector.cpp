#include "UPOSConnector.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "SimpleStringBuffer.h"
#include "UPOSLog.h"

int UPOSConnector::initd = 0;
int UPOSConnector::wsa_initd = 0;
int UPOSConnector::timeoutMs_ = 30000;

namespace {
sockaddr_in clientService{};
sockaddr_in serverService{};

bool makeAddress(const char* address, unsigned short port, sockaddr_in& out) {
    std::memset(&out, 0, sizeof out);
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    return address && ::inet_pton(AF_INET, address, &out.sin_addr) == 1;
}

// Logs the text collected so far through a temporary copy of the buffer.
void logCollected(const char* line, SimpleStringBuffer* out) {
    if (!UPOSLog::CheckIfLog()) return;
    UPOSLog::Line(line);
    SimpleStringBuffer* copy = out->clone();
    UPOSLog::Line(copy->c_str());
    delete copy;
}
} // namespace

bool bridgeWaitFor(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    for (;;) {
        const int r = ::poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR) continue;
        return r > 0;
    }
}

int bridgeConnect(int fd, const sockaddr_in& addr, int timeoutMs) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return -1;
    int r = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    if (r != 0 && errno == EINPROGRESS) {
        r = -1;
        if (bridgeWaitFor(fd, POLLOUT, timeoutMs)) {
            int error = 0;
            socklen_t len = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0) r = 0;
        }
    }
    if (::fcntl(fd, F_SETFL, flags) < 0) return -1;
    return r == 0 ? 0 : -1;
}

UPOSConnector::UPOSConnector() { std::memset(inBuff, 0, sizeof inBuff); }

void UPOSConnector::SetTimeout(int milliseconds) { timeoutMs_ = milliseconds < 0 ? 0 : milliseconds; }
int UPOSConnector::Timeout() { return timeoutMs_; }

int UPOSConnector::Init_Socket() { return Init_Socket(&m_socket); }

int UPOSConnector::Init_Socket(int* socket) {
    if (initd) return 0;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    *socket = fd;
    initd = 1;
    return 0;
}

int UPOSConnector::Connect_Socket(char* address, unsigned short port) {
    return Connect_Socket(m_socket, address, port);
}

int UPOSConnector::Connect_Socket(int socket, char* address, unsigned short port) {
    if (initd != 1 || connected) return -1;
    if (!makeAddress(address, port, clientService)) return -1;
    if (bridgeConnect(socket, clientService, timeoutMs_) != 0) return -1;
    m_socket = socket;
    connected = 1;
    return 0;
}

int UPOSConnector::Disconnect_Socket() {
    if (initd == 1 && connected) {
        ::close(m_socket);
        m_socket = -1;
        connected = 0;
    }
    return 0;
}

int UPOSConnector::Send(char* buffer, int length, int toClient) {
    if (initd != 1 || !connected || length < 0 || (length > 0 && !buffer)) return -1;
    std::string frame;
    frame.reserve(static_cast<size_t>(length) + 2);
    frame += kStart;
    frame.append(buffer ? buffer : "", static_cast<size_t>(length));
    frame += kEnd;
    const int fd = toClient ? m_client : m_socket;
    size_t sent = 0;
    while (sent < frame.size()) {
        const ssize_t n = ::send(fd, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && bridgeWaitFor(fd, POLLOUT, timeoutMs_))
            continue;
        if (n <= 0) return -1;
        sent += static_cast<size_t>(n);
    }
    return static_cast<int>(sent);
}

int UPOSConnector::Receive(SimpleStringBuffer* out) {
    m_client = m_socket;
    return Receive2(out);
}

int UPOSConnector::Receive2(SimpleStringBuffer* out) {
    if (initd != 1 || connected != 1 || !out) return -1;
    const int before = out->length();
    bool inside = false;
    int pos = buffOfs;
    for (;;) {
        if (pos >= readedB) {
            if (inside) out->append(inBuff + buffOfs, pos - buffOfs);
            logCollected("<<UPOSConnector::Receive2()>> Calling clone", out);
            pos = buffOfs = readedB = 0;
            // The read ends at end of stream, on an error and after the time-out: a silent or
            // vanished service never holds the caller.
            if (!bridgeWaitFor(m_client, POLLIN, timeoutMs_)) return -1;
            ssize_t n;
            do {
                n = ::recv(m_client, inBuff, sizeof inBuff, 0);
            } while (n < 0 && errno == EINTR);
            if (n <= 0) return -1;
            readedB = static_cast<int>(n);
        }
        const char c = inBuff[pos];
        if (!inside) {
            if (c == kStart) inside = true;
            buffOfs = ++pos;
            continue;
        }
        if (c == kEnd) {
            out->append(inBuff + buffOfs, pos - buffOfs);
            logCollected("<<UPOSConnector::Receive2()>> Calling clone OUT_MARK", out);
            buffOfs = pos + 1;
            return out->length() - before;
        }
        ++pos;
    }
}

int UPOSConnector::Bind(char* address, unsigned short port) {
    if (initd != 1) return -1;
    if (m_server < 0) m_server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_server < 0 || !makeAddress(address, port, serverService)) return -1;
    const int r = ::bind(m_server, reinterpret_cast<sockaddr*>(&serverService), sizeof serverService);
    connected = 1;
    return r;
}

int UPOSConnector::Listen() {
    if (initd != 1 || !connected) return -1;
    if (::listen(m_server, 10) != 0) return -1;
    m_client = ::accept4(m_server, nullptr, nullptr, SOCK_CLOEXEC);
    return 0;
}
