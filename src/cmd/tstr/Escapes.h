// Escape expansion of typed text: C-style backslash escapes turned into the bytes they stand
// for, so that any byte can be typed for a name, a string value or data to write.
#pragma once

// Expands the escapes of the zero-terminated `text` in place and returns the number of bytes
// of the result (which may hold zero bytes); a terminator follows them. An unknown escape
// prints "--> Error, unknown escape sequence '%c%c'" and keeps both characters.
int ExpandString(char* text);
