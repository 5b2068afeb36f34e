// The device server of one raw-access proxy: the clients' requests, and the device's events
// for every open connection.
#include "SdiServer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <new>
#include <vector>

#include "SDIDEVICE.h"
#include "SIODEVICE.h"
#include "SdiMessages.h"
#include "Slot.h"

namespace {

const char kTag[] = "@(#)sysdivirt.cpp";
constexpr int kPortTries = 10;

// A body as a terminated text of at most `size` - 1 characters, for sscanf.
void bodyText(const char* body, int n, char* out, size_t size) {
    const size_t len = n > 0 ? std::min(static_cast<size_t>(n), size - 1) : 0;
    if (len) std::memcpy(out, body, len);
    out[len] = '\0';
}

bool eventLetter(int letter) {
    return letter != 0 && std::strchr("ABCGLNPQRS", letter) != nullptr;
}

} // namespace

SdiVirtual::SdiVirtual(const DeviceID& id, SDIDEVICE* proxy, unsigned char deviceType,
                       const char* name, SdiQuery* query, bool listen)
    : SdiServerBase("SdiVirt", id), proxy_(proxy), query_(query), name_(name ? name : ""),
      deviceType_(id.device == 0x54 || id.device == 0x83 ? 6 : deviceType) {
    try {
        socket_ = new SvrSocket(10);
    } catch (...) {
        socket_ = nullptr;
    }
    if (!socket_) {
        clErrorLog(2108, 305, 0, kTag, this, sizeof(SdiVirtual));
        return;
    }
    if (listen && CreateAcceptThread() != 0) clErrorLog(2108, 305, 0, kTag, this, sizeof(SdiVirtual));
}

SdiVirtual::~SdiVirtual() {
    EndServer();
    // The proxy is closed once for the connections that had it open.
    proxy_ = nullptr;
}

const SdiServerBase::LogIds& SdiVirtual::Ids() const {
    static const LogIds ids{2106, 2107, 2109, 2113, 2114, 2114, 2112};
    return ids;
}

const char* SdiVirtual::Tag() const { return kTag; }

int SdiVirtual::StartSocket() {
    if (!socket_) {
        clErrorLog(2110, 305, 0, kTag, this, sizeof(SdiVirtual));
        return 321;
    }
    int rc = 301;
    for (int i = 0; query_ && i < kPortTries; ++i) {
        const uint16_t port = query_->TakeDevicePort();
        int result;
        try {
            result = socket_->startServer(port);
        } catch (...) {
            result = 0;
        }
        if (result == -1) {
            port_ = port;
            return 0;
        }
    }
    clErrorLog(2109, 321, static_cast<uint32_t>(rc), kTag, this, sizeof(SdiVirtual));
    return rc;
}

void SdiVirtual::OnListening() {
    if (query_) query_->UpdateDeviceList(id_, port_);
    const unsigned char record[6] = {id_.slot, id_.port, id_.device, 0,
                                     static_cast<unsigned char>(port_ >> 8),
                                     static_cast<unsigned char>(port_ & 0xFF)};
    clTrace(93, 650, record, sizeof record, 0);
}

// ---------------------------------------------------------------------------------------
// The proxy, under the slot's lock and the device's.

namespace {

// Holds the proxy's slot lock, then its device's lock. The slot is read again once its lock
// is held, and the device only then: a device that goes away clears both under that lock,
// so what was read before it may be stale.
class ProxyLocks {
public:
    explicit ProxyLocks(const SDIDEVICE& proxy) {
        for (;;) {
            slot_ = proxy.GetSlot();
            held_ = slot_ && slot_->LockSlot() == 0;
            if (proxy.GetSlot() == slot_) break;
            if (held_) slot_->UnlockSlot();
        }
        device_ = proxy.GetDevice();
        if (device_) device_->Lock();
    }
    ~ProxyLocks() {
        if (device_) device_->Unlock();
        if (held_) slot_->UnlockSlot();
    }
    ProxyLocks(const ProxyLocks&) = delete;
    ProxyLocks& operator=(const ProxyLocks&) = delete;

private:
    Slot* slot_ = nullptr;
    bool held_ = false;
    SIODEVICE* device_ = nullptr;
};

} // namespace

int SdiVirtual::ProxyOpen(char mode) {
    if (!proxy_) return -2;
    ProxyLocks held(*proxy_);
    return proxy_->Open(static_cast<unsigned char>(mode));
}

int SdiVirtual::ProxyClose(char mode) {
    if (!proxy_) return -2;
    ProxyLocks held(*proxy_);
    return proxy_->Close(static_cast<unsigned char>(mode));
}

int SdiVirtual::ProxyWrite(int letter, SDICMD* command) {
    if (!proxy_) return -2;
    ProxyLocks held(*proxy_);
    return proxy_->Write(letter, reinterpret_cast<unsigned char*>(command), 1760);
}

// ---------------------------------------------------------------------------------------

