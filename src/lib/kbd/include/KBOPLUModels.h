// The keyboards built on the PLU keyboard at 0x1C and 0x1D, which differ in their key lock.
#pragma once

#include "KBOPLUP.h"

class KB6629P : public KBOPLUP {
public:
    explicit KB6629P(const DeviceID& id, const char* name = "KB6629P");
    int CheckKeyLockState(unsigned char bits) override; // three-bit
};

class KBOKBEP : public KBOPLUP {
public:
    explicit KBOKBEP(const DeviceID& id, const char* name = "KBOKBEP");
    int CheckKeyLockState(unsigned char bits) override; // three-bit
};

class KBOKBVP : public KBOPLUP {
public:
    explicit KBOKBVP(const DeviceID& id, const char* name = "KBOKBVP");
    int CheckKeyLockState(unsigned char bits) override; // four positions
};
