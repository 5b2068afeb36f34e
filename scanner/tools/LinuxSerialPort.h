// A serial port of the machine, "/dev/ttyS<n-1>" (taken under $OVK_ROOT when that is set),
// driven through termios and the modem-line requests.
#pragma once

#include <termios.h>

#include <string>

#include "SerialPort.h"

class LinuxSerialPort : public SerialPort {
public:
    explicit LinuxSerialPort(int portNumber) : SerialPort(portNumber) {}
    ~LinuxSerialPort() override;
    void open() override;
    void close() override;
    void setConfig(SerialPortConfig* config) override;
    bool isCTS() override;
    void setRTS(bool on) override;
    using SerialPort::write;
    void write(const unsigned char* data, int offset, int length) override;
    void read(unsigned char* buffer, int* length) override;
    void flush() override;

    // The device path of a port number (1 opens ttyS0).
    static std::string devicePath(int portNumber);

private:
    // Waits up to the read time-out for input: 1 ready, 0 none, -1 error.
    int waitInput(int ms);

    int fd_ = -1;
    termios settings_{};
};
