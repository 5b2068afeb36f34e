// Numbers shared by the scanner physical and virtual devices and their models: the
// requests between them, the client request, the event, error codes, label types and
// label groups, and the marks kept in the device's state word.
#pragma once

#include <cstdint>

// Requests of the virtual device to the physical one (TellPhys).
enum {
    SCP_REQ_DISABLE = 5,
    SCP_REQ_CONFIGURE = 7,       // data: the configure command, length: its bytes
    SCP_REQ_FLAG_CONFIGURE = 9,  // models with the two-label flag configuration
    SCP_REQ_ENABLE = 10,
    SCP_REQ_BEEP_OFF = 13,
    SCP_REQ_BEEP_ON = 14,
    SCP_REQ_QUEUE_ALL_ON = 16,
    SCP_REQ_QUEUE_ALL_OFF = 17,
    SCP_REQ_AUTO_DISABLE_ON = 18,
    SCP_REQ_AUTO_DISABLE_OFF = 19,
};

// Request of the physical device to its owner (TellVirt): a finished label chain.
enum { SCV_TELL_LABEL = 5701 };

// Client request: drop every queued scan.
enum { POS_SCAN_DISCARD_DATA = 5701 };

// Event to the owner: a scan is queued; p2 is its read record size.
enum : uint32_t { POSM_SCAN_DATA_AVAIL = 0x420B };

// Device type of every scanner.
enum : unsigned char { SCANNER_DEVICE_TYPE = 4 };

// Error codes.
enum {
    POSERR_SCAN_INVALID_BARCODES1 = 5702,
    POSERR_SCAN_INVALID_BARCODES2 = 5703,
    POSERR_SCAN_INVALID_BEEP_FREQ = 5704,
    POSERR_SCAN_INVALID_BEEP_LENGTH = 5705,
    POSERR_SCAN_INVALID_BEEP_STATE = 5706,
    POSERR_SCAN_INVALID_BEEP_VOLUME = 5707,
    POSERR_SCAN_INVALID_BLINK_LENGTH = 5708,
    POSERR_SCAN_INVALID_BLOCK_READ_MODE = 5709,
    POSERR_SCAN_INVALID_BLOCK1_TYPE = 5710, // 5711 and 5712 for blocks 2 and 3
    POSERR_SCAN_INVALID_BLOCK2_TYPE = 5711,
    POSERR_SCAN_INVALID_BLOCK3_TYPE = 5712,
    POSERR_SCAN_INVALID_CHECK_MODULO = 5713,
    POSERR_SCAN_INVALID_DREAD_TIMEOUT = 5714,
    POSERR_SCAN_INVALID_DTOUCH_MODE = 5715,
    POSERR_SCAN_INVALID_ITF_LENGTH1 = 5716,
    POSERR_SCAN_INVALID_ITF_LENGTH2 = 5717,
    POSERR_SCAN_INVALID_LASER_TIMEOUT = 5718,
    POSERR_SCAN_INVALID_MOTOR_TIMEOUT = 5719,
    POSERR_SCAN_INVALID_LASER_SWITCH = 5720,
    POSERR_SCAN_INVALID_SCANS_PER_READ = 5721,
    POSERR_SCAN_LABEL_TOO_SHORT = 5722,
    POSERR_SCAN_LABEL_TOO_LONG = 5723,
    POSERR_SCAN_MSG_LENGTH_ERROR = 5724,
    POSERR_SCAN_INVALID_BVOL_SWITCH = 5725,
    POSERR_SCAN_INVALID_DECODE_ALGORITHM = 5726,
    POSERR_SCAN_INVALID_EAN13_SCANS = 5727,
    POSERR_SCAN_INVALID_EAN8_SCANS = 5728,
    POSERR_SCAN_INVALID_STORE_SCANS = 5729,
    POSERR_SCAN_INVALID_UPCA_SCANS = 5730,
    POSERR_SCAN_INVALID_UPCD_SCANS = 5731,
    POSERR_SCAN_INVALID_UPCE_SCANS = 5732,
    POSERR_SCAN_INVALID_UPC_EXPANSION = 5733,
    POSERR_SCAN_INVALID_VERIFY_PRICE = 5734,
    POSERR_SCAN_INVALID_QUEUE_ALL_INDICATOR = 5735,
    POSERR_SCAN_CONFIGURATION_ERROR = 5736,
    POSERR_SCAN_2_LABEL_FLAG_CONFIG_ERROR = 5737,
    POSERR_SCAN_INVALID_JAN_TWO_LABEL = 5738,
    POSERR_SCAN_INVALID_FLAG_PAIR_SEQUENCE = 5739,
    POSERR_SCAN_INVALID_FLAG_PAIR1 = 5740, // 5741 to 5743 for pairs 2 to 4
    POSERR_SCAN_INVALID_CODE39_SCANS = 5744,
    POSERR_SCAN_INVALID_ITF_SCANS = 5745,
    POSERR_SCAN_INVALID_CODE128_SCANS = 5746,
    POSERR_SCAN_INVALID_BARCODES3 = 5747,
    POSERR_SCAN_INVALID_BARCODES4 = 5748,
    POSERR_SCAN_INVALID_AUTO_DISABLE = 5754,
};

