// The one-track reader (track 2): byte 0 holds the status, the rest of the message is
// the track.
#pragma once

#include "MSP.h"

class MS1TKP : public MSP {
public:
    explicit MS1TKP(const DeviceID& id, const char* name = "MS1TKP");
    ~MS1TKP() override;

    int NewMsgRcvd(const unsigned char* msg, int length) override;
};
