// Numbers shared by the keyboard classes: type ids, the requests of the virtual devices to
// the physical keyboard, client requests, error codes, events, and the settings record that
// travels with the requests.
#pragma once

#include <cstdint>

// ObjectSupport type ids.
enum : unsigned short {
    KBV_TYPE_ID = 15000,      // virtual keyboard
    KBANPV_TYPE_ID = 15100,   // virtual alphanumeric POS keyboard
    KBOBV_TYPE_ID = 16500,    // virtual extended keyboard
    ORACLE_1C_1D_TYPE_ID = 16000,
    KB50P_TYPE_ID = 15900,
    KBTEXTP_TYPE_ID = 17100,
    KBO50P_TYPE_ID = 16100,
    KBOPLUP_TYPE_ID = 16900,
    KBOJUCCP_TYPE_ID = 16700,
    KBO133P_TYPE_ID = 16200,
    KBO117P_TYPE_ID = 16300,
    KBO121P_TYPE_ID = 16400,
    KBOKBVP_TYPE_ID = 16800,
    KB6629P_TYPE_ID = 17300,
    KBOKBEP_TYPE_ID = 17400,
    KBO32P_TYPE_ID = 17500,
    KB_UNREGISTERED_TYPE_ID = 17200,
};

// Device class byte of every keyboard.
enum : unsigned char { KBD_DEVICE_TYPE = 9 };

// Requests of the virtual keyboards to the physical keyboard (TellPhys), each with a
// KbdSettingsRecord.
enum {
    KBD_REQ_SETTINGS = 1,
    KBD_REQ_LIGHTS = 4,
    KBD_REQ_TONE_OFF = 5,
    KBD_REQ_SOUND_TONE = 6,
    KBD_REQ_LOCK = 7,
    KBD_REQ_UNLOCK = 8,
    KBD_REQ_READ_KEY_LOCK = 9,
    KBD_REQ_TYPEMATIC_ON = 10,
    KBD_REQ_TYPEMATIC_OFF = 11,
    KBD_REQ_CLICK = 12,
};

// Client I/O-control requests.
enum {
    POS_KBD_DISABLE_POS_FUNCTIONS = 4701,
    POS_KBD_ENABLE_POS_FUNCTIONS = 4702,
    POS_KBD_SILENCE_TONE = 4704,
    POS_KBD_SOUND_TONE = 4705,
    POS_KBD_SET_TYPEMATIC_OFF = 4706,
    POS_KBD_SET_TYPEMATIC_ON = 4707,
};

// Error codes.
enum {
    POSERR_KBD_INVALID_FREQUENCY = 4701,
    POSERR_KBD_INVALID_DURATION = 4702,
    POSERR_KBD_INVALID_VOLUME = 4703,
    POSERR_KBD_INVALID_DOUBLE_KEY = 4705,
    POSERR_KBD_INVALID_FAT_FINGER_TIMEOUT = 4706,
    POSERR_KBD_INVALID_KEYBOARD_CLICK = 4708,
    POSERR_KBD_INVALID_NUMPAD_STYLE = 4709,
    POSERR_KBD_INVALID_NUMPAD_ZERO = 4710,
    POSERR_KBD_INVALID_TYPEMATIC_DELAY = 4711,
    POSERR_KBD_INVALID_TYPEMATIC_FREQ = 4712,
    POSERR_KBD_INVALID_NUMPAD_LOCATION = 4713,
};

// Events to the owner of a keyboard.
enum : uint32_t {
    KBD_WM_STATUS_CHANGE = 0x4201, // p1 0x10000, p2 the key-lock position
    KBD_WM_CHAR = 0x4202,          // p1 the character in bits 16-23, p2 the key
};

// Bits of the second parameter of KBD_WM_CHAR.
enum : uint32_t {
    KBD_KEY_CHARACTER = 0x10000,
    KBD_KEY_ALWAYS = 0x40000,
    KBD_KEY_SHIFT_TOGGLE = 0x100000,
    KBD_KEY_RELEASE = 0x400000,
    KBD_KEY_FAT_FINGER = 0x80000000u,
};

// The record of every keyboard request: 208 bytes.
struct KbdSettingsRecord {
    int32_t keyLock;          // written by request 9
    int32_t lights;           // LED bits; the low byte is used
    int32_t toneFreq;         // 1 low, 2 medium, 3 high
    int32_t toneDuration;     // 1 continuous, 2-255 timed
    int32_t toneVolume;       // 1 low, 3 high
    int32_t typematicDelay;   // 250, 500, 750, 1000 ms
    int32_t typematicFreq;    // 0-31
    int32_t typematicOn;
    int32_t locked;
    int32_t click;            // 0 off, 1 soft, 2 loud
    int32_t numpadLocation;   // 1-3
    int32_t numpadStyle;      // 0-3
    int32_t numpadZero;       // 1 single key, 2 double key
    int32_t unused14;
    int32_t fatFingerTimeOut; // 0, 10, 20, 30, 40
    int32_t numLockOn;
    int32_t scrollLockOn;
    int32_t capsLockOn;
    unsigned char doubleKeys[60][2]; // {first, second} key numbers; {0, 0} none
    int32_t numLockKeyEnabled;
    int32_t scrollLockKeyEnabled;
    int32_t unused22;
    int32_t hotKeysEnabled;
};
static_assert(sizeof(KbdSettingsRecord) == 208, "the settings record is 208 bytes");

enum { KBD_DOUBLE_KEYS = 60 };

// Keyboard state that the console keymap lookup reads: a byte, then the modifier word
// (little-endian, bytes 1-2). Modifier bits: 0 and 1 shift, 2 control, 9 alt, 11 alt-gr,
// 4-6 scroll, num and caps lock, 8 the shift toggle.
struct KBDATA {
    unsigned char flags = 0;
    unsigned char modifierBytes[2] = {0, 0};

    uint16_t Modifiers() const {
        return static_cast<uint16_t>(modifierBytes[0] | modifierBytes[1] << 8);
    }
    void SetModifiers(uint16_t m) {
        modifierBytes[0] = static_cast<unsigned char>(m);
        modifierBytes[1] = static_cast<unsigned char>(m >> 8);
    }
};
