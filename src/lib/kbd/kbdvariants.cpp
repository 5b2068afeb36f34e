// Indicator layout and key-lock decodings shared by several keyboard models.
#include "KbdVariants.h"

unsigned char MapIndicatorBits(unsigned char lightsByte, unsigned char lights) {
    unsigned char out = static_cast<unsigned char>(lightsByte & 0xF0);
    out |= lights & 0x0A;
    if (lights & 0x01) out |= 0x04;
    if (lights & 0x04) out |= 0x01;
    return out;
}

int FourPositionKeyLock(unsigned char bits, const int* codes) {
    const int index = (bits >> 4) & 0x03;
    return codes ? codes[index] : 4 - index;
}

int ThreeBitKeyLock(unsigned char bits) {
    switch ((bits >> 4) & 0x07) {
    case 0: return 4;
    case 1: return 3;
    case 2: return 2;
    case 3: return 1;
    case 5: return 5;
    case 6: return 6;
    default: return 0;
    }
}
