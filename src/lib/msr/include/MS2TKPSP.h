// The two-track reader behind the keyboard node (the MSR keyboard's): the two-track
// message layout with its own bits.
#pragma once

#include "MSPSP.h"

class MS2TKPSP : public MSPSP {
public:
    explicit MS2TKPSP(const DeviceID& id, const char* name = "MS2TKPSP");
    ~MS2TKPSP() override;

    int NewMsgRcvd(const unsigned char* msg, int length) override;
};
