// Omni-directional (table) scanners: a binary command-and-acknowledge protocol with RTS/CTS
// hand-shaking.
#pragma once

#include "Scanner.h"

class OmniScanner : public Scanner {
public:
    static constexpr int TIMES_TO_SEND_CMD = 4;
    static constexpr unsigned char DECODE_DATA_BYTE = 0xF3;
    static constexpr int MIN_PACKET_LENGTH = 6;

    OmniScanner(SerialPort* port, const ConfigObject* options);
    void detect() override;
    std::string requestFirmware() override;
    void setDefaults() override;
    void turnLaserOn() override;
    void turnLaserOff() override;
    Barcode* scan() override;
    void prepareToScan() override;
    int readPort(unsigned char* buffer) override;
    void testCommunication(SerialPortConfig* config) override;

    virtual void omniFlush();
    virtual void sendCommand(const unsigned char* data, int offset, int length);
    // Writes the checksum after the L bytes that byte 0 counts.
    virtual void addCheckSum(unsigned char* packet);
    virtual void init() {}

private:
    OmniScannerPortData data_;
    bool sendingLevel_ = true;
};
