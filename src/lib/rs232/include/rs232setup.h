// The setup command of the port from the line settings: baud code, line byte, control
// byte, character time and the receive time-out.
#pragma once

#include <cstdint>

#include "rs232defs.h"

struct Rs232Setup {
    unsigned char command[7] = {};
    int32_t charTimeUs = 0;
};

// False when a value is outside its table; `which` then names it (0 baud, 1 stop bits,
// 2 parity, 3 data bits).
bool Rs232BuildSetup(const Rs232Settings& s, Rs232Setup& out, int& which);
// The control byte of a line mode.
unsigned char Rs232ControlByte(int32_t lineMode);
// The client-side checks: 0 or 5901-5905.
int Rs232Validate(const Rs232Settings& s, bool checkTimeout);
