// The virtual keyboard: what an application opens with the keyboard class. It holds the
// application's settings (tone, lights, numpad style, double keys) as typed resources,
// validates them, sends them to the physical keyboard on acquire and carries the tone
// requests to it. Keys reach the application as events that the physical keyboard posts.
//
// The extended virtual keyboards derive from it, so the order of its virtual operations is
// a fixed interface.
#pragma once

#include <cstdint>

#include "VDEV.h"
#include "kbddefs.h"

class KBP;

// Status-word bit of a virtual keyboard: the application locked it.
enum : uint32_t { KBV_LOCKED = 0x10000 };

// "0,0": no double key; the default of the 60 double-key resources.
extern "C" const char PosNdoubleKeyDefault[];

class KBV : public VDEV {
public:
    KBV(const DeviceID& id, int handle, const unsigned char* name);
    KBV(const DeviceID& id, int handle, const char* name = "KBV")
        : KBV(id, handle, reinterpret_cast<const unsigned char*>(name)) {}
    ~KBV() override;

    int AcquirePhysical() override;
    int GetValues(PosArg* args, int count) override;
    int IOCtl(int request, PosArg* args, int count, int& out) override;
    int LockPhysical() override;
    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    int ReleasePhysical() override;
    int SetValues(PosArg* args, int count) override;
    int SetValuesCreation(PosArg* args, int count) override;
    int UnlockPhysical() override;

    // The value of the first argument named as `wanted`: 0 when found, -1 when not.
    static int GetResourceValue(PosArg& wanted, PosArg* args, int count);
    // Parses "first,second" into pair (see the rules in kbv.cpp): 0 or 4705.
    int ValidateDoubleKeyString(const char* text, unsigned char* pair);
    // Double keys still unset from their loaded strings, numpad style, tone values.
    int ValidateResources();
    static int ValidateToneFreq(intptr_t v);
    static int ValidateToneDuration(intptr_t v);
    static int ValidateToneVolume(intptr_t v);

    const unsigned char* DoubleKeyPair(int index) const { return pairs_[index]; }
    int32_t Lights() const { return lights_; }
    int32_t ToneFreq() const { return toneFreq_; }
    int32_t ToneDuration() const { return toneDuration_; }
    int32_t ToneVolume() const { return toneVolume_; }
    bool IsLocked() const { return TestStatusBits(KBV_LOCKED); }
    const KbdSettingsRecord& Settings() const { return settings_; }

protected:
    // Sends a request with the settings record: the physical keyboard's answer, 321 without.
    int Tell(int request);
    // The physical keyboard as a keyboard (null when it is something else).
    KBP* Keyboard() const;
    static bool Named(const PosArg& arg, const char* name);

    KbdSettingsRecord settings_{};
    unsigned char pairs_[KBD_DOUBLE_KEYS][2] = {};
    int32_t lights_ = 0;
    int32_t numpadStyle_ = 1;
    int32_t toneFreq_ = 2;
    int32_t toneDuration_ = 2;
    int32_t toneVolume_ = 1;
    int32_t keyLockResource_ = 255; // loaded, never used: the key lock is read from the device
    char* doubleKeyText_[KBD_DOUBLE_KEYS] = {};
};
