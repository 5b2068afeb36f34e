#include "TstrNames.h"

#include <cctype>
#include <cstdio>
#include <iterator>
#include <string>

namespace {

// A formatter table seen through this program's differences: `first` rows are looked at
// before the table, `absent` values are treated as missing from it, `last` rows come after.
struct Overlay {
    const TableEntry* base;
    const TableEntry* first;
    const int32_t* absent;
    size_t absentCount;
    const TableEntry* last;
};

const TableEntry kNone[] = {{0, nullptr}};

const TableEntry kDevLast[] = {{255, "INTERNAL_POSQ"}, {254, "INTERNAL_SNF"}, {0, nullptr}};

const TableEntry kRequestLast[] = {
    {4914, "POS_PRN_SOUND_TONE"},
    {4915, "POS_PRN_SILENCE_TONE"},
    {4916, "POS_PRN_ENABLE_CASH_DRAWER"},
    {4917, "POS_PRN_DISABLE_CASH_DRAWER"},
    {4918, "POS_PRN_ERASE_EPROM_MEMORY"},
    {0, nullptr},
};

const TableEntry kErrorLast[] = {
    {4928, "POSERR_PRN_INVALID_PULSE_WIDTH"},
    {4929, "POSERR_PRN_INVALID_STATUS_LEVEL"},
    {4930, "POSERR_PRN_INVALID_RECORD"},
    {0, nullptr},
};

const int32_t kMessageAbsent[] = {0x421B, 0x421C, 0x421D};

const TableEntry kSubtypeFirst[] = {{0x4A01, "6734"}, {0, nullptr}};
const TableEntry kSubtypeLast[] = {
    {0x1D0C, "6348_KEYPAD_NO_KEYS"},
    {0x1D0D, "6348_KEYPAD"},
    {0x3204, "6677_301"},
    {0, nullptr},
};
const int32_t kSubtypeAbsent[] = {0x1C06, 0x1C0A, 0x1D06, 0x1D0A, 0x1D0B, 0x3509, 0x3529, 0x3549,
                                  0x3569, 0x3588, 0x35C8, 0x3704, 0x4800, 0x4801, 0x4900, 0x4901};

const TableEntry* find(const TableEntry* rows, int32_t value) {
    for (; rows->Name; ++rows)
        if (rows->Value == value) return rows;
    return nullptr;
}

// The row's name, or nullptr when the overlay has no row for the value.
const char* lookup(const Overlay& o, int32_t value) {
    if (const TableEntry* row = find(o.first, value)) return row->Name;
    bool left = false;
    for (size_t i = 0; i < o.absentCount; ++i) left = left || o.absent[i] == value;
    if (!left)
        if (const TableEntry* row = find(o.base, value)) return row->Name;
    if (const TableEntry* row = find(o.last, value)) return row->Name;
    return nullptr;
}

// The name, or the formatter's text for a missing value (kept in its scratch area).
const char* name(const Overlay& o, int32_t value) {
    if (const char* n = lookup(o, value)) return n;
    return GetTableEntry(kNone, value);
}

const Overlay kDevices{DevTable, kNone, nullptr, 0, kDevLast};
const Overlay kRequests{IOCtlTable, kNone, nullptr, 0, kRequestLast};
const Overlay kErrors{ErrnoTable, kNone, nullptr, 0, kErrorLast};
const Overlay kMessages{QMsgTable, kNone, kMessageAbsent, std::size(kMessageAbsent), kNone};
const Overlay kSubtypes{SubtypeTable, kSubtypeFirst, kSubtypeAbsent, std::size(kSubtypeAbsent),
                        kSubtypeLast};

std::string squeezed(const char* text, bool upper) {
    std::string out;
    for (; *text; ++text) {
        if (*text == ' ' || *text == '_') continue;
        out += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(*text))) : *text;
    }
    return out;
}

} // namespace

const char* DeviceName(int32_t address) { return name(kDevices, address); }
const char* RequestName(int32_t request) { return name(kRequests, request); }
const char* ErrorName(int32_t code) { return name(kErrors, code); }
const char* MessageName(int32_t message) { return name(kMessages, message); }

const char* SubtypeName(int device, int subtype) {
    if (subtype == 0) return "NONE";
    const int32_t key = static_cast<int32_t>((static_cast<uint32_t>(device) << 8) |
                                             static_cast<uint32_t>(subtype & 0xFF));
    if (const char* n = lookup(kSubtypes, key)) return n;
    char text[32];
    std::snprintf(text, sizeof text, "%3d (0x%02X)", subtype, static_cast<unsigned>(subtype));
    return KeepTableString(text);
}

bool FindMatch(const char* text, int32_t* request) {
    const std::string wanted = squeezed(text, true);
    if (wanted.empty()) return false;
    int hits = 0;
    int32_t value = 0;
    for (const TableEntry* table : {IOCtlTable, kRequestLast}) {
        for (const TableEntry* row = table; row->Name; ++row) {
            if (squeezed(row->Name, false).find(wanted) == std::string::npos) continue;
            ++hits;
            value = row->Value;
        }
    }
    if (hits == 0) std::printf("  --> Couldn't find match for: '%s'\n", text);
    if (hits > 1) std::printf("  --> Multiple matches for: '%s'\n", text);
    if (hits != 1) return false;
    *request = value;
    return true;
}
