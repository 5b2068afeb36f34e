// Starting of child programs. Children are not waited for by the caller; the core reaps
// them in the background.
#pragma once

// Starts program with the blank-separated words of arguments (at most 7 words are passed).
// With a non-empty debugger string, its first word (or "dbx" when it has none) runs the
// program and its arguments instead. A program name without "/" is taken from /usr/bin under
// OVK_ROOT when it is there, else from PATH. 0 once forked; 301 when the fork fails (logged
// as 24201).
int chStartProcess(const unsigned char* program, const unsigned char* arguments,
                   const unsigned char* debugger);
// "ovkfld63 -P <port> -S <slot> -F <fileName>".
int chStart63Firmload(int slot, int port, char* fileName, const unsigned char* debugger);
// "ovkk7eld -P <port> -S <slot> -C".
int chStartK7eDownload(int slot, int port, const unsigned char* debugger);
