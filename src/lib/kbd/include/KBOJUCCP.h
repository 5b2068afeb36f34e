// The extended POS keyboard of the JUCC layout: the 50-key keyboard without double keys, with
// a four-position key lock and its own indicator layout.
#pragma once

#include "KBO50P.h"

class KBOJUCCP : public KBO50P {
public:
    explicit KBOJUCCP(const DeviceID& id, const char* name = "KBOJUCCP");
    ~KBOJUCCP() override;

    // Request 1 clears the double-key pairs first.
    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int ValidateDoubleKey(unsigned char first, unsigned char second) override;
    void SetLEDBits(unsigned char* lightsByte, unsigned char lights) override;
    int CheckKeyLockState(unsigned char bits) override;
    void InterpretScanCode(const unsigned char* msg, int length, int count) override;
};