// Label types, as applications see them.
enum : int32_t {
    LABEL_NO_CHECK = 0,
    LABEL_STD_2_OF_5 = 0x4,
    LABEL_INT_2_OF_5 = 0x8,
    LABEL_UPC_D5 = 0x80,
    LABEL_UPC_D4 = 0x100,
    LABEL_UPC_D3 = 0x200,
    LABEL_UPC_D2 = 0x400,
    LABEL_UPC_D1 = 0x800,
    LABEL_EAN_13 = 0x1000,
    LABEL_EAN_13_PLUS_5 = 0x1001,
    LABEL_EAN_13_PLUS_2 = 0x1002,
    LABEL_EAN_8 = 0x2000,
    LABEL_EAN_8_PLUS_5 = 0x2001,
    LABEL_EAN_8_PLUS_2 = 0x2002,
    LABEL_UPC_E = 0x4000,
    LABEL_UPC_E_PLUS_5 = 0x4001,
    LABEL_UPC_E_PLUS_2 = 0x4002,
    LABEL_UPC_A = 0x8000,
    LABEL_UPC_A_PLUS_5 = 0x8001,
    LABEL_UPC_A_PLUS_2 = 0x8002,
    LABEL_CODE_128 = 0x10000,
    LABEL_CODE_93 = 0x20000,
    LABEL_CODE_39 = 0x40000,
    LABEL_CODABAR = 0x80000,
};

// Label groups: each the OR of the label types it stands for.
enum : int32_t {
    LGROUP_NONE = 0,
    LGROUP_INT_2_OF_5 = LABEL_INT_2_OF_5,
    LGROUP_UPC_EAN = LABEL_UPC_A | LABEL_UPC_E | LABEL_EAN_8 | LABEL_EAN_13,                // 0xF000
    LGROUP_UPC_EAN_PLUS_5 = LABEL_UPC_A_PLUS_5 | LABEL_UPC_E_PLUS_5 | LABEL_EAN_8_PLUS_5 |
                            LABEL_EAN_13_PLUS_5,                                             // 0xF001
    LGROUP_UPC_EAN_PLUS_2 = LABEL_UPC_A_PLUS_2 | LABEL_UPC_E_PLUS_2 | LABEL_EAN_8_PLUS_2 |
                            LABEL_EAN_13_PLUS_2,                                             // 0xF002
    LGROUP_UPC_EAN_PLUS_2_5 = LGROUP_UPC_EAN_PLUS_5 | LGROUP_UPC_EAN_PLUS_2,                 // 0xF003
    LGROUP_UPC_EAN_D1_TO_D5 = LGROUP_UPC_EAN | LABEL_UPC_D1 | LABEL_UPC_D2 | LABEL_UPC_D3 |
                              LABEL_UPC_D4 | LABEL_UPC_D5,                                   // 0xFF80
    LGROUP_CODE_128 = LABEL_CODE_128,
    LGROUP_CODE_93 = LABEL_CODE_93,
    LGROUP_CODE_39 = LABEL_CODE_39,
    LGROUP_CODABAR = LABEL_CODABAR,
    // The groups of the hand-held scanners.
    LGROUP_STD_2_OF_5 = LABEL_STD_2_OF_5,
    LGROUP_UPC_EAN_ITF = LGROUP_UPC_EAN | LABEL_INT_2_OF_5,                                 // 0xF008
    LGROUP_UPC_EAN_D3 = LGROUP_UPC_EAN | LABEL_UPC_D3,                                      // 0xF200
    LGROUP_UPC_EAN_CODE_39 = LGROUP_UPC_EAN | LABEL_CODE_39,                                // 0x4F000
    LGROUP_UPC_EAN_CODABAR = LGROUP_UPC_EAN | LABEL_CODABAR,                                // 0x8F000
    LGROUP_UPC_EAN_CODE_128 = LGROUP_UPC_EAN | LABEL_CODE_128,                              // 0x1F000
    LGROUP_UPC_EAN_CODE_93 = LGROUP_UPC_EAN | LABEL_CODE_93,                                // 0x2F000
    LGROUP_UPC_EAN_2_5_CODABAR = LGROUP_UPC_EAN_PLUS_2_5 | LABEL_CODABAR,                   // 0x8F003
    // The eight supplemental types alone; their bits are those of LGROUP_UPC_EAN_PLUS_2_5,
    // as every supplemental type carries its base type's bit.
    LGROUP_PLUS_2_5_ONLY = LGROUP_UPC_EAN_PLUS_5 | LGROUP_UPC_EAN_PLUS_2,                   // 0xF003
    LGROUP_UPC_D1_TO_D5 = LABEL_UPC_D1 | LABEL_UPC_D2 | LABEL_UPC_D3 | LABEL_UPC_D4 |
                          LABEL_UPC_D5,                                                     // 0x0F80
};
static_assert(LGROUP_UPC_EAN == 0xF000 && LGROUP_UPC_EAN_D1_TO_D5 == 0xFF80, "label groups");

// Marks of the scanners in the device's state word.
enum : uint32_t {
    SCP_RESET_WAIT = 0x00010000,   // a reset is under way; nothing is sent until it settles
    SCP_POWER_ON_SEEN = 0x01000000, // a power-on came and the scanner is not yet ready
};

// The largest scan one read carries: a chain whose read records would exceed it is refused.
enum { SCAN_MAX_READ_RECORD = 32731 };