int SdiVirtual::SendRs485Message(int letter, uint32_t messageId, uint32_t connectionId,
                                 const unsigned char* data, int n, bool online, bool lost) {
    online_ = online;
    if (!eventLetter(letter)) {
        clErrorLog(2111, 321, static_cast<uint32_t>(letter), kTag, this, sizeof(SdiVirtual), data,
                   static_cast<uint16_t>(data && n > 0 ? std::min(n, 0xFFFF) : 0));
        return 321;
    }
    const uint32_t serverId = ++counter_;
    if (Lock() != 0) return 301;
    for (int rc = list_.start(); rc == 0; rc = list_.fwd()) {
        SdiConnection* c = list_.get();
        if (!c) continue;
        SDIMSG* message = new (std::nothrow) SDIMSG(static_cast<char>(letter), messageId, serverId,
                                                    connectionId, data, n, lost);
        if (message) c->SendRs485Message(message);
    }
    Unlock();
    return 0;
}

void SdiVirtual::SendToMonitor(const char* text, int n) {
    if (monitors_ <= 0 || Lock() != 0) return;
    for (int rc = list_.start(); rc == 0; rc = list_.fwd()) {
        SdiConnection* c = list_.get();
        if (c && c->IsMonitor()) c->SendResponse(text, n);
    }
    Unlock();
}

void SdiVirtual::Answer(SdiConnection* connection, const char* text) {
    const int n = static_cast<int>(std::strlen(text));
    connection->SendResponse(text, n);
    SendToMonitor(text, n);
}

int SdiVirtual::ProcessJsioMessage(SDICMD* command) {
    if (!command) return 321;
    const unsigned char record[8] = {id_.slot, id_.port, id_.device, 0, command->GetCommand(),
                                     0, static_cast<unsigned char>(command->GetLength() >> 8),
                                     static_cast<unsigned char>(command->GetLength() & 0xFF)};
    clTrace(93, 612, record, sizeof record, 0);
    switch (command->GetCommand()) {
    case 'D':
    case 'R':
    case 'W':
        return ProxyWrite(command->GetCommand(), command);
    default:
        return 311;
    }
}

int SdiVirtual::CreateClient(int result) {
    const uint32_t id = static_cast<uint32_t>(result - 1);
    SdiConnection* connection = new (std::nothrow) SdiConnection(id_, id, socket_);
    // Connections are ended under the server's lock. Held from the adding to the end of the
    // version request, it keeps a client that leaves at once from being ended (and deleted)
    // while this thread still writes to it. The client's answer cannot come before the
    // request, so nothing of it is missed meanwhile.
    const bool locked = connection && Lock() == 0;
    // The socket hands a number out again only once its client has gone: a connection
    // still listed under it is stale, and left listed it would watch the new client's
    // socket as its own and keep the new client from being served.
    if (locked) UnlistStale(id);
    if (!locked || AddConnection(connection) != 0) {
        if (locked) Unlock();
        clErrorLog(2103, 321, id, kTag, this, sizeof(SdiVirtual));
        delete connection;
        if (socket_) socket_->disconnect(static_cast<int>(id));
        return 321;
    }
    std::function<void(SdiConnection*)> afterAdd;
    {
        std::lock_guard<std::mutex> g(testHookMutex_);
        afterAdd = afterAddForTest_;
    }
    if (afterAdd) afterAdd(connection);
    char text[256];
    std::snprintf(text, sizeof text, "<version>%s(%s) %d.%d.%d.%d</version>",
                  sdi::ClassName(deviceType_), name_.c_str(), 0, 0, 1, 0);
    connection->SendVersionRequest(text, 0);
    SendToMonitor(text, static_cast<int>(std::strlen(text)));
    Unlock();
    return 0;
}

void SdiVirtual::setAfterAddForTest(std::function<void(SdiConnection*)> hook) {
    std::lock_guard<std::mutex> g(testHookMutex_);
    afterAddForTest_ = std::move(hook);
}

void SdiVirtual::EndConnection(SdiConnection* connection) {
    if (connection->IsMonitor()) --monitors_;
    if (connection->ProxyOpened()) {
        connection->SetProxyOpened(false);
        ProxyClose(connection->IsMonitor() ? 'M' : 'N');
    }
    delete connection;
}

void SdiVirtual::CheckForAnyClientDisconnected() {
    std::vector<SdiConnection*> gone;
    if (Lock() != 0) return;
    for (;;) {
        SdiConnection* dead = nullptr;
        for (int rc = list_.start(); rc == 0; rc = list_.fwd()) {
            SdiConnection* c = list_.get();
            if (c && !c->isAlive()) {
                dead = c;
                break;
            }
        }
        if (!dead) break;
        UnlistConnection(dead);
        gone.push_back(dead);
    }
    for (SdiConnection* c : TakeStale()) gone.push_back(c);
    Unlock();
    // The proxy is closed outside the server's lock (the slot's lock comes first).
    for (SdiConnection* c : gone) EndConnection(c);
}

