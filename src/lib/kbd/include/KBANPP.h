// The alphanumeric POS keyboard at 0x1A and 0x1B: single-byte and PS/2-style commands
// (the 0x1D mode, PS/2 lock lights, typematic A and B, click, numpad zero, typematic rate,
// fat-finger time-out), a message format of its own, and characters from the console keymap.
#pragma once

#include <cstdint>

#include "KBP.h"

// Status-word bits of the alphanumeric keyboard.
enum : uint32_t {
    KBANPP_TYPEMATIC_A_EXPECTED = 0x040000,
    KBANPP_TYPEMATIC_B_EXPECTED = 0x080000,
    KBANPP_NUM_LOCK_KEY_ENABLED = 0x100000,
    KBANPP_SCROLL_LOCK_KEY_ENABLED = 0x200000,
};

// Its command slots beyond those of every keyboard.
enum {
    KBANPP_SLOT_PS2_LIGHTS = 7,  // ED ll
    KBANPP_SLOT_TYPEMATIC_A = 10, // 14 on, 15 off
    KBANPP_SLOT_TYPEMATIC_B = 11, // 16 on, 17 off
    KBANPP_SLOT_CLICK = 12,       // 19 off, 18 soft, 20 loud
    KBANPP_SLOT_NUMPAD_ZERO = 13, // 1F single, 1E double
    KBANPP_SLOT_RATE = 14,        // F3 tt
    KBANPP_SLOT_FAT_FINGER = 15,  // 1B ff
};

// Set while the last code of an alphanumeric keyboard was fat-finger flagged; shared by
// every alphanumeric keyboard of the process.
extern "C" int32_t fKbanpLastCodeFlagged;

class KBANPP : public KBP {
public:
    explicit KBANPP(const DeviceID& id, const char* name = "KBANPP");
    ~KBANPP() override;

    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    int NewMsgRcvd(const unsigned char* data, int n) override;
    int PowerOnResetInProgress() override;

    // The lock bits of the modifier word that changed since last reported go to the PS/2
    // lights (slot 7).
    virtual void UpdatePS2Indicators();

    unsigned char PS2Lights() const { return ps2Lights_[1]; }
    uint16_t Modifiers() const { return kbdata_.Modifiers(); }

private:
    void SetTypematic(bool on);
    void Post(uint32_t msg, uint32_t p1, uint32_t p2);

    unsigned char ps2Lights_[2] = {0xED, 0x00};
    unsigned char typematicA_[1] = {0x15};
    unsigned char typematicB_[1] = {0x17};
    unsigned char click_[1] = {0x19};
    unsigned char numpadZero_[1] = {0x1E};
    unsigned char rate_[2] = {0xF3, 0x00};
    unsigned char fatFinger_[2] = {0x1B, 0x03};
    uint16_t reportedLocks_ = 0;
    int32_t clickValue_ = 0;
    KBDATA kbdata_;
    int32_t breakPrefix_ = 0;
    int32_t previousCode_ = -1;
};

extern const unsigned char dkANPOSLookup[133];
