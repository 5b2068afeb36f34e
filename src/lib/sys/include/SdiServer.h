// Raw access over TCP: the device server of one raw-access proxy (SdiVirtual), the query
// server that lists the device servers (SdiQuery), and their client connections
// (SdiConnection). Each server has an accept thread and, while it has clients, a server
// thread that runs every client request. Locks, in this order: the slot's (around the
// proxy's Open, Close and Write), the server's (its connection list), a connection's (its
// list of events awaiting acknowledgement).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "GDList.h"
#include "STG.h"
#include "ovkhost.h"
#include "ovktypes.h"

class SDICMD;
class SDIDEVICE;
class SDIMSG;
class SdiQuery;

using GDList_SDIMSG = GDList<SDIMSG>;

// Connection states.
enum : int { SDICONN_NEW = 0, SDICONN_VERSION_SENT = 1, SDICONN_VERSION_RECEIVED = 2, SDICONN_OPEN = 3 };

class SdiConnection {
public:
    SdiConnection(const DeviceID& id, uint32_t connectionId, SvrSocket* socket, int state = SDICONN_NEW);
    virtual ~SdiConnection();
    SdiConnection(const SdiConnection&) = delete;
    SdiConnection& operator=(const SdiConnection&) = delete;

    int SendVersionRequest(const char* text, int n);
    int ClientVersion(const char* name, int a, int b, int c, int d, int e);
    // In state 2: "M" makes a monitor; the connection id. Else 0.
    uint32_t ClientOpen(char mode, unsigned options);
    int SendOpenMessage(const char* text, int n);
    // Writes only on an open connection (else -1).
    int SendResponse(const char* text, int n);
    int SendCloseMessage(const char* text, int n);
    // Only for its own id: back to state 0 and disconnected.
    int ClientClose(uint32_t id);
    // Takes the event: written on an open connection and kept until acknowledged (a
    // monitor keeps nothing); 0 when written, 321 when the write failed.
    int SendRs485Message(SDIMSG* message);
    int AckReceived(const char* status, uint32_t serverId);
    int ResendMessage(uint32_t serverId);
    int RemoveMessage(uint32_t serverId);
    int FindMessage(uint32_t serverId, SDIMSG*& out);
    // Resends events overdue for the first time, drops those overdue again.
    int CheckForNonAcknowledgedMessage();
    bool isAlive();
    // Frames the text (n 0: its length) and writes it: the bytes of text written.
    int Write(const char* text, int n);
    int Lock();
    int Unlock();

    uint32_t GetID() const { return id_; }
    int GetState() const { return state_; }
    bool IsMonitor() const { return monitor_ != 0; }
    int SentCount();
    const std::string& ClientName() const { return clientName_; }
    // Whether this connection's open reached the proxy (it then closes it once).
    bool ProxyOpened() const { return proxyOpened_; }
    void SetProxyOpened(bool opened) { proxyOpened_ = opened; }

    // Writes on a connection never wait longer than this for the client to take the bytes;
    // a client that does not is disconnected.
    static constexpr int kWriteTimeoutMs = 250;

private:
    int WriteEvent(SDIMSG* message, uint32_t minorBase);

    DeviceID deviceId_;
    uint32_t id_;
    SvrSocket* socket_;
    std::atomic<int> state_;
    std::atomic<int> monitor_{0};
    std::string clientName_;
    int32_t version_[5] = {-1, -1, -1, -1, -1};
    unsigned openOptions_ = 0;
    bool proxyOpened_ = false;
    GDList_SDIMSG sent_;
    mutexSem lock_;
};

using GDList_SdiConnection = GDList<SdiConnection>;

// What both servers share: the socket service, the connection list, the threads.
class SdiServerBase : public STG {
public:
    SdiServerBase(const char* name, const DeviceID& id);
    ~SdiServerBase() override;

    // Closes the listener and every client and ends both threads (waits for them).
    void Stop();
    int Lock();
    int Unlock();
    int FindConnection(uint32_t id, SdiConnection*& out);
    int AddConnection(SdiConnection* connection);
    int RemoveConnection(uint32_t id);
    int ConnectionCount() const { return connections_.load(); }
    uint16_t GetPort() const { return port_; }
    bool Listening() const { return listening_.load(); }
    const DeviceID& GetDeviceID() const { return id_; }
    // The thread that serves clients is running.
    bool ServerThreadRunning() const { return serverThreadDone_.load() == 0; }

    // One client message (the text of a frame).
    virtual int ProcessClientMessage(uint32_t connectionId, const char* text, int n) = 0;
    // A new client from the accept result.
    virtual int CreateClient(int result) = 0;

protected:
    int CreateAcceptThread();
    int CreateServerThread();
    void AcceptSocket();
    void ServerSocket();
    // Device server: takes its port; query server: listens on its own. 0 when listening.
    virtual int StartSocket() = 0;
    // Stops the server, deletes its connections (a count that does not match the list is
    // logged) and its socket service. Each derived destructor calls it first.
    void EndServer();
    // Called once the server listens.
    virtual void OnListening() {}
    // Removes the connections that have gone and closes what they held.
    virtual void CheckForAnyClientDisconnected() = 0;
    virtual void CheckForNonAcknowledgedMessage() {}
    // Log ids: lock, unlock, accept failed, idle read failed, frame read failed.
    struct LogIds {
        uint32_t lock, unlock, start, idleRead, frameRead, badFrame, mismatch;
    };
    virtual const LogIds& Ids() const = 0;
    virtual const char* Tag() const = 0;
    // Removes `connection` from the list (server lock held) and counts it out: the server
    // thread ends when the last one leaves.
    void UnlistConnection(SdiConnection* connection);
    // A client number that the socket hands out again while its old connection is listed:
    // that connection is stale (its client has gone). It is unlisted here (server lock
    // held) and ended by the server thread at its next check, so that no thread still
    // using it sees it deleted. The new client then gets a connection of its own.
    void UnlistStale(uint32_t id);
    // The stale connections unlisted so far (server lock held); the caller ends them.
    std::vector<SdiConnection*> TakeStale();

