#include "ClientConnection.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include <poll.h>

#include <sys/socket.h>

#include "DaemonLog.h"
#include "RequestDispatcher.h"
#include "RequestFramer.h"

namespace {

// The connections whose process may still be listed with the system object.
std::mutex listedMutex;
std::vector<ClientConnection*>& listed() {
    static auto* v = new std::vector<ClientConnection*>;
    return *v;
}

} // namespace

bool ClientConnection::HungUpConnectionOf(int processId) {
    std::lock_guard<std::mutex> lock(listedMutex);
    for (ClientConnection* c : listed()) {
        if (c->processId_ != processId) continue;
        pollfd p{c->getDescriptor(), POLLRDHUP, 0};
        if (p.fd >= 0 && ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR))) return true;
    }
    return false;
}

void ClientConnection::Unlist() {
    std::lock_guard<std::mutex> lock(listedMutex);
    auto& v = listed();
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
}

ClientConnection::ClientConnection(sockbuf* sb, ProcessHost& host, int processId)
    : ServiceConnection(sb, true),
      processId_(processId),
      framer_(new RequestFramer),
      dispatcher_(new RequestDispatcher(host, this, processId)),
      reply_(new uint8_t[ovkwire::REPLY_BUFFER_SIZE]) {
    // Nothing that writes to this client (the polling thread's events above all) waits on it.
    enableOutboundQueue(OutboundBytes());
    std::lock_guard<std::mutex> lock(listedMutex);
    listed().push_back(this);
}

size_t ClientConnection::OutboundBytes() {
    // OVKCTRL_OUTBOUND_BYTES: a smaller bound for tests.
    static const size_t bytes = [] {
        const char* env = std::getenv("OVKCTRL_OUTBOUND_BYTES");
        const long n = env ? std::atol(env) : 0;
        return n > 0 ? static_cast<size_t>(n) : kOutboundBytes;
    }();
    return bytes;
}

void ClientConnection::outboundOverflow(size_t queuedBytes) {
    daemonLog("process %d: does not read what it is sent (%zu bytes waiting): disconnected, its "
              "devices released", processId_, queuedBytes);
}

ClientConnection::~ClientConnection() {
    Stop();
    Join();
    dispatcher_->End(); // in case the thread never ran
    leaveOutboundFlusher();
    Unlist();
}

int ClientConnection::handleInput(Selector*) {
    ovkwire::Request request;
    for (;;) {
        const int wanted = static_cast<int>(framer_->wanted());
        read(framer_->space(), wanted);
        if (gcount() != wanted) return -1; // end of stream or a receive error
        switch (framer_->Received(request)) {
        case RequestFramer::NeedMore:
            continue;
        case RequestFramer::Invalid:
            daemonLog("process %d: request cannot be decoded (%zu bytes), closing the connection",
                      processId_, framer_->gathered());
            return -1;
        case RequestFramer::Ready:
            break;
        }
        const size_t length = dispatcher_->Dispatch(request, reply_.get());
        framer_->Next();
        if (writeMessage(reply_.get(), static_cast<int>(length)) != 0) {
            if (outboundOverflowed())
                return -1; // logged when the queue passed its bound
            if (writer().bad())
                daemonLog("process %d: the client went away before taking its reply, closing the connection",
                          processId_);
            else
                daemonLog("process %d: reply not taken within the write time-out, closing the connection",
                          processId_);
            return -1;
        }
        return 0;
    }
}

bool ClientConnection::Start() {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, kThreadStackBytes);
    const int rc = pthread_create(&thread_, &attr, &ClientConnection::ThreadMain, this);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        daemonLog("process %d: no thread for the connection: %s", processId_, std::strerror(rc));
        return false;
    }
    started_ = true;
    return true;
}

void* ClientConnection::ThreadMain(void* self) {
    static_cast<ClientConnection*>(self)->Run();
    return nullptr;
}

void ClientConnection::Run() {
    while (handleInput(nullptr) >= 0) {
    }
    // The process first, so that it writes no event on a closed connection.
    dispatcher_->End();
    Unlist();
    {
        std::lock_guard<std::mutex> lock(closeMutex_);
        closed_ = true;
        close();
    }
    finished_ = true;
}

void ClientConnection::Stop() {
    std::lock_guard<std::mutex> lock(closeMutex_);
    if (closed_) return;
    const int sd = getDescriptor();
    if (sd >= 0) ::shutdown(sd, SHUT_RDWR);
}

void ClientConnection::Join() {
    if (started_) pthread_join(thread_, nullptr);
    started_ = false;
}
