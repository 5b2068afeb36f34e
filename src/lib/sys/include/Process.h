// The server side of one client connection.
//
// This is the part of the process class that the system object needs: the process id by
// which it is listed, its event destination, and the released-device notice. The request
// road completes the class.
#pragma once

#include <cstdint>

#include "STG.h"
#include "ovktypes.h"

class Process : public STG {
public:
    Process(int processId, unsigned short handleLimit, const unsigned char* name)
        : STG(name), processId_(processId), handleLimit_(handleLimit) {}
    Process(int processId, unsigned short handleLimit, const char* name)
        : STG(name), processId_(processId), handleLimit_(handleLimit) {}
    ~Process() override = default;

    // Tells every virtual device of the process that the physical device id was released.
    virtual int PdevReleased(const DeviceID& /*id*/, unsigned char /*address*/) { return 0; }

    int GetProcessId() const { return processId_; }
    int GetClientId() const { return clientId_; }
    unsigned short GetHandleLimit() const { return handleLimit_; }
    // Where the process's events go (kind 1: its own event queue).
    const MsgQueueInfo& GetEventDestination() const { return destination_; }

protected:
    int32_t processId_;
    int32_t clientId_ = 0;
    MsgQueueInfo destination_{1, 0, 0};
    unsigned short handleLimit_;
};
