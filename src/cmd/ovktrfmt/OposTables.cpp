#include "OposTables.h"

#include <cstdio>

const TableEntry TrueFalse[] = {{0, "FALSE"}, {1, "TRUE"}, {0, nullptr}};

const TableEntry OposState[] = {
    {1, "OPOS_S_CLOSED"}, {2, "OPOS_S_IDLE"}, {3, "OPOS_S_BUSY"}, {4, "OPOS_S_ERROR"}, {0, nullptr}};

const TableEntry OposPowerNotify[] = {{0, "OPOS_PN_DISABLED"}, {1, "OPOS_PN_ENABLED"}, {0, nullptr}};

const TableEntry OposPowerState[] = {
    {2000, "OPOS_PS_UNKNOWN"}, {2001, "OPOS_PS_ONLINE"}, {2002, "OPOS_PS_OFF"},
    {2003, "OPOS_PS_OFFLINE"}, {2004, "OPOS_PS_OFF_OFFLINE"}, {0, nullptr}};

const TableEntry OposCapPowerReporting[] = {
    {0, "OPOS_PR_NONE"}, {1, "OPOS_PR_STANDARD"}, {2, "OPOS_PR_ADVANCED"}, {0, nullptr}};

const TableEntry OposBinaryConversion[] = {
    {0, "OPOS_BC_NONE"}, {1, "OPOS_BC_NIBBLE"}, {2, "OPOS_BC_DECIMAL"}, {0, nullptr}};

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
    {10, "AutoDisable", TrueFalse},
    {11, "BinaryConversion", OposBinaryConversion},
    {12, "DataCount", nullptr},
    {13, "PowerNotify", OposPowerNotify},
    {14, "PowerState", OposPowerState},
    {501, "CapPowerReporting", OposCapPowerReporting},
    {502, "CapStatisticsReporting", TrueFalse},
    {503, "CapUpdateStatistics", TrueFalse},
    {504, "CapCompareFirmwareVersion", TrueFalse},
    {505, "CapUpdateFirmware", TrueFalse},
    {0, nullptr, nullptr},
};

const TableEntry OposPropString[] = {
    {1000001, "CheckHealthText"},
    {1000002, "DeviceDescription"},
    {1000003, "DeviceName"},
    {1000004, "ServiceObjectDescription"},
    {0, nullptr},
};

const TableEntry OposPrnStation[] = {
    {1, "PTR_S_JOURNAL"},           {2, "PTR_S_RECEIPT"},
    {3, "PTR_S_JOURNAL_RECEIPT"},   {4, "PTR_S_SLIP"},
    {5, "PTR_S_JOURNAL_SLIP"},      {6, "PTR_S_RECEIPT_SLIP"},
    {0x8003, "PTR_TWO_RECEIPT_JOURNAL"}, {0x8005, "PTR_TWO_SLIP_JOURNAL"},
    {0x8006, "PTR_TWO_SLIP_RECEIPT"}, {0, nullptr},
};

const TableEntry OposPrnRotatePrint[] = {
    {0x0001, "PTR_RP_NORMAL"}, {0x0101, "PTR_RP_RIGHT90"}, {0x0102, "PTR_RP_LEFT90"},
    {0x0103, "PTR_RP_ROTATE180"}, {0, nullptr}};

const TableEntry OposPrnBitmapAlignment[] = {
    {-1, "PTR_BM_LEFT"}, {-2, "PTR_BM_CENTER"}, {-3, "PTR_BM_RIGHT"}, {0, nullptr}};

const TableEntry OposPrnBarcodeSymbology[] = {
    {101, "PTR_BCS_UPCA"},    {102, "PTR_BCS_UPCE"},    {103, "PTR_BCS_JAN8"},
    {104, "PTR_BCS_JAN13"},   {105, "PTR_BCS_TF"},      {106, "PTR_BCS_ITF"},
    {107, "PTR_BCS_Codabar"}, {108, "PTR_BCS_Code39"},  {109, "PTR_BCS_Code93"},
    {110, "PTR_BCS_Code128"}, {111, "PTR_BCS_UPCA_S"},  {112, "PTR_BCS_UPCE_S"},
    {113, "PTR_BCS_UPCD1"},   {114, "PTR_BCS_UPCD2"},   {115, "PTR_BCS_UPCD3"},
    {116, "PTR_BCS_UPCD4"},   {117, "PTR_BCS_UPCD5"},   {118, "PTR_BCS_EAN8_S"},
    {119, "PTR_BCS_EAN13_S"}, {120, "PTR_BCS_EAN128"},  {121, "PTR_BCS_OCRA"},
    {122, "PTR_BCS_OCRB"},    {201, "PTR_BCS_PDF417"},  {202, "PTR_BCS_MAXICODE"},
    {501, "PTR_BCS_OTHER"},   {0, nullptr},
};

const TableEntry OposPrnBarcodePosition[] = {
    {-11, "PTR_BC_TEXT_NONE"}, {-12, "PTR_BC_TEXT_ABOVE"}, {-13, "PTR_BC_TEXT_BELOW"}, {0, nullptr}};

