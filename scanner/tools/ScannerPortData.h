// The port settings each scanner family supports, and the order in which they are tried.
#pragma once

#include <memory>
#include <vector>

#include "SerialPort.h"

class ScannerPortData {
public:
    virtual ~ScannerPortData() = default;
    // The first configuration whose rate reads as `baud`, or none.
    virtual SerialPortConfig* getSupportedSerialPortConfig(long baud);
    // Stop 1, data 8, parity N, the first rate.
    virtual SerialPortConfig* getDefaultPortConfig();
    virtual const baudRateData& getSupportedBaudRateData(int i) = 0;
    virtual int getNumberOfSupportedBaudRateData() = 0;
    virtual char getSupportedParity(int i) = 0;
    virtual int getNumberOfSupportedParities() = 0;
    virtual char getSupportedStopBits(int i) = 0;
    virtual int getNumberOfSupportedStopBits() = 0;
    virtual char getSupportedDataBits(int i) = 0;
    virtual int getNumberOfSupportedDataBits() = 0;

    // Every combination: stop bits outermost, then data bits, parity, and the rate innermost.
    const std::vector<SerialPortConfig*>& getSupportedSerialPortConfigs();

private:
    std::vector<std::unique_ptr<SerialPortConfig>> owned_;
    std::vector<SerialPortConfig*> configs_;
};

// A family's tables; an index outside a table gives its first entry.
class TablePortData : public ScannerPortData {
public:
    TablePortData(std::vector<baudRateData> rates, std::vector<char> parities, std::vector<char> stopBits,
                  std::vector<char> dataBits)
        : rates_(std::move(rates)), parities_(std::move(parities)), stopBits_(std::move(stopBits)),
          dataBits_(std::move(dataBits)) {}
    const baudRateData& getSupportedBaudRateData(int i) override { return rates_[index(i, rates_.size())]; }
    int getNumberOfSupportedBaudRateData() override { return static_cast<int>(rates_.size()); }
    char getSupportedParity(int i) override { return parities_[index(i, parities_.size())]; }
    int getNumberOfSupportedParities() override { return static_cast<int>(parities_.size()); }
    char getSupportedStopBits(int i) override { return stopBits_[index(i, stopBits_.size())]; }
    int getNumberOfSupportedStopBits() override { return static_cast<int>(stopBits_.size()); }
    char getSupportedDataBits(int i) override { return dataBits_[index(i, dataBits_.size())]; }
    int getNumberOfSupportedDataBits() override { return static_cast<int>(dataBits_.size()); }

private:
    static size_t index(int i, size_t n) { return i >= 0 && static_cast<size_t>(i) < n ? static_cast<size_t>(i) : 0; }
    std::vector<baudRateData> rates_;
    std::vector<char> parities_, stopBits_, dataBits_;
};

class LineScannerPortData : public TablePortData {
public:
    LineScannerPortData();
};

class OmniScannerPortData : public TablePortData {
public:
    OmniScannerPortData();
};
