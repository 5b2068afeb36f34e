// Numbers shared by the printer family: device type, command class flags and system codes,
// the request codes between the two halves of a printer (TellPhys, TellVirt), the device
// state bits, error codes, event messages and I/O-control requests.
#pragma once

#include <cstdint>

// Device type of every printer, reported with online and offline events.
enum : unsigned char { PRN_DEVICE_TYPE = 3 };

// Class flags of a command that the queue and the physical printer act on; the model
// command tables use the other bits for their own purposes.
enum : unsigned short {
    PRNTCMD_LOST_TOLERANT = 0x0001, // a lost frame of it asks the application for nothing
    PRNTCMD_CHASE = 0x0040,         // chase marker
    PRNTCMD_PIPELINED = 0x0100,     // may go while earlier commands are incomplete
    PRNTCMD_INTERLEAVE = 0x0200,    // interleave marker
    PRNTCMD_HEAD_PARK = 0x0400,     // head-park marker
};

// System codes of the base (bit 15 set); other codes are the models' command numbers.
enum : unsigned short {
    PRNTCMD_SYSTEM = 0x8000,
    PRNTCMD_CHASE_CR = 0x8001,
    PRNTCMD_CHASE_SJ = 0x8002,
    PRNTCMD_CHASE_DI = 0x8003,
    PRNTCMD_SET_INTERLEAVE = 0x8004,
    PRNTCMD_SET_HEAD_PARK = 0x8005,
};

// Station list indexes.
enum : unsigned short { PRN_STATION_CR = 0, PRN_STATION_SJ = 1, PRN_STATION_DI = 2, PRN_STATION_4 = 3 };
enum { PRN_MAX_STATIONS = 4 };

// Requests of a virtual printer (and of the queue) to its physical printer (TellPhys).
// Out values and status words are 32-bit; a record that is null or shorter than its size
// gives 321.
enum {
    PRN_TP_HOLD_JOURNAL = 1,          // unsigned short
    PRN_TP_PUT_QUEUE = 4,             // a PRNTCMD; taken by the queue when the result is 0
    PRN_TP_QUERY_QUEUE = 5,           // QueueState (28 bytes)
    PRN_TP_RESUME = 6,                // the resume string (length without terminator)
    PRN_TP_DELETE_CHASE = 8,          // none: drops the caller's chase commands
    PRN_TP_CHASE_DONE = 9,            // a PRNTCMD (from the queue)
    PRN_TP_RETRY = 10,                // the retry string
    PRN_TP_ENABLE_DI = 11,
    PRN_TP_DISABLE_DI = 12,
    PRN_TP_DATA_WAITING = 13,
    PRN_TP_READ = 14,                 // the model's
    PRN_TP_STATUS = 15,               // uint32 out
    PRN_TP_INTERLEAVED = 16,          // unsigned short
    PRN_TP_HEAD_PARKED = 17,          // unsigned short
    PRN_TP_DISCARD = 18,
    PRN_TP_DI_PRINTING = 23,          // uint32 out: 0 or 1
    PRN_TP_RESET = 26,
    PRN_TP_RAW_STATUS = 27,           // 16-byte buffer
    PRN_TP_STATUS2 = 43,              // uint32 out
    PRN_TP_ENABLE_EXCLUSIVE_DI = 45,
    PRN_TP_DISABLE_EXCLUSIVE_DI = 46,
    PRN_TP_EXCLUSIVE_DI = 47,         // uint32 out: 0 or 1
};

// Requests of a physical printer to the virtual printer that holds it (TellVirt).
enum {
    PRN_TV_CHASE_DONE = 1, // unsigned short station: one chase of it fewer
    PRN_TV_MESSAGE = 2,    // a PRNTMSG for the application
};

// Bits of a physical printer's device state word (besides the link's).
enum : uint32_t {
    PRNTP_AWAITING_ACK = 0x0200,       // a frame is with the link (the link's reply bit)
    PRNTP_RESUME_REQUESTED = 0x20000,  // an error is reported, no resume or retry yet
    PRNTP_RESET_EXPECTED = 0x80000,    // a reset was sent (or the printer is new)
};

// Bit of the status word that the base sets when the link loses a command frame.
enum : uint32_t { PRN_STATUS_FRAME_LOST = 0x100 };