    DeviceID id_;
    SvrSocket* socket_ = nullptr;
    GDList_SdiConnection list_;
    mutexSem lock_;
    uint16_t port_ = 0;
    std::atomic<int> connections_{0};
    std::atomic<int> stop_{0};
    std::atomic<int> stopServerThread_{0};
    std::atomic<int> serverThreadDone_{1};
    std::atomic<int> acceptThreadDone_{1};
    std::atomic<bool> listening_{false};
    std::thread acceptThread_;
    std::thread serverThread_;
    std::vector<SdiConnection*> stale_;
};

// The device server of one raw-access proxy.
class SdiVirtual : public SdiServerBase {
public:
    // Listens at once on the next free device port of the query server, unless `listen`
    // is false (the server then only handles messages given to it).
    SdiVirtual(const DeviceID& id, SDIDEVICE* proxy, unsigned char deviceType, const char* name,
               SdiQuery* query, bool listen = true);
    ~SdiVirtual() override;

    // One event for every connection.
    int SendRs485Message(int letter, uint32_t messageId, uint32_t connectionId,
                         const unsigned char* data, int n, bool online, bool lost);
    int ProcessClientMessage(uint32_t connectionId, const char* text, int n) override;
    int ProcessJsioMessage(SDICMD* command);
    void SendToMonitor(const char* text, int n);
    int CreateClient(int result) override;
    void CheckForAnyClientDisconnected() override;
    void CheckForNonAcknowledgedMessage() override;

    int MonitorCount() const { return monitors_.load(); }
    bool Online() const { return online_.load(); }
    uint32_t ServerMessageCount() const { return counter_.load(); }
    unsigned char VersionDeviceType() const { return deviceType_; }
    // Runs on the accept thread between adding a new connection and writing its version
    // request, for tests of that window (empty: nothing).
    void setAfterAddForTest(std::function<void(SdiConnection*)> hook);

protected:
    int StartSocket() override;
    void OnListening() override;
    const LogIds& Ids() const override;
    const char* Tag() const override;

private:
    // Closes the proxy once for a connection whose open reached it, then deletes it.
    void EndConnection(SdiConnection* connection);
    int ProxyOpen(char mode);
    int ProxyClose(char mode);
    int ProxyWrite(int letter, SDICMD* command);
    void Answer(SdiConnection* connection, const char* text);

    SDIDEVICE* proxy_;
    SdiQuery* query_;
    std::string name_;
    unsigned char deviceType_;
    std::atomic<int> monitors_{0};
    std::atomic<uint32_t> counter_{0};
    std::atomic<bool> online_{false};
    std::mutex testHookMutex_;
    std::function<void(SdiConnection*)> afterAddForTest_;
};

// The query server: lists the device servers and their ports.
class SdiQuery : public SdiServerBase {
public:
    explicit SdiQuery(const char* name, bool listen = true);
    ~SdiQuery() override;

    // Adds a device whose server listens on `port` and pushes the new list to every client.
    int UpdateDeviceList(const DeviceID& id, int port);
    int SendDeviceList(SdiConnection* connection);
    int ProcessClientMessage(uint32_t connectionId, const char* text, int n) override;
    int CreateClient(int result) override;
    void CheckForAnyClientDisconnected() override;

    // The next device port (advanced by each call).
    uint16_t TakeDevicePort();
    uint16_t GetQueryPort() const { return queryPort_; }
    int DeviceCount() const { return count_; }
    std::string DeviceList();

    // The port of the query service: "qorvel_vusk"/tcp from the services database (the
    // one under OVK_ROOT when that is set), else 42104.
    static uint16_t LookUpQueryPort();
    static constexpr int kMaxDevices = 256;

protected:
    int StartSocket() override;
    const LogIds& Ids() const override;
    const char* Tag() const override;

private:
    void BuildList();

    struct Entry {
        uint8_t slot, port, address;
        int32_t tcpPort;
    };
    SocketManager sockets_;
    uint16_t queryPort_;
    std::atomic<uint16_t> nextPort_;
    Entry table_[kMaxDevices] = {};
    int count_ = 0;
    std::string listText_;
};

namespace sdi {
// Trace record of a write: device id (three bytes and a zero byte), connection id, write
// result, length and the bytes.
void TraceWrite(uint32_t minor, const DeviceID& id, uint32_t connectionId, int result,
                const char* text, int n);
// Blocks SIGUSR1, SIGALRM and SIGUSR2 for the calling thread.
void BlockSignals();
} // namespace sdi
