// The process-wide table of ports found by discovery: logical name ("COM%d", "LPT%d"), type,
// device node, and the System V keys of the port's semaphore and shared segment, handed out
// in discovery order.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace ports {

constexpr int kMaxPorts = 99;
constexpr size_t kMaxPrefix = 15;
constexpr int kSerial = 1;
constexpr int kParallel = 2;
constexpr int32_t kFirstSemKey = 0x11223344;
constexpr int32_t kFirstShmKey = 0x4F554B30;

struct Port {
    char name[8];
    int32_t type;
    char node[20];
    int32_t semKey;
    int32_t shmKey;
};

// Called for each new port: logical name, type, node, semaphore id.
using Found = std::function<void(const std::string&, int, const std::string&, int)>;

// Probes prefix + 0 .. prefix + 98 and adds the nodes that exist and are new. Messages go to
// standard error. Returns the number of ports added.
int discover(const std::string& prefix, int type, const Found& found);

// The keys of a port by logical name, -1 when it is not in the table.
int32_t semKey(const std::string& name);
int32_t shmKey(const std::string& name);
int count();
// Empties the table and restarts the keys and numbers (tests).
void clear();

} // namespace ports