// Error codes of the printer family.
enum {
    POSERR_PRN_INVALID_DI_WIDTH = 4901,
    POSERR_PRN_INVALID_INTERLEAVED_VALUE = 4902,
    POSERR_PRN_INVALID_HEAD_PARKED_POSITION = 4903,
    POSERR_PRN_INVALID_STATION = 4904,
    POSERR_PRN_INVALID_MODE = 4905,
    POSERR_PRN_INVALID_CR_LF_DISTANCE = 4906,
    POSERR_PRN_INVALID_SJ_LF_DISTANCE = 4907,
    POSERR_PRN_INVALID_DI_LF_DISTANCE = 4908,
    POSERR_PRN_INVALID_FEED_DIRECTION = 4909,
    POSERR_PRN_INVALID_FISCAL_NOTIFY = 4910,
    POSERR_PRN_INVALID_DI_ORIENTATION = 4911,
    POSERR_PRN_INVALID_LEFT_MARGIN_CR = 4912,
    POSERR_PRN_INVALID_PRINT_ALIGNMENT = 4913,
    POSERR_PRN_INCORRECT_DATA_FORMAT = 4914,
    POSERR_PRN_LOGO_EXISTS = 4915,
    POSERR_PRN_UDC_CHARACTER_EXISTS = 4916,
    POSERR_PRN_INCORRECT_RAW_DATA = 4917,
    POSERR_PRN_INVALID_QUALITY_MODE = 4918,
    POSERR_PRN_INVALID_UPSIDE_DOWN_MODE = 4919,
    POSERR_PRN_INVALID_TABSTOPS_FORMAT = 4920,
    POSERR_PRN_INVALID_COLOR_MODE = 4921,
    POSERR_PRN_INVALID_TONE_VOLUME = 4922,
    POSERR_PRN_INVALID_TONE_DURATION = 4923,
    POSERR_PRN_INVALID_TONE_NOTE = 4924,
    POSERR_PRN_INVALID_TONE_OCTAVE = 4925,
    POSERR_PRN_INVALID_TONE_FREQUENCY = 4926,
    POSERR_PRN_INVALID_CODE_PAGE = 4927,
    POSERR_PRN_INVALID_PULSE_WIDTH = 4928,
    POSERR_PRN_INVALID_STATUS_LEVEL = 4929,
    POSERR_PRN_INVALID_RECORD = 4930,
};

// Event messages of the printer family; p1 carries the holder's handle in its low 16 bits.
enum : uint32_t {
    POSM_PRN_CHASE_COMPLETE = 16900,   // 0x4204
    POSM_PRN_PRINTER_ERROR = 16901,    // 0x4205
    POSM_PRN_STATUS_CHANGE = 16902,    // 0x4206
    POSM_PRN_DATA_AVAIL = 16912,
    POSM_PRN_FISCAL_ERROR = 16913,
    POSM_PRN_FISCAL_STATUS = 16914,
    POSM_PRN_RAS_STATUS = 16916,       // 0x4214
    POSM_PRN_RAS_ERROR = 16917,        // 0x4215
    POSM_PRN_RAW_STATUS = 16919,
    POSM_PRN_RAS_FIRMWARE_ERASED = 16923,
    POSM_PRN_RAS_FIRMWARE_UPDATED = 16924,
    POSM_PRN_RAW_STATUS2 = 16925,
};

// First parameters of the base's events.
enum : uint32_t {
    PRN_P1_CHASE_CR = 0x10000,
    PRN_P1_CHASE_SJ = 0x20000,
    PRN_P1_CHASE_DI = 0x40000,
    PRN_P1_FRAME_LOST = 0x10000000,
};

// I/O-control requests of the printer family (the base serves 4901-4905, 4908, 4912, 4913).
enum {
    POS_PRN_DISABLE_DI_PRINTING = 4901,
    POS_PRN_ENABLE_DI_PRINTING = 4902,
    POS_PRN_RESUME_PRINTING = 4903,
    POS_PRN_RETRY_PRINTING = 4904,
    POS_PRN_DISCARD_DATA = 4905,
    POS_PRN_DISABLE_FISCAL_PRINTING = 4906,
    POS_PRN_ENABLE_FISCAL_PRINTING = 4907,
    POS_PRN_RESET_PRINTER = 4908,
    POS_PRN_DEFINE_CHARACTERS = 4909,
    POS_PRN_HOLD_PRINTING = 4910,
    POS_PRN_RELEASE_PRINTING = 4911,
    POS_PRN_DISABLE_EXCLUSIVE_DI_PRINTING = 4912,
    POS_PRN_ENABLE_EXCLUSIVE_DI_PRINTING = 4913,
    POS_PRN_SOUND_TONE = 4914,
    POS_PRN_SILENCE_TONE = 4915,
    POS_PRN_ENABLE_CASH_DRAWER = 4916,
    POS_PRN_DISABLE_CASH_DRAWER = 4917,
    POS_PRN_ERASE_EPROM_MEMORY = 4918,
};

// Print modes and read modes of the base's value tables.
enum { PRN_MODE_NORMAL = 1, PRN_MODE_LOGO = 2, PRN_MODE_FISCAL = 4 };
enum { PRN_READ_MICR = 1, PRN_READ_FISCAL = 2, PRN_READ_MCT = 153 };
