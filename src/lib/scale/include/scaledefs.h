// Numbers shared by the scale physical and virtual devices and their models: command slots,
// requests between them, client requests, error codes, the reading record and the marks kept
// in the device's state word.
#pragma once

#include <cstdint>

// Command slots, in send priority.
enum {
    SCLP_SLOT_RESET = 0,          // 00 40
    SCLP_SLOT_EC_LEVEL = 2,       // 00 80
    SCLP_SLOT_EXTENDED_STATUS = 3, // model 96: 04
    SCLP_SLOT_ZERO = 4,           // model 96: 03
    SCLP_SLOT_CLEAR_DISPLAY = 5,  // model 96: 06
    SCLP_SLOT_CONFIGURE = 7,      // the model's configure command
    SCLP_SLOT_READ_CONFIG = 8,    // model 96: 21
    SCLP_SLOT_WEIGHT_ENGLISH = 13, // 01
    SCLP_SLOT_WEIGHT_METRIC = 14, // 02
    SCLP_SLOTS = 16,
};

// Requests of the virtual device to the physical one (TellPhys).
enum {
    SCLP_REQ_ZERO = 4,
    SCLP_REQ_CLEAR_DISPLAY = 5,
    SCLP_REQ_CONFIGURE = 7,        // data: the configure command, length: its bytes
    SCLP_REQ_WEIGHT_ENGLISH = 13,  // data: a ScaleReading
    SCLP_REQ_WEIGHT_METRIC = 14,
};

// Client requests.
enum {
    POS_SCALE_ZERO_SCALE = 6101,
    POS_SCALE_CLEAR_SCREEN = 6102,
};

// Error codes.
enum {
    POSERR_SCALE_INVALID_OPERATIONS_MODE = 6201,
    POSERR_SCALE_INVALID_REMOTE_DISPLAY_STATE = 6202,
    POSERR_SCALE_INVALID_VIBRATION_FILTER = 6203,
    POSERR_SCALE_INVALID_WEIGHT_MODE = 6204,
    POSERR_SCALE_INVALID_ZERO_INDICATOR_STATE = 6205,
    POSERR_SCALE_INVALID_ZERO_RETURN_STATE = 6206,
    POSERR_SCALE_ZERO_SCALE_FAILED = 6207,
    POSERR_SCALE_INVALID_CLEAR_SCREEN_REQUEST = 6208,
    POSERR_SCALE_CONFIGURATION_ERROR = 6209,
    POSERR_SCALE_MSG_LENGTH_ERROR = 6210,
};

// Device type of every scale.
enum : unsigned char { SCALE_DEVICE_TYPE = 11 };

// Status bits of a reading.
enum : uint16_t {
    SCALE_STATUS_ZERO_FAILED = 0x8000,    // zero scale answered without success
    SCALE_STATUS_NO_DISPLAY = 0x4000,     // clear remote display refused
};

// The last reading of a scale: 8 bytes.
struct ScaleReading {
    int32_t weight;
    int16_t status;
    int16_t unused;
};
static_assert(sizeof(ScaleReading) == 8, "a reading is 8 bytes");

// The weight record of a client read: 8 bytes, little-endian.
struct ScaleRecord {
    int16_t mode;   // 0 English, 1 metric
    int16_t status;
    int32_t weight;
};
static_assert(sizeof(ScaleRecord) == 8, "a weight record is 8 bytes");

// Marks of the scales in the device's state word.
enum : uint32_t { SCLP_RESET_WAIT = 0x00010000 };

// How long a client's request waits for the scale's answer.
enum { SCALE_WAIT_MS = 15000 };
