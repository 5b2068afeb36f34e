// Numbers of the touch family: type ids, requests between the virtual and the physical
// device, client requests, error codes and events.
#pragma once

#include <cstdint>

// ObjectSupport type ids.
enum : unsigned short {
    TCH95P_TYPE_ID = 29200,
    TCH95V_TYPE_ID = 29300,
    TCHELOP_TYPE_ID = 29400,
    ORACLE_5C_5D_TYPE_ID = 29500,
};

// Device class byte of every touch screen.
enum : unsigned char { TCH_DEVICE_CLASS = 13 };

// Requests of the virtual device to the physical device (TellPhys), with a TCHRES record.
enum {
    TCH_REQ_SILENCE = 0,
    TCH_REQ_SOUND = 1,
    TCH_REQ_SETUP = 2,
    TCH_REQ_GET_SIZE = 3,
    TCH_REQ_GET_CONTRAST = 4,
    TCH_REQ_GET_BRIGHTNESS = 5,
    TCH_REQ_SET_BRIGHTNESS = 6,
    TCH_REQ_BACKLIGHT_ON_EVENT = 7,
    TCH_REQ_MODE = 8,
    TCH_REQ_CLICK_VOLUME = 9,
    TCH_REQ_ENTRY_CLICK = 10,
    TCH_REQ_EXIT_CLICK = 11,
    TCH_REQ_CONTRAST = 12,
    TCH_REQ_BACKLIGHT = 13,
    TCH_REQ_CALIBRATE = 14,
    TCH_REQ_RESTORE_DEFAULTS = 15,
    TCH_REQ_NATIVE_MODE = 16,
    TCH_REQ_EMULATION_MODE = 17,
};

// Client I/O-control requests.
enum {
    POS_TOUCH_SILENCE_TONE = 6701,
    POS_TOUCH_SOUND_TONE = 6702,
    POS_TOUCH_CALIBRATE = 6703,
    POS_TOUCH_RESTORE_DEFAULTS = 6704,
    POS_TOUCH_NATIVE_MODE = 6705,
    POS_TOUCH_EMULATION_MODE = 6706,
};

// Error codes.
enum {
    POSERR_TOUCH_INVALID_BACKLIGHT_ON = 6701,
    POSERR_TOUCH_INVALID_CLICK_VOLUME = 6702,
    POSERR_TOUCH_INVALID_CONTRAST = 6703,
    POSERR_TOUCH_INVALID_ENTRY_CLICK = 6704,
    POSERR_TOUCH_INVALID_EXIT_CLICK = 6705,
    POSERR_TOUCH_INVALID_MODE = 6706,
    POSERR_TOUCH_INVALID_SCREEN_SAVER_TIME = 6707,
    POSERR_TOUCH_INVALID_TONE_DURATION = 6708,
    POSERR_TOUCH_INVALID_TONE_FREQUENCY = 6709,
    POSERR_TOUCH_INVALID_TONE_VOLUME = 6710,
    POSERR_TOUCH_INVALID_BRIGHTNESS = 6711,
};

// Events to the holder of a touch screen.
enum : uint32_t {
    POSM_TOUCH_DATA = 0x4216,   // p1 touch status, p2 x << 16 | y
    POSM_TOUCH_STATUS = 0x421B, // p1 touch status, p2 status code
};

// Touch status word.
enum : uint32_t {
    TCH_STATUS_TOUCHING = 0x10000,
    TCH_STATUS_ERROR = 0x100000,
};
