// Typed resource loader: fills program variables from a resource database in X-resource
// syntax (libX11's resource manager), row by row of a posResources table.
#pragma once

#include <cstdint>

#include "sylookup.h"

// libX11's resource database handle, declared as <X11/Xresource.h> does so that users of
// this header do not take in Xlib's macros.
typedef struct _XrmHashBucketRec* XrmDatabase;

// Row types of a resource table.
enum {
    POSRES_STRING = 0,  // value address is a char*, receives a malloc'd copy (or null)
    POSRES_INTEGER = 1, // value address is an int32_t; value table by name, else 0x.. or decimal
    POSRES_BOOLEAN = 2, // value address is an int32_t; 1/on/true/yes or 0/off/false/no
    POSRES_HEXBYTE = 3, // value address is an int32_t; value table by name, else two hex digits
};

// One row of a resource table.
struct posResources {
    const char* name;          // resource name (last component)
    const char* className;     // resource class (last component)
    int32_t type;              // POSRES_*
    void* value;               // where the result goes; a row with a null address is skipped
    intptr_t defaultValue;     // the integer default, or a const char* for a string row
    const posLookup* table;    // value table for integer and hexadecimal-byte rows, or null
    int32_t tableRows;         // rows of that table (0 for none)
};

// Makes database an empty database, destroying the one it held, and then reads fileName
// into it when that file can be read. Returns 0 in every case.
int InitResources(XrmDatabase& database, const char* fileName);

// Destroys a database (null is allowed).
void DestroyResources(void* database);

// Fills each row's variable from the resource namePrefix.name of class classPrefix.className,
// or with its default when the database does not hold it. Returns 0, or the first error
// (305 no memory, 321 unknown row type); then the strings loaded by this call are freed.
// The database's text is never changed.
int XrmLoadResources(XrmDatabase database, const char* namePrefix, const char* classPrefix,
                     const posResources* table, int rows);

// Frees the string of every string row and sets its variable to null.
void XrmDumpResources(const posResources* table, int rows);

// A malloc'd "prefix.name"; null when no memory. Free it with free().
char* makeName(const char* prefix, const char* name);
