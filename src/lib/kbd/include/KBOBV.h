// The virtual extended keyboard: the virtual keyboard plus fat-finger time-out, key click,
// numpad zero and location, typematic delay and frequency, and typematic on and off.
#pragma once

#include "KBV.h"

// Status-word bit: typematic is on (set at construction).
enum : uint32_t { KBOBV_TYPEMATIC_ON = 0x20000 };

class KBOBV : public KBV {
public:
    KBOBV(const DeviceID& id, int handle, const unsigned char* name);
    KBOBV(const DeviceID& id, int handle, const char* name = "KBOBV")
        : KBOBV(id, handle, reinterpret_cast<const unsigned char*>(name)) {}
    ~KBOBV() override;

    int AcquirePhysical() override;
    int GetValues(PosArg* args, int count) override;
    int IOCtl(int request, PosArg* args, int count, int& out) override;
    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    int ReleasePhysical() override;
    int SetValues(PosArg* args, int count) override;
    int SetValuesCreation(PosArg* args, int count) override;

    int ValidateResources();
    int ValidateFatFingerTimeOut(intptr_t v) const;
    static int ValidateKeyboardClick(intptr_t v);
    int ValidateNumpadZero(intptr_t v) const;
    int ValidateTypematicDelay(intptr_t v) const;
    int ValidateTypematicFreq(intptr_t v) const;

    int32_t FatFingerTimeOut() const { return fatFinger_; }
    int32_t KeyboardClick() const { return click_; }
    int32_t NumpadLocation() const { return numpadLocation_; }
    int32_t NumpadZero() const { return numpadZero_; }
    int32_t TypematicDelay() const { return typematicDelay_; }
    int32_t TypematicFreq() const { return typematicFreq_; }
    bool TypematicOn() const { return TestStatusBits(KBOBV_TYPEMATIC_ON); }

protected:
    // The fat-finger, numpad-zero and typematic rules hold for RS-485 keyboards only: not
    // on slot 0, not for the system-attached keyboard (0x81).
    bool RulesApply() const { return id_.slot != 0 && id_.device != 0x81; }

    int32_t fatFinger_ = 30;
    int32_t click_ = 0;
    int32_t numpadLocation_ = 1;
    int32_t numpadZero_ = 2;
    int32_t typematicDelay_ = 250;
    int32_t typematicFreq_ = 1;
};
