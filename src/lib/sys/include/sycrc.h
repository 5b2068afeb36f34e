// Check bytes of RS-485 link frames, also used by the printer and NVRAM plug-ins.
#pragma once

// CRC-16/X.25 over n bytes: reflected polynomial 0x1021, initial value 0xFFFF, result
// complemented. Frames carry it low byte first. Zero bytes (or a null buffer) give 0x0000.
unsigned short CalculateCRC(const unsigned char* data, int n);
