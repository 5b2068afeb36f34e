#include "ScannerPortData.h"

#include <termios.h>

#include <cstdlib>

const std::vector<SerialPortConfig*>& ScannerPortData::getSupportedSerialPortConfigs() {
    if (!configs_.empty()) return configs_;
    for (int s = 0; s < getNumberOfSupportedStopBits(); ++s)
        for (int d = 0; d < getNumberOfSupportedDataBits(); ++d)
            for (int p = 0; p < getNumberOfSupportedParities(); ++p)
                for (int b = 0; b < getNumberOfSupportedBaudRateData(); ++b) {
                    owned_.push_back(std::make_unique<SerialPortConfig>(
                        getSupportedBaudRateData(b), getSupportedParity(p), getSupportedStopBits(s),
                        getSupportedDataBits(d)));
                    configs_.push_back(owned_.back().get());
                }
    return configs_;
}

SerialPortConfig* ScannerPortData::getDefaultPortConfig() {
    const auto& all = getSupportedSerialPortConfigs();
    return all.empty() ? nullptr : all.front();
}

SerialPortConfig* ScannerPortData::getSupportedSerialPortConfig(long baud) {
    for (SerialPortConfig* c : getSupportedSerialPortConfigs())
        if (std::atol(c->getBaudRate().name) == baud) return c;
    return nullptr;
}

LineScannerPortData::LineScannerPortData()
    : TablePortData({{"19200", 8, B19200}, {"57600", 10, B57600}, {"38400", 9, B38400}, {"9600", 7, B9600},
                     {"4800", 6, B4800}, {"2400", 5, B2400}, {"1200", 4, B1200}},
                    {'N', 'O', 'E', 'M', 'S'}, {'1', '2'}, {'8', '7'}) {}

OmniScannerPortData::OmniScannerPortData()
    : TablePortData({{"9600", 6, B9600}, {"38400", 8, B38400}, {"19200", 7, B19200}, {"4800", 5, B4800},
                     {"2400", 4, B2400}, {"1200", 3, B1200}, {"600", 2, B600}, {"300", 1, B300}},
                    {'N', 'O', 'E', 'M', 'S'}, {'1', '2'}, {'8'}) {}
