#include "OposTables.h"

#include <cstdio>

const TableEntry TrueFalse[] = {{0, "FALSE"}, {1, "TRUE"}, {0, nullptr}};

const TableEntry OposPrnSlipState[] = {{0, nullptr}};

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
