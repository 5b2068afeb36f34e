// Loading of plug-in libraries by name, and the font-file reader.
#pragma once

// Loads a library: a name beginning with "ovk" is the file "lib" + name + ".so.0", any
// other name the file of that name; looked for in /usr/lib, then in each directory that
// /etc/ld.so.conf lists (both paths under OVK_ROOT). 0 when loaded (now or before); 301
// when it cannot be found or opened (also for a name of 20 characters or more); 305 when
// the 200 entries of the load table are in use. Libraries stay loaded.
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
