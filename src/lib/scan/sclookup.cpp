// Value tables of the scanner resources: names to client values.
#include "sclookup.h"

#include "scandefs.h"

#define ROW(name, value) {name, LookupHash(name), value}
#define ROWS(table) static_cast<int>(sizeof table / sizeof table[0])

const posLookup posEnableLookupTbl[] = {ROW("DISABLE", 0), ROW("ENABLE", 1)};
const int posEnableLookupRows = ROWS(posEnableLookupTbl);

const posLookup posLabelLookupTbl[] = {
    ROW("LABEL_NO_CHECK", LABEL_NO_CHECK),
    ROW("LABEL_STD_2_OF_5", LABEL_STD_2_OF_5),
    ROW("LABEL_INT_2_OF_5", LABEL_INT_2_OF_5),
    ROW("LABEL_UPC_D5", LABEL_UPC_D5),
    ROW("LABEL_UPC_D4", LABEL_UPC_D4),
    ROW("LABEL_UPC_D3", LABEL_UPC_D3),
    ROW("LABEL_UPC_D2", LABEL_UPC_D2),
    ROW("LABEL_UPC_D1", LABEL_UPC_D1),
    ROW("LABEL_EAN_13", LABEL_EAN_13),
    ROW("LABEL_EAN_13_PLUS_5", LABEL_EAN_13_PLUS_5),
    ROW("LABEL_EAN_13_PLUS_2", LABEL_EAN_13_PLUS_2),
    ROW("LABEL_EAN_8", LABEL_EAN_8),
    ROW("LABEL_EAN_8_PLUS_5", LABEL_EAN_8_PLUS_5),
    ROW("LABEL_EAN_8_PLUS_2", LABEL_EAN_8_PLUS_2),
    ROW("LABEL_UPC_E", LABEL_UPC_E),
    ROW("LABEL_UPC_E_PLUS_5", LABEL_UPC_E_PLUS_5),
    ROW("LABEL_UPC_E_PLUS_2", LABEL_UPC_E_PLUS_2),
    ROW("LABEL_UPC_A", LABEL_UPC_A),
    ROW("LABEL_UPC_A_PLUS_5", LABEL_UPC_A_PLUS_5),
    ROW("LABEL_UPC_A_PLUS_2", LABEL_UPC_A_PLUS_2),
    ROW("LABEL_CODE_128", LABEL_CODE_128),
    ROW("LABEL_CODE_93", LABEL_CODE_93),
    ROW("LABEL_CODE_39", LABEL_CODE_39),
    ROW("LABEL_CODABAR", LABEL_CODABAR),
};
const int posLabelLookupRows = ROWS(posLabelLookupTbl);

// Every label group, valued as the OR of its label types.
const posLookup posLgroupLookupTbl[] = {
    ROW("LGROUP_NONE", LGROUP_NONE),
    ROW("LGROUP_UPC_EAN", LGROUP_UPC_EAN),
    ROW("LGROUP_UPC_EAN_D1_TO_D5", LGROUP_UPC_EAN_D1_TO_D5),
    ROW("LGROUP_UPC_EAN_PLUS_5", LGROUP_UPC_EAN_PLUS_5),
    ROW("LGROUP_UPC_EAN_PLUS_2", LGROUP_UPC_EAN_PLUS_2),
    ROW("LGROUP_UPC_EAN_PLUS_2_5", LGROUP_UPC_EAN_PLUS_2_5),
    ROW("LGROUP_INT_2_OF_5", LGROUP_INT_2_OF_5),
    ROW("LGROUP_CODE_128", LGROUP_CODE_128),
    ROW("LGROUP_CODE_93", LGROUP_CODE_93),
    ROW("LGROUP_CODE_39", LGROUP_CODE_39),
    ROW("LGROUP_CODABAR", LGROUP_CODABAR),
    ROW("LGROUP_STD_2_OF_5", LGROUP_STD_2_OF_5),
    ROW("LGROUP_UPC_EAN_ITF", LGROUP_UPC_EAN_ITF),
    ROW("LGROUP_UPC_EAN_D3", LGROUP_UPC_EAN_D3),
    ROW("LGROUP_UPC_EAN_CODE_39", LGROUP_UPC_EAN_CODE_39),
    ROW("LGROUP_UPC_EAN_CODABAR", LGROUP_UPC_EAN_CODABAR),
    ROW("LGROUP_UPC_EAN_CODE_128", LGROUP_UPC_EAN_CODE_128),
    ROW("LGROUP_UPC_EAN_CODE_93", LGROUP_UPC_EAN_CODE_93),
    ROW("LGROUP_UPC_EAN_2_5_CODABAR", LGROUP_UPC_EAN_2_5_CODABAR),
    ROW("LGROUP_PLUS_2_5_ONLY", LGROUP_PLUS_2_5_ONLY),
    ROW("LGROUP_UPC_D1_TO_D5", LGROUP_UPC_D1_TO_D5),
};
const int posLgroupLookupRows = ROWS(posLgroupLookupTbl);

const posLookup posRangeSetLookupTbl[] = {ROW("LOWEST", 0), ROW("LOW", 1), ROW("MEDIUM", 2),
                                          ROW("HIGH", 3), ROW("HIGHEST", 4)};
const int posRangeSetLookupRows = ROWS(posRangeSetLookupTbl);

const posLookup posTimeRangeLookupTbl[] = {ROW("SHORT", 0), ROW("MEDLONG", 1), ROW("LONG", 2)};
const int posTimeRangeLookupRows = ROWS(posTimeRangeLookupTbl);

const posLookup posExpansionLookupTbl[] = {
    ROW("NO_EXPANSION", 0),       ROW("UPCA_TO_EAN13", 1), ROW("UPCE_TO_EAN13", 2),
    ROW("UPCA_UPCE_TO_EAN13", 3), ROW("UPCE_TO_UPCA", 4),  ROW("UPCE_TO_UPCA_TO_EAN13", 5),
};
const int posExpansionLookupRows = ROWS(posExpansionLookupTbl);

const posLookup posVerifyLookupTbl[] = {ROW("NO_VERIFY", 0), ROW("VERIFY_4DIGIT", 1),
                                        ROW("VERIFY_5DIGIT", 2)};
const int posVerifyLookupRows = ROWS(posVerifyLookupTbl);