void SdiVirtual::CheckForNonAcknowledgedMessage() {
    if (Lock() != 0) return;
    for (int rc = list_.start(); rc == 0; rc = list_.fwd())
        if (SdiConnection* c = list_.get()) c->CheckForNonAcknowledgedMessage();
    Unlock();
}

int SdiVirtual::ProcessClientMessage(uint32_t connectionId, const char* text, int n) {
    if (!text || n < 0) return 321;
    sdi::TraceWrite(301, id_, connectionId, 0, text, n);
    SdiConnection* connection = nullptr;
    FindConnection(connectionId, connection);
    // An empty message has nothing to echo, and a length of 0 would make the writer read
    // the client's bytes as a terminated string.
    if (n > 0) SendToMonitor(text, n);
    if (!connection) return 0;

    const sdi::Parsed message = sdi::ParseDeviceServerMessage(text, n);
    sdi::TraceWrite(651, id_, connectionId, message.type, text, n);
    char answer[128];
    char body[512];
    switch (message.type) {
    case sdi::kRs485: {
        if (message.malformed || message.length < sdi::kCommandHeader) {
            Answer(connection, "<ack>FAIL 0000</ack>");
            return 321;
        }
        SDICMD* command = new (std::nothrow)
            SDICMD(connectionId, message.length, reinterpret_cast<const unsigned char*>(message.body));
        if (!command) return 305;
        const uint32_t messageId = command->GetMessageID();
        const bool carriesData = command->GetLength() > 0;
        const unsigned char letter = command->GetCommand();
        int rc;
        if (command->GetFlags() & SDICMD_TOO_LONG)
            rc = 321;
        else
            rc = ProcessJsioMessage(command);
        const bool queued = rc == 0 && carriesData && (letter == 'D' || letter == 'R' || letter == 'W');
        if (!queued) delete command;
        std::snprintf(answer, sizeof answer, "<ack>%s %04d</ack>", rc == 0 ? "OK" : "FAIL",
                      static_cast<int>(messageId));
        Answer(connection, answer);
        return rc;
    }
    case sdi::kAck: {
        char status[10] = {};
        int serverId = 0;
        bodyText(message.body, message.length, body, sizeof body);
        if (std::sscanf(body, "%9s %d", status, &serverId) >= 1)
            connection->AckReceived(status, static_cast<uint32_t>(serverId));
        return 0;
    }
    case sdi::kVersion: {
        char name[100] = {};
        int v[5] = {-1, -1, -1, -1, -1};
        bodyText(message.body, message.length, body, sizeof body);
        std::sscanf(body, "%99s %d.%d.%d %d %d", name, &v[0], &v[1], &v[2], &v[3], &v[4]);
        connection->ClientVersion(name, v[0], v[1], v[2], v[3], v[4]);
        return 0;
    }
    case sdi::kStatus:
        std::snprintf(answer, sizeof answer, "<status>%s %d.%d.%d %s %d</status>",
                      online_ ? "ONLINE" : "OFFLINE", id_.slot, id_.port, id_.device, "raw",
                      ConnectionCount());
        Answer(connection, answer);
        return 0;
    case sdi::kTrace: {
        int a = 0, b = 0;
        unsigned c = 0;
        char trace[256] = {};
        bodyText(message.body, message.length, body, sizeof body);
        std::sscanf(body, "%d %d %x %255s", &a, &b, &c, trace);
        return 0;
    }
    case sdi::kOpen: {
        char mode = 0;
        unsigned options = 0;
        bodyText(message.body, message.length, body, sizeof body);
        std::sscanf(body, "%c %x", &mode, &options);
        const uint32_t id = connection->ClientOpen(mode, options);
        if (id != 0 && connection->IsMonitor()) ++monitors_;
        if (id != 0) {
            const int rc = ProxyOpen(mode);
            // Open raised the proxy's open count unless it had no queue or device.
            connection->SetProxyOpened(rc == 0 || rc == -3);
            if (rc == 0) online_ = true;
        }
        std::snprintf(answer, sizeof answer, "<open>%s %04d</open>", id ? "OK" : "FAIL",
                      static_cast<int>(id));
        const int n2 = static_cast<int>(std::strlen(answer));
        connection->SendOpenMessage(answer, n2);
        SendToMonitor(answer, n2);
        return 0;
    }
    case sdi::kClose: {
        int number = 0;
        bodyText(message.body, message.length, body, sizeof body);
        std::sscanf(body, "%d", &number);
        std::snprintf(answer, sizeof answer, "<close>%s %d</close>", "OK", number);
        const int n2 = static_cast<int>(std::strlen(answer));
        connection->SendCloseMessage(answer, n2);
        SendToMonitor(answer, n2);
        connection->ClientClose(static_cast<uint32_t>(number));
        // Whatever number it gave, the sending connection ends, and only it.
        if (Lock() == 0) {
            UnlistConnection(connection);
            Unlock();
        }
        if (socket_) socket_->disconnect(static_cast<int>(connectionId));
        EndConnection(connection);
        return 0;
    }
    default:
        return 311;
    }
}
