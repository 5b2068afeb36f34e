// Value tables of the scanner resources.
#pragma once

#include "sylookup.h"

extern const posLookup posEnableLookupTbl[];     // DISABLE 0, ENABLE 1
extern const int posEnableLookupRows;
extern const posLookup posLabelLookupTbl[];      // label types
extern const int posLabelLookupRows;
extern const posLookup posLgroupLookupTbl[];     // label groups
extern const int posLgroupLookupRows;
extern const posLookup posRangeSetLookupTbl[];   // LOWEST 0 .. HIGHEST 4
extern const int posRangeSetLookupRows;
extern const posLookup posTimeRangeLookupTbl[];  // SHORT 0, MEDLONG 1, LONG 2
extern const int posTimeRangeLookupRows;
extern const posLookup posExpansionLookupTbl[];  // UPC expansions 0 .. 5
extern const int posExpansionLookupRows;
extern const posLookup posVerifyLookupTbl[];     // price check verification 0 .. 2
extern const int posVerifyLookupRows;
