// What both serial scanner families share: the port, the options, the family's port settings
// and the search for the settings at which the scanner answers.
#pragma once

#include <string>
#include <vector>

#include "ConfigObject.h"
#include "ScannerPortData.h"
#include "SerialPort.h"

class Barcode {
public:
    static constexpr int EAN8_BARCODE = 1;
    static constexpr int EAN13_BARCODE = 2;
    static constexpr int UPCA_BARCODE = 3;
    static constexpr int UPCE_BARCODE = 4;
    static constexpr int UNKNOWN_BARCODE = 5;

    Barcode(std::vector<unsigned char> data, int type) : data_(std::move(data)), type_(type) {}
    virtual ~Barcode() = default;
    const std::vector<unsigned char>& getData() const { return data_; }
    int getType() const { return type_; }
    virtual std::string toString() const;

private:
    std::vector<unsigned char> data_;
    int type_;
};

class Scanner {
public:
    static constexpr int DEFAULT_PORT_TIMEOUT = 600;
    static constexpr int SCANNING_PORT_TIMEOUT = 20;
    static constexpr int BUFFER_SIZE = 300;

    // Opens the port when it is not open and sets its read time-out.
    Scanner(SerialPort* port, const ConfigObject* options, ScannerPortData* portData);
    virtual ~Scanner() = default;
    virtual void detect() = 0;
    virtual std::string requestFirmware() = 0;
    virtual void setDefaults() = 0;
    virtual void turnLaserOn() = 0;
    virtual void turnLaserOff() = 0;
    virtual Barcode* scan() = 0;
    virtual void prepareToScan();
    // Tries every supported configuration until one passes; any key aborts.
    virtual SerialPortConfig* detectPortConfig();
    // One packet into the buffer (BUFFER_SIZE bytes); its length.
    virtual int readPort(unsigned char* buffer) = 0;
    virtual void testCommunication(SerialPortConfig* config) = 0;

protected:
    SerialPort* port_;
    const ConfigObject* options_;
    ScannerPortData* portData_;
};
