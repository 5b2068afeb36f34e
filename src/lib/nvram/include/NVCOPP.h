// The small NVRAM on the bus: 1024 bytes, records of at most 64 bytes. A write is one
// command (slot 7) and a read another (slot 8); the client waits for the answer of each.
#pragma once

#include "NVSIOP.h"

class NVCOPP : public NVSIOP {
public:
    enum {
        kSize = 1024,
        kMaxRecord = 64,
        kBase = 0x100, // device address of NVRAM offset 0
        kSlotWrite = 7,
        kSlotRead = 8,
    };

    explicit NVCOPP(const DeviceID& id);
    ~NVCOPP() override;

    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int NewMsgRcvd(const unsigned char* data, int n) override;

protected:
    int Transfer(int request, NvramRequest& rq);

    unsigned char writeCommand_[72] = {};
    unsigned char readCommand_[4] = {};
};
