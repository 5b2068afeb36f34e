#include <cstdio>

#include "SerialPort.h"

const char* SerialPortConfig::toString() const {
    static char text[64];
    std::snprintf(text, sizeof text, "baud=%s parity=%c data=%c stop=%c", baud_.name, parity_, dataBits_,
                  stopBits_);
    return text;
}
