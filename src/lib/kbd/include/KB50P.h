// The POS keyboard with 50 keys and its own message format: key lock and flags in byte 0,
// status in byte 1, codes translated to the extended keyboards' code set.
#pragma once

#include "KBP.h"

class KB50P : public KBP {
public:
    explicit KB50P(const DeviceID& id, const char* name = "KB50P");
    ~KB50P() override;

    // Request 1 checks the numpad style and rebuilds the double keys; 10 and 11 answer 0.
    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int NewMsgRcvd(const unsigned char* data, int n) override;
    // The keyboard does not answer a continuous tone: its acknowledgement ends the wait.
    int LastMsgAcked() override;
    // 0 or 1, else 4709.
    int ValidateNumpadStyle(int style) override;

private:
    void Post(uint32_t msg, uint32_t p1, uint32_t p2);

    int32_t previousCode_ = -1;
};

extern const unsigned char dk50Lookup[50];
