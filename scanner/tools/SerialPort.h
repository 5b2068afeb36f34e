// Serial ports as the scanner set-up program sees them: the settings of a port and the
// operations on it, whatever carries them.
#pragma once

#include <cstddef>

// One baud rate: its decimal name, the code the scanner's own commands use for it, and the
// serial driver's speed code.
struct baudRateData {
    const char* name;
    int scannerCode;
    unsigned speed;
};

class SerialPortConfig {
public:
    SerialPortConfig(const baudRateData& baud, char parity, char stopBits, char dataBits)
        : baud_(baud), parity_(parity), stopBits_(stopBits), dataBits_(dataBits) {}
    virtual ~SerialPortConfig() = default;
    virtual const baudRateData& getBaudRate() const { return baud_; }
    virtual char getParity() const { return parity_; }
    virtual char getStopBits() const { return stopBits_; }
    virtual char getDataBits() const { return dataBits_; }
    // "baud=%s parity=%c data=%c stop=%c", in a buffer shared by all configurations.
    virtual const char* toString() const;

private:
    const baudRateData& baud_;
    char parity_, stopBits_, dataBits_;
};

class SerialPort {
public:
    static constexpr int READ_OK = 0;
    static constexpr int READ_ERROR = 1;
    static constexpr int READ_TIMEOUT = 2;

    explicit SerialPort(int portNumber) : portNumber_(portNumber) {}
    virtual ~SerialPort() = default; // derived ports close themselves
    virtual void open() = 0;
    virtual void close() {}
    virtual void setConfig(SerialPortConfig* config) = 0;
    virtual SerialPortConfig* getConfig() { return config_; }
    virtual bool isCTS() = 0;
    virtual void setRTS(bool on) = 0;
    virtual void write(const unsigned char* data, int offset, int length) = 0;
    virtual void write(const unsigned char* data, int length) { write(data, 0, length); }
    // Reads one burst into the buffer; `length` gives its size and gets the count read.
    virtual void read(unsigned char* buffer, int* length) = 0;
    virtual void flush() = 0;
    virtual bool isOpen() { return open_; }
    virtual void setReadTimeout(int ms) { readTimeout_ = ms; }

    int getPortNumber() const { return portNumber_; }
    int getReadTimeout() const { return readTimeout_; }

protected:
    int portNumber_;
    bool open_ = false;
    SerialPortConfig* config_ = nullptr;
    int readTimeout_ = 600;
};
