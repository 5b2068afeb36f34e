// What both raw-access servers share: the connection list and its lock, the accept thread
// and the server thread that reads the clients' frames.
#include "SdiServer.h"

#include <chrono>
#include <vector>

#include "SdiMessages.h"

namespace {
constexpr int kIdleReadMs = 100;
}

SdiServerBase::SdiServerBase(const char* name, const DeviceID& id) : STG(name), id_(id) {
    lock_.Open();
}

SdiServerBase::~SdiServerBase() {
    // The derived server has ended it already (EndServer); this only frees what is left.
    Stop();
    while (list_.start() == 0) delete list_.linkout();
    for (SdiConnection* c : stale_) delete c;
    stale_.clear();
    delete socket_;
    socket_ = nullptr;
    lock_.Close();
}

void SdiServerBase::EndServer() {
    Stop();
    int left = 0;
    while (list_.start() == 0) {
        delete list_.linkout();
        ++left;
    }
    if (left != connections_.load())
        clErrorLog(Ids().mismatch, 321, static_cast<uint32_t>(left), Tag(), this, sizeof(SdiServerBase));
    connections_ = 0;
    for (SdiConnection* c : stale_) delete c;
    stale_.clear();
    delete socket_;
    socket_ = nullptr;
}

void SdiServerBase::Stop() {
    stop_ = 1;
    stopServerThread_ = 1;
    if (socket_) socket_->stopServer();
    // The accept thread first: after it nobody starts a server thread.
    if (acceptThread_.joinable()) acceptThread_.join();
    if (serverThread_.joinable()) serverThread_.join();
    listening_ = false;
}

int SdiServerBase::Lock() {
    const int rc = lock_.Acquire(15);
    if (rc != 0) clErrorLog(Ids().lock, 301, static_cast<uint32_t>(rc), Tag(), this, sizeof(SdiServerBase));
    return rc;
}

int SdiServerBase::Unlock() {
    const int rc = lock_.Release();
    if (rc != 0) clErrorLog(Ids().unlock, 301, static_cast<uint32_t>(rc), Tag(), this, sizeof(SdiServerBase));
    return rc;
}

int SdiServerBase::FindConnection(uint32_t id, SdiConnection*& out) {
    out = nullptr;
    if (Lock() != 0) return 301;
    for (int rc = list_.start(); rc == 0; rc = list_.fwd()) {
        SdiConnection* c = list_.get();
        if (c && c->GetID() == id) {
            out = c;
            break;
        }
    }
    Unlock();
    return out ? 0 : 60;
}

int SdiServerBase::AddConnection(SdiConnection* connection) {
    if (!connection) return 321;
    if (Lock() != 0) return 301;
    list_.end();
    const int rc = list_.linkin(connection);
    if (rc == 0) ++connections_;
    Unlock();
    return rc == 0 ? 0 : 321;
}

void SdiServerBase::UnlistConnection(SdiConnection* connection) {
    for (int rc = list_.start(); rc == 0; rc = list_.fwd()) {
        if (list_.get() != connection) continue;
        list_.linkout();
        if (--connections_ <= 0) {
            connections_ = 0;
            stopServerThread_ = 1; // the last client left: the server thread ends
        }
        return;
    }
}

void SdiServerBase::UnlistStale(uint32_t id) {
    for (int rc = list_.start(); rc == 0; rc = list_.fwd()) {
        SdiConnection* c = list_.get();
        if (!c || c->GetID() != id) continue;
        UnlistConnection(c);
        stale_.push_back(c);
        return;
    }
}

std::vector<SdiConnection*> SdiServerBase::TakeStale() {
    std::vector<SdiConnection*> out;
    out.swap(stale_);
    return out;
}

int SdiServerBase::RemoveConnection(uint32_t id) {
    SdiConnection* connection = nullptr;
    if (Lock() != 0) return 301;
    for (int rc = list_.start(); rc == 0; rc = list_.fwd()) {
        SdiConnection* c = list_.get();
        if (c && c->GetID() == id) {
            connection = c;
            break;
        }
    }
    if (connection) UnlistConnection(connection);
    Unlock();
    delete connection;
    return connection ? 0 : 60;
}

