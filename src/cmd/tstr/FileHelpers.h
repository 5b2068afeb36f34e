// Whole-file transfers between disk and a buffer, with the program's messages.
#pragma once

// Reads the whole file into the buffer: its length; 0 when the buffer is too small; -1 on
// an error (each printed).
int ReadFromFile(const char* path, void* buffer, int size);
// Writes the bytes to a new file: the count written, or -1 on an error (printed).
int WriteToFile(const char* path, const void* data, int length);
