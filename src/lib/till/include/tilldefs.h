// Numbers shared by the cash-drawer unit's physical device and its two virtual devices:
// class type ids, device numbers, the requests between them, client requests, errors and
// events.
#pragma once

#include <cstdint>

// ObjectSupport type ids.
enum : unsigned short {
    CDP_TYPE_ID = 7000,   // the unit on the bus
    ALARM_TYPE_ID = 7100, // virtual alarm
    TILL_TYPE_ID = 7200,  // virtual drawer
};

// Device numbers a client opens: drawer 1 is the unit's bus address; drawer 2 and the
// alarm are pseudo-addresses that stand for the same unit.
enum : unsigned char {
    TILL_DRAWER1_ADDRESS = 0x54,
    TILL_DRAWER2_ADDRESS = 0x83,
    TILL_ALARM_ADDRESS = 0x84,
};

// Device classes posted with the online and offline events.
enum : unsigned char {
    TILL_CLASS_CASH_DRAWER = 6,
    TILL_CLASS_ALARM = 7,
};

// Requests of the virtual devices to the unit (TellPhys), each with a TillRequest record.
enum {
    CDP_REQ_ALARM_STATUS = 1,   // result: 1 connected, 3 connected and sounding, else 0
    CDP_REQ_TILL1_STATUS = 2,   // result: bit 0 connected, bit 2 open
    CDP_REQ_TILL2_STATUS = 3,
    CDP_REQ_SOUND_ALARM = 4,
    CDP_REQ_SILENCE_ALARM = 5,
    CDP_REQ_OPEN_TILL1 = 6,     // value: pulse width in microseconds
    CDP_REQ_OPEN_TILL2 = 7,
};

// The record of a TellPhys request: 8 bytes.
struct TillRequest {
    int32_t value;
    int32_t result;
};
static_assert(sizeof(TillRequest) == 8, "the request record is 8 bytes");

// Client I/O-control requests.
enum {
    POS_TILL_OPEN_TILL = 5401,
    POS_ALARM_SILENCE_ALARM = 5402,
    POS_ALARM_SOUND_ALARM = 5403,
};

// Error codes.
enum { POSERR_TILL_INVALID_PULSE_WIDTH = 5401 };

// Events to the holder of a drawer.
enum : uint32_t {
    POSM_TILL_CLOSED = 0x420E,
    POSM_TILL_OPENED = 0x420F,
};

// Limits of the "pulseWidth" resource, in milliseconds.
enum { TILL_PULSE_WIDTH_MIN = 5, TILL_PULSE_WIDTH_MAX = 1048, TILL_PULSE_WIDTH_DEFAULT = 80 };
