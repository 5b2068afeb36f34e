// SIGINT and SIGTERM in the console program: a thread takes them (they are blocked in every
// other thread) and raises a flag; the program's thread acts on it where it waits (for a key
// or a device status), never inside a device request or a lock of the client library.
#pragma once

namespace consoleShutdown {
// Blocks SIGINT and SIGTERM (before any other thread starts), starts the thread taking them
// and ignores SIGTSTP.
void Start();
bool Requested();
// The action the program's thread runs once the flag is up.
void SetAction(void (*action)());
// Runs the action when the flag is up (it does not return then).
void Check();
} // namespace consoleShutdown
