// The keyboard identifier at addresses 0x1C and 0x1D: asks the keyboard for its information
// (00 00 01) and replaces itself by the model class that the keyboard type selects.
#pragma once

#include "Oracle.h"

class Oracle_1C_1D : public Oracle {
public:
    explicit Oracle_1C_1D(const DeviceID& id);
    ~Oracle_1C_1D() override;

    int NewMsgRcvd(const unsigned char* data, int n) override;
    // Queues the information request again, then the base's.
    int ResetComplete() override;

    // The model class type for keyboard type byte 5 and information byte 6; 0 when none.
    static long TypeFor(unsigned char keyboardType, unsigned char info6);

private:
    unsigned char probe_[3] = {0x00, 0x00, 0x01};
};

extern "C" PDEV* _CreateOracle_1C_1D(const DeviceID& id);
