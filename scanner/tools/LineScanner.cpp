#include "LineScanner.h"

#include <cstdio>
#include <cstring>

#include "Tracer.h"
#include "Util.h"
#include "ZelException.h"

namespace {

const unsigned char AUTO_SYNC_FRAME[] = {0x02, 0x00, 0x16, 0x00, 0x03};
const unsigned char AUTO_SYNC_DONE_FRAME[] = {0x02, 0x00, 0x0C, 0x00, 0x03};
const unsigned char LINE_ACK_FRAME[] = {0x02, 0x00, 0x06, 0x00, 0x03};
const unsigned char ENABLE_SCANNER_CMD_BYTES[] = {0x42, 0x20, 0x40, 0x01};
const unsigned char DISABLE_SCANNER_CMD_BYTES[] = {0x42, 0x20, 0x40, 0x00};
const unsigned char RESET_TO_FACTORY_DEFAULTS_CMD_BYTES[] = {0x42, 0x40, 0x02};
const unsigned char SET_MAIN_CONFIG[] = {0x41, 0x61, 0x40, 0x01, 0x73, 0x40, 0x01, 0x70, 0x47, 0x01,
                                         0x70, 0x40, 0x00, 0x60, 0x40, 0x01, 0x60, 0xC1, 0x00, 0x00,
                                         0x4B, 0x45, 0x01, 0x4B, 0x46, 0x01, 0x4B, 0x5A, 0x00, 0x4B, 0x47, 0x1E};
const unsigned char FIRMWARE_VERSION_CMD_BYTES[] = {0x43, 0x30, 0xC0};
const unsigned char HARDWARE_IDENTIFIER_CMD_BYTES[] = {0x43, 0x30, 0x82};
const unsigned char FIRMWARE_VERSION_REPLY_BYTES[] = {0x53, 0x30, 0xC0};
const unsigned char HARDWARE_IDENTIFIER_REPLY_BYTES[] = {0x53, 0x30, 0x82};

// The frame counter (the first number is 0), the first-frame flag and the bytes read from
// the port but not yet taken as a packet.
int frameCounter = -1;
bool firstFrame = true;
std::vector<unsigned char> received;

template <size_t N>
bool isFrame(const unsigned char* got, int length, const unsigned char (&want)[N]) {
    return length == static_cast<int>(N) && std::memcmp(got, want, N) == 0;
}

} // namespace

void LineScanner::resetProtocolState() {
    frameCounter = -1;
    firstFrame = true;
    received.clear();
}

LineScanner::LineScanner(SerialPort* port, const ConfigObject* options) : Scanner(port, options, &data_) {}

int LineScanner::getNextFrameNumber() {
    frameCounter = (frameCounter + 1) % 9;
    return frameCounter;
}

unsigned LineScanner::calcCheckSum(const unsigned char* bytes, int n) {
    unsigned a = 0, b = 0;
    for (int i = 0; i < n; ++i) {
        a += bytes[i];
        b += a;
    }
    return b & 0xFFFF;
}

std::vector<unsigned char> LineScanner::encodeDLE(const unsigned char* frame, int n) {
    std::vector<unsigned char> out{STX};
    for (int i = 0; i < n; ++i) {
        const unsigned char c = frame[i];
        if (c == STX || c == ETX || c == DLE) {
            out.push_back(DLE);
            out.push_back(static_cast<unsigned char>(c | 0x40));
        } else {
            out.push_back(c);
        }
    }
    out.push_back(ETX);
    return out;
}

int LineScanner::decodeDLE(unsigned char* frame, int n) {
    if (n < 2 || frame[0] != STX || frame[n - 1] != ETX) throw new ZelException("Invalid packet");
    int out = 0;
    for (int i = 1; i < n - 1; ++i) {
        if (frame[i] == DLE) {
            if (i + 1 >= n - 1) break; // a lone DLE before ETX escapes nothing
            frame[out++] = static_cast<unsigned char>(frame[++i] & 0xBF);
        } else {
            frame[out++] = frame[i];
        }
    }
    return out;
}

