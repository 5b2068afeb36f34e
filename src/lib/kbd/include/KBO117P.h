// The extended keyboards whose characters come from the console keymap: KBO117P (117 key
// positions, double keys, numpad at one of two locations) and KBO121P (121 positions, no
// double keys, a four-position key lock and its own indicator layout). Both keep the lock
// states in the modifier word and show them on the keyboard's lights.
#pragma once

#include "KBOBP.h"

// Status-word bits of these keyboards.
enum : uint32_t {
    KBO117P_NUM_LOCK_KEY_ENABLED = 0x040000,
    KBO117P_SCROLL_LOCK_KEY_ENABLED = 0x080000,
    KBO117P_HELD_72 = 0x100000, // keys that repeat without a new lookup
    KBO117P_HELD_AB = 0x200000,
    KBO117P_HELD_BF = 0x400000,
};

class KBO117P : public KBOBP {
public:
    explicit KBO117P(const DeviceID& id, const char* name = "KBO117P");
    ~KBO117P() override;

    // Requests 1 and 15 to 23.
    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    void InterpretScanCode(const unsigned char* msg, int length, int count) override;
    // 1 or 2, else 4713.
    int ValidateNumpadLocation(int location) override;

    // The lock bits of the modifier word that changed go to the lights byte (bits 4-6).
    virtual int UpdatePS2Indicators();

protected:
    // The keymap-flag tables of numpad locations 1 and 2.
    const unsigned char* flagTables_[2];
    const unsigned char* flags_;
    uint16_t reportedLocks_ = 0;
};

class KBO121P : public KBO117P {
public:
    explicit KBO121P(const DeviceID& id, const char* name = "KBO121P");
    ~KBO121P() override;

    // Request 1 forces location 1, a single zero key and no pairs.
    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int CheckKeyLockState(unsigned char bits) override;
    void SetLEDBits(unsigned char* lightsByte, unsigned char lights) override;
    int ValidateDoubleKey(unsigned char first, unsigned char second) override;
    int ValidateNumpadLocation(int location) override;
};

extern const unsigned char dkOB117Lookup[140];
