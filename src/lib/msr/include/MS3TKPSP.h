// The three-track (or JIS) reader behind the keyboard node: blocks with a two-byte
// length {a, b, a + b bytes}; online from construction.
#pragma once

#include "MSPSP.h"

class MS3TKPSP : public MSPSP {
public:
    explicit MS3TKPSP(const DeviceID& id, const char* name = "MS3TKPSP");
    ~MS3TKPSP() override;

    int NewMsgRcvd(const unsigned char* msg, int length) override;
    // A block {a, b, a + b bytes}; bounded by the message as the base's.
    int Extract(const unsigned char*& cursor, int slot) override;
};
