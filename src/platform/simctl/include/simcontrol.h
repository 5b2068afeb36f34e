// The control socket of the simulators: a Unix stream socket that takes commands of one line
// each and answers each with one line ("ok ..." or "error ...").
#pragma once

#include <string>

namespace simctl {

// Sends all of `text` on a connected socket; false when the peer has gone.
bool sendAll(int fd, const std::string& text);

// Listens on the Unix socket `path`. A socket left there by an earlier run is replaced, any
// other file is not. False, with `error` said and `fd` -1, when it cannot.
bool listenOn(const std::string& path, int& fd, std::string& error);

// What is said of a socket path too long for a Unix socket: the limit and the path.
std::string tooLong(const std::string& path);

// Runs one command on the simulator behind the control socket and prints its reply: 0 for a
// reply beginning "ok", 1 for any other reply or none, or a socket path too long (said on
// standard error after `program`), -1 when the command holds a new line (a usage error).
int runCommand(const char* program, const std::string& socketPath, const std::string& command);

} // namespace simctl
