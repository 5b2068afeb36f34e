// Identifies the touch controller at 0x5C or 0x5D from its device information and puts
// the class for it in its place: TCH95P for device ids 16-18, TCHELOP for 19.
#pragma once

#include <cstdint>

#include "Oracle.h"

class Oracle_5C_5D : public Oracle {
public:
    explicit Oracle_5C_5D(const DeviceID& id);
    ~Oracle_5C_5D() override;

    // Asks again for the device information.
    int ResetComplete() override;
    int NewMsgRcvd(const unsigned char* data, int n) override;

    int32_t TypeToCreate() const { return typeToCreate_; }
    bool Identified() const { return identified_ != 0; }

private:
    void Arm();

    unsigned char request_[3] = {0x00, 0x00, 0x01};
    int32_t typeToCreate_ = 0;
    uint8_t identified_ = 0;
};
