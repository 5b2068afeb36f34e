#include "OmniScanner.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "Tracer.h"
#include "Util.h"
#include "ZelException.h"

namespace {

const unsigned char OMNI_BEEP_CMD[] = {0x05, 0xE6, 0x04, 0x00, 0x00, 0xFF, 0x11};
const unsigned char OMNI_ACK[] = {0x04, 0xD0, 0x00, 0x00, 0xFF, 0x2C};
const unsigned char SET_PERMANENT_COMM_PARAMS[] = {0x13, 0xC6, 0x04, 0x08, 0xFF, 0x9C, 0x06, 0x9E, 0x04, 0x9D, 0x01,
                                                   0x9A, 0x00, 0x97, 0x01, 0x9F, 0x01, 0xEE, 0x01, 0xF9, 0x79};
const unsigned char SET_PACKETED_DECODE[] = {0x07, 0xC6, 0x04, 0x00, 0xFF, 0xEE, 0x01, 0xFD, 0x41};
const unsigned char SET_CONTINUOUS_SCANNING_MODE[] = {0x07, 0xC6, 0x04, 0x00, 0xFF, 0x8A, 0x04, 0xFD, 0xA2};
const unsigned char SET_HOST_SCANNING_MODE[] = {0x07, 0xC6, 0x04, 0x00, 0xFF, 0x8A, 0x08, 0xFD, 0x9E};
const unsigned char SET_SMART_RASTER_MODE[] = {0x07, 0xC6, 0x04, 0x00, 0xFF, 0x8D, 0x01, 0xFD, 0xA2};
const unsigned char SET_CYCLONE_MODE[] = {0x07, 0xC6, 0x04, 0x00, 0xFF, 0x8D, 0x06, 0xFD, 0x9D};
const unsigned char SET_ENABLE_UPCA_UPCE_EAN13_EAN8[] = {0x0D, 0xC6, 0x04, 0x00, 0xFF, 0x01, 0x01, 0x02,
                                                         0x01, 0x03, 0x01, 0x04, 0x01, 0xFE, 0x1C};
const unsigned char OMNI_REQUEST_REVISION_CMD[] = {0x04, 0xA3, 0x04, 0x00, 0xFF, 0x55};

template <size_t N>
bool isPacket(const unsigned char* got, int length, const unsigned char (&want)[N]) {
    return length == static_cast<int>(N) && std::memcmp(got, want, N) == 0;
}

} // namespace

OmniScanner::OmniScanner(SerialPort* port, const ConfigObject* options) : Scanner(port, options, &data_) {}

void OmniScanner::detect() {
    TRACE("--> detect()\n");
    port_->setRTS(true);
    Util::sleep(500);
    const bool high = port_->isCTS();
    TRACE("RTS 1 --> CTS %d\n", high ? 1 : 0);
    port_->setRTS(false);
    Util::sleep(500);
    const bool low = port_->isCTS();
    TRACE("RTS 0 --> CTS %d\n", low ? 1 : 0);
    if (!high || low) throw new ZelException("Omni Scanner not detected");
    TRACE("<-- detect()\n");
}

void OmniScanner::omniFlush() {
    const bool cts = port_->isCTS();
    port_->setRTS(!cts);
    port_->flush();
    port_->setRTS(cts);
    port_->flush();
}

void OmniScanner::testCommunication(SerialPortConfig* config) {
    port_->setConfig(config);
    TRACE("Testing comm with: %s", config->toString());
    int answers = 0;
    for (bool level : {false, true}) {
        TRACE("RTS %s.\n", level ? "high" : "low");
        for (int t = 1; t <= TIMES_TO_SEND_CMD; ++t) {
            TRACE("Try:%d\n", t);
            omniFlush();
            port_->setRTS(level);
            port_->write(OMNI_BEEP_CMD, sizeof OMNI_BEEP_CMD);
            unsigned char packet[BUFFER_SIZE];
            try {
                const int n = readPort(packet);
                if (isPacket(packet, n, OMNI_ACK)) ++answers;
            } catch (ZelException* e) {
                TRACE("%s\n", e->getMessage().c_str());
                delete e;
            }
            if (answers >= 2) return;
        }
    }
    throw new ZelException("Test failed");
}

void OmniScanner::sendCommand(const unsigned char* data, int offset, int length) {
    port_->setRTS(sendingLevel_);
    port_->write(data, offset, length);
    port_->setRTS(false);
    unsigned char packet[BUFFER_SIZE];
    const int n = readPort(packet);
    if (!isPacket(packet, n, OMNI_ACK)) throw new ZelException("ACK not received");
}

void OmniScanner::addCheckSum(unsigned char* packet) {
    const int length = packet[0];
    unsigned sum = 0;
    for (int i = 0; i < length; ++i) sum += packet[i];
    const unsigned check = (0x10000 - (sum & 0xFFFF)) & 0xFFFF;
    packet[length] = static_cast<unsigned char>(check >> 8);
    packet[length + 1] = static_cast<unsigned char>(check & 0xFF);
}

