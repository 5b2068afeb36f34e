// Typed resource loader over libX11's resource manager.
#include "syresource.h"

#include <X11/Xlib.h>
#include <X11/Xresource.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "ovkhost.h"
#include "syresnames.h"

namespace {

constexpr int kNoMemory = 305;
constexpr int kBadType = 321;

// The resource manager's quark tables are process-wide; databases are built from several
// request threads, so Xlib's own locking is switched on before its first use.
void initResourceManager() {
    static std::once_flag once;
    std::call_once(once, [] {
        XInitThreads();
        XrmInitialize();
    });
}

// The text of a resource, copied out of the database (bounded by the value's size) so that
// nothing done to it reaches the database's own storage. The name and class are looked up
// in the terms of the database's own components (see syresnames.h).
bool getText(XrmDatabase database, const ResourceNames* names, const char* name, const char* cls,
             std::string& text) {
    if (!database || !names) return false;
    std::string knownName, knownClass;
    if (!names->Translate(name, knownName) || !names->Translate(cls, knownClass)) return false;
    char* type = nullptr;
    XrmValue value{0, nullptr};
    if (!XrmGetResource(database, knownName.c_str(), knownClass.c_str(), &type, &value) ||
        !value.addr)
        return false;
    text.assign(value.addr, strnlen(value.addr, value.size));
    return true;
}

// Looks text up in the row's value table. Like Lookup, a row with a table sees its text
// cut at the first blank or tab for what follows.
bool lookupInTable(const posResources& row, std::string& text, int32_t& value) {
    if (!row.table) return false;
    if (LookupValue(text.c_str(), row.table, row.tableRows, value)) return true;
    size_t cut = text.find_first_of(" \t");
    if (cut != std::string::npos) text.resize(cut);
    return false;
}

int32_t toInteger(const std::string& text, int32_t defaultValue) {
    const char* t = text.c_str();
    if (chCheckBuffer(t, 0, CH_ACCESS_STRING) != 0) return defaultValue;
    if (t[0] == '0' && (t[1] == 'x' || t[1] == 'X') && t[2]) {
        char* end = nullptr;
        long v = std::strtol(t + 2, &end, 16);
        if (end == t + 2) return defaultValue;
        return static_cast<int32_t>(v);
    }
    return static_cast<int32_t>(std::strtol(t, nullptr, 10));
}

int32_t toBoolean(const std::string& text, int32_t defaultValue) {
    if (chCheckBuffer(text.c_str(), 0, CH_ACCESS_STRING) != 0) return defaultValue;
    std::string s = text.substr(0, 49);
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (s == "1" || s == "on" || s == "true" || s == "yes") return 1;
    if (s == "0" || s == "off" || s == "false" || s == "no") return 0;
    return defaultValue;
}

int32_t toHexByte(const std::string& text, int32_t defaultValue) {
    if (text.size() != 2 || !std::isxdigit(static_cast<unsigned char>(text[0])) ||
        !std::isxdigit(static_cast<unsigned char>(text[1])))
        return defaultValue;
    return static_cast<int32_t>(std::strtol(text.c_str(), nullptr, 16));
}

char* copyString(const char* s) {
    size_t n = std::strlen(s) + 1;
    char* p = static_cast<char*>(std::malloc(n));
    if (p) std::memcpy(p, s, n);
    return p;
}

// Loads one row whose value address is set; 0 or an error code.
int loadRow(XrmDatabase database, const ResourceNames* names, const posResources& row,
            const char* name, const char* cls) {
    std::string text;
    const bool found = getText(database, names, name, cls, text);
    const int32_t def = static_cast<int32_t>(row.defaultValue);
    int32_t* out = static_cast<int32_t*>(row.value);

    switch (row.type) {
    case POSRES_STRING: {
        const char* src = found ? text.c_str() : reinterpret_cast<const char*>(row.defaultValue);
        char* copy = nullptr;
        if (src) {
            copy = copyString(src);
            if (!copy) return kNoMemory;
        }
        *static_cast<char**>(row.value) = copy;
        return 0;
    }
    case POSRES_INTEGER: {
        // A default of -1 (such as an all-ones mask) is kept whatever the resource says.
        if (!found || def == -1) {
            *out = def;
            return 0;
        }
        int32_t v;
        *out = lookupInTable(row, text, v) ? v : toInteger(text, def);
        return 0;
    }
    case POSRES_BOOLEAN:
        *out = found ? toBoolean(text, def) : def;
        return 0;
    case POSRES_HEXBYTE: {
        if (!found) {
            *out = def;
            return 0;
        }
        int32_t v;
        *out = lookupInTable(row, text, v) ? v : toHexByte(text, def);
        return 0;
    }
    default:
        return kBadType;
    }
}

} // namespace

char* makeName(const char* prefix, const char* name) {
    if (!prefix) prefix = "";
    if (!name) name = "";
    size_t n = std::strlen(prefix) + std::strlen(name) + 2;
    char* p = static_cast<char*>(std::malloc(n));
    if (p) std::snprintf(p, n, "%s.%s", prefix, name);
    return p;
}

int InitResources(XrmDatabase& database, const char* fileName) {
    initResourceManager();
    if (database) {
        ResourceNames::Forget(database);
        XrmDestroyDatabase(database);
    }
    database = XrmGetStringDatabase("");
    if (fileName && *fileName) {
        if (XrmDatabase fromFile = XrmGetFileDatabase(fileName)) {
            if (database) XrmDestroyDatabase(database);
            database = fromFile;
        }
    }
    ResourceNames::Register(database);
    return 0;
}

void DestroyResources(void* database) {
    if (!database) return;
    ResourceNames::Forget(static_cast<XrmDatabase>(database));
    XrmDestroyDatabase(static_cast<XrmDatabase>(database));
}

int XrmLoadResources(XrmDatabase database, const char* namePrefix, const char* classPrefix,
                     const posResources* table, int rows) {
    if (!table) return 0;
    initResourceManager();
    const std::shared_ptr<const ResourceNames> names =
        database ? ResourceNames::For(database) : nullptr;
    for (int i = 0; i < rows; ++i) {
        const posResources& row = table[i];
        if (!row.value) continue;
        char* name = makeName(namePrefix, row.name);
        char* cls = makeName(classPrefix, row.className);
        int rc = (name && cls) ? loadRow(database, names.get(), row, name, cls) : kNoMemory;
        std::free(name);
        std::free(cls);
        if (rc != 0) {
            XrmDumpResources(table, i);
            return rc;
        }
    }
    return 0;
}

void XrmDumpResources(const posResources* table, int rows) {
    if (!table) return;
    for (int i = 0; i < rows; ++i) {
        if (table[i].type != POSRES_STRING || !table[i].value) continue;
        char** p = static_cast<char**>(table[i].value);
        std::free(*p);
        *p = nullptr;
    }
}
