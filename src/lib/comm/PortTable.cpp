#include "PortTable.h"

#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <mutex>

namespace ports {
namespace {

struct Table {
    std::mutex mutex;
    Port ports[kMaxPorts];
    int used = 0;
    int nextSerial = 1;
    int nextParallel = 1;
};

Table& table() {
    static Table* t = new Table;
    return *t;
}

const Port* find(const Table& t, const std::string& name) {
    for (int i = 0; i < t.used; ++i)
        if (name == t.ports[i].name) return &t.ports[i];
    return nullptr;
}

bool known(const Table& t, const std::string& node) {
    for (int i = 0; i < t.used; ++i)
        if (node == t.ports[i].node) return true;
    return false;
}

} // namespace

int discover(const std::string& prefix, int type, const Found& found) {
    if (prefix.size() > kMaxPrefix) {
        std::fprintf(stderr,
                     "The maximum string length for devices listed in javax.comm.properties is "
                     "%d\n", static_cast<int>(kMaxPrefix));
        return 0;
    }
    Table& t = table();
    int added = 0;
    for (int n = 0; n < kMaxPorts; ++n) {
        std::string node = prefix + std::to_string(n);
        struct stat st;
        Port port{};
        {
            std::lock_guard<std::mutex> lock(t.mutex);
            if (::stat(node.c_str(), &st) != 0 || known(t, node)) continue;
            if (t.used == kMaxPorts) {
                std::fprintf(stderr, "Maximum number of ports supported is %d\n", kMaxPorts);
                break;
            }
            if (type == kSerial)
                std::snprintf(port.name, sizeof port.name, "COM%d", t.nextSerial++);
            else if (type == kParallel)
                std::snprintf(port.name, sizeof port.name, "LPT%d", t.nextParallel++);
            else
                continue;
            port.type = type;
            std::snprintf(port.node, sizeof port.node, "%s", node.c_str());
            port.semKey = kFirstSemKey + t.used;
            port.shmKey = kFirstShmKey + t.used;
            t.ports[t.used++] = port;
        }
        int semId = ::semget(port.semKey, 1, IPC_CREAT | 0666);
        ++added;
        if (found) found(port.name, type, node, semId);
    }
    return added;
}

int32_t semKey(const std::string& name) {
    std::lock_guard<std::mutex> lock(table().mutex);
    const Port* p = find(table(), name);
    return p ? p->semKey : -1;
}

int32_t shmKey(const std::string& name) {
    std::lock_guard<std::mutex> lock(table().mutex);
    const Port* p = find(table(), name);
    return p ? p->shmKey : -1;
}

int count() {
    std::lock_guard<std::mutex> lock(table().mutex);
    return table().used;
}

void clear() {
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.used = 0;
    t.nextSerial = 1;
    t.nextParallel = 1;
}

} // namespace ports
