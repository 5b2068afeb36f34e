// The extended keyboard with 133 key positions: key numbers for double keys, a numpad at one
// of three locations (each with its own double-width zero key) and the shift toggle 0x20.
#pragma once

#include "KBOBP.h"

class KBO133P : public KBOBP {
public:
    explicit KBO133P(const DeviceID& id, const char* name = "KBO133P");
    ~KBO133P() override;

    // Request 1 selects the numpad table and the zero pair by the numpad location.
    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    // 1 to 3, else 4713.
    int ValidateNumpadLocation(int location) override;
    // 0 or 1, else 4709.
    int ValidateNumpadStyle(int style) override;
};

extern const unsigned char dkOB133Lookup[140];
