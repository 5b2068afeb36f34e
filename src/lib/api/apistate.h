// The library-wide state of the client: the connection and descriptor tables, the one
// request and reply buffer, the request counter and the locks that guard them.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "ovkwire.h"
#include "service.h"

struct ServiceEntry {
    std::string host; // remote host name; empty for the local entry 0
    std::unique_ptr<Service> service;
};

struct DevdesEntry {
    uint8_t servdes = 0;
    uint8_t serverDes = 0; // 0: the entry is free
};

struct ApiState {
    static constexpr int TABLE_SIZE = 256;

    std::mutex apiMutex;     // serialises the API calls and guards both tables
    std::mutex posqMutex;    // serialises PosRead on descriptor 0
    std::mutex buffersMutex; // guards the buffers, the counter and the awaited request
    std::condition_variable replyCond;

    ServiceEntry serviceTable[TABLE_SIZE];
    DevdesEntry devdesTable[TABLE_SIZE];

    uint8_t requestBuffer[ovkwire::MESSAGE_BUFFER_SIZE];
    ovkwire::ReplyHeader reply;
    uint8_t replyData[ovkwire::REPLY_BUFFER_SIZE - ovkwire::REPLY_HEADER_SIZE];
    uint32_t sequenceNumber = 1;

    // The request in progress: the connection it went to, its handle, and whether its reply
    // (or its failure) is in the reply buffer.
    const Service* awaiting = nullptr;
    uint32_t awaitedHandle = 0;
    bool replyReady = false;

    // True when entry 0 or 1 holds a connection (caller holds apiMutex).
    bool initialized() const { return serviceTable[0].service || serviceTable[1].service; }
};

// The process's state (never destroyed: service threads may run until the process ends).
ApiState& apiState();
