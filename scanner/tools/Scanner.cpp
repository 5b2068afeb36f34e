#include "Scanner.h"

#include "Keyboard.h"
#include "Tracer.h"
#include "ZelException.h"

std::string Barcode::toString() const {
    switch (type_) {
    case EAN8_BARCODE: return "EAN8";
    case EAN13_BARCODE: return "EAN13";
    case UPCA_BARCODE: return "UPCA";
    case UPCE_BARCODE: return "UPCE";
    default: return "UNKNOWN";
    }
}

Scanner::Scanner(SerialPort* port, const ConfigObject* options, ScannerPortData* portData)
    : port_(port), options_(options), portData_(portData) {
    if (!port_->isOpen()) port_->open();
    port_->setReadTimeout(DEFAULT_PORT_TIMEOUT);
}

void Scanner::prepareToScan() {
    turnLaserOn();
    port_->setReadTimeout(SCANNING_PORT_TIMEOUT);
}

SerialPortConfig* Scanner::detectPortConfig() {
    TRACE("--> detectPortConfig()\n");
    Keyboard& keyboard = Keyboard::getInstance();
    keyboard.open();
    for (SerialPortConfig* config : portData_->getSupportedSerialPortConfigs()) {
        if (keyboard.keyPressed()) {
            keyboard.close();
            throw new ZelException("Detection aborted by user\n");
        }
        try {
            testCommunication(config);
            keyboard.close();
            TRACE("<-- detectPortConfig()\n");
            return config;
        } catch (ZelException* e) {
            TRACE("%s\n", e->getMessage().c_str());
            delete e;
        }
    }
    keyboard.close();
    throw new ZelException("Couldn't detect scanner port settings");
}
