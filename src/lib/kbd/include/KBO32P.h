// The extended POS keyboard with 32 key positions: the 50-key keyboard with its own key
// numbers for double keys and log ids; information byte 6 of 12 marks its second variant.
#pragma once

#include "KBO50P.h"

class KBO32P : public KBO50P {
public:
    explicit KBO32P(const DeviceID& id, const char* name = "KBO32P");
    ~KBO32P() override;

    int NewMsgRcvd(const unsigned char* data, int n) override;
};

extern const unsigned char dkOB32Lookup[50];