int OmniScanner::readPort(unsigned char* buffer) {
    int n = BUFFER_SIZE;
    port_->read(buffer, &n);
    if (n <= 5 || n < buffer[0]) throw new ZelException(1, "No valid omni scanner packet readed");
    return n;
}

void OmniScanner::setDefaults() {
    unsigned char packet[sizeof SET_PERMANENT_COMM_PARAMS];
    std::memcpy(packet, SET_PERMANENT_COMM_PARAMS, sizeof packet);
    const char* rate = "9600";
    SerialPortConfig* wanted =
        options_->baudRateRequested() ? data_.getSupportedSerialPortConfig(options_->getRequestedBaudrate()) : nullptr;
    if (wanted) {
        packet[6] = static_cast<unsigned char>(wanted->getBaudRate().scannerCode);
        addCheckSum(packet);
        rate = wanted->getBaudRate().name;
    } else if (options_->baudRateRequested()) {
        std::printf("*Requested baudrate not supported by this scanner. Setting default baudrate instead...*\n");
    }
    Util::printPropWarning(rate);
    sendCommand(packet, 0, sizeof packet);
    Util::sleep(200);
}

void OmniScanner::prepareToScan() {
    sendCommand(SET_ENABLE_UPCA_UPCE_EAN13_EAN8, 0, sizeof SET_ENABLE_UPCA_UPCE_EAN13_EAN8);
    sendCommand(SET_PACKETED_DECODE, 0, sizeof SET_PACKETED_DECODE);
    if (options_->isSmartRasterModeSet())
        sendCommand(SET_SMART_RASTER_MODE, 0, sizeof SET_SMART_RASTER_MODE);
    else
        sendCommand(SET_CYCLONE_MODE, 0, sizeof SET_CYCLONE_MODE);
    turnLaserOn();
    port_->setReadTimeout(SCANNING_PORT_TIMEOUT);
    port_->setRTS(false);
}

void OmniScanner::turnLaserOn() { sendCommand(SET_CONTINUOUS_SCANNING_MODE, 0, sizeof SET_CONTINUOUS_SCANNING_MODE); }

void OmniScanner::turnLaserOff() { sendCommand(SET_HOST_SCANNING_MODE, 0, sizeof SET_HOST_SCANNING_MODE); }

Barcode* OmniScanner::scan() {
    unsigned char packet[BUFFER_SIZE];
    const int n = readPort(packet);
    if (packet[1] != DECODE_DATA_BYTE) throw new ZelException("No barcode decoded.");
    port_->write(OMNI_ACK, sizeof OMNI_ACK);
    int type;
    switch (packet[4]) {
    case 0x08: type = Barcode::UPCA_BARCODE; break;
    case 0x09: type = Barcode::UPCE_BARCODE; break;
    case 0x0A: type = Barcode::EAN8_BARCODE; break;
    case 0x0B: type = Barcode::EAN13_BARCODE; break;
    default: type = Barcode::UNKNOWN_BARCODE;
    }
    // The data are bytes 5 to L-1, within what was received.
    const int end = packet[0] < n ? packet[0] : n;
    std::vector<unsigned char> data;
    for (int i = 5; i < end; ++i) data.push_back(packet[i]);
    return new Barcode(std::move(data), type);
}

std::string OmniScanner::requestFirmware() {
    port_->setRTS(sendingLevel_);
    port_->write(OMNI_REQUEST_REVISION_CMD, sizeof OMNI_REQUEST_REVISION_CMD);
    port_->setRTS(false);
    unsigned char p[BUFFER_SIZE];
    const int n = readPort(p);
    if (p[1] != 0xA4 || p[2] != 0x00) throw new ZelException("REPLY_REVISION not received");
    // Every field is read within the L bytes of the packet that were received.
    const int end = p[0] < n ? p[0] : n;
    auto at = [&](int i) { return i < end ? p[i] : 0; };
    std::string revision;
    int i = 4;
    for (; i < end && p[i] != ' '; ++i) revision += static_cast<char>(p[i]);
    const int boardAt = i + 1;
    const int engineAt = boardAt + 2;
    const int checksumAt = engineAt + 2;
    char board[32];
    switch (at(boardAt)) {
    case 'F': std::snprintf(board, sizeof board, "Flashable"); break;
    case 'N': std::snprintf(board, sizeof board, "Non Flashable"); break;
    default: std::snprintf(board, sizeof board, "Unknown  (%c)", at(boardAt));
    }
    char engine[32];
    switch (at(engineAt)) {
    case 0x38: std::snprintf(engine, sizeof engine, "SE 2223 Standard"); break;
    case 0x48: std::snprintf(engine, sizeof engine, "SE 3223 Standard"); break;
    case 0x3E: std::snprintf(engine, sizeof engine, "SE 2223 VHD"); break;
    default: std::snprintf(engine, sizeof engine, "Unknown (0x%02X)", at(engineAt));
    }
    char rest[128];
    std::snprintf(rest, sizeof rest, "\nBoard Type: %s\nEngine: %s\nProgram checksum: 0x%04X", board, engine,
                  at(checksumAt) << 8 | at(checksumAt + 1));
    return "Software Revision: " + revision + rest;
}
