// Types shared by the core, the plug-ins and the client side.
#pragma once

#include <cstdint>

// A device on a slot: slot number, port number (0x11, 0x22 RS-485 ports, 0x00 system board)
// and bus address. 255.255.255 means no device.
struct DeviceID {
    uint8_t slot = 0xFF;
    uint8_t port = 0xFF;
    uint8_t device = 0xFF;

    DeviceID() = default;
    DeviceID(uint8_t s, uint8_t p, uint8_t d) : slot(s), port(p), device(d) {}
    bool operator==(const DeviceID& o) const {
        return slot == o.slot && port == o.port && device == o.device;
    }
    bool operator!=(const DeviceID& o) const { return !(*this == o); }
};

// A name/value argument: the value holds an integer or, in process, a pointer.
// The client library's public header defines the same record under the same guard.
#ifndef OVK_POSARG_DEFINED
#define OVK_POSARG_DEFINED
struct PosArg {
    const char* name;
    intptr_t value;
};
#endif

// One event record of a process queue.
#ifndef OVK_POSQMSG_DEFINED
#define OVK_POSQMSG_DEFINED
struct _POSQMSG {
    uint32_t pid;
    uint32_t msg;
    uint32_t p1;
    uint32_t p2;
};
#endif

// How the core names a client's event destination: kind 1 is the process's own event queue
// (the only kind accepted; 0, an operating-system queue, is refused with 308).
struct MsgQueueInfo {
    int32_t kind;
    int32_t clientId;
    intptr_t queue;
};
