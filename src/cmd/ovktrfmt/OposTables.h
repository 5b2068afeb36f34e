// The OPOS names the formatter prints: property indexes with the value table of each, string
// property indexes, the value tables of the printer calls, the tables of the device layer
// that the printer service object calls, and the extended result codes by class.
// Partial tables: of the standard's property table only the common properties are held
// (1 to 14 and 501 to 505), of the string properties the common ones (1000001 to 1000004);
// the value tables of the display, MSR, MICR, scale, scanner, cash changer, fiscal printer,
// check scanner and keylock properties are not held, nor the slip states and the check
// scanner's extended codes. A property that is not held prints as "index=value", a value
// that is not held as a number.
#pragma once

#include <cstdint>
#include <string>

#include "NameTables.h"

struct PropTableEntry {
    int32_t Value;            // property index
    const char* Name;         // null in the row that ends the table
    const TableEntry* Values; // the value names; null: the value is a number
};

extern const PropTableEntry OposProp[];
extern const TableEntry OposPropString[];
extern const TableEntry OposState[];
extern const TableEntry TrueFalse[];
extern const TableEntry OposPowerNotify[];
extern const TableEntry OposPowerState[];
extern const TableEntry OposCapPowerReporting[];
extern const TableEntry OposBinaryConversion[];

// The printer calls' values.
extern const TableEntry OposPrnStation[];
extern const TableEntry OposPrnRotatePrint[];
extern const TableEntry OposPrnBitmapAlignment[];
extern const TableEntry OposPrnBarcodeSymbology[];
extern const TableEntry OposPrnBarcodePosition[];
extern const TableEntry OposPrnBarcodeAlignment[];
extern const TableEntry OposPrnTransactionControl[];
extern const TableEntry OposPrnSlipState[];
extern const TableEntry OposPrnStatusUpdateEvent[];
extern const TableEntry OposErrorResponse[];

// The device layer's values, as the printer service object passes them on.
extern const TableEntry PosPrintStation[];
extern const TableEntry OposPosMode[];
extern const TableEntry VuskPrnStatusChange[];
extern const TableEntry OposPrnDirectIoCommands[];

// Extended result codes by class.
extern const TableEntry OposPrnRcExt[];
extern const TableEntry OposMicrRcExt[];
extern const TableEntry OposMsrRcExt[];
extern const TableEntry OposScaleRcExt[];
extern const TableEntry OposChangerRcExt[];
extern const TableEntry OposFptrRcExt[];
extern const TableEntry OposTotalRcExt[];
extern const TableEntry OposDisplayRcExt[];
extern const TableEntry OposCheckRcExt[];

// "name=value" of the first row with that index (the value through the row's table, or as a
// number); "index=value" for an index that is not in the table. Kept in the scratch area.
const char* GetPropTableEntry(const PropTableEntry* table, int32_t index, int32_t value);
// "ResultCodeExtended=<name>" through the class's extended table; "" for other classes.
std::string GetResultCodeExtended(const std::string& className, int32_t value);
