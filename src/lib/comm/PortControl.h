// Opening, closing and setting up serial and parallel ports, their modem lines and the
// printer status, through the device-operations table.
#pragma once

#include <string>

namespace portctl {

// Opens the node read-write (semId -1: without the ownership lock); serial ports are set
// raw. The descriptor, or -1 (the lock given back).
int openSerial(const std::string& node, int semId);
int openParallel(const std::string& node, int semId);
void closeSerial(int fd, int semId);
void closeParallel(int fd, int semId);

int setParams(int fd, int baud, int dataBits, int stopBits, int parity);
int setFlowControl(int fd, int mode);
int flowControl(int fd);
int baudRate(int fd);
int dataBits(int fd);
int stopBits(int fd);
int parity(int fd);

// Sets or clears modem-line bits (TIOCM_DTR, TIOCM_RTS); the set result, 0 when the lines
// cannot be read.
int setLine(int fd, int bit, bool on);
// The state of a modem line; false on failure.
bool line(int fd, int bit);
int sendBreak(int fd, int duration);

// The printer status byte, -1 on failure.
int printerStatus(int fd);

} // namespace portctl
