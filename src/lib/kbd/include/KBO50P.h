// The extended POS keyboard with 50 key positions: key numbers for double keys, the numpad
// with its two styles, the double-width zero key and the shift-toggle key.
#pragma once

#include "KBOBP.h"

class KBO50P : public KBOBP {
public:
    explicit KBO50P(const DeviceID& id, const char* name = "KBO50P");
    ~KBO50P() override;

    // Touch-tone (0) or calculator (1), else 4709.
    int ValidateNumpadStyle(int style) override;
};

// Key numbers 0-49 of a double-key definition to scan codes (255: no key).
extern const unsigned char dkOB50Lookup[50];
// The factory the identifier's replacement goes through.
extern "C" PDEV* _CreateKBO50P(const DeviceID& id);
