#include "UPOSEventConnector.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "SimpleStringBuffer.h"
#include "UPOSConnector.h"

int UPOSEventConnector::initd = 0;

UPOSEventConnector::UPOSEventConnector() { std::memset(inBuff, 0, sizeof inBuff); }

UPOSEventConnector::~UPOSEventConnector() {
    if (m_socket >= 0) Stop();
}

int UPOSEventConnector::Start(unsigned short port) {
    if (initd && m_socket >= 0) return 0;
    m_socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_socket < 0) return -1;
    std::memset(&serverAddr, 0, sizeof serverAddr);
    serverAddr.sin_family = AF_INET;
    serverAddr.sin_port = htons(port);
    serverAddr.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(m_socket, reinterpret_cast<sockaddr*>(&serverAddr), sizeof serverAddr) != 0) {
        ::close(m_socket);
        m_socket = -1;
        return -1;
    }
    initd = 1;
    return 0;
}

int UPOSEventConnector::Receive(SimpleStringBuffer* out) {
    if (!initd || m_socket < 0 || !out) return -1;
    const int before = out->length();
    bool inside = false;
    int pos = buffOfs;
    for (;;) {
        if (pos >= readedB) {
            if (inside) out->append(inBuff + buffOfs, pos - buffOfs);
            pos = buffOfs = readedB = 0;
            if (!bridgeWaitFor(m_socket, POLLIN, UPOSConnector::Timeout())) return -1;
            ssize_t n;
            do {
                n = ::recv(m_socket, inBuff, sizeof inBuff, 0);
            } while (n < 0 && errno == EINTR);
            if (n < 0) return -1;
            readedB = static_cast<int>(n);
            continue;
        }
        const char c = inBuff[pos];
        if (!inside) {
            if (c == UPOSConnector::kStart) inside = true;
            buffOfs = ++pos;
            continue;
        }
        if (c == UPOSConnector::kEnd) {
            out->append(inBuff + buffOfs, pos - buffOfs);
            buffOfs = pos + 1;
            return out->length() - before;
        }
        ++pos;
    }
}

int UPOSEventConnector::Stop() {
    const int r = m_socket >= 0 ? ::close(m_socket) : -1;
    if (r == 0) {
        initd = 0;
        m_socket = -1;
    }
    return r;
}