int SdiServerBase::CreateAcceptThread() {
    acceptThreadDone_ = 0;
    // The thread starts its work once its handle is stored: what it logs of this object is
    // no longer being written then.
    const bool locked = Lock() == 0;
    try {
        acceptThread_ = std::thread([this] {
            if (Lock() == 0) Unlock();
            AcceptSocket();
        });
    } catch (...) {
        acceptThreadDone_ = 1;
        if (locked) Unlock();
        return 305;
    }
    if (locked) Unlock();
    return 0;
}

int SdiServerBase::CreateServerThread() {
    // A server thread told to end is awaited before the next one starts.
    if (serverThread_.joinable()) serverThread_.join();
    stopServerThread_ = 0;
    serverThreadDone_ = 0;
    try {
        serverThread_ = std::thread([this] { ServerSocket(); });
    } catch (...) {
        serverThreadDone_ = 1;
        return 305;
    }
    return 0;
}

void SdiServerBase::AcceptSocket() {
    sdi::BlockSignals();
    const int rc = StartSocket();
    if (rc != 0) {
        acceptThreadDone_ = 1;
        return;
    }
    // A stop that came while the socket started must not leave it listening.
    if (stop_) socket_->stopServer();
    listening_ = true;
    OnListening();
    while (!stop_) {
        int state = 0;
        int result;
        try {
            result = socket_->acceptConnections(&state, -1);
        } catch (...) {
            result = -1;
        }
        if (stop_) break;
        if (result > 0) {
            CreateClient(result);
            // The server thread runs while there are clients; one told to end because the
            // last client left is replaced.
            bool needThread = false;
            if (Lock() == 0) {
                needThread = connections_ > 0 && (stopServerThread_ || serverThreadDone_);
                Unlock();
            }
            if (needThread) CreateServerThread();
        } else if (result < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    acceptThreadDone_ = 1;
    stopServerThread_ = 1;
}

void SdiServerBase::ServerSocket() {
    sdi::BlockSignals();
    std::vector<char> text(sdi::kFrameBuffer);
    while (!stop_ && !stopServerThread_) {
        unsigned char head[2];
        int n = 2;
        int client;
        try {
            client = socket_->read(head, &n, kIdleReadMs);
        } catch (...) {
            clErrorLog(Ids().idleRead, 301, 0, Tag(), this, sizeof(SdiServerBase));
            client = -1;
        }
        if (client < 1) {
            CheckForAnyClientDisconnected();
            if (client != -24) CheckForNonAcknowledgedMessage();
            continue;
        }
        if (n < 2) {
            // Half a length: the client's stream is out of step.
            clErrorLog(Ids().badFrame, 321, static_cast<uint32_t>(n), Tag(), this, sizeof(SdiServerBase));
            socket_->disconnect(client);
            CheckForAnyClientDisconnected();
            continue;
        }
        const int length = static_cast<int>(sdi::be16(head));
        if (length > sdi::kMaxText) {
            clErrorLog(Ids().badFrame, 321, static_cast<uint32_t>(length), Tag(), this,
                       sizeof(SdiServerBase));
            socket_->disconnect(client);
            CheckForAnyClientDisconnected();
            continue;
        }
        int want = length + 1;
        int result;
        try {
            result = socket_->read(client, text.data(), &want, 0);
        } catch (...) {
            clErrorLog(Ids().frameRead, 301, 0, Tag(), this, sizeof(SdiServerBase));
            result = 0;
        }
        if (result != -1) {
            clErrorLog(Ids().badFrame, 321, static_cast<uint32_t>(want), Tag(), this,
                       sizeof(SdiServerBase));
            socket_->disconnect(client);
            CheckForAnyClientDisconnected();
            continue;
        }
        ProcessClientMessage(static_cast<uint32_t>(client), text.data(), length);
    }
    serverThreadDone_ = 1;
}
