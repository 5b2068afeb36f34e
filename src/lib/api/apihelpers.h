// Small services of the client library: buffer checks, resource-file search, the process's
// code page and a few host queries.
#pragma once

enum apiAccessType {
    apiWriteAccess = 1, // a buffer that will be written (its length must be given)
    apiReadAccess = 2,  // a buffer that will only be read (length 0 allowed)
};

// POSERR_SYS_INVALID_ADDRESS for a null or all-ones pointer, or a length of 0 for anything
// but read access; else 0.
unsigned int apiCheckBuffer(const volatile void* buffer, unsigned int length, apiAccessType access);

unsigned int apiGetMaxPathFileLength(); // 4096
int apiQueryPlatform();                 // 4000

// Value of the hexadecimal digits at the start of `text` (at most 8); 0 when none.
unsigned int apiHex(const char* text);

// Looks for a readable `file`: a name with a "/" as given, else in the working directory,
// else in each directory of the ":"-separated list in the environment variable `envVar`.
// 0 with the file's absolute path in `out` (at most `size` bytes), or an error code with `out`
// empty. The process's working directory is never changed.
unsigned int apiSearchPath(const char* file, const char* envVar, char* out, unsigned int size);

// The path of an application resource file: a name with a "/" (or a drive-style second ":")
// as it stands, any other name searched along POSAPPLRESDIR.
unsigned int apiResourceFile(const char* name, char* out, unsigned int size);

// The code page from OVKCODEPAGE (decimal), 858 when unset. Always 0.
unsigned int apiQueryCpInfo(unsigned short& codePage);

unsigned long apiGetThreadId();
int apiGetProcessId();