const TableEntry OposPrnBarcodeAlignment[] = {
    {-1, "PTR_BC_LEFT"}, {-2, "PTR_BC_CENTER"}, {-3, "PTR_BC_RIGHT"}, {0, nullptr}};

const TableEntry OposPrnTransactionControl[] = {
    {11, "PTR_TP_TRANSACTION"}, {12, "PTR_TP_NORMAL"}, {0, nullptr}};

const TableEntry OposPrnSlipState[] = {{0, nullptr}};

const TableEntry OposPrnStatusUpdateEvent[] = {
    {11, "PTR_SUE_COVER_OPEN"},      {12, "PTR_SUE_COVER_OK"},
    {21, "PTR_SUE_JRN_EMPTY"},       {22, "PTR_SUE_JRN_NEAREMPTY"},
    {23, "PTR_SUE_JRN_PAPEROK"},     {24, "PTR_SUE_REC_EMPTY"},
    {25, "PTR_SUE_REC_NEAREMPTY"},   {26, "PTR_SUE_REC_PAPEROK"},
    {27, "PTR_SUE_SLP_EMPTY"},       {28, "PTR_SUE_SLP_NEAREMPTY"},
    {29, "PTR_SUE_SLP_PAPEROK"},     {1001, "PTR_SUE_IDLE"},
    {2001, "OPOS_SUE_POWER_ONLINE"}, {2002, "OPOS_SUE_POWER_OFF"},
    {2003, "OPOS_SUE_POWER_OFFLINE"}, {2004, "OPOS_SUE_POWER_OFF_OFFLINE"},
    {0, nullptr},
};

const TableEntry OposErrorResponse[] = {
    {11, "OPOS_ER_RETRY"}, {12, "OPOS_ER_CLEAR"}, {13, "OPOS_ER_CONTINUEINPUT"}, {0, nullptr}};

const TableEntry PosPrintStation[] = {
    {1, "PosPRINT_STATION_CR"}, {2, "PosPRINT_STATION_SJ"},
    {3, "PosPRINT_STATION_CR|PosPRINT_STATION_SJ"}, {4, "PosPRINT_STATION_DI"}, {0, nullptr}};

const TableEntry OposPosMode[] = {
    {0, "PosMODE_DIRECT"},   {1, "PosMODE_NORMAL"},        {2, "PosMODE_LOGO"},
    {4, "PosMODE_FISCAL"},   {8, "PosMODE_LOAD_MESSAGE"},  {16, "PosMODE_LOAD_LOGO"},
    {64, "PosMODE_CHECK"},   {128, "PosMODE_RAS"},         {159, "PosMODE_RAW"},
    {188, "PosMODE_BARCODE"}, {0, nullptr},
};

const TableEntry VuskPrnStatusChange[] = {
    {1, "PosCHANGE_DOCUMENT_AT_TOP"},   {2, "PosCHANGE_DOCUMENT_AT_FRONT"},
    {4, "PosCHANGE_DOCUMENT_REGISTER"}, {8, "PosCHANGE_COVER"},
    {16, "PosCHANGE_CR_PAPER_LOW"},     {17, "PosCHANGE_CR_PAPER_OUT"},
    {18, "PosCHANGE_CR_OVERHEAT"},      {19, "PosCHANGE_CR_PRINT_HEAD"},
    {32, "PosCHANGE_SJ_PAPER_LOW"},     {33, "PosCHANGE_SJ_PAPER_OUT"},
    {34, "PosCHANGE_SJ_OVERHEAT"},      {35, "PosCHANGE_SJ_PRINT_HEAD"},
    {36, "PosCHANGE_CD_OPEN"},          {37, "PosCHANGE_CD_CLOSED"},
    {64, "PosCHANGE_TEST_MODE"},        {128, "PosCHANGE_SJ_PAPER"},
    {0, nullptr},
};

