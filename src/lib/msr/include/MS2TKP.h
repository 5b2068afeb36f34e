// The two-track reader: track 2 and either track 3 or track 1, each as a block {L, L
// bytes} after two status bytes.
#pragma once

#include "MSP.h"

class MS2TKP : public MSP {
public:
    explicit MS2TKP(const DeviceID& id, const char* name = "MS2TKP");
    ~MS2TKP() override;

    int NewMsgRcvd(const unsigned char* msg, int length) override;
};
