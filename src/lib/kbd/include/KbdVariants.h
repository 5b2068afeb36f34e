// Decodings that several keyboard models share: their indicator layout and their key locks.
#pragma once

// The indicator layout of KBOJP, KBOJUCCP and KBO121P: the lights byte keeps its high
// nibble; lights bits 1 and 3 are copied, lights bit 0 sets bit 2 and lights bit 2 sets
// bit 0.
unsigned char MapIndicatorBits(unsigned char lightsByte, unsigned char lights);
// Four-position key lock: bits 4-5 = 0, 1, 2, 3 give positions codes[0..3] (4, 3, 2, 1).
int FourPositionKeyLock(unsigned char bits, const int* codes = nullptr);
// Three-bit key lock: bits 4-6 = 0..3 give 4..1, 5 gives 5, 6 gives 6, 4 and 7 give 0.
int ThreeBitKeyLock(unsigned char bits);
