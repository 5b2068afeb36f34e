// Loading of plug-in libraries by name, and the font-file reader.
#pragma once

#include <cstddef>
#include <cstdio>
#include <new>

// Loads a library: a name beginning with "ovk" is the file "lib" + name + ".so.0", any
// other name the file of that name; looked for in /usr/lib, then in each directory that
// /etc/ld.so.conf lists, one a line of any length (both paths under OVK_ROOT). 0 when loaded
// (now or before); 301 when it cannot be found or opened (also for a name of 20 characters
// or more); 305 when the 200 entries of the load table are in use. Libraries stay loaded.
int chLoadLibrary(char* name);
int chLoadLibrary(const char* name);
// The address of symbol in the loaded library of that name, or null.
void* chGetLibrarySymbol(char* libraryName, char* symbol);
void* chGetLibrarySymbol(const char* libraryName, const char* symbol);
// Closes the loaded library of that name; 0 whether or not there was one.
int chUnloadLibrary(char* name);
// Closes every loaded library; 0.
int chUnloadLibraryALL();

// Reads the whole file "<data path>/fonts/<fileName>" (under OVK_ROOT) into a new buffer of
// its size + 1 bytes (the caller frees it with delete[]); null when it cannot be read whole.
unsigned char* chLoadFontFile(char* fileName);
unsigned char* chLoadFontFile(const char* fileName);

// Opens "<data path>/fonts/<fileName>" (under OVK_ROOT; the data path is empty without a
// system object) for reading and tells its size in bytes; null when it cannot be opened
// or sized.
FILE* chOpenFontFile(const char* fileName, size_t& size);

// Reads a whole font file into a new T[size / sizeof(T) + 1] (room for a terminator; the
// caller frees it with delete[]) and tells its size in bytes: 0; 316 when it cannot be
// opened or sized, 305 without memory, 301 when it cannot be read whole.
template <typename T>
int chReadFontFile(const char* fileName, T*& data, size_t& size) {
    data = nullptr;
    size = 0;
    FILE* f = fileName ? chOpenFontFile(fileName, size) : nullptr;
    if (!f) return 316;
    T* buffer = new (std::nothrow) T[size / sizeof(T) + 1];
    if (!buffer) {
        std::fclose(f);
        return 305;
    }
    const bool whole = std::fread(buffer, 1, size, f) == size;
    std::fclose(f);
    if (!whole) {
        delete[] buffer;
        return 301;
    }
    data = buffer;
    return 0;
}