const TableEntry OposPrnDirectIoCommands[] = {
    {0, "FLIP_CHECK_ID"},           {1, "PRINT_DOWNLOADED_BITMAP_ID"},
    {2, "PRINT_DOWNLOADED_MESSAGE_ID"}, {3, "SELECT_USER_CODE_PAGE_ID"},
    {4, "MICR_READ_ID"},            {16, "WRITE_FLASH_MEMORY"},
    {17, "READ_FLASH_MEMORY"},      {18, "QUERY_FLASH_SIZE"},
    {19, "QUERY_MAXIMUM_RECORDS"},  {20, "SET_RECORD_LENGTH"},
    {21, "ERASE_FLASH_MEMORY"},     {22, "QUERY_RECORD_LENGTH"},
    {101, "PM_CLEAR_PRINT_AREA"},   {102, "PM_PAGE_MODE_PRINT"},
    {103, "PM_HORIZONTAL_POSITION"}, {104, "PM_VERTICAL_POSITION"},
    {105, "PM_PAGE_AREA"},          {106, "PM_PAGE_MODE_STATION"},
    {107, "PM_PRINT_AREA"},         {108, "PM_PRINT_DIRECTION"},
    {201, "CS_MICR_READ_WITH_SCAN"}, {202, "CS_COMPRESSION_FORMAT"},
    {203, "CS_SCAN_DOCUMENT"},      {204, "CS_STORE_DOCUMENT"},
    {205, "CS_RETRIEVE_BY_INDEX"},  {206, "CS_RETRIEVE_BY_TAGNAME"},
    {207, "CS_ERASE_STORAGE"},      {501, "MISC_RESET_PRINTER"},
    {502, "MISC_CHECK_FOR_ERRORS"}, {0, nullptr},
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
    {208, "OPOS_EPTR_JRN_CARTRIDGE_REMOVED"},
    {209, "OPOS_EPTR_JRN_CARTRIDGE_EMPTY"},
    {210, "OPOS_EPTR_JRN_HEAD_CLEANING"},
    {211, "OPOS_EPTR_REC_CARTRIDGE_REMOVED"},
    {212, "OPOS_EPTR_REC_CARTRIDGE_EMPTY"},
    {213, "OPOS_EPTR_REC_HEAD_CLEANING"},
    {214, "OPOS_EPTR_SLP_CARTRIDGE_REMOVED"},
    {215, "OPOS_EPTR_SLP_CARTRIDGE_EMPTY"},
    {216, "OPOS_EPTR_SLP_HEAD_CLEANING"},
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

const TableEntry OposMsrRcExt[] = {
    {201, "OPOS_EMSR_START"}, {202, "OPOS_EMSR_END"}, {203, "OPOS_EMSR_PARITY"}, {204, "OPOS_EMSR_LRC"},
    {0, nullptr}};

const TableEntry OposScaleRcExt[] = {{201, "OPOS_ESCAL_OVERWEIGHT"}, {0, nullptr}};

const TableEntry OposChangerRcExt[] = {{201, "OPOS_ECHAN_OVERDISPENSE"}, {0, nullptr}};

const TableEntry OposFptrRcExt[] = {
    {201, "OPOS_EFPTR_COVER_OPEN"},
    {202, "OPOS_EFPTR_JRN_EMPTY"},
    {203, "OPOS_EFPTR_REC_EMPTY"},
    {204, "OPOS_EFPTR_SLP_EMPTY"},
    {205, "OPOS_EFPTR_SLP_FORM"},
    {206, "OPOS_EFPTR_MISSING_DEVICES"},
    {207, "OPOS_EFPTR_WRONG_STATE"},
    {208, "OPOS_EFPTR_TECHNICAL_ASSISTANCE"},
    {209, "OPOS_EFPTR_CLOCK_ERROR"},
    {210, "OPOS_EFPTR_FISCAL_MEMORY_FULL"},
    {211, "OPOS_EFPTR_FISCAL_MEMORY_DISCONNECTED"},
    {212, "OPOS_EFPTR_FISCAL_TOTALS_ERROR"},
    {213, "OPOS_EFPTR_BAD_ITEM_QUANTITY"},
    {214, "OPOS_EFPTR_BAD_ITEM_AMOUNT"},
    {215, "OPOS_EFPTR_BAD_ITEM_DESCRIPTION"},
    {216, "OPOS_EFPTR_RECEIPT_TOTAL_OVERFLOW"},
    {217, "OPOS_EFPTR_BAD_VAT"},
    {218, "OPOS_EFPTR_BAD_PRICE"},
    {219, "OPOS_EFPTR_BAD_DATE"},
    {220, "OPOS_EFPTR_NEGATIVE_TOTAL"},
    {221, "OPOS_EFPTR_WORD_NOT_ALLOWED"},
    {222, "OPOS_EFPTR_BAD_LENGTH"},
    {223, "OPOS_EFPTR_MISSING_SET_CURRENCY"},
    {224, "OPOS_EFPTR_DAY_END_REQUIRED"},
    {0, nullptr},
};

const TableEntry OposTotalRcExt[] = {{201, "OPOS_ETOT_NOROOM"}, {202, "OPOS_ETOT_VALIDATION"}, {0, nullptr}};

const TableEntry OposDisplayRcExt[] = {{201, "OPOS_EDISP_TOOBIG"}, {202, "OPOS_EDISP_NOROOM"}, {0, nullptr}};

const TableEntry OposCheckRcExt[] = {{0, nullptr}};

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
    static const struct {
        const char* className;
        const TableEntry* table;
    } byClass[] = {
        {"CPosPrinter", OposPrnRcExt},     {"CMICR", OposMicrRcExt},       {"CMSR", OposMsrRcExt},
        {"CScale", OposScaleRcExt},        {"CCashChanger", OposChangerRcExt},
        {"CFiscalPrinter", OposFptrRcExt}, {"CHardTotals", OposTotalRcExt}, {"CDisplay", OposDisplayRcExt},
        {"CCheckScanner", OposCheckRcExt},
    };
    for (const auto& c : byClass)
        if (className == c.className) return std::string("ResultCodeExtended=") + GetTableEntry(c.table, value);
    return "";
}
