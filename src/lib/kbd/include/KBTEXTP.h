// The POS keyboard that sends characters: each message carries characters rather than key
// codes.
#pragma once

#include "KBP.h"

class KBTEXTP : public KBP {
public:
    explicit KBTEXTP(const DeviceID& id, const char* name = "KBTEXTP");
    ~KBTEXTP() override;

    // Requests 10 and 11 answer 0; others as every keyboard.
    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int NewMsgRcvd(const unsigned char* data, int n) override;
};
