// Table-top scanner model 98 on the link: model 97 with its own start-up configure
// command. A rejected configuration still falls back to the model 97 default.
#pragma once

#include "SCFB97P.h"

enum : unsigned short { SCFB98P_TYPE_ID = 34200, SCFB98V_TYPE_ID = 34300 };

class SCFB98P : public SCFB97P {
public:
    static const unsigned char kStartConfigure[kConfigureLength];

    explicit SCFB98P(const DeviceID& id, const char* name = "SCFB98P");
    ~SCFB98P() override;
};
