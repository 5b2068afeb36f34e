// What the magnetic stripe readers share: type ids, the requests between the virtual and
// the physical reader, the messages back, the events and the track slot.
#pragma once

#include <cstdint>

// Registered type ids.
enum : int32_t {
    MSV_TYPE_ID = 10000,     // the virtual reader
    MS1TKP_TYPE_ID = 10200,  // one track
    MS2TKP_TYPE_ID = 10300,  // two tracks
    MS3TKP_TYPE_ID = 10400,  // three tracks or JIS, optional encoder
    MSJTKP_TYPE_ID = 10500,  // track 2 and JIS
    MS2TKPSP_TYPE_ID = 10600, // two tracks, behind the keyboard node
    MS3TKPSP_TYPE_ID = 10700, // three tracks or JIS, behind the keyboard node
    MSEV_TYPE_ID = 10900,    // the virtual reader with an encoder
};

// Device class of the readers.
enum : uint8_t { MSR_DEVICE_TYPE = 5 };

// Requests of the virtual reader (TellPhys).
enum {
    MSR_REQ_UNLOCK = 0,         // deliver swipes
    MSR_REQ_LOCK = 1,           // stop delivering
    MSR_REQ_ENCODE_TIMEOUT = 2, // record: the time-out byte
    MSR_REQ_ENCODE_DATA = 3,    // record: the track data
};

// Messages of the physical reader (TellVirt).
enum {
    MSR_MSG_SWIPE = 1,         // a swipe is in the track slots
    MSR_MSG_WRITE_SUCCESS = 2,
    MSR_MSG_WRITE_FAILED = 3,
};

// Events.
enum : uint32_t {
    MSR_DATA_AVAIL = 0x4203,    // p2: the data length
    MSR_WRITE_SUCCESS = 0x4218,
    MSR_WRITE_FAILED = 0x4219,
};

// Error codes.
enum {
    POSERR_SYS_BUFFER_TOO_SMALL = 312,
    POSERR_SYS_DEVICE_OFFLINE = 317,
    POSERR_SYS_INVALID_LENGTH = 318,
    POSERR_SYS_LOCKED_NO_DATA_READ = 335,
};

enum { MSR_TRACKS = 4, MSR_TRACK_DATA = 140 };

// One track of a swipe: slot i holds track i + 1 (slot 3 the JIS track). Read hands out the
// 8-byte header and the data back to back.
struct MsrTrackSlot {
    int32_t trackBit; // 1 << i
    int16_t error;    // 1: not readable, or longer than its maximum
    int16_t length;   // data bytes (0: none)
    unsigned char data[MSR_TRACK_DATA];
};
static_assert(sizeof(MsrTrackSlot) == 8 + MSR_TRACK_DATA, "a track slot is its header and data");

enum { MSR_SLOT_HEADER = 8 };
