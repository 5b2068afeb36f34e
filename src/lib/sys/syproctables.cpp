// Value tables of the process resources and the device class table.
#include "ProcessTables.h"

#define ROW(name, value) {name, LookupHash(name), value}

const posLookup posSlotsLookupTbl[] = {
    ROW("SLOT_0", 0), ROW("SLOT_1", 1), ROW("SLOT_2", 2), ROW("SLOT_3", 3), ROW("SLOT_4", 4),
    ROW("SLOT_5", 5), ROW("SLOT_6", 6), ROW("SLOT_7", 7), ROW("SLOT_8", 8),
};
const int posSlotsLookupRows = sizeof posSlotsLookupTbl / sizeof posSlotsLookupTbl[0];

const posLookup posPortsLookupTbl[] = {
    ROW("PORT_0", 0), ROW("PORT_1", 0x11), ROW("PORT_2", 0x22),
};
const int posPortsLookupRows = sizeof posPortsLookupTbl / sizeof posPortsLookupTbl[0];

const posLookup posTimeoutLookupTbl[] = {
    ROW("TIMEOUT_INDEFINITE", -1),
};
const int posTimeoutLookupRows = sizeof posTimeoutLookupTbl / sizeof posTimeoutLookupTbl[0];

const posLookup posDevicesLookupTbl[] = {
    ROW("DEVICE_ALARM", 0x84),
    ROW("DEVICE_ALPHANUMERIC_DISPLAY_A", 0x20),
    ROW("DEVICE_ALPHANUMERIC_DISPLAY_B", 0x21),
    ROW("DEVICE_ANPOS_KEYBOARD_A", 0x1A),
    ROW("DEVICE_ANPOS_KEYBOARD_B", 0x1B),
    ROW("DEVICE_APA_DISPLAY_A", 0x2A),
    ROW("DEVICE_APA_DISPLAY_B", 0x2B),
    ROW("DEVICE_APA_DISPLAY_C", 0x2C),
    ROW("DEVICE_APA_DISPLAY_D", 0x2D),
    ROW("DEVICE_ANOP_DISPLAY_A", 0x24),
    ROW("DEVICE_ANOP_DISPLAY_B", 0x25),
    ROW("DEVICE_CASH_DRAWER_A", 0x54),
    ROW("DEVICE_CASH_DRAWER_B", 0x83),
    ROW("DEVICE_CHECKOUT_KEYBOARD_A", 0x10),
    ROW("DEVICE_CHECKOUT_KEYBOARD_B", 0x11),
    ROW("DEVICE_JAPANESE_KEYBOARD", 0x10),
    ROW("DEVICE_MATRIX_KEYBOARD_A", 0x16),
    ROW("DEVICE_MATRIX_KEYBOARD_B", 0x17),
    ROW("DEVICE_PLU_KEYBOARD", 0x19),
    ROW("DEVICE_MSR_1_TRACK_A", 0x40),
    ROW("DEVICE_MSR_1_TRACK_B", 0x41),
    ROW("DEVICE_MSR_2_TRACK_A", 0x46),
    ROW("DEVICE_MSR_2_TRACK_B", 0x47),
    ROW("DEVICE_MSR_3_TRACK_A", 0x48),
    ROW("DEVICE_MSR_3_TRACK_B", 0x49),
    ROW("DEVICE_MSR_J_TRACK", 0x40),
    ROW("DEVICE_NVRAM_A", 0x50),
    ROW("DEVICE_NVRAM_B", 0x51),
    ROW("DEVICE_NVRAM_LOCAL", 0x85),
    ROW("DEVICE_POS_KEYBOARD_A", 0x1C),
    ROW("DEVICE_POS_KEYBOARD_B", 0x1D),
    ROW("DEVICE_OPERATOR_DISPLAY_A", 0x22),
    ROW("DEVICE_OPERATOR_DISPLAY_B", 0x23),
    ROW("DEVICE_POWER_B", 0x86),
    ROW("DEVICE_POWER_LOCAL", 0x87),
    ROW("DEVICE_PRINTER_2", 0x30),
    ROW("DEVICE_PRINTER_3", 0x34),
    ROW("DEVICE_PRINTER_FISCAL_3", 0x38),
    ROW("DEVICE_PRINTER_4", 0x34),
    ROW("DEVICE_PRINTER_6677", 0x37),
    ROW("DEVICE_PRINTER_6677_THERMAL", 0x32),
    ROW("DEVICE_PRINTER_6397", 0x35),
    ROW("DEVICE_RS232_23A", 0x68),
    ROW("DEVICE_RS232_23B", 0x69),
    ROW("DEVICE_RS232_25A", 0x64),
    ROW("DEVICE_RS232_25B", 0x65),
    ROW("DEVICE_RS232_A", 0x66),
    ROW("DEVICE_RS232_B", 0x67),
    ROW("DEVICE_SCALE", 0x6E),
    ROW("DEVICE_SCALE_A", 0x6A),
    ROW("DEVICE_SCANNER_A", 0x4A),
    ROW("DEVICE_SCANNER_B", 0x4B),
    ROW("DEVICE_SCANNER_MOBILE", 0x42),
    ROW("DEVICE_SHOPPER_DISPLAY_A", 0x26),
    ROW("DEVICE_SHOPPER_DISPLAY_B", 0x27),
    ROW("DEVICE_SYSTEM_ATTACHED_KBD", 0x81),
    ROW("DEVICE_SYSTEM_ATTACHED_MSR", 0x82),
    ROW("DEVICE_TEXT_KEYBOARD_A", 0x12),
    ROW("DEVICE_TEXT_KEYBOARD_B", 0x13),
    ROW("DEVICE_TOUCH_SCREEN", 0x5C),
    ROW("DEVICE_TOUCH_SCREEN_B", 0x5D),
};
const int posDevicesLookupRows = sizeof posDevicesLookupTbl / sizeof posDevicesLookupTbl[0];
static_assert(sizeof posDevicesLookupTbl / sizeof posDevicesLookupTbl[0] == 61,
              "61 device names");

#undef ROW

const PosClassRow PosClasses[] = {
    {"PosAlarm", 7},   {"PosDisplay", 2}, {"PosDrawer", 6},  {"PosKeyboard", 9},
    {"PosMsr", 5},     {"PosNvram", 8},   {"PosPower", 12},  {"PosPrinter", 3},
    {"PosRs232", 10},  {"PosScale", 11},  {"PosScanner", 4}, {"PosTouch", 13},
    {"PosInternal", 1},
};
const int PosClassRows = sizeof PosClasses / sizeof PosClasses[0];
