// Numbers shared by the NVRAM devices: class type ids, device classes, the requests of the
// virtual devices to the physical ones with their record, client requests and errors.
#pragma once

#include <cstdint>

// ObjectSupport type ids.
enum : unsigned short {
    NVV_TYPE_ID = 8000,      // virtual NVRAM
    NVMMP_TYPE_ID = 8100,    // the adapter's own NVRAM
    NVOCRP_TYPE_ID = 8300,   // journalled NVRAM on the bus, with the power device
    NVCOPP_TYPE_ID = 8400,   // small NVRAM on the bus
    NVPOWERV_TYPE_ID = 8500, // virtual power device
};

// Device classes posted with the online and offline events.
enum : unsigned char {
    NVRAM_DEVICE_CLASS = 8,
    POWER_DEVICE_CLASS = 12,
};

// Device numbers.
enum : unsigned char {
    NVRAM_ADDRESS_A = 0x50,
    NVRAM_ADDRESS_B = 0x51,
    NVRAM_ADDRESS_LOCAL = 0x85,
    POWER_ADDRESS_B = 0x86,
};

// Requests of the virtual devices to the physical device (TellPhys).
enum {
    NVRAM_REQ_WRITE = 1,
    NVRAM_REQ_READ = 2,
    NVRAM_REQ_DESCRIBE = 3,
    NVRAM_REQ_POWER_OFF = 4,
    NVRAM_REQ_POWER_ON = 5,
    NVRAM_REQ_SET_ALARM = 6,
    NVRAM_REQ_GET_ALARM = 7,
    NVRAM_REQ_GET_VPD = 8,
    NVRAM_REQ_SET_VPD = 9,
};

// The record of requests 1, 2, 3, 8 and 9 (pointer-sized buffer field).
struct NvramRequest {
    int32_t offset = 0;
    int32_t size = 0;               // answer of request 3
    unsigned char* buffer = nullptr;
    int32_t length = 0;
    int32_t reserved = 0;
    int32_t maxRecord = 0;          // answer of request 3
};

// Client requests of the power device.
enum {
    POS_POWER_OFF = 6401,
    POS_POWER_ON = 6402,
    POS_POWER_SET_ALARM = 6403,
};

// Error codes.
enum {
    POSERR_NVRAM_NOT_ENOUGH_ROOM = 4101,
    POSERR_NVRAM_INVALID_CURSOR = 4102,
    POSERR_NVRAM_EOF = 4103,
    POSERR_NVRAM_INVALID_MODE = 4104,
    POSERR_NVRAM_INVALID_LENGTH_RECORD = 4105,
    POSERR_NVRAM_INVALID_DATA_CRC = 4106,
    POSERR_NVRAM_BATTERY_BAD = 4107,
    POSERR_POWER_INVALID_DAY = 6401,
    POSERR_POWER_INVALID_HOUR = 6402,
    POSERR_POWER_INVALID_MINUTES = 6403,
};

// Modes of a virtual NVRAM.
enum { NVRAM_MODE_DIRECT = 0, NVRAM_MODE_SEQUENTIAL = 1, NVRAM_MODE_RAW = 222 };

// Size of the vital product data block.
enum { NVRAM_VPD_SIZE = 128 };

// How long a client waits for the device's answer.
enum { NVRAM_WAIT_MS = 30000 };

// A length as the 16-bit length of a log data block.
inline uint16_t NvramBlock(long n) {
    return static_cast<uint16_t>(n <= 0 ? 0 : (n > 0xFFFF ? 0xFFFF : n));
}
