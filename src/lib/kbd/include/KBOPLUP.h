// The PLU keyboards: KBOJP (the base, not registered: its own indicator layout, no double
// keys) and KBOPLUP (at 0x19), which takes no microcode, reports plain codes, and has its
// numpad at one of two locations. Three models derive from KBOPLUP and differ in their key
// lock.
#pragma once

#include "KBOBP.h"
#include "KbdVariants.h"

class KBOJP : public KBOBP {
public:
    explicit KBOJP(const DeviceID& id, const char* name = "KBOJP");
    ~KBOJP() override;

    void SetLEDBits(unsigned char* lightsByte, unsigned char lights) override;
    int ValidateDoubleKey(unsigned char first, unsigned char second) override;
};

class KBOPLUP : public KBOJP {
public:
    explicit KBOPLUP(const DeviceID& id, const char* name = "KBOPLUP");
    ~KBOPLUP() override;

    // Request 1 clears the pairs and selects the numpad tables and zero pair by location.
    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    // One event per code, without break prefix or double keys.
    void InterpretScanCode(const unsigned char* msg, int length, int count) override;
    // No microcode: only the end block.
    void UpdateMicrocode() override;
    int ValidateDoubleKey(unsigned char first, unsigned char second) override;
    // 1 or 2, else 4713.
    int ValidateNumpadLocation(int location) override;
    // 0 or 1, else 4709.
    int ValidateNumpadStyle(int style) override;
};
