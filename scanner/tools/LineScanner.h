// Line (hand-held) scanners: frames between STX and ETX with DLE stuffing, commands with a
// frame-control byte and a checksum, every frame acknowledged.
#pragma once

#include <vector>

#include "Scanner.h"

class LineScanner : public Scanner {
public:
    static constexpr unsigned char STX = 0x02;
    static constexpr unsigned char ETX = 0x03;
    static constexpr unsigned char DLE = 0x10;
    static constexpr int TIMES_TO_SEND_CMD = 4;
    static constexpr int MIN_LINE_SCANNER_PACKET_LENGTH = 5;

    LineScanner(SerialPort* port, const ConfigObject* options);
    void detect() override;
    std::string requestFirmware() override;
    void setDefaults() override;
    void turnLaserOn() override;
    void turnLaserOff() override;
    Barcode* scan() override;
    int readPort(unsigned char* buffer) override;
    void testCommunication(SerialPortConfig* config) override;

    virtual void init() {}
    virtual void sendHighLevelFrame(const unsigned char* body, int offset, int length);
    // Sends a command and reads the scanner's reply (as received, stuffed) into `reply`
    // (BUFFER_SIZE bytes); the reply's length.
    virtual int sendHighLevelFrame(const unsigned char* body, int offset, int length, unsigned char* reply);
    virtual unsigned calcCheckSum(const unsigned char* bytes, int n);
    virtual std::vector<unsigned char> encodeDLE(const unsigned char* frame, int n);
    // Unstuffs the frame in place (without STX and ETX): its new length. A frame that does
    // not both begin with STX and end with ETX is refused ("Invalid packet").
    virtual int decodeDLE(unsigned char* frame, int n);
    virtual int getNextFrameNumber();
    virtual void setScannerDefaultBaudRate(const baudRateData* rate);
    virtual void sendACK();
    void flush();

    // The protocol's process-wide state back to its start (frame numbers, first frame,
    // bytes received but not yet taken).
    static void resetProtocolState();

private:
    LineScannerPortData data_;
};
