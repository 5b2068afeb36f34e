#include "OposTables.h"

#include <cstdio>

const TableEntry TrueFalse[] = {{0, "FALSE"}, {1, "TRUE"}, {0, nullptr}};

const TableEntry OposState[] = {
    {1, "OPOS_S_CLOSED"}, {2, "OPOS_S_IDLE"}, {3, "OPOS_S_BUSY"}, {4, "OPOS_S_ERROR"}, {0, nullptr}};

const PropTableEntry OposProp[] = {
    {1, "Claimed", TrueFalse},
    {2, "DataEventEnabled", TrueFalse},
    {3, "DeviceEnabled", TrueFalse},
    {4, "FreezeEvents", TrueFalse},
    {5, "OutputID", nullptr},
    {6, "ResultCode", OposRc},
    {7, "ResultCodeExtended", nullptr},
    {8, "ServiceObjectVersion", nullptr},
    {9, "State", OposState},
    {0, nullptr, nullptr},
};

const TableEntry OposPropString[] = {
    {1000001, "CheckHealthText"},
    {1000002, "DeviceDescription"},
    {1000003, "DeviceName"},
    {1000004, "ServiceObjectDescription"},
    {0, nullptr},
};

#define OVK_QORVEL_EPTR_CODES                                                                      \
    {501, "QORVEL_EPTR_IMAGE_SCAN_FAILED"}, {502, "QORVEL_EPTR_IMAGE_RETRIEVE_FAILED"},            \
        {503, "QORVEL_EPTR_HOME_ERROR"}, {504, "QORVEL_EPTR_PAPER_LOAD_ERROR"},                    \
        {505, "QORVEL_EPTR_PAPER_ERROR"}, {506, "QORVEL_EPTR_UNRECOVERABLE_ERROR"},                \
        {507, "QORVEL_EPTR_COMMAND_REJECT"}, {508, "QORVEL_EPTR_COMMUNICATION_ERROR"},             \
        {509, "QORVEL_EPTR_NOT_RESPONDING"}, {510, "QORVEL_EPTR_RESCAN_REQUIRED"},                 \
        {511, "QORVEL_EPTR_PRINTER_RESET"}, {512, "QORVEL_EPTR_NO_IMAGE_AVAILABLE"}

const TableEntry OposPrnRcExt[] = {
    {0, "NONE"},
    {201, "OPOS_EPTR_COVER_OPEN"},
    {202, "OPOS_EPTR_JRN_EMPTY"},
    {203, "OPOS_EPTR_REC_EMPTY"},
    {204, "OPOS_EPTR_SLP_EMPTY"},
    {205, "OPOS_EPTR_SLP_FORM"},
    {206, "OPOS_EPTR_TOOBIG"},
    {207, "OPOS_EPTR_BADFORMAT"},
    OVK_QORVEL_EPTR_CODES,
    {0, nullptr},
};

const TableEntry OposMicrRcExt[] = {
    {0, "NONE"},
    {201, "OPOS_EMICR_NOCHECK"},
    {202, "OPOS_EMICR_CHECK"},
    OVK_QORVEL_EPTR_CODES,
    {0, nullptr},
};

const char* GetPropTableEntry(const PropTableEntry* table, int32_t index, int32_t value) {
    char text[200];
    for (const PropTableEntry* row = table; row->Name; ++row) {
        if (row->Value != index) continue;
        if (row->Values)
            std::snprintf(text, sizeof text, "%s=%s", row->Name, GetTableEntry(row->Values, value));
        else
            std::snprintf(text, sizeof text, "%s=%d", row->Name, value);
        return KeepTableString(text);
    }
    std::snprintf(text, sizeof text, "%d=%d", index, value);
    return KeepTableString(text);
}

std::string GetResultCodeExtended(const std::string& className, int32_t value) {
    const TableEntry* table = className == "CPosPrinter" ? OposPrnRcExt
                              : className == "CMICR"     ? OposMicrRcExt
                                                         : nullptr;
    if (!table) return "";
    return std::string("ResultCodeExtended=") + GetTableEntry(table, value);
}