int LineScanner::readPort(unsigned char* buffer) {
    if (received.empty()) {
        unsigned char burst[BUFFER_SIZE];
        int n = BUFFER_SIZE;
        try {
            port_->read(burst, &n);
            received.insert(received.end(), burst, burst + n);
        } catch (ZelException* e) {
            if (e->getErrorCode() != SerialPort::READ_TIMEOUT) throw;
            delete e;
        }
    }
    std::vector<unsigned char> packet;
    bool started = false, ended = false;
    size_t taken = 0;
    while (taken < received.size() && !ended) {
        const unsigned char c = received[taken++];
        if (c == STX) {
            packet.assign(1, c);
            started = true;
        } else if (c == ETX) {
            if (!started) continue; // an ETX without a packet is dropped
            packet.push_back(c);
            ended = true;
        } else if (started && packet.size() < static_cast<size_t>(BUFFER_SIZE)) {
            packet.push_back(c);
        }
    }
    received.erase(received.begin(), received.begin() + static_cast<long>(taken));
    TRACE("Current packet delivered: %s\n", Util::toHexString(packet).c_str());
    TRACE("Current buffer(%d): %s\n", static_cast<int>(received.size()), Util::toHexString(received).c_str());
    if (!ended || packet.size() < static_cast<size_t>(MIN_LINE_SCANNER_PACKET_LENGTH))
        throw new ZelException("Malformed line packet received.");
    std::memcpy(buffer, packet.data(), packet.size());
    return static_cast<int>(packet.size());
}

void LineScanner::flush() {
    for (;;) {
        unsigned char packet[BUFFER_SIZE];
        try {
            const int n = readPort(packet);
            TRACE("Package discarded:%s\n", Util::toHexString(packet, n).c_str());
        } catch (ZelException* e) {
            TRACE("%s\n", e->getMessage().c_str());
            delete e;
            return;
        }
    }
}

void LineScanner::sendACK() { port_->write(LINE_ACK_FRAME, sizeof LINE_ACK_FRAME); }

void LineScanner::sendHighLevelFrame(const unsigned char* body, int offset, int length) {
    unsigned char reply[BUFFER_SIZE];
    sendHighLevelFrame(body, offset, length, reply);
}

int LineScanner::sendHighLevelFrame(const unsigned char* body, int offset, int length, unsigned char* reply) {
    std::vector<unsigned char> frame{0x00};
    frame.insert(frame.end(), body + offset, body + offset + length);
    unsigned char control = static_cast<unsigned char>(0x60 | getNextFrameNumber());
    if (firstFrame) control |= 0x08;
    firstFrame = false;
    frame.push_back(control);
    const unsigned sum = calcCheckSum(frame.data(), static_cast<int>(frame.size()));
    frame.push_back(static_cast<unsigned char>(sum >> 8));
    frame.push_back(static_cast<unsigned char>(sum & 0xFF));
    const std::vector<unsigned char> stuffed = encodeDLE(frame.data(), static_cast<int>(frame.size()));
    flush();
    port_->write(stuffed.data(), static_cast<int>(stuffed.size()));
    unsigned char ack[BUFFER_SIZE];
    const int n = readPort(ack);
    if (!isFrame(ack, n, LINE_ACK_FRAME)) throw new ZelException("ACK not received");
    const int got = readPort(reply);
    sendACK();
    return got;
}

void LineScanner::testCommunication(SerialPortConfig* config) {
    flush();
    port_->setConfig(config);
    int answers = 0;
    for (int t = 1; t <= TIMES_TO_SEND_CMD; ++t) {
        TRACE("Try:%d\n", t);
        port_->write(AUTO_SYNC_FRAME, sizeof AUTO_SYNC_FRAME);
        unsigned char packet[BUFFER_SIZE];
        try {
            const int n = readPort(packet);
            if (isFrame(packet, n, AUTO_SYNC_DONE_FRAME)) ++answers;
        } catch (ZelException* e) {
            TRACE("%s\n", e->getMessage().c_str());
            delete e;
        }
        if (answers >= 2) return;
    }
    throw new ZelException("Auto sync done not received");
}

void LineScanner::detect() {
    try {
        detectPortConfig();
    } catch (ZelException* e) {
        delete e;
        detectPortConfig();
    }
}

void LineScanner::setScannerDefaultBaudRate(const baudRateData* rate) {
    const unsigned char body[] = {0x41, 0x63, 0x40, static_cast<unsigned char>(rate->scannerCode)};
    sendHighLevelFrame(body, 0, sizeof body);
}

