// Value tables of the process resources (names a resource file may use for the slot, port,
// device address and read time-out of a device), and the device classes a client may open.
#pragma once

#include "sylookup.h"

extern const posLookup posSlotsLookupTbl[];     // "SLOT_0" .. "SLOT_8"
extern const int posSlotsLookupRows;
extern const posLookup posPortsLookupTbl[];     // "PORT_0", "PORT_1", "PORT_2"
extern const int posPortsLookupRows;
extern const posLookup posDevicesLookupTbl[];   // "DEVICE_..." bus or application addresses
extern const int posDevicesLookupRows;
extern const posLookup posTimeoutLookupTbl[];   // "TIMEOUT_INDEFINITE"
extern const int posTimeoutLookupRows;

// A device class name and the device type byte its physical devices report.
struct PosClassRow {
    const char* name;
    unsigned char deviceType;
};
extern const PosClassRow PosClasses[];  // searched in order
extern const int PosClassRows;
