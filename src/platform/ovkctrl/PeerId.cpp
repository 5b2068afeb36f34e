#include "PeerId.h"

#include <atomic>
#include <climits>

#include <sys/socket.h>

int MadeUpProcessId() {
    static std::atomic<int> next{kFirstMadeUpProcessId};
    int id = next.load();
    // After about a thousand million connections the ids start over; the clients of the first
    // round are long gone by then.
    while (!next.compare_exchange_weak(id, id == INT_MAX ? kFirstMadeUpProcessId : id + 1)) {
    }
    return id;
}

int ClientProcessId(int sd) {
    int domain = 0;
    socklen_t len = sizeof domain;
    if (::getsockopt(sd, SOL_SOCKET, SO_DOMAIN, &domain, &len) == 0 && domain == AF_UNIX) {
        struct ucred cred {};
        len = sizeof cred;
        if (::getsockopt(sd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.pid > 0)
            return static_cast<int>(cred.pid);
    }
    return MadeUpProcessId();
}
