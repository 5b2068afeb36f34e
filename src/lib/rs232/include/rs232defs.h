// Numbers shared by the RS-232 port's physical and virtual devices: type ids, the requests
// between them with their record, client requests, errors and events.
#pragma once

#include <cstdint>

enum : unsigned short {
    RS232CP_TYPE_ID = 27000,
    RS232CV_TYPE_ID = 27100,
};

// Device class posted with the online and offline events.
enum : unsigned char { RS232_DEVICE_CLASS = 10 };

// Requests of the virtual device to the port (TellPhys).
enum {
    RS232_REQ_BREAK = 2,
    RS232_REQ_TRANSMIT = 3, // {data, length}: field 2 the count taken
    RS232_REQ_STATUS = 4,   // field 3
    RS232_REQ_SETTINGS = 5, // fields 4..9
};

// Messages of the port to the virtual device (TellVirt).
enum {
    RS232_VIRT_SETTINGS = 1, // fill fields 3..8
    RS232_VIRT_BREAK = 11,
    RS232_VIRT_XMIT_COMPLETE = 12,
    RS232_VIRT_DATA = 13,    // {data, length (field 1), flags (field 2)}
    RS232_VIRT_XMIT_ABORT = 14,
};

// The record of both: field 0 a data pointer (pointer-sized), fields 1..9 32-bit.
struct Rs232Record {
    unsigned char* data = nullptr;
    int32_t field[10] = {}; // field[1]..field[9]; field[0] unused
};

// The line settings, in the order of the record's fields.
struct Rs232Settings {
    int32_t baud = 300;
    int32_t stopBits = 10;
    int32_t parity = 2;
    int32_t dataBits = 7;
    int32_t timeoutChars = 16;
    int32_t lineMode = 0x23;
};

// Client requests.
enum { POS_RS232_SEND_BREAK = 5901 };

// Error codes.
enum {
    POSERR_RS232_INVALID_BAUD_RATE = 5901,
    POSERR_RS232_INVALID_STOP_BITS = 5902,
    POSERR_RS232_INVALID_PARITY = 5903,
    POSERR_RS232_INVALID_DATA_BITS = 5904,
    POSERR_RS232_INVALID_TIMEOUT_CHAR = 5905,
    POSERR_RS232_PREV_NOT_COMPLETE = 5907,
};

// Events to the holder.
enum : uint32_t {
    POSM_RS232_BREAK_DETECTED = 0x4207,
    POSM_RS232_DATA_AVAIL = 0x4208,
    POSM_RS232_XMIT_ABORT = 0x4209,
    POSM_RS232_XMIT_COMPLETE = 0x420A,
};

enum { RS232_MAX_WRITE = 247 };
