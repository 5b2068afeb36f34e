// The daemon's own log lines: start-up, shut-down and connection failures. Each line goes to
// the standard error, which is the daemon's log file unless it runs in the foreground; in the
// foreground the log file (standard output) gets it as well.
#pragma once

void daemonLogToBoth(bool both);
void daemonLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
