// The three-track (or JIS) reader, optionally with an encoder: it answers an information
// request (the encoder shows there, switching the virtual reader to the encoding one),
// reports "not ready" (offline until a message without it) and writes tracks.
#pragma once

#include "MSP.h"

class MS3TKP : public MSP {
public:
    explicit MS3TKP(const DeviceID& id, const char* name = "MS3TKP");
    ~MS3TKP() override;

    int NewMsgRcvd(const unsigned char* msg, int length) override;
    // The encoder requests 2 (time-out) and 3 (data); the others as the base.
    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;

    bool HasEncoder() const { return encoder_; }

private:
    unsigned char information_[3] = {0x00, 0x00, 0x01};
    bool encoder_ = false;
};
