// Plug-in loader over libltdl, and the font-file reader.
#include "syload.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ltdl.h>
#include <mutex>
#include <new>
#include <string>

#include "COMD.h"
#include "ovkhost.h"

namespace {

constexpr int kEntries = 200;
constexpr size_t kNameField = 20; // names of at most 19 characters

struct LoadEntry {
    lt_dlhandle handle;
    char name[kNameField];
};

struct LoadList {
    std::recursive_mutex mutex;
    LoadEntry entries[kEntries] = {};
};

LoadList& loadList() {
    static LoadList list;
    return list;
}

void initLtdl() {
    static std::once_flag once;
    std::call_once(once, [] { lt_dlinit(); });
}

LoadEntry* findLoaded(LoadList& list, const char* name) {
    for (LoadEntry& e : list.entries)
        if (e.handle && std::strcmp(e.name, name) == 0) return &e;
    return nullptr;
}

std::string fileNameIn(const std::string& directory, const char* name) {
    if (std::strncmp(name, "ovk", 3) == 0) return directory + "/lib" + name + ".so.0";
    return directory + "/" + name;
}

bool readable(const std::string& file) {
    FILE* f = std::fopen(file.c_str(), "re");
    if (!f) return false;
    std::fclose(f);
    return true;
}

// Opens the library when the file is in directory. Returns true when the file was there;
// handle is then the opened library, or null when it could not be opened.
bool tryDirectory(const std::string& directory, const char* name, std::string& file,
                  lt_dlhandle& handle) {
    file = fileNameIn(directory, name);
    if (!readable(file)) return false;
    handle = lt_dlopen(file.c_str());
    if (!handle) {
        const char* why = lt_dlerror();
        tprintf("lt_dlopen('%s'): %s\n", file.c_str(), why ? why : "failed");
    }
    return true;
}

} // namespace

int chLoadLibrary(char* name) { return chLoadLibrary(static_cast<const char*>(name)); }

int chLoadLibrary(const char* name) {
    if (!name || !*name || std::strlen(name) >= kNameField) {
        tprintf("Could not load '%s'\n", name ? name : "");
        return 301;
    }
    LoadList& list = loadList();
    std::lock_guard<std::recursive_mutex> g(list.mutex);
    if (findLoaded(list, name)) return 0;
    LoadEntry* entry = nullptr;
    for (LoadEntry& e : list.entries)
        if (!e.handle) {
            entry = &e;
            break;
        }
    if (!entry) return 305;

    initLtdl();
    std::string file;
    lt_dlhandle handle = nullptr;
    bool found = tryDirectory(ovkPath("/usr/lib"), name, file, handle);
    if (!found) {
        if (FILE* conf = std::fopen(ovkPath("/etc/ld.so.conf").c_str(), "re")) {
            // Each line is one directory, however long: a line is never split.
            char* line = nullptr;
            size_t capacity = 0;
            while (!found && ::getline(&line, &capacity, conf) >= 0) {
                line[std::strcspn(line, "\n")] = '\0';
                if (!*line) continue;
                found = tryDirectory(line, name, file, handle);
            }
            std::free(line);
            std::fclose(conf);
        }
    }
    if (!found) {
        tprintf("Could not load '%s'\n", file.c_str());
        return 301;
    }
    tprintf("Loaded '%s'\n", file.c_str());
    if (!handle) return 301;
    entry->handle = handle;
    std::memset(entry->name, 0, sizeof entry->name);
    std::memcpy(entry->name, name, std::strlen(name));
    return 0;
}

void* chGetLibrarySymbol(char* libraryName, char* symbol) {
    return chGetLibrarySymbol(static_cast<const char*>(libraryName),
                              static_cast<const char*>(symbol));
}

void* chGetLibrarySymbol(const char* libraryName, const char* symbol) {
    if (!libraryName || !symbol) return nullptr;
    LoadList& list = loadList();
    std::lock_guard<std::recursive_mutex> g(list.mutex);
    LoadEntry* e = findLoaded(list, libraryName);
    return e ? lt_dlsym(e->handle, symbol) : nullptr;
}

int chUnloadLibrary(char* name) {
    if (!name) return 0;
    LoadList& list = loadList();
    std::lock_guard<std::recursive_mutex> g(list.mutex);
    if (LoadEntry* e = findLoaded(list, name)) {
        lt_dlclose(e->handle);
        e->handle = nullptr;
        std::memset(e->name, 0, sizeof e->name);
    }
    return 0;
}

int chUnloadLibraryALL() {
    LoadList& list = loadList();
    std::lock_guard<std::recursive_mutex> g(list.mutex);
    for (LoadEntry& e : list.entries) {
        if (e.handle) lt_dlclose(e.handle);
        e.handle = nullptr;
        std::memset(e.name, 0, sizeof e.name);
    }
    return 0;
}

unsigned char* chLoadFontFile(char* fileName) {
    return chLoadFontFile(static_cast<const char*>(fileName));
}

unsigned char* chLoadFontFile(const char* fileName) {
    if (!fileName || !pcomd) return nullptr;
    unsigned char* buffer = nullptr;
    size_t size = 0;
    return chReadFontFile(fileName, buffer, size) == 0 ? buffer : nullptr;
}

FILE* chOpenFontFile(const char* fileName, size_t& size) {
    size = 0;
    if (!fileName) return nullptr;
    const char* dataPath = pcomd ? pcomd->GetDataPath() : "";
    const std::string path = ovkPath(std::string(dataPath) + "/fonts/" + fileName);
    FILE* f = std::fopen(path.c_str(), "rbe");
    if (!f) return nullptr;
    long end = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) end = std::ftell(f);
    if (end < 0 || std::fseek(f, 0, SEEK_SET) != 0) {
        std::fclose(f);
        return nullptr;
    }
    size = static_cast<size_t>(end);
    return f;
}
