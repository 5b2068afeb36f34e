// The query server: which devices have a raw-access server, and on which TCP port.
#include "SdiServer.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <netdb.h>
#include <new>
#include <sstream>
#include <vector>

#include "SdiMessages.h"

namespace {

const char kTag[] = "@(#)sysdiquery.cpp";
const char kService[] = "qorvel_vusk";
constexpr uint16_t kDefaultPort = 42104;
// The list goes out inside "<update>" ... "</update>", the longer of its two frames.
constexpr size_t kListRoom = sdi::kMaxText - (sizeof "<update></update>" - 1);

// The port of a TCP service in a services file ("name port/protocol aliases..."), or 0.
uint16_t portFromFile(const std::string& path, const char* name) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const size_t hash = line.find('#');
        if (hash != std::string::npos) line.resize(hash);
        std::istringstream words(line);
        std::string service, portProto, alias;
        if (!(words >> service >> portProto)) continue;
        const size_t slash = portProto.find('/');
        if (slash == std::string::npos || portProto.substr(slash + 1) != "tcp") continue;
        bool match = service == name;
        while (!match && words >> alias) match = alias == name;
        if (!match) continue;
        char* end = nullptr;
        const unsigned long port = std::strtoul(portProto.c_str(), &end, 10);
        if (end == portProto.c_str() || *end != '/' || port == 0 || port > 65535) continue;
        return static_cast<uint16_t>(port);
    }
    return 0;
}

} // namespace

uint16_t SdiQuery::LookUpQueryPort() {
    uint16_t port = 0;
    if (std::getenv("OVK_ROOT")) {
        port = portFromFile(ovkPath("/etc/services"), kService);
    } else {
        struct servent entry, *found = nullptr;
        char scratch[1024];
        if (getservbyname_r(kService, "tcp", &entry, scratch, sizeof scratch, &found) == 0 && found)
            port = ntohs(static_cast<uint16_t>(found->s_port));
    }
    return port ? port : kDefaultPort;
}

SdiQuery::SdiQuery(const char* name, bool listen)
    : SdiServerBase(name, DeviceID(0, 0, 0)), queryPort_(LookUpQueryPort()),
      nextPort_(static_cast<uint16_t>(queryPort_ + 1)) {
    sockets_.startSockets();
    const uint16_t port = queryPort_;
    clTrace(93, 630, &port, sizeof port, 0);
    BuildList();
    try {
        socket_ = new SvrSocket(10);
    } catch (...) {
        socket_ = nullptr;
    }
    if (!socket_) {
        clErrorLog(2306, 305, 0, kTag, this, sizeof(SdiQuery));
        return;
    }
    if (listen && CreateAcceptThread() != 0) clErrorLog(2306, 305, 0, kTag, this, sizeof(SdiQuery));
}

SdiQuery::~SdiQuery() {
    EndServer();
    sockets_.endSockets();
}

const SdiServerBase::LogIds& SdiQuery::Ids() const {
    static const LogIds ids{2304, 2305, 2307, 2310, 2311, 2312, 2313};
    return ids;
}

const char* SdiQuery::Tag() const { return kTag; }

uint16_t SdiQuery::TakeDevicePort() { return nextPort_++; }

int SdiQuery::StartSocket() {
    if (!socket_) {
        clErrorLog(2308, 305, 0, kTag, this, sizeof(SdiQuery));
        return 321;
    }
    int result;
    try {
        result = socket_->startServer(queryPort_);
    } catch (...) {
        result = 0;
    }
    if (result != -1) {
        clErrorLog(2307, 321, static_cast<uint32_t>(result), kTag, this, sizeof(SdiQuery));
        return 321;
    }
    port_ = queryPort_;
    return 0;
}

void SdiQuery::BuildList() {
    std::string text;
    char entry[160];
    for (int i = 0; i < count_; ++i) {
        std::snprintf(entry, sizeof entry,
                      "<device>%s%d%s%s%d%s%s%d%s%s%d%s</device>", "<slotNumber>", table_[i].slot,
                      "</slotNumber>", "<portNumber>", table_[i].port, "</portNumber>",
                      "<deviceNumber>", table_[i].address, "</deviceNumber>", "<tcpPort>",
                      table_[i].tcpPort, "</tcpPort>");
        text += entry;
    }
    listText_ = text;
}

std::string SdiQuery::DeviceList() {
    if (Lock() != 0) return std::string();
    std::string text = listText_;
    Unlock();
    return text;
}

int SdiQuery::UpdateDeviceList(const DeviceID& id, int port) {
    if (Lock() != 0) return 301;
    int rc = 0;
    if (count_ < kMaxDevices) {
        table_[count_] = Entry{id.slot, id.port, id.device, port};
        ++count_;
        const std::string before = listText_;
        BuildList();
        if (listText_.size() > kListRoom) {
            // The list must fit one frame: the entry is left out.
            --count_;
            listText_ = before;
            rc = 321;
        }
    } else {
        rc = 321;
    }
    if (rc != 0) {
        const unsigned char record[4] = {id.slot, id.port, id.device, 0};
        clErrorLog(2314, 321, static_cast<uint32_t>(port), kTag, this, sizeof(SdiQuery), record,
                   sizeof record);
    }
    const std::string update = "<update>" + listText_ + "</update>";
    for (int r = list_.start(); r == 0; r = list_.fwd())
        if (SdiConnection* c = list_.get()) c->SendResponse(update.c_str(), static_cast<int>(update.size()));
    Unlock();
    return rc;
}

int SdiQuery::SendDeviceList(SdiConnection* connection) {
    if (!connection || Lock() != 0) return 301;
    const std::string text = "<query>" + listText_ + "</query>";
    connection->SendResponse(text.c_str(), static_cast<int>(text.size()));
    Unlock();
    return 0;
}

int SdiQuery::CreateClient(int result) {
    const uint32_t id = static_cast<uint32_t>(result - 1);
    SdiConnection* connection = new (std::nothrow) SdiConnection(id_, id, socket_, SDICONN_OPEN);
    // A connection still listed under a number handed out again is stale (see SdiVirtual).
    const bool locked = connection && Lock() == 0;
    if (locked) UnlistStale(id);
    const bool added = locked && AddConnection(connection) == 0;
    if (locked) Unlock();
    if (!added) {
        clErrorLog(2314, 321, id, kTag, this, sizeof(SdiQuery));
        delete connection;
        if (socket_) socket_->disconnect(static_cast<int>(id));
        return 321;
    }
    return 0;
}

void SdiQuery::CheckForAnyClientDisconnected() {
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
    for (SdiConnection* c : gone) delete c;
}

int SdiQuery::ProcessClientMessage(uint32_t connectionId, const char* text, int n) {
    SdiConnection* connection = nullptr;
    if (!text || n < 0 || FindConnection(connectionId, connection) != 0) return 0;
    const sdi::Parsed message = sdi::ParseQueryServerMessage(text, n);
    sdi::TraceWrite(631, id_, connectionId, message.type, text, n);
    switch (message.type) {
    case sdi::kQuery:
        return SendDeviceList(connection);
    case sdi::kStatus:
        return 0;
    default:
        return 311;
    }
}