void LineScanner::setDefaults() {
    try {
        SerialPortConfig* defaults = data_.getDefaultPortConfig();
        sendHighLevelFrame(RESET_TO_FACTORY_DEFAULTS_CMD_BYTES, 0, sizeof RESET_TO_FACTORY_DEFAULTS_CMD_BYTES);
        Util::sleep(500);
        port_->setConfig(defaults);
        sendHighLevelFrame(SET_MAIN_CONFIG, 0, sizeof SET_MAIN_CONFIG);
        const char* rate = defaults->getBaudRate().name;
        if (options_->baudRateRequested()) {
            SerialPortConfig* wanted = data_.getSupportedSerialPortConfig(options_->getRequestedBaudrate());
            if (wanted) {
                setScannerDefaultBaudRate(&wanted->getBaudRate());
                rate = wanted->getBaudRate().name;
            } else {
                std::printf("*Requested baudrate not supported by this scanner. Setting default baudrate instead...*\n");
            }
        }
        Util::printPropWarning(rate);
    } catch (ZelException* e) {
        std::printf("couldn't set defaults: %s\n", e->getMessage().c_str());
        delete e;
    }
}

void LineScanner::turnLaserOn() {
    try {
        sendHighLevelFrame(ENABLE_SCANNER_CMD_BYTES, 0, sizeof ENABLE_SCANNER_CMD_BYTES);
    } catch (ZelException* e) {
        TRACE("%s\n", e->getMessage().c_str());
        delete e;
    }
}

void LineScanner::turnLaserOff() {
    try {
        sendHighLevelFrame(DISABLE_SCANNER_CMD_BYTES, 0, sizeof DISABLE_SCANNER_CMD_BYTES);
    } catch (ZelException* e) {
        TRACE("%s\n", e->getMessage().c_str());
        delete e;
    }
}

Barcode* LineScanner::scan() {
    unsigned char packet[BUFFER_SIZE];
    int n = readPort(packet);
    sendACK();
    n = decodeDLE(packet, n);
    if (n < 2 || packet[1] != 0x60) throw new ZelException("Invalid decode packet.");
    int type = Barcode::UNKNOWN_BARCODE;
    const int symbology = n > 4 ? packet[4] : -1;
    if (symbology == 'A') type = Barcode::UPCA_BARCODE;
    if (symbology == 'E') type = Barcode::UPCE_BARCODE;
    if (symbology == 'F') type = Barcode::EAN13_BARCODE;
    if (symbology == 0xFF) type = Barcode::EAN8_BARCODE;
    // Bytes 5 to N+3, within what was received.
    const int length = n > 3 ? (packet[2] << 8 | packet[3]) : 0;
    const int end = length + 4 < n ? length + 4 : n;
    std::vector<unsigned char> data;
    for (int i = 5; i < end; ++i) data.push_back(packet[i]);
    return new Barcode(std::move(data), type);
}

std::string LineScanner::requestFirmware() {
    TRACE("Requesting firmware version...\n");
    unsigned char r[BUFFER_SIZE];
    int n = sendHighLevelFrame(FIRMWARE_VERSION_CMD_BYTES, 0, sizeof FIRMWARE_VERSION_CMD_BYTES, r);
    if (n < 7 || std::memcmp(r + 2, FIRMWARE_VERSION_REPLY_BYTES, 3) != 0)
        throw new ZelException("REPLY FIRMWARE VERSION not received");
    // The text is read within the reply as received.
    const int length = r[5] << 8 | r[6];
    std::string version;
    for (int i = 7; i < 7 + length && i < n; ++i) version += static_cast<char>(r[i]);
    TRACE("Requesting hardware identifier...\n");
    n = sendHighLevelFrame(HARDWARE_IDENTIFIER_CMD_BYTES, 0, sizeof HARDWARE_IDENTIFIER_CMD_BYTES, r);
    if (n < 7 || std::memcmp(r + 2, HARDWARE_IDENTIFIER_REPLY_BYTES, 3) != 0)
        throw new ZelException("HARDWARE IDENTIFIER not received");
    char tail[48];
    std::snprintf(tail, sizeof tail, "\nHardware identifier: 0x%04X", r[5] << 8 | r[6]);
    return "Firmware version: " + version + tail;
}
