// Setup bytes of the port.
#include "rs232setup.h"

namespace {

int baudCode(int32_t baud) {
    switch (baud) {
    case 110: return 0;
    case 300: return 1;
    case 1200: return 2;
    case 2400: return 3;
    case 4800: return 4;
    case 9600: return 5;
    default: return -1;
    }
}

} // namespace

unsigned char Rs232ControlByte(int32_t lineMode) {
    unsigned char c = 0;
    if (lineMode & 0x20) c |= 0x04;
    if (lineMode & 0x01) c |= 0x20;
    if (lineMode & 0x02) c |= 0x02;
    if (!(lineMode & 0x40)) c |= 0x01;
    return c;
}

bool Rs232BuildSetup(const Rs232Settings& s, Rs232Setup& out, int& which) {
    const int code = baudCode(s.baud);
    if (code < 0) return which = 0, false;
    unsigned char stop;
    switch (s.stopBits) {
    case 10: stop = 0x42; break;
    case 15: stop = 0x82; break;
    case 20: stop = 0xC2; break;
    default: return which = 1, false;
    }
    unsigned char parity;
    switch (s.parity) {
    case 0: parity = 0x02; break;
    case 1: parity = 0x12; break;
    case 2: parity = 0x32; break;
    default: return which = 2, false;
    }
    if (s.dataBits < 5 || s.dataBits > 8) return which = 3, false;
    const unsigned char data = static_cast<unsigned char>(0x02 + 4 * (s.dataBits - 5));
    const int64_t p = s.parity == 2 ? 1 : s.parity;
    const int64_t charTime = ((s.stopBits + (s.dataBits + p) * 10) * 1000 + 10000) / (s.baud / 10) * 10;
    // The receive time-out in character times, divided down to fit 15 bits; never more than
    // the one-byte multiplier can carry.
    constexpr int64_t kMaxTimeout = 32766LL * 255;
    int64_t t = (s.timeoutChars > 0 ? s.timeoutChars : 0) * charTime;
    if (t > kMaxTimeout) t = kMaxTimeout;
    int64_t m = 1;
    if (t > 32767) {
        m = 2;
        while (t / m > 32766) ++m;
        t /= m;
    }
    const uint16_t negative = static_cast<uint16_t>(-t);
    out.command[0] = 0x01;
    out.command[1] = static_cast<unsigned char>(code);
    out.command[2] = static_cast<unsigned char>(stop | parity | data);
    out.command[3] = Rs232ControlByte(s.lineMode);
    out.command[4] = static_cast<unsigned char>(negative);
    out.command[5] = static_cast<unsigned char>(negative >> 8);
    out.command[6] = static_cast<unsigned char>(m);
    out.charTimeUs = static_cast<int32_t>(charTime);
    return true;
}

int Rs232Validate(const Rs232Settings& s, bool checkTimeout) {
    if (baudCode(s.baud) < 0) return POSERR_RS232_INVALID_BAUD_RATE;
    if (s.stopBits != 10 && s.stopBits != 15 && s.stopBits != 20) return POSERR_RS232_INVALID_STOP_BITS;
    if (s.parity < 0 || s.parity > 2) return POSERR_RS232_INVALID_PARITY;
    if (s.dataBits < 5 || s.dataBits > 8) return POSERR_RS232_INVALID_DATA_BITS;
    if (checkTimeout) {
        const int64_t limit = static_cast<int64_t>(s.baud) * 83555 / (s.dataBits + 4) / 10000;
        if (s.timeoutChars < 0 || s.timeoutChars > limit) return POSERR_RS232_INVALID_TIMEOUT_CHAR;
    }
    return 0;
}
